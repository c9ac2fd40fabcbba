#include <gtest/gtest.h>

#include "common/casemap.h"

namespace tw {
namespace {

TEST(Casemap, LowerCasesBeyondAscii) {
  EXPECT_EQ(to_lower_full("C:\\Users\\ADMIN"), "c:\\users\\admin");
  EXPECT_EQ(to_lower_full("ÄÖÜ ÉÈ Ø"), "äöü éè ø");
  EXPECT_EQ(to_lower_full("ΣΊΣΥΦΟΣ"), "σίσυφοσ");  // per character: no final-sigma rule
  EXPECT_EQ(to_lower_full("ПРИВЕТ"), "привет");
  EXPECT_EQ(to_lower_full("ĀĂĄ"), "āăą");            // alternating Latin Extended-A runs
  EXPECT_EQ(to_lower_full("\xE2\x84\xAA"), "k");      // KELVIN SIGN
  EXPECT_EQ(to_lower_full("\xE2\x85\xAB"), "\xE2\x85\xBB");  // ROMAN NUMERAL TWELVE
  EXPECT_EQ(to_lower_full("\xF0\x90\x90\x80"), "\xF0\x90\x90\xA8");  // Deseret, outside the BMP
  EXPECT_EQ(to_lower_full("한글 ß ǅ"), "한글 ß ǆ");
}

TEST(Casemap, SpecialMappingChangesLength) {
  // U+0130 LATIN CAPITAL LETTER I WITH DOT ABOVE -> "i" + U+0307 COMBINING DOT ABOVE.
  EXPECT_EQ(to_lower_full("\xC4\xB0stanbul"), "i\xCC\x87stanbul");
  EXPECT_EQ(to_lower_full("\xC4\xB0").size(), 3u);
}

TEST(Casemap, InvalidInputIsReplacedNotDropped) {
  EXPECT_EQ(to_lower_full("A\xFF" "B"), "a\xEF\xBF\xBD" "b");
}

TEST(Casemap, AsciiFoldingComparesOnlyAsciiLetters) {
  EXPECT_TRUE(equal_ascii_folded(std::wstring_view(L"D:\\Work\\Report.docx"), L"d:\\work\\report.DOCX"));
  EXPECT_FALSE(equal_ascii_folded(std::wstring_view(L"Ä.txt"), L"ä.txt"));
  EXPECT_FALSE(equal_ascii_folded(std::wstring_view(L"a"), L"ab"));
  EXPECT_TRUE(equal_ascii_folded(std::string_view("ABC"), "abc"));
}

}  // namespace
}  // namespace tw
