#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// Facts the system gives about one process. Each call opens its own handle and closes it
// again; a fact that cannot be had (the process is gone, elevated or another user's) is
// simply absent.

// Full Win32 path of the executable image.
std::optional<std::wstring> image_path(std::uint32_t pid);

// Creation time in 100-ns units since 1601: with the pid, the identity of a process.
std::optional<std::uint64_t> creation_time(std::uint32_t pid);
// The same of a process already opened (with at least PROCESS_QUERY_LIMITED_INFORMATION).
std::optional<std::uint64_t> creation_time_of(HANDLE process);

// Whether the process under `pid` is still running and, unless `expected_start_time` is 0,
// still the one created at that time (and not a newcomer that reused the identifier). A
// process that exists but may not be opened (another user's, a protected one) is running.
bool is_running(std::uint32_t pid, std::uint64_t expected_start_time);

// What a failed OpenProcess says about the process: only "invalid parameter" means there is no
// such process; any other error (access denied above all) means it is there but out of reach.
constexpr bool open_failure_means_gone(DWORD error) { return error == ERROR_INVALID_PARAMETER; }

std::optional<std::uint32_t> process_session(std::uint32_t pid);

// Whether Windows guards the process: critical (ending it stops the system) or protected
// (its protection level is not none). Nothing when the process cannot be asked. A question
// the system has no call for (older systems) counts as no.
std::optional<bool> process_is_shielded(std::uint32_t pid);

struct ProcessEntry {
  std::uint32_t pid = 0;
  std::string exe_name;  // executable file name, as the process snapshot gives it
};

// Every process of the system, in snapshot order; empty when no snapshot can be taken.
std::vector<ProcessEntry> process_list();

struct ProcessWindow {
  HWND window = nullptr;
  std::string title;
};

// The process's qualifying windows in EnumWindows order: visible top-level windows without
// an owner or with an owner that is not visible (the dialog of a hidden main window counts).
std::vector<ProcessWindow> process_windows(std::uint32_t pid);

}  // namespace tw
