#include <gtest/gtest.h>

#include "app/startup.h"
#include "common/cmdline.h"

namespace tw {
namespace {

const std::optional<std::wstring> kCwd = std::wstring(L"C:\\Temp");

std::optional<Target> norm(const wchar_t* argument, const std::optional<std::wstring>& cwd = kCwd) {
  return normalise_path(argument, cwd);
}

TEST(NormalisePath, CleansUpWhatShellsAndUsersPass) {
  // File Explorer's drive root arrives as C:" once split.
  const auto args = split_command_line(L"tarnwick.exe \"C:\\\"");
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(normalise_path(args[0], kCwd), L"C:\\");

  EXPECT_EQ(norm(L"D:"), L"D:\\");
  EXPECT_EQ(norm(L"  \"\"D:\\Work\\a \"b\".txt\"\"\t"), L"D:\\Work\\a \"b\".txt");  // inner quotes stay
  EXPECT_EQ(norm(L"D:\\Work\\"), L"D:\\Work\\");
  EXPECT_EQ(norm(L"\\\\server\\share\\x"), L"\\\\server\\share\\x");
  EXPECT_EQ(norm(L"\\\\?\\C:\\very\\long"), L"\\\\?\\C:\\very\\long");
  EXPECT_EQ(norm(L"C:/Users/x"), L"C:/Users/x");
}

TEST(NormalisePath, ResolvesRelativePathsAgainstTheCurrentDirectory) {
  EXPECT_EQ(norm(L"notes.txt"), L"C:\\Temp\\notes.txt");
  EXPECT_EQ(norm(L"sub\\notes.txt"), L"C:\\Temp\\sub\\notes.txt");
  EXPECT_EQ(norm(L"notes.txt", std::wstring(L"C:\\")), L"C:\\notes.txt");
  EXPECT_EQ(norm(L"--looks-like-an-option"), L"C:\\Temp\\--looks-like-an-option");
  // Rooted and drive-relative forms keep their meaning.
  EXPECT_EQ(norm(L"\\Users\\x"), L"C:\\Users\\x");
  EXPECT_EQ(norm(L"\\dir", std::wstring(L"\\\\srv\\share\\a\\b")), L"\\\\srv\\share\\dir");
  EXPECT_EQ(norm(L"c:notes.txt"), L"C:\\Temp\\notes.txt");
  EXPECT_EQ(norm(L"E:notes.txt"), L"E:\\notes.txt");
  // Without a current directory the path stays as given.
  EXPECT_EQ(norm(L"notes.txt", std::nullopt), L"notes.txt");
}

TEST(NormalisePath, EmptyArgumentsAreNoPath) {
  EXPECT_EQ(norm(L""), std::nullopt);
  EXPECT_EQ(norm(L"   "), std::nullopt);
  EXPECT_EQ(norm(L"\"\"\""), std::nullopt);
}

TEST(NormalisePath, KeepsUnpairedSurrogatesExactly) {
  const std::wstring odd = L"D:\\x\xD800y.txt";
  EXPECT_EQ(norm(odd.c_str()), odd);
}

StartupRequest decide(const wchar_t* command_line) {
  return decide_startup(split_command_line(command_line), kCwd);
}

TEST(DecideStartup, ChoosesTheModeInOrder) {
  StartupRequest r = decide(L"t.exe");
  EXPECT_EQ(r.mode, RunMode::Window);
  EXPECT_TRUE(r.paths.empty());
  EXPECT_FALSE(r.fresh);
  EXPECT_FALSE(r.deep);

  r = decide(L"t.exe a.txt --unregister --delete-on-reboot");
  EXPECT_EQ(r.mode, RunMode::Unregister);
  r = decide(L"t.exe --delete-on-reboot --unregister");
  EXPECT_EQ(r.mode, RunMode::Unregister);  // unregister wins wherever it stands

  r = decide(L"t.exe --delete-on-reboot D:\\a.txt --deep \"\" b.txt");
  EXPECT_EQ(r.mode, RunMode::DeleteOnReboot);
  EXPECT_EQ(r.paths, (std::vector<Target>{L"D:\\a.txt", L"C:\\Temp\\--deep", L"C:\\Temp\\b.txt"}));

  r = decide(L"t.exe a.txt --delete-on-reboot D:\\b");
  EXPECT_EQ(r.mode, RunMode::Window);  // only counts as the first argument
  EXPECT_EQ(r.paths, (std::vector<Target>{L"C:\\Temp\\a.txt", L"D:\\b"}));
}

TEST(DecideStartup, OptionsAreExactAndUnknownOnesIgnored) {
  StartupRequest r = decide(L"t.exe --fresh D:\\x --deep --bogus");
  EXPECT_TRUE(r.fresh);
  EXPECT_TRUE(r.deep);
  EXPECT_EQ(r.paths, (std::vector<Target>{L"D:\\x"}));

  r = decide(L"t.exe --Fresh --DEEP --unregister= D:\\x");
  EXPECT_FALSE(r.fresh);
  EXPECT_FALSE(r.deep);
  EXPECT_EQ(r.mode, RunMode::Window);
  EXPECT_EQ(r.paths, (std::vector<Target>{L"D:\\x"}));

  // Duplicates are the target set's business, not the command line's.
  r = decide(L"t.exe D:\\Work\\Report.docx d:\\work\\report.DOCX");
  EXPECT_EQ(r.paths.size(), 2u);
}

}  // namespace
}  // namespace tw
