#include "procs/end_process.h"

#include <windows.h>

#include "common/casemap.h"
#include "common/handles.h"
#include "common/win32.h"
#include "discovery/paths.h"
#include "procs/classify.h"
#include "procs/process_facts.h"

namespace tw {
namespace {

constexpr DWORD kCloseWaitMs = 6'000;
constexpr DWORD kEndWaitMs = 5'000;

// Whether the handle's process was created at `expected` (0: not known, taken as yes).
bool same_process(HANDLE process, std::uint64_t expected) {
  if (expected == 0) return true;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
  return filetime_count(created) == expected;
}

bool may_be_ended(std::uint32_t pid) {
  if (pid == ::GetCurrentProcessId()) return false;
  // Classified as it runs now, not as the scan saw it.
  const HolderKind kind = classify_running(pid);
  return kind != HolderKind::Service && kind != HolderKind::WindowsComponent;
}

}  // namespace

HolderKind classify_running(std::uint32_t pid) {
  const std::optional<std::wstring> path = image_path(pid);
  const std::string exe_name = path ? to_lower_full(file_name_of(*path)) : std::string();
  return classify(pid, exe_name, path, process_session(pid), false);
}

bool close_process_windows(std::uint32_t pid, std::uint64_t expected_start_time) {
  if (expected_start_time != 0 && creation_time(pid) != expected_start_time) return false;

  const std::vector<ProcessWindow> windows = process_windows(pid);
  for (const ProcessWindow& w : windows) {
    static_cast<void>(::PostMessageW(w.window, WM_CLOSE, 0, 0));  // a window that went away meanwhile is fine
  }
  if (windows.empty()) return false;

  const UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return open_failure_means_gone(::GetLastError());  // gone already, or out of our reach
  if (!same_process(process.get(), expected_start_time)) return true;  // ours went; the pid is another's
  return ::WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_OBJECT_0;
}

ForceQuitResult force_quit_process(std::uint32_t pid, std::uint64_t expected_start_time) {
  if (!may_be_ended(pid)) return ForceQuitResult::Refused;

  const UniqueHandle process(
      ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) {
    return is_running(pid, expected_start_time) ? ForceQuitResult::CouldNotEnd : ForceQuitResult::Ended;
  }
  if (!same_process(process.get(), expected_start_time)) return ForceQuitResult::Ended;  // never end a newcomer
  if (!::TerminateProcess(process.get(), 1)) return ForceQuitResult::CouldNotEnd;
  return ::WaitForSingleObject(process.get(), kEndWaitMs) == WAIT_OBJECT_0 ? ForceQuitResult::Ended
                                                                        : ForceQuitResult::StillRunning;
}

}  // namespace tw
