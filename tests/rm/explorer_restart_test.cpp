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

using test::HolderProcess;

// A Restart Manager whose answers the test chooses, counting what it is asked.
struct FakeRestartManager {
  DWORD start = ERROR_SUCCESS;
  DWORD shutdown = ERROR_SUCCESS;
  int starts = 0, registrations = 0, shutdowns = 0, restarts = 0, ends = 0, lists = 0;
  RM_UNIQUE_PROCESS registered{};
  ULONG shutdown_flags = 0;
  DWORD ended_session = 0;
  std::vector<ProcessEntry> running;  // what the process list shows
};
FakeRestartManager* g_fake = nullptr;

constexpr DWORD kFakeSession = 7;

ExplorerRestartApi fake_api() {
  ExplorerRestartApi api;
  api.start_session = [](DWORD* session, DWORD, WCHAR[]) -> DWORD {
    ++g_fake->starts;
    if (g_fake->start == ERROR_SUCCESS) *session = kFakeSession;
    return g_fake->start;
  };
  api.register_resources = [](DWORD, UINT files, LPCWSTR[], UINT apps, RM_UNIQUE_PROCESS processes[], UINT services,
                              LPCWSTR[]) -> DWORD {
    ++g_fake->registrations;
    if (files != 0 || apps != 1 || services != 0) return ERROR_INVALID_PARAMETER;
    g_fake->registered = processes[0];
    return ERROR_SUCCESS;
  };
  api.shutdown = [](DWORD, ULONG flags, RM_WRITE_STATUS_CALLBACK) -> DWORD {
    ++g_fake->shutdowns;
    g_fake->shutdown_flags = flags;
    return g_fake->shutdown;
  };
  api.restart = [](DWORD, DWORD, RM_WRITE_STATUS_CALLBACK) -> DWORD {
    ++g_fake->restarts;
    return ERROR_SUCCESS;
  };
  api.end_session = [](DWORD session) -> DWORD {
    ++g_fake->ends;
    g_fake->ended_session = session;
    return ERROR_SUCCESS;
  };
  api.process_list = []() {
    ++g_fake->lists;
    return g_fake->running;
  };
  return api;
}

// A copy of the helper as explorer.exe in a folder that this process takes for the Windows
// folder. Wine gives every new process its own SystemRoot, so the code under test runs here.
class ExplorerStandIn : public testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    wchar_t old[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"SystemRoot", old, MAX_PATH) > 0) old_root_ = old;
    explorer_ = dir_ / L"explorer.exe";
    ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_holder.exe").c_str(), explorer_.c_str(), TRUE));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemRoot", dir_.path().c_str()));
  }
  void TearDown() override {
    end_restarted();
    ::SetEnvironmentVariableW(L"SystemRoot", old_root_ ? old_root_->c_str() : nullptr);
    g_fake = nullptr;
  }
  // Ends the stand-ins the code under test started (never any other process); how many.
  int end_restarted() {
    int count = 0;
    for (const ProcessEntry& p : process_list()) {
      if (p.pid == (shell_ ? shell_->pid() : 0) || !equal_ascii_folded(image_path(p.pid).value_or(L""), explorer_)) {
        continue;
      }
      const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.pid));
      if (process && ::TerminateProcess(process.get(), 99)) ::WaitForSingleObject(process.get(), 10'000);
      ++count;
    }
    return count;
  }
  void start_shell() {
    shell_ = HolderProcess::start_program(explorer_, {});
    ASSERT_TRUE(shell_.has_value());
  }

  test::TempDir dir_;
  std::wstring explorer_;
  std::optional<std::wstring> old_root_;
  std::optional<HolderProcess> shell_;
  FakeRestartManager fake_;
};

TEST_F(ExplorerStandIn, TheRestartManagerRestartsItAndTheSessionIsEnded) {
  start_shell();
  const std::uint64_t created = creation_time(shell_->pid()).value_or(0);
  EXPECT_TRUE(restart_explorer(shell_->pid(), created, fake_api()));
  EXPECT_EQ(fake_.registered.dwProcessId, shell_->pid());
  EXPECT_EQ(fake_.registered.ProcessStartTime.dwLowDateTime, static_cast<DWORD>(created));
  EXPECT_EQ(fake_.registered.ProcessStartTime.dwHighDateTime, static_cast<DWORD>(created >> 32));
  EXPECT_EQ(fake_.shutdown_flags, static_cast<ULONG>(RmForceShutdown));
  EXPECT_EQ(fake_.restarts, 1);
  EXPECT_EQ(fake_.ends, 1);
  EXPECT_EQ(fake_.ended_session, kFakeSession);
  EXPECT_EQ(fake_.lists, 0);  // no fallback
  EXPECT_TRUE(is_running(shell_->pid(), created));  // the Restart Manager's business, not ours
}

TEST_F(ExplorerStandIn, WhenTheRestartManagerFailsItIsEndedAndStartedFromTheWindowsFolder) {
  start_shell();
  fake_.shutdown = ERROR_ACCESS_DENIED;
  fake_.running = {{4, "System"}, {8, "explorer.exe.bak"}};  // no Explorer came back
  EXPECT_TRUE(restart_explorer(shell_->pid(), creation_time(shell_->pid()).value_or(0), fake_api()));
  EXPECT_EQ(fake_.ends, 1);  // the failed session is ended too
  EXPECT_EQ(fake_.restarts, 0);
  EXPECT_EQ(::WaitForSingleObject(shell_->process(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(end_restarted(), 1);
}

TEST_F(ExplorerStandIn, NoSecondExplorerWhenOneCameBackAndFailureWhenItCannotBeEnded) {
  start_shell();
  fake_.start = ERROR_OUTOFMEMORY;
  fake_.running = {{8, "EXPLORER.EXE"}};
  EXPECT_TRUE(restart_explorer(shell_->pid(), 0, fake_api()));
  EXPECT_EQ(fake_.ends, 0);  // no session was handed out
  EXPECT_EQ(::WaitForSingleObject(shell_->process(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(end_restarted(), 0);

  // A process that may not be ended (this one) ends the attempt at once.
  EXPECT_FALSE(restart_explorer(::GetCurrentProcessId(), 0, fake_api()));
  EXPECT_EQ(fake_.lists, 1);
  EXPECT_EQ(end_restarted(), 0);
}

TEST(ExplorerName, OnlyExplorerExeInAnyLetterCase) {
  EXPECT_TRUE(is_explorer_name("explorer.exe"));
  EXPECT_TRUE(is_explorer_name("ExPlOrEr.EXE"));
  for (const char* other : {"", "explorer", "explorer.ex", "explorer.exe ", "iexplorer.exe", "explorer.exe.bak"}) {
    EXPECT_FALSE(is_explorer_name(other)) << other;
  }
}

}  // namespace
}  // namespace tw
