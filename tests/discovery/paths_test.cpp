#include <gtest/gtest.h>

#include <algorithm>

#include "common/handles.h"
#include "common/text.h"
#include "discovery/paths.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

TEST(PathKey, StripsPrefixesTrailingBackslashesAndCase) {
  EXPECT_EQ(path_key(std::wstring_view(L"\\\\?\\UNC\\Server\\Share\\Dir\\")), "\\\\server\\share\\dir");
  EXPECT_EQ(path_key(std::wstring_view(L"\\\\?\\C:\\Temp")), "c:\\temp");
  EXPECT_EQ(path_key(std::wstring_view(L"C:\\")), "c:");
  EXPECT_EQ(path_key(std::wstring_view(L"C:\\\\\\")), "c:");
  EXPECT_EQ(path_key(std::wstring_view(L"D:\\ÄRGER\\ΣΟΦΊΑ")), "d:\\ärger\\σοφία");
  EXPECT_EQ(path_key(std::wstring_view(L"D:\\\xD801\xDC00")), "d:\\\xF0\x90\x90\xA8");  // non-BMP lower-cased
  EXPECT_EQ(path_key(std::wstring_view(L"D:\\a\xD800")), "d:\\a\xEF\xBF\xBD");
}

TEST(PathKey, MatchesTheKeyItselfOrWhatLiesInside) {
  EXPECT_TRUE(key_matches("d:\\work", "d:\\work"));
  EXPECT_TRUE(key_matches("d:\\work", "d:\\work\\a\\b.txt"));
  EXPECT_FALSE(key_matches("d:\\work", "d:\\workshop\\x"));
  EXPECT_FALSE(key_matches("d:\\work", "d:\\wor"));
  EXPECT_TRUE(key_matches("c:", "c:\\windows\\explorer.exe"));  // a drive root
  EXPECT_FALSE(key_matches("", "\\\\server\\share"));

  const std::vector<std::string> keys{"d:\\work\\sub", "d:\\work", "e:", "", "\\\\srv\\share", "d:\\work"};
  const KeyIndex index(keys);
  EXPECT_EQ(index.find("d:\\work\\sub\\x"), 0u);  // target order, first match wins
  EXPECT_EQ(index.find("d:\\work\\x"), 1u);
  EXPECT_EQ(index.find("d:\\work"), 1u);
  EXPECT_EQ(index.find("e:\\x"), 2u);
  EXPECT_EQ(index.find("\\\\srv\\share\\a"), 4u);
  EXPECT_EQ(index.find("\\\\srv\\shared"), std::nullopt);
  EXPECT_EQ(index.find("f:\\x"), std::nullopt);
  EXPECT_EQ(index.find("d:\\workshop"), std::nullopt);
  // The same answer as trying every key in order.
  for (const std::string path : {"d:\\work\\sub", "e:", "e:\\a\\b", "\\\\srv\\share", "d:\\wor", "x"}) {
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < keys.size() && !first; ++i) {
      if (key_matches(keys[i], path)) first = i;
    }
    EXPECT_EQ(index.find(path), first) << path;
  }
}

TEST(SpellAsTarget, RewritesFoundPathsInTheUsersSpelling) {
  const std::vector<Target> targets{L"D:\\Work"};
  const std::vector<std::string> keys{"\\\\server\\share\\work"};  // D: maps to a share
  EXPECT_EQ(spell_as_target(L"\\\\?\\UNC\\server\\share\\work\\a\\b.txt", targets, keys), L"D:\\Work\\a\\b.txt");
  EXPECT_EQ(spell_as_target(L"\\\\?\\UNC\\Server\\Share\\WORK", targets, keys), L"D:\\Work");
  EXPECT_EQ(spell_as_target(L"\\\\?\\UNC\\server\\share\\work\\\\", targets, keys), L"D:\\Work");
  EXPECT_EQ(spell_as_target(L"\\\\server\\share\\workshop\\x", targets, keys), L"\\\\server\\share\\workshop\\x");

  // The rest keeps its own letter case and anything the display text had to replace.
  const std::wstring found = L"\\\\?\\UNC\\server\\share\\work\\Ünï\xD800\\\xD83D\xDD12.TXT";
  EXPECT_EQ(spell_as_target(found, targets, keys), L"D:\\Work\\Ünï\xD800\\\xD83D\xDD12.TXT");

  // A drive root target does not get a doubled backslash.
  EXPECT_EQ(spell_as_target(L"\\\\?\\C:\\Windows\\x.dll", {L"C:\\"}, {"c:"}), L"C:\\Windows\\x.dll");
  // Keys are tried in target order, up to the shorter list.
  EXPECT_EQ(spell_as_target(L"\\\\?\\E:\\x", {L"D:\\", L"Y:\\"}, {"d:"}), L"\\\\?\\E:\\x");
  EXPECT_EQ(spell_as_target(L"\\\\?\\E:\\x", {L"D:\\", L"Y:\\"}, {"d:", "e:"}), L"Y:\\x");
}

TEST(SpellAsTarget, LeavesPathsAloneWhenLowerCasingChangesLength) {
  // U+0130 lower-cases to three bytes from two: byte offsets would no longer line up.
  const std::wstring found = L"\\\\?\\D:\\Work\\\x0130.txt";
  EXPECT_EQ(spell_as_target(found, {L"D:\\Work"}, {"d:\\work"}), found);
}

TEST(PathComponents, SortComponentByComponent) {
  std::vector<std::wstring> paths{L"a b", L"\x00E4", L"a\\b\\c", L"a\\b", L"a", L"a\\B", L"\xD83D\xDD12", L"\xFF5E"};
  std::sort(paths.begin(), paths.end(), path_components_less);
  // Code point order, which UTF-8 bytes keep: U+FF5E before U+1F512 (UTF-16 units would not).
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"a", L"a\\B", L"a\\b", L"a\\b\\c", L"a b", L"\x00E4", L"\xFF5E",
                                              L"\xD83D\xDD12"}));
}

TEST(ResolvedKey, SeesTheFileSystemsOwnSpelling) {
  test::TempDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"Real Folder"));
  ASSERT_TRUE(test::write_file(dir / L"Real Folder\\File.TXT"));

  const std::string expected_folder = path_key(dir / L"Real Folder");
  EXPECT_EQ(resolved_key(dir / L"real folder\\"), expected_folder);
  EXPECT_EQ(resolved_key(dir / L"REAL FOLDER\\file.txt"), expected_folder + "\\file.txt");
  // Nothing there: the literal key stands in.
  EXPECT_EQ(resolved_key(dir / L"Missing\\"), literal_key(dir / L"Missing\\"));
  EXPECT_EQ(literal_key(L"\\\\?\\D:\\Missing\\"), "d:\\missing");
}

TEST(FinalPathName, NamesAnOpenFile) {
  test::TempDir dir;
  const std::wstring file = dir / L"named.txt";
  ASSERT_TRUE(test::write_file(file));
  UniqueHandle h(::CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(h);
  const auto name = final_path_name(h.get());
  ASSERT_TRUE(name);
  EXPECT_EQ(path_key(std::wstring_view(*name)), path_key(std::wstring_view(file)));
  EXPECT_EQ(final_path_name(INVALID_HANDLE_VALUE), std::nullopt);
}

}  // namespace
}  // namespace tw
