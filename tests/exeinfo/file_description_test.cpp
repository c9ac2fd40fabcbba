#include <gtest/gtest.h>

#include "exeinfo/file_description.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

std::wstring beside_tests(const wchar_t* name) { return test::program_dir() + L"\\" + name; }

TEST(FileDescription, FilesOwnTranslationsFirstThenTheFallbacks) {
  // Korean first, blank there; then German, padded with white space; a US English block too.
  EXPECT_EQ(file_description(beside_tests(L"tw_described.exe")), "Prüfhilfe für Tarnwick");
  // No translation table: the US English block, not the unlisted German one.
  EXPECT_EQ(file_description(beside_tests(L"tw_described_untranslated.exe")), "Untranslated test program");
  EXPECT_EQ(file_description(beside_tests(L"tw_exeinfo_tests.exe")), std::nullopt);  // no version resource
  EXPECT_EQ(file_description(beside_tests(L"no such program.exe")), std::nullopt);
}

TEST(FileDescription, TrimsUnicodeWhiteSpaceAtBothEndsOnly) {
  EXPECT_EQ(trim_white_space(" \t\r\n word  word \xC2\xA0\xE3\x80\x80"), "word  word");  // NBSP, ideographic space
  EXPECT_EQ(trim_white_space("\xE2\x80\x83"), "");                                   // em space alone
  EXPECT_EQ(trim_white_space("\xE2\x80\x8B" "x"), "\xE2\x80\x8B" "x");  // zero-width space is not white space
}

}  // namespace
}  // namespace tw
