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
constexpr DWORD kShellWaitMs = 10'000;
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

// Polls for the shell for up to `ms`.
bool wait_for_shell(const ExplorerRestartApi& api, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += kPollMs) {
    api.sleep(kPollMs);
    if (shell_is_back(api)) return true;
  }
  return false;
}

// Ends it with a failure code (force quit does), the sign Windows takes to start the shell again.
bool end_explorer(std::uint32_t pid, std::uint64_t expected_start_time) {
  return !is_running(pid, expected_start_time) || force_quit_process(pid, expected_start_time) == ForceQuitResult::Ended;
}

}  // namespace

bool shell_is_back(const ExplorerRestartApi& api) {
  const HWND shell = api.shell_window();
  if (shell == nullptr) return false;
  DWORD pid = 0;
  api.window_process(shell, &pid);
  DWORD session = 0, own_session = 0;
  if (pid == 0 || !api.process_session(pid, &session) || !api.process_session(::GetCurrentProcessId(), &own_session) ||
      session != own_session) {
    return false;
  }
  for (const ProcessEntry& p : api.process_list()) {
    if (p.pid == pid) return is_explorer_name(p.exe_name);
  }
  return false;
}

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
      return wait_for_shell(api, kShellWaitMs);
    }
    case ExplorerRestartWay::RestartManagerElseStart:
      break;
  }
  if (restart_through_restart_manager(pid, expected_start_time, api)) return true;
  if (!end_explorer(pid, expected_start_time)) return false;
  if (wait_for_shell(api, kComeBackWaitMs)) return true;  // Windows brought it back by itself
  // Started while no shell runs, explorer.exe becomes the shell; "restarted" once it shows.
  return start_explorer() && wait_for_shell(api, kShellWaitMs);
}

}  // namespace tw
