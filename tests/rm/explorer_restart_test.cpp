#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "common/casemap.h"
#include "common/handles.h"
#include "procs/process_facts.h"
#include "rm/explorer_restart.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

// A Restart Manager whose answers the test chooses, noting what it was asked.
struct FakeRestartManager {
  DWORD start = ERROR_SUCCESS;
  DWORD shutdown = ERROR_SUCCESS;
  RM_UNIQUE_PROCESS registered{};
  ULONG shutdown_flags = 0;
  int restarts = 0, ends = 0, lists = 0;
  std::vector<ProcessEntry> running;  // what the process list shows
  // The desktop's shell window: none until this much time was slept, then one of shell_pid's.
  DWORD shell_after_ms = kNever;
  DWORD shell_pid = 0;
  bool shell_in_other_session = false;
  DWORD slept = 0;
  static constexpr DWORD kNever = 0xFFFFFFFF;
} g_fake;

const HWND kShellWindow = reinterpret_cast<HWND>(0x10010);

ExplorerRestartApi fake_api() {
  ExplorerRestartApi api;
  api.start_session = [](DWORD* session, DWORD, WCHAR[]) {
    if (g_fake.start == ERROR_SUCCESS) *session = 7;
    return g_fake.start;
  };
  api.register_resources = [](DWORD, UINT files, LPCWSTR[], UINT apps, RM_UNIQUE_PROCESS processes[], UINT services,
                              LPCWSTR[]) -> DWORD {
    if (files != 0 || apps != 1 || services != 0) return ERROR_INVALID_PARAMETER;
    g_fake.registered = processes[0];
    return ERROR_SUCCESS;
  };
  api.shutdown = [](DWORD, ULONG flags, RM_WRITE_STATUS_CALLBACK) {
    g_fake.shutdown_flags = flags;
    return g_fake.shutdown;
  };
  api.restart = [](DWORD, DWORD, RM_WRITE_STATUS_CALLBACK) -> DWORD {
    ++g_fake.restarts;
    return ERROR_SUCCESS;
  };
  api.end_session = [](DWORD session) -> DWORD {
    g_fake.ends += session == 7 ? 1 : 100;  // only the session handed out
    return ERROR_SUCCESS;
  };
  api.process_list = [] {
    ++g_fake.lists;
    return g_fake.running;
  };
  api.sleep = [](DWORD ms) { g_fake.slept += ms; };  // the waits for the shell, at once
  api.shell_window = [] { return g_fake.slept >= g_fake.shell_after_ms ? kShellWindow : HWND{}; };
  api.window_process = [](HWND window, DWORD* pid) -> DWORD {
    *pid = window == kShellWindow ? g_fake.shell_pid : 0;
    return *pid == 0 ? 0 : 1;
  };
  api.process_session = [](DWORD pid, DWORD* session) -> BOOL {
    *session = pid == g_fake.shell_pid && g_fake.shell_in_other_session ? 2 : 1;
    return TRUE;
  };
  return api;
}

ExplorerRestartApi elevated_api(bool windows_restarts_shell) {
  ExplorerRestartApi api = fake_api();
  api.auto_restart_shell = windows_restarts_shell ? +[] { return true; } : +[] { return false; };
  return api;
}

// A copy of the helper running as explorer.exe from a folder that this process takes for the
// Windows folder (Wine gives every new process its own SystemRoot, so the code runs here).
class ExplorerStandIn : public testing::Test {
 protected:
  void SetUp() override {
    g_fake = {};
    wchar_t old[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"SystemRoot", old, MAX_PATH) > 0) old_root_ = old;
    ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_holder.exe").c_str(), explorer_.c_str(), TRUE));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemRoot", dir_.path().c_str()));
    shell_ = test::HolderProcess::start_program(explorer_, {});
    ASSERT_TRUE(shell_.has_value());
    created_ = creation_time(shell_->pid()).value_or(0);
  }
  void TearDown() override {
    end_restarted();
    ::SetEnvironmentVariableW(L"SystemRoot", old_root_ ? old_root_->c_str() : nullptr);
  }
  bool shell_ended() const { return ::WaitForSingleObject(shell_->process(), 0) == WAIT_OBJECT_0; }
  // Ends the stand-ins that the code under test started, and only those; how many.
  int end_restarted() {
    int count = 0;
    for (const ProcessEntry& p : process_list()) {
      if ((shell_ && p.pid == shell_->pid()) || !equal_ascii_folded(image_path(p.pid).value_or(L""), explorer_)) continue;
      const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.pid));
      if (process && ::TerminateProcess(process.get(), 99)) ::WaitForSingleObject(process.get(), 10'000);
      ++count;
    }
    return count;
  }

  test::TempDir dir_;
  const std::wstring explorer_ = dir_ / L"explorer.exe";
  std::optional<std::wstring> old_root_;
  std::optional<test::HolderProcess> shell_;
  std::uint64_t created_ = 0;
};

TEST_F(ExplorerStandIn, TheRestartManagerRestartsItAndTheSessionIsEnded) {
  EXPECT_TRUE(restart_explorer(shell_->pid(), created_, false, fake_api()));
  EXPECT_EQ(g_fake.registered.dwProcessId, shell_->pid());
  EXPECT_EQ(g_fake.registered.ProcessStartTime.dwLowDateTime, static_cast<DWORD>(created_));
  EXPECT_EQ(g_fake.registered.ProcessStartTime.dwHighDateTime, static_cast<DWORD>(created_ >> 32));
  EXPECT_EQ(g_fake.shutdown_flags, static_cast<ULONG>(RmForceShutdown));
  EXPECT_EQ(g_fake.restarts, 1);
  EXPECT_EQ(g_fake.ends, 1);
  EXPECT_EQ(g_fake.lists, 0);  // no fallback
  EXPECT_FALSE(shell_ended());  // that was the Restart Manager's to do
}

TEST_F(ExplorerStandIn, WhenTheRestartManagerFailsItIsEndedAndStartedFromTheWindowsFolder) {
  g_fake.shutdown = ERROR_ACCESS_DENIED;
  g_fake.running = {{4, "System"}, {8, "explorer.exe.bak"}, {12, "iexplorer.exe"}, {16, "explorer.exe"}};
  g_fake.shell_pid = 16;
  g_fake.shell_after_ms = 3'000;  // no shell came back; the one started here shows its window
  EXPECT_TRUE(restart_explorer(shell_->pid(), created_, false, fake_api()));
  EXPECT_EQ(g_fake.ends, 1);  // the failed session is ended too
  EXPECT_EQ(g_fake.restarts, 0);
  EXPECT_TRUE(shell_ended());
  EXPECT_EQ(end_restarted(), 1);
}

TEST_F(ExplorerStandIn, NoSecondExplorerWhenOneCameBackAndFailureWhenItMayNotBeEnded) {
  g_fake.start = ERROR_OUTOFMEMORY;
  g_fake.running = {{8, "EXPLORER.EXE"}};
  g_fake.shell_pid = 8;
  g_fake.shell_after_ms = 0;
  EXPECT_TRUE(restart_explorer(shell_->pid(), 0, false, fake_api()));
  EXPECT_EQ(g_fake.ends, 0);  // no session was handed out
  EXPECT_TRUE(shell_ended());
  EXPECT_EQ(end_restarted(), 0);

  // This program is never ended, so the attempt stops there.
  EXPECT_FALSE(restart_explorer(::GetCurrentProcessId(), 0, false, fake_api()));
  EXPECT_EQ(g_fake.lists, 1);
  EXPECT_EQ(end_restarted(), 0);
}

// After the Restart Manager failed and the stand-in was ended: what Windows then shows, and
// whether the shell counts as back (and whether one was started here).
TEST_F(ExplorerStandIn, OnlyThisSessionsShellWindowCountsAsTheShellBeingBack) {
  constexpr DWORD kNever = FakeRestartManager::kNever;
  struct Case {
    const char* what;
    bool elevated;
    std::vector<ProcessEntry> running;
    DWORD shell_pid, shell_after_ms;
    bool other_session, restarted;
    int started;
  };
  const std::vector<Case> cases = {
      {"a folder-window explorer.exe runs, no taskbar", false, {{8, "explorer.exe"}}, 0, kNever, false, false, 1},
      {"another session's shell", false, {{8, "explorer.exe"}}, 8, 0, true, false, 1},
      {"the shell window is another program's", false, {{8, "explorer.exe"}, {9, "shell.exe"}}, 9, 0, false, false, 1},
      {"Windows brings the shell back", false, {{8, "explorer.exe"}}, 8, 1'000, false, true, 0},
      {"the one started here becomes the shell", false, {{8, "explorer.exe"}}, 8, 4'000, false, true, 1},
      {"the one started here never shows a taskbar", false, {}, 8, 20'000, false, false, 1},
      {"elevated: a folder-window explorer.exe is no taskbar", true, {{8, "explorer.exe"}}, 0, kNever, false, false, 0},
      {"elevated: Windows brings the shell back", true, {{8, "explorer.exe"}}, 8, 5'000, false, true, 0},
  };
  for (const Case& c : cases) {
    if (!shell_) {
      shell_ = test::HolderProcess::start_program(explorer_, {});
      ASSERT_TRUE(shell_.has_value()) << c.what;
      created_ = creation_time(shell_->pid()).value_or(0);
    }
    g_fake = {};
    g_fake.shutdown = ERROR_ACCESS_DENIED;
    g_fake.running = c.running;
    g_fake.shell_pid = c.shell_pid;
    g_fake.shell_after_ms = c.shell_after_ms;
    g_fake.shell_in_other_session = c.other_session;
    EXPECT_EQ(restart_explorer(shell_->pid(), created_, c.elevated, c.elevated ? elevated_api(true) : fake_api()),
              c.restarted)
        << c.what;
    EXPECT_TRUE(shell_ended()) << c.what;
    EXPECT_EQ(end_restarted(), c.started) << c.what;
    shell_.reset();
  }
}

TEST(ExplorerRestartWay, AnElevatedWindowNeverStartsTheShellItself) {
  EXPECT_EQ(explorer_restart_way(false, true), ExplorerRestartWay::RestartManagerElseStart);
  EXPECT_EQ(explorer_restart_way(false, false), ExplorerRestartWay::RestartManagerElseStart);
  EXPECT_EQ(explorer_restart_way(true, true), ExplorerRestartWay::EndForWindowsToRestart);
  EXPECT_EQ(explorer_restart_way(true, false), ExplorerRestartWay::Refuse);
}

TEST_F(ExplorerStandIn, ElevatedItIsEndedWithAFailureForWindowsToStartAgain) {
  g_fake.running = {{8, "explorer.exe"}};  // as Windows' own restart brings it back
  g_fake.shell_pid = 8;
  g_fake.shell_after_ms = 1'000;
  EXPECT_TRUE(restart_explorer(shell_->pid(), created_, true, elevated_api(true)));
  EXPECT_TRUE(shell_ended());
  DWORD code = 0;
  ASSERT_TRUE(::GetExitCodeProcess(shell_->process(), &code));
  EXPECT_NE(code, 0u);  // the sign Windows restarts the shell on
  EXPECT_EQ(g_fake.restarts, 0);  // the Restart Manager would start it as administrator
  EXPECT_EQ(end_restarted(), 0);  // and so would we
}

TEST_F(ExplorerStandIn, ElevatedItIsNeverStartedByUsEvenWhenWindowsDoesNot) {
  EXPECT_FALSE(restart_explorer(shell_->pid(), created_, true, elevated_api(true)));
  EXPECT_TRUE(shell_ended());
  EXPECT_EQ(end_restarted(), 0);
}

TEST_F(ExplorerStandIn, ElevatedAndWindowsWouldNotRestartItItIsLeftRunning) {
  EXPECT_FALSE(restart_explorer(shell_->pid(), created_, true, elevated_api(false)));
  EXPECT_FALSE(shell_ended());
  EXPECT_EQ(g_fake.lists, 0);
}

}  // namespace
}  // namespace tw
