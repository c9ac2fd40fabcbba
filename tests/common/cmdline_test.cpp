#include <gtest/gtest.h>

#include <random>

#include "common/cmdline.h"

namespace tw {
namespace {

using Args = std::vector<std::wstring>;

TEST(SplitCommandLine, FollowsTheCRuntimeRules) {
  struct Case {
    const wchar_t* line;
    Args args;
  };
  const Case cases[] = {
      {L"", {}},
      {L"prog", {}},
      {L"prog   ", {}},
      {L"prog a b", {L"a", L"b"}},
      {L"prog\ta\t\tb", {L"a", L"b"}},                                // tabs separate too
      {L"\"C:\\Program Files\\T\\t.exe\" x", {L"x"}},                 // program name with spaces
      {L"\"C:\\Program Files\\a\\\" x", {L"x"}},                      // no escapes in the program name
      {L"C:\\dir\\t.exe \"\"", {L""}},                                // an empty argument
      {L"prog \"\" \"\"", {L"", L""}},
      {L"prog \"a b\" c", {L"a b", L"c"}},
      {L"prog a\"b c\"d", {L"ab cd"}},                                // quotes inside an argument
      {L"prog \"C:\\\"", {L"C:\""}},                                  // File Explorer's drive root
      {L"prog \"D:\\Work\\\" \"E:\\\"", {L"D:\\Work\" E:\""}},
      {L"prog a\\\\b", {L"a\\\\b"}},                                  // backslashes alone are literal
      {L"prog a\\\\\"b c\"", {L"a\\b c"}},                            // 2n backslashes + quote
      {L"prog a\\\\\\\"b", {L"a\\\"b"}},                              // 2n+1 backslashes + quote
      {L"prog \"a\"\"b\"", {L"a\"b"}},                                // "" inside quotes
      {L"prog \"a\"\"\"b", {L"a\"b"}},
      {L"prog \"\"\"\"", {L"\""}},
      {L"prog \"unterminated arg", {L"unterminated arg"}},
      {L"prog \\\\server\\share\\", {L"\\\\server\\share\\"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split_command_line(c.line), c.args) << "command line: " << testing::PrintToString(std::wstring(c.line));
  }
}

TEST(QuoteArgument, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(quote_argument(L"plain"), L"plain");
  EXPECT_EQ(quote_argument(L""), L"\"\"");
  EXPECT_EQ(quote_argument(L"a b"), L"\"a b\"");
  EXPECT_EQ(quote_argument(L"C:\\dir\\"), L"C:\\dir\\");
  EXPECT_EQ(quote_argument(L"C:\\my dir\\"), L"\"C:\\my dir\\\\\"");
  EXPECT_EQ(quote_argument(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
  EXPECT_EQ(build_command_line(L"C:\\Program Files\\T\\t.exe", {L"--deep", L"a b"}),
            L"\"C:\\Program Files\\T\\t.exe\" --deep \"a b\"");
}

// Whatever the arguments hold, building a command line and splitting it gives them back.
TEST(QuoteArgument, RoundTripsRandomArgumentLists) {
  std::mt19937 rng(20261208);
  const wchar_t alphabet[] = {L'a', L'Z', L' ', L'\t', L'"', L'\\', L'\\', L'\\', L'"', L'\n', L'\v',
                              L'-', L':', L'\x00E9', L'\xD800', L'\xDC00', L'\x4E2D'};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
  std::uniform_int_distribution<int> count(0, 6), length(0, 12);
  for (int round = 0; round < 5000; ++round) {
    Args args(static_cast<std::size_t>(count(rng)));
    for (std::wstring& a : args) {
      const int n = length(rng);
      for (int i = 0; i < n; ++i) a.push_back(alphabet[pick(rng)]);
    }
    const std::wstring line = build_command_line(L"C:\\Program Files\\Tarnwick\\tarnwick.exe", args);
    ASSERT_EQ(split_command_line(line), args) << "command line: " << testing::PrintToString(line);
  }
}

}  // namespace
}  // namespace tw
