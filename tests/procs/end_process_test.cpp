#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <chrono>

#include "common/handles.h"
#include "common/text.h"
#include "procs/end_process.h"
#include "procs/process_facts.h"
#include "support/holder_process.h"
#include "support/saved_environment.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::HolderProcess;
using Seconds = std::chrono::duration<double>;

// The lines the helper logged; none when it logged nothing.
std::vector<std::string> lines_of(const std::wstring& path) {
  std::vector<std::string> lines;
  const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  if (!file) return lines;
  char buffer[4096];
  DWORD got = 0;
  if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return lines;
  std::string text(buffer, got);
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

bool exited(const HolderProcess& p, DWORD wait_ms = 0) { return ::WaitForSingleObject(p.process(), wait_ms) == WAIT_OBJECT_0; }

DWORD exit_code(const HolderProcess& p) {
  DWORD code = 0;
  ::GetExitCodeProcess(p.process(), &code);
  return code;
}

TEST(CloseProcessWindows, EachQualifyingWindowGetsOnePostInEnumOrderAndTheExitIsAwaited) {
  test::TempDir dir;
  const std::wstring log = dir / L"closes.txt";
  auto holder = HolderProcess::start({L"--close-log", log, L"--window", L"First", L"--owned", L"Find", L"--window",
                                      L"Second", L"--owned-dialog", L"Third"});
  ASSERT_TRUE(holder.has_value());
  std::vector<std::string> expected;
  for (const ProcessWindow& w : process_windows(holder->pid())) expected.push_back(w.title);
  ASSERT_EQ(expected.size(), 3u);  // the window owned by "First" does not qualify

  EXPECT_TRUE(close_process_windows(holder->pid(), creation_time(holder->pid()).value_or(0)));
  EXPECT_TRUE(exited(*holder));
  EXPECT_EQ(lines_of(log), expected);
}

TEST(CloseProcessWindows, AProgramThatKeepsItsWindowOrHasNoneIsNotClosed) {
  test::TempDir dir;
  const std::wstring log = dir / L"closes.txt";
  auto asking = HolderProcess::start({L"--close-log", log, L"--refuse-close", L"--window", L"Unsaved"});
  auto windowless = HolderProcess::start({});
  ASSERT_TRUE(asking && windowless);

  auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(close_process_windows(asking->pid(), 0));
  EXPECT_GE(Seconds(std::chrono::steady_clock::now() - begin).count(), 5.9);  // waited its 6 seconds
  EXPECT_FALSE(exited(*asking));
  EXPECT_EQ(lines_of(log), std::vector<std::string>{"Unsaved"});

  begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(close_process_windows(windowless->pid(), creation_time(windowless->pid()).value_or(0)));
  EXPECT_LT(Seconds(std::chrono::steady_clock::now() - begin).count(), 2.0);  // nothing to wait for
  EXPECT_FALSE(exited(*windowless));
}

TEST(EndProcess, ANewcomerUnderTheSamePidIsNeitherClosedNorEnded) {
  test::TempDir dir;
  const std::wstring log = dir / L"closes.txt";
  auto holder = HolderProcess::start({L"--close-log", log, L"--window", L"Report"});
  ASSERT_TRUE(holder.has_value());
  const std::uint64_t seen = creation_time(holder->pid()).value_or(1) - 1;  // as if the pid had been reused since

  EXPECT_FALSE(close_process_windows(holder->pid(), seen));
  EXPECT_EQ(force_quit_process(holder->pid(), seen), ForceQuitResult::Ended);
  EXPECT_FALSE(exited(*holder, 500));
  EXPECT_TRUE(lines_of(log).empty());
}

TEST(EndProcess, ForceQuitEndsAProgramButNeverThisOneOrAPartOfWindows) {
  auto holder = HolderProcess::start({L"--window", L"Report"});
  ASSERT_TRUE(holder.has_value());
  const std::uint64_t created = creation_time(holder->pid()).value_or(0);
  EXPECT_EQ(force_quit_process(holder->pid(), created), ForceQuitResult::Ended);
  EXPECT_TRUE(exited(*holder));
  EXPECT_EQ(exit_code(*holder), 1u);
  EXPECT_EQ(force_quit_process(holder->pid(), created), ForceQuitResult::Ended);  // already gone

  EXPECT_EQ(force_quit_process(::GetCurrentProcessId(), 0), ForceQuitResult::Refused);

  // A program named like one Windows runs for itself is told apart by its name alone.
  test::TempDir dir;
  const std::wstring component = dir / L"MsMpEng.exe";
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_holder.exe").c_str(), component.c_str(), TRUE));
  auto windows_part = HolderProcess::start_program(component, {});
  ASSERT_TRUE(windows_part.has_value());
  EXPECT_EQ(force_quit_process(windows_part->pid(), 0), ForceQuitResult::Refused);
  EXPECT_FALSE(exited(*windows_part, 500));
  EXPECT_EQ(windows_part->stop(), 0u);
}

// A process named by its id is what a search would have called it: the shell is the shell,
// however it was reached.
TEST(ClassifyRunning, TellsTheShellAPartOfWindowsAndAProgramApart) {
  test::TempDir windows, elsewhere;
  const test::SavedEnvironment saved(std::array{L"SystemRoot"});
  ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemRoot", windows.path().c_str()));
  const std::wstring helper = test::program_dir() + L"\\tw_holder.exe";
  const struct {
    std::wstring copy;
    HolderKind kind;
  } cases[] = {
      {windows / L"explorer.exe", HolderKind::FileExplorer},
      {elsewhere / L"explorer.exe", HolderKind::Program},  // somebody's copy, not the shell
      {elsewhere / L"csrss.exe", HolderKind::WindowsComponent},
      {elsewhere / L"report.exe", HolderKind::Program},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(::CopyFileW(helper.c_str(), c.copy.c_str(), FALSE));
    auto process = HolderProcess::start_program(c.copy, {});
    ASSERT_TRUE(process.has_value());
    EXPECT_EQ(classify_running(process->pid()), c.kind) << to_utf8(c.copy);
    EXPECT_EQ(process->stop(), 0u);
  }
}

}  // namespace
}  // namespace tw
