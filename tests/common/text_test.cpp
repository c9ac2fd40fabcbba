#include <gtest/gtest.h>

#include "common/numbers.h"
#include "common/text.h"

namespace tw {
namespace {

TEST(Text, ValidTextRoundTripsThroughBothEncodings) {
  const std::string samples[] = {"", "plain ASCII", "파일 탐색기", "Größe €", "\xF0\x9F\x94\x92 lock", "\xF0\x90\x90\x80"};
  for (const std::string& s : samples) {
    EXPECT_EQ(to_utf8(to_wide(s)), s);
  }
  EXPECT_EQ(to_wide("\xF0\x9F\x94\x92"), std::wstring(L"\xD83D\xDD12"));
}

TEST(Text, InvalidUtf8BecomesOneReplacementPerMaximalSubpart) {
  struct Case {
    std::string in;
    std::wstring out;
  };
  const Case cases[] = {
      {"a\x80z", L"a\xFFFDz"},                  // stray continuation byte
      {"\xC0\xAF", L"\xFFFD\xFFFD"},             // overlong lead byte: each byte alone
      {"\xE0\x80\x80", L"\xFFFD\xFFFD\xFFFD"},   // overlong three-byte form
      {"\xED\xA0\x80", L"\xFFFD\xFFFD\xFFFD"},   // an encoded surrogate
      {"\xE2\x82", L"\xFFFD"},                   // truncated at the end: one subpart
      {"\xE2\x82x", L"\xFFFDx"},                 // truncated before ASCII
      {"\xF4\x90\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD"},  // above U+10FFFF
      {"\xF0\x9F\x94", L"\xFFFD"},
      {"\xFF", L"\xFFFD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_wide(c.in), c.out) << "input bytes: " << c.in.size();
  }
}

TEST(Text, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(to_utf8(std::wstring(L"a\xD800z")), "a\xEF\xBF\xBDz");
  EXPECT_EQ(to_utf8(std::wstring(L"\xDC00\xD800")), "\xEF\xBF\xBD\xEF\xBF\xBD");  // reversed pair
  EXPECT_EQ(to_utf8(std::wstring(L"end\xD83D")), "end\xEF\xBF\xBD");
  // A lone surrogate and its replacement take the same number of UTF-16 units.
  EXPECT_EQ(utf16_length(to_utf8(std::wstring(L"x\xD800y\xD83D\xDD12"))), 5u);
}

TEST(Numbers, GroupsThousandsWithCommas) {
  EXPECT_EQ(group_thousands(0), "0");
  EXPECT_EQ(group_thousands(999), "999");
  EXPECT_EQ(group_thousands(1000), "1,000");
  EXPECT_EQ(group_thousands(50000), "50,000");
  EXPECT_EQ(group_thousands(1234567), "1,234,567");
  EXPECT_EQ(group_thousands(18446744073709551615ull), "18,446,744,073,709,551,615");
}

TEST(Text, StrictUtf8AcceptsOnlyWhatNeedsNoReplacement) {
  EXPECT_TRUE(is_valid_utf8("\x7F\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"));
  EXPECT_TRUE(is_valid_utf8(""));
  for (const char* bad : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5", "\x80", "a\xE2\x82", "\xFF"}) {
    EXPECT_FALSE(is_valid_utf8(bad)) << testing::PrintToString(std::string(bad));
  }
}

}  // namespace
}  // namespace tw
