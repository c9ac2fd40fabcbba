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
} g_fake;

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
  api.sleep = [](DWORD) {};  // the waits for Windows to bring Explorer back, at once
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
  g_fake.running = {{4, "System"}, {8, "explorer.exe.bak"}, {12, "iexplorer.exe"}};  // no Explorer came back
  EXPECT_TRUE(restart_explorer(shell_->pid(), created_, false, fake_api()));
  EXPECT_EQ(g_fake.ends, 1);  // the failed session is ended too
  EXPECT_EQ(g_fake.restarts, 0);
  EXPECT_TRUE(shell_ended());
  EXPECT_EQ(end_restarted(), 1);
}

TEST_F(ExplorerStandIn, NoSecondExplorerWhenOneCameBackAndFailureWhenItMayNotBeEnded) {
  g_fake.start = ERROR_OUTOFMEMORY;
  g_fake.running = {{8, "EXPLORER.EXE"}};
  EXPECT_TRUE(restart_explorer(shell_->pid(), 0, false, fake_api()));
  EXPECT_EQ(g_fake.ends, 0);  // no session was handed out
  EXPECT_TRUE(shell_ended());
  EXPECT_EQ(end_restarted(), 0);

  // This program is never ended, so the attempt stops there.
  EXPECT_FALSE(restart_explorer(::GetCurrentProcessId(), 0, false, fake_api()));
  EXPECT_EQ(g_fake.lists, 1);
  EXPECT_EQ(end_restarted(), 0);
}

TEST(ExplorerRestartWay, AnElevatedWindowNeverStartsTheShellItself) {
  EXPECT_EQ(explorer_restart_way(false, true), ExplorerRestartWay::RestartManagerElseStart);
  EXPECT_EQ(explorer_restart_way(false, false), ExplorerRestartWay::RestartManagerElseStart);
  EXPECT_EQ(explorer_restart_way(true, true), ExplorerRestartWay::EndForWindowsToRestart);
  EXPECT_EQ(explorer_restart_way(true, false), ExplorerRestartWay::Refuse);
}

ExplorerRestartApi elevated_api(bool windows_restarts_shell) {
  ExplorerRestartApi api = fake_api();
  api.auto_restart_shell = windows_restarts_shell ? +[] { return true; } : +[] { return false; };
  return api;
}

TEST_F(ExplorerStandIn, ElevatedItIsEndedWithAFailureForWindowsToStartAgain) {
  g_fake.running = {{8, "explorer.exe"}};  // as Windows' own restart brings it back
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
