#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "discovery/path_spelling.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

struct Case {
  const wchar_t* text;
  std::optional<std::wstring> expected;  // nothing: names no file or folder
};

// Each way Windows lets a path be written comes in as the one spelling Windows reads it as.
TEST(ResolveTarget, GivesEverySpellingTheNameWindowsReads) {
  const Case cases[] = {
      {L"c:/windows", L"c:\\windows"},
      {L"C:\\Windows\\.", L"C:\\Windows"},
      {L"C:\\Windows.", L"C:\\Windows"},
      {L"C:\\\\Windows", L"C:\\Windows"},
      {L"C:\\Windows\\..\\Windows", L"C:\\Windows"},
      {L"C:\\windows\\system32\\..", L"C:\\windows"},
      {L"\\\\?\\C:\\Windows", L"C:\\Windows"},
      {L"\\\\.\\C:\\Windows", L"C:\\Windows"},
      {L"\\\\.\\C:\\Windows\\..\\x.", L"C:\\x"},
      {L"C:\\.", L"C:\\"},
      {L"C:/", L"C:\\"},
      {L"\\\\?\\C:\\", L"C:\\"},
      {L"\\\\.\\C:\\", L"C:\\"},
      {L"D:\\Work\\\\", L"D:\\Work"},
      {L"\\\\server\\share\\x\\..\\..\\..", L"\\\\server\\share"},
      {L"\\\\?\\UNC\\server\\share\\x", L"\\\\server\\share\\x"},
      {L"\\\\.\\UNC\\server\\share\\x\\..", L"\\\\server\\share"},
      {L"\\\\?\\Volume{0b1c9e6a-0000-0000-0000-100000000000}\\Windows",
       L"\\\\?\\Volume{0b1c9e6a-0000-0000-0000-100000000000}\\Windows"},
      // Names only the verbatim spelling reaches stay verbatim.
      {L"\\\\?\\Z:\\names\\trail.", L"\\\\?\\Z:\\names\\trail."},
      {L"\\\\?\\Z:\\names\\trail ", L"\\\\?\\Z:\\names\\trail "},
      {L"\\\\?\\Z:\\names\\nul.txt", L"\\\\?\\Z:\\names\\nul.txt"},
      {L"\\\\?\\Z:\\names\\con\\x", L"\\\\?\\Z:\\names\\con\\x"},
      {L"Z:\\tmp\\foo..\\bar", L"\\\\?\\Z:\\tmp\\foo.\\bar"},
      // The same names written plainly are what Windows makes of them.
      {L"Z:\\names\\trail.", L"Z:\\names\\trail"},
      {L"Z:\\names\\t. . ", L"Z:\\names\\t"},
      // Devices, patterns and other names Windows forbids name no file.
      {L"Z:\\names\\con", std::nullopt},
      {L"Z:\\names\\COM1", std::nullopt},
      {L"con", std::nullopt},
      {L"\\\\.\\pipe\\x", std::nullopt},
      {L"\\\\.\\C:", std::nullopt},
      {L"\\\\?\\C:", std::nullopt},
      {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Windows", std::nullopt},
      {L"C:\\Users\\Ann\\Doc*", std::nullopt},
      {L"C:\\Users\\Ann\\Doc?ments", std::nullopt},
      {L"C:\\Users\\Ann\\Documents:zone", std::nullopt},
      {L"C:\\Users\\<Ann>", std::nullopt},
      {L"C:\\a\x01" L"b", std::nullopt},
      {L"\\??\\C:\\Windows", std::nullopt},
      {L"\\\\?\\C:\\Windows\\..\\Windows", std::nullopt},
      {L"\\\\?\\C:\\Windows\\.", std::nullopt},
      {L"\\\\?\\C:\\\\Windows", std::nullopt},
      {L"\\\\?\\C:/Windows", std::nullopt},
      {L"\\\\server", std::nullopt},
      {L"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(resolve_target(c.text), c.expected) << "text: " << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(ResolveTarget, StopsAtANulAndRefusesRelativePathsWhenAsked) {
  EXPECT_EQ(resolve_target(std::wstring(L"C:\\Temp\\a\0\\..\\..", 16)), L"C:\\Temp\\a");
  EXPECT_EQ(resolve_target(std::wstring(L"\0C:\\Temp", 8)), std::nullopt);
  for (const wchar_t* relative : {L"notes.txt", L".", L"..\\windows", L"E:notes.txt", L"\\Users", L"--unregister"}) {
    EXPECT_EQ(resolve_target(relative, RelativePaths::Refuse), std::nullopt) << testing::PrintToString(std::wstring(relative));
  }
  EXPECT_EQ(resolve_target(L"C:/Temp/x", RelativePaths::Refuse), L"C:\\Temp\\x");
  EXPECT_EQ(resolve_targets(std::vector<std::wstring>{L"a", L"D:\\b", L"D:\\*"}, RelativePaths::Refuse),
            std::vector<Target>{L"D:\\b"});
}

TEST(ResolveTarget, ExpandsShortNamesThatExist) {
  test::TempDir dir;
  const std::wstring folder = dir / L"A rather long folder name";
  ASSERT_TRUE(test::make_dir(folder));
  wchar_t short_name[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(folder.c_str(), short_name, MAX_PATH), 0u);
  ASSERT_NE(std::wstring(short_name), folder);
  EXPECT_EQ(resolve_target(short_name), folder);
  EXPECT_EQ(resolve_target(std::wstring(short_name) + L"\\missing.txt"), std::wstring(short_name) + L"\\missing.txt");
}

TEST(PathSpelling, ExactAndReadableSpellingsRoundTrip) {
  const std::pair<const wchar_t*, const wchar_t*> pairs[] = {
      {L"C:\\x\\y", L"\\\\?\\C:\\x\\y"},
      {L"C:\\", L"\\\\?\\C:\\"},
      {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {L"\\\\?\\Z:\\names\\trail.", L"\\\\?\\Z:\\names\\trail."},
  };
  for (const auto& [readable, exact] : pairs) {
    EXPECT_EQ(exact_path(readable), exact);
    EXPECT_EQ(readable_path(exact), readable);
  }
  EXPECT_EQ(exact_path(L"D:\\Work\\\\"), L"\\\\?\\D:\\Work");
  EXPECT_EQ(exact_path(L"D:"), L"\\\\?\\D:\\");
  EXPECT_EQ(readable_path(L"\\\\?\\unc\\server\\share"), L"\\\\server\\share");
  // Too long for a plain path: only the verbatim spelling reaches it everywhere.
  const std::wstring long_path = L"\\\\?\\C:\\" + std::wstring(260, L'x');
  EXPECT_EQ(readable_path(long_path), long_path);
}

TEST(PathSpelling, TellsWhichNamesAPlainPathKeeps) {
  for (const wchar_t* kept : {L"a", L"a.txt", L".hidden", L" lead", L"con-tract.txt", L"COM10", L"lpt", L"nul_x"}) {
    EXPECT_TRUE(plain_name_is_exact(kept)) << testing::PrintToString(std::wstring(kept));
  }
  for (const wchar_t* changed : {L"", L".", L"..", L"trail.", L"trail ", L"con", L"CON", L"nul.txt", L"Aux .log",
                                 L"COM1", L"lpt9.x", L"com\u00b9", L"CONIN$", L"a*b", L"a?", L"a:b", L"a/b", L"a\\b",
                                 L"a\tb", L"a|b", L"a\"b", L"<a>"}) {
    EXPECT_FALSE(plain_name_is_exact(changed)) << testing::PrintToString(std::wstring(changed));
  }
  EXPECT_TRUE(plain_spelling_is_exact(L"C:\\a\\b.txt"));
  EXPECT_TRUE(plain_spelling_is_exact(L"\\\\server\\share\\a"));
  EXPECT_FALSE(plain_spelling_is_exact(L"C:\\a\\"));
  EXPECT_FALSE(plain_spelling_is_exact(L"C:\\a\\con\\b"));
  EXPECT_FALSE(plain_spelling_is_exact(L"relative\\a"));
}

TEST(PathSpelling, JoinsNamesFoundInAFolderInTheSpellingThatReachesThem) {
  EXPECT_EQ(join_entry(L"Z:\\names", L"a.txt"), L"Z:\\names\\a.txt");
  EXPECT_EQ(join_entry(L"Z:\\", L"a.txt"), L"Z:\\a.txt");
  EXPECT_EQ(join_entry(L"Z:\\names", L"sub\\a.txt"), L"Z:\\names\\sub\\a.txt");
  EXPECT_EQ(join_entry(L"Z:\\names", L"trail."), L"\\\\?\\Z:\\names\\trail.");
  EXPECT_EQ(join_entry(L"Z:\\names", L"COM1"), L"\\\\?\\Z:\\names\\COM1");
  EXPECT_EQ(join_entry(L"\\\\server\\share", L"nul.txt"), L"\\\\?\\UNC\\server\\share\\nul.txt");
  EXPECT_EQ(join_entry(L"\\\\?\\Z:\\x.", L"a.txt"), L"\\\\?\\Z:\\x.\\a.txt");
  EXPECT_EQ(join_entry(std::wstring(L"C:\\") + std::wstring(250, L'd'), L"file.txt"),
            std::wstring(L"\\\\?\\C:\\") + std::wstring(250, L'd') + L"\\file.txt");
}

TEST(PathSpelling, ParentFoldersEndAtTheRoot) {
  EXPECT_EQ(parent_folder(L"\\\\?\\C:\\Users\\Ann"), L"\\\\?\\C:\\Users");
  EXPECT_EQ(parent_folder(L"\\\\?\\C:\\Users"), L"\\\\?\\C:\\");
  EXPECT_EQ(parent_folder(L"\\\\?\\C:\\"), std::nullopt);
  EXPECT_EQ(parent_folder(L"C:\\Users\\"), L"C:\\");
  EXPECT_EQ(parent_folder(L"\\\\server\\share\\x"), L"\\\\server\\share");
  EXPECT_EQ(parent_folder(L"\\\\server\\share"), std::nullopt);
  EXPECT_EQ(parent_folder(L"relative\\x"), std::nullopt);
}

}  // namespace
}  // namespace tw
