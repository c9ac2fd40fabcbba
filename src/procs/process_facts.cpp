#include "procs/process_facts.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "common/handles.h"
#include "common/text.h"
#include "common/win32.h"

namespace tw {
namespace {

constexpr DWORD kImagePathUnits = 32'768;  // the longest path Windows hands out

UniqueHandle open_process(DWORD access, std::uint32_t pid) {
  return UniqueHandle(::OpenProcess(access, FALSE, pid));
}

// For another process's window both calls read the caption the window manager keeps, so a
// hung program cannot stall us. The title may change between the calls: keep the shorter.
std::string window_title(HWND window) {
  const int length = std::max(::GetWindowTextLengthW(window), 0);
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = std::max(::GetWindowTextW(window, buffer.data(), length + 1), 0);
  buffer.resize(static_cast<std::size_t>(std::min(length, copied)));
  return to_utf8(buffer);
}

struct WindowSearch {
  DWORD pid = 0;
  std::vector<ProcessWindow>* found = nullptr;
};

BOOL CALLBACK collect_window(HWND window, LPARAM context) {
  const auto& search = *reinterpret_cast<const WindowSearch*>(context);
  DWORD owner_pid = 0;
  ::GetWindowThreadProcessId(window, &owner_pid);
  if (owner_pid != search.pid || !::IsWindowVisible(window)) return TRUE;
  // A visible window owned by a hidden one (the dialog of a program whose main window is
  // hidden) is what the user sees of that program, so it counts.
  const HWND owner = ::GetWindow(window, GW_OWNER);
  if (owner != nullptr && ::IsWindowVisible(owner)) return TRUE;
  search.found->push_back({window, window_title(window)});
  return TRUE;
}

}  // namespace

std::optional<std::uint64_t> creation_time_of(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
  return filetime_count(created);
}

std::optional<bool> process_is_shielded(std::uint32_t pid) {
  using IsCriticalFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  using InformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
  // Looked up at run time: kernel32 has them from Windows 8 on, and not every system that runs
  // us has them.
  static const auto is_critical = loaded_function<IsCriticalFn>(L"kernel32.dll", "IsProcessCritical");
  static const auto information = loaded_function<InformationFn>(L"kernel32.dll", "GetProcessInformation");
  const UniqueHandle process = open_process(PROCESS_QUERY_LIMITED_INFORMATION, pid);
  if (!process) return std::nullopt;
  BOOL critical = FALSE;
  if (is_critical != nullptr && !is_critical(process.get(), &critical)) return std::nullopt;
  if (critical) return true;
  PROCESS_PROTECTION_LEVEL_INFORMATION level{PROTECTION_LEVEL_NONE};
  if (information != nullptr &&
      !information(process.get(), ProcessProtectionLevelInfo, &level, static_cast<DWORD>(sizeof level))) {
    return std::nullopt;
  }
  return level.ProtectionLevel != PROTECTION_LEVEL_NONE;
}

std::optional<std::wstring> image_path(std::uint32_t pid) {
  const UniqueHandle process = open_process(PROCESS_QUERY_LIMITED_INFORMATION, pid);
  if (!process) return std::nullopt;
  std::wstring buffer(kImagePathUnits, L'\0');
  DWORD units = kImagePathUnits;
  if (!::QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &units)) return std::nullopt;
  buffer.resize(std::min<DWORD>(units, kImagePathUnits));
  return buffer;
}

std::optional<std::uint64_t> creation_time(std::uint32_t pid) {
  const UniqueHandle process = open_process(PROCESS_QUERY_LIMITED_INFORMATION, pid);
  if (!process) return std::nullopt;
  return creation_time_of(process.get());
}

bool is_running(std::uint32_t pid, std::uint64_t expected_start_time) {
  const UniqueHandle process = open_process(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, pid);
  if (!process) return !open_failure_means_gone(::GetLastError());
  if (expected_start_time != 0 && creation_time_of(process.get()) != expected_start_time) return false;
  return ::WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0;
}

std::optional<std::uint32_t> process_session(std::uint32_t pid) {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(pid, &session)) return std::nullopt;
  return session;
}

std::vector<ProcessEntry> process_list() {
  std::vector<ProcessEntry> out;
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return out;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    const std::wstring_view name(entry.szExeFile, ::wcsnlen(entry.szExeFile, std::size(entry.szExeFile)));
    out.push_back({entry.th32ProcessID, to_utf8(name)});
  }
  return out;
}

std::vector<ProcessWindow> process_windows(std::uint32_t pid) {
  std::vector<ProcessWindow> found;
  WindowSearch search{pid, &found};
  ::EnumWindows(&collect_window, reinterpret_cast<LPARAM>(&search));
  return found;
}

}  // namespace tw
