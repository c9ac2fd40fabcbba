#include "rm/explorer_restart.h"

#include <limits>
#include <string>

#include "common/casemap.h"
#include "common/handles.h"
#include "common/win32.h"
#include "discovery/paths.h"
#include "procs/classify.h"
#include "procs/end_process.h"

namespace tw {
namespace {

constexpr DWORD kComeBackWaitMs = 2'500;
constexpr DWORD kPollMs = 250;
constexpr DWORD kWindowsRestartWaitMs = 10'000;
// 0 is a real session handle: only a handle Windows handed out is ever ended.
constexpr DWORD kNoSession = std::numeric_limits<DWORD>::max();

// The Restart Manager's own way: shut the process down and start it again, in one session
// that is always ended.
bool restart_through_restart_manager(std::uint32_t pid, std::uint64_t expected_start_time,
                                     const ExplorerRestartApi& api) {
  DWORD session = kNoSession;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  const bool started = api.start_session(&session, 0, key) == ERROR_SUCCESS;
  bool restarted = false;
  if (started) {
    RM_UNIQUE_PROCESS process{};
    process.dwProcessId = pid;
    process.ProcessStartTime = filetime_of(expected_start_time);
    restarted = api.register_resources(session, 0, nullptr, 1, &process, 0, nullptr) == ERROR_SUCCESS &&
                api.shutdown(session, RmForceShutdown, nullptr) == ERROR_SUCCESS &&
                api.restart(session, 0, nullptr) == ERROR_SUCCESS;
  }
  // A failed start may still have handed out a handle.
  if (session != kNoSession) static_cast<void>(api.end_session(session));  // nothing to do about a failure
  return restarted;
}

bool start_explorer() {
  // Not waited for: it is Windows' shell, not ours.
  return start_program(join_path(windows_folder(), L"explorer.exe"), {}).started.has_value();
}

bool explorer_runs(const ExplorerRestartApi& api) {
  for (const ProcessEntry& p : api.process_list()) {
    if (is_explorer_name(p.exe_name)) return true;
  }
  return false;
}

// Ends it with a failure code (force quit does), the sign Windows takes to start the shell again.
bool end_explorer(std::uint32_t pid, std::uint64_t expected_start_time) {
  return !is_running(pid, expected_start_time) || force_quit_process(pid, expected_start_time) == ForceQuitResult::Ended;
}

}  // namespace

bool windows_restarts_the_shell() {
  DWORD value = 1;
  DWORD size = sizeof value;
  const LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                        L"AutoRestartShell", RRF_RT_REG_DWORD, nullptr, &value, &size);
  return status != ERROR_SUCCESS || value != 0;  // missing: Windows' default, on
}

bool is_explorer_name(std::string_view exe_name) { return equal_ascii_folded(exe_name, std::string_view("explorer.exe")); }

ExplorerRestartWay explorer_restart_way(bool elevated, bool windows_restarts_shell) {
  if (!elevated) return ExplorerRestartWay::RestartManagerElseStart;
  return windows_restarts_shell ? ExplorerRestartWay::EndForWindowsToRestart : ExplorerRestartWay::Refuse;
}

bool restart_explorer(std::uint32_t pid, std::uint64_t expected_start_time, bool elevated,
                      const ExplorerRestartApi& api) {
  switch (explorer_restart_way(elevated, elevated && api.auto_restart_shell())) {
    case ExplorerRestartWay::Refuse:
      return false;
    case ExplorerRestartWay::EndForWindowsToRestart: {
      if (!end_explorer(pid, expected_start_time)) return false;
      // Never started by us: only Windows can start it with the user's own rights.
      for (DWORD waited = 0; waited < kWindowsRestartWaitMs; waited += kPollMs) {
        api.sleep(kPollMs);
        if (explorer_runs(api)) return true;
      }
      return false;
    }
    case ExplorerRestartWay::RestartManagerElseStart:
      break;
  }
  if (restart_through_restart_manager(pid, expected_start_time, api)) return true;
  if (!end_explorer(pid, expected_start_time)) return false;
  api.sleep(kComeBackWaitMs);
  if (explorer_runs(api)) return true;  // Windows brought it back by itself
  return start_explorer();
}

}  // namespace tw
