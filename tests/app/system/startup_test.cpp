#include <gtest/gtest.h>

#include <windows.h>

#include "app/system/startup.h"
#include "common/cmdline.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

// Runs each test in a current folder of its own (C:\...\Temp\tw-test-...\cwd), put back after.
class CommandLine : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t saved[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    saved_ = saved;
    cwd_ = dir_ / L"cwd";
    ASSERT_TRUE(test::make_dir(cwd_));
    ASSERT_TRUE(::SetCurrentDirectoryW(cwd_.c_str()));
  }
  void TearDown() override { ::SetCurrentDirectoryW(saved_.c_str()); }

  test::TempDir dir_;
  std::wstring cwd_;
  std::wstring saved_;
};

std::optional<Target> norm(const wchar_t* argument) { return normalise_path(argument); }

TEST_F(CommandLine, CleansUpWhatShellsAndUsersPass) {
  // File Explorer's drive root arrives as C:" once split.
  const auto args = split_command_line(L"tarnwick.exe \"C:\\\"");
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(normalise_path(args[0]), L"C:\\");

  EXPECT_EQ(norm(L"D:"), L"D:\\");
  EXPECT_EQ(norm(L"  \"\"D:\\Work\\a b.txt\"\"\t"), L"D:\\Work\\a b.txt");
  EXPECT_EQ(norm(L"D:\\Work\\"), L"D:\\Work");
  EXPECT_EQ(norm(L"\\\\server\\share\\x"), L"\\\\server\\share\\x");
  EXPECT_EQ(norm(L"\\\\?\\C:\\very\\long"), L"C:\\very\\long");  // plain says the same
  EXPECT_EQ(norm(L"C:/Users/x"), L"C:\\Users\\x");
  // A quote cannot be in a name: this names no file.
  EXPECT_EQ(norm(L"D:\\Work\\a \"b\".txt"), std::nullopt);
  // In a verbatim path a trailing space belongs to the name.
  EXPECT_EQ(norm(L"\"\\\\?\\D:\\x\\trail \""), L"\\\\?\\D:\\x\\trail ");
}

TEST_F(CommandLine, ResolvesRelativePathsAsWindowsDoes) {
  EXPECT_EQ(norm(L"notes.txt"), cwd_ + L"\\notes.txt");
  EXPECT_EQ(norm(L"sub\\notes.txt"), cwd_ + L"\\sub\\notes.txt");
  EXPECT_EQ(norm(L"."), cwd_);
  EXPECT_EQ(norm(L"..\\cwd\\x\\..\\"), cwd_);
  EXPECT_EQ(norm(L"--looks-like-an-option"), cwd_ + L"\\--looks-like-an-option");
  // Rooted and drive-relative forms keep their meaning; another drive's current folder is
  // the one Windows keeps for it in "=E:".
  EXPECT_EQ(norm(L"\\Users\\x"), cwd_.substr(0, 2) + L"\\Users\\x");
  EXPECT_EQ(norm((cwd_.substr(0, 2) + L"notes.txt").c_str()), cwd_ + L"\\notes.txt");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"=E:", L"E:\\notes-dir"));
  EXPECT_EQ(norm(L"E:notes.txt"), L"E:\\notes-dir\\notes.txt");
  ::SetEnvironmentVariableW(L"=E:", nullptr);
}

TEST_F(CommandLine, EmptyArgumentsAreNoPath) {
  EXPECT_EQ(norm(L""), std::nullopt);
  EXPECT_EQ(norm(L"   "), std::nullopt);
  EXPECT_EQ(norm(L"\"\"\""), std::nullopt);
}

TEST_F(CommandLine, KeepsUnpairedSurrogatesExactly) {
  const std::wstring odd = L"D:\\x\xD800y.txt";
  EXPECT_EQ(norm(odd.c_str()), odd);
}

StartupRequest decide(const wchar_t* command_line) { return decide_startup(split_command_line(command_line)); }

TEST_F(CommandLine, ChoosesTheModeInOrder) {
  StartupRequest r = decide(L"t.exe");
  EXPECT_EQ(r.mode, RunMode::Window);
  EXPECT_TRUE(r.paths.empty());
  EXPECT_FALSE(r.fresh);
  EXPECT_FALSE(r.deep);

  r = decide(L"t.exe a.txt --unregister --delete-on-reboot");
  EXPECT_EQ(r.mode, RunMode::Unregister);
  r = decide(L"t.exe a.txt --delete-on-reboot --unregister");
  EXPECT_EQ(r.mode, RunMode::Unregister);

  // The helper is decided by its first argument; after it, only absolute paths count.
  r = decide(L"t.exe --delete-on-reboot --unregister");
  EXPECT_EQ(r.mode, RunMode::DeleteOnReboot);
  EXPECT_TRUE(r.paths.empty());
  EXPECT_EQ(r.refused, 1u);
  r = decide(L"t.exe --delete-on-reboot D:\\a.txt --deep \"\" b.txt D:\\*.txt \\\\.\\COM1");
  EXPECT_EQ(r.mode, RunMode::DeleteOnReboot);
  EXPECT_EQ(r.paths, (std::vector<Target>{L"D:\\a.txt"}));
  EXPECT_EQ(r.refused, 5u);

  // The stop-service helper likewise: every later argument is a service name, as given.
  r = decide(L"t.exe --stop-service --unregister \"Print Spooler\" --deep");
  EXPECT_EQ(r.mode, RunMode::StopService);
  EXPECT_EQ(r.services, (std::vector<std::wstring>{L"--unregister", L"Print Spooler", L"--deep"}));
  EXPECT_FALSE(r.deep);
  EXPECT_EQ(decide(L"t.exe a.txt --stop-service Spooler").mode, RunMode::Window);
  EXPECT_EQ(decide(L"t.exe --Stop-Service Spooler").mode, RunMode::Window);

  r = decide(L"t.exe a.txt --delete-on-reboot D:\\b");
  EXPECT_EQ(r.mode, RunMode::Window);  // only counts as the first argument
  EXPECT_EQ(r.paths, (std::vector<Target>{cwd_ + L"\\a.txt", L"D:\\b"}));
}

TEST_F(CommandLine, TakesOptionsExactlyAndIgnoresUnknownOnes) {
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
