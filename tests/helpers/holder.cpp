// Test helper: holds files and folders open like a real program, until told to quit.
//
//   tw_holder [--share MODE] [--repeat N] [--open PATH]... [--open-dir DIR]... [--cwd PATH]
//             [--ready EVENT] [--quit EVENT] [--timeout MS]
//
// --share sets the sharing of the --open options after it: any of the letters r, w, d, or
// "none" (the default is rwd). --repeat makes the opens after it take N handles each.
// --open-dir opens every file directly inside DIR. --ready names an event set once everything is held; --quit
// names an event that ends the program. Exit status 0, or 2 when something could not be
// opened (then "ready" is never set).
#include <windows.h>

#include <string>
#include <vector>

#include "common/cmdline.h"
#include "common/handles.h"

namespace {

DWORD parse_share(const std::wstring& mode) {
  DWORD share = 0;
  if (mode == L"none") return 0;
  for (const wchar_t c : mode) {
    if (c == L'r') share |= FILE_SHARE_READ;
    if (c == L'w') share |= FILE_SHARE_WRITE;
    if (c == L'd') share |= FILE_SHARE_DELETE;
  }
  return share;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::vector<std::wstring> args = tw::split_command_line(::GetCommandLineW());
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD timeout_ms = 60'000;
  std::wstring ready_name, quit_name;
  DWORD repeat = 1;
  std::vector<tw::UniqueHandle> held;
  const auto open = [&](const std::wstring& path) {
    for (DWORD n = 0; n < repeat; ++n) {
      tw::UniqueHandle h(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!h) return false;
      held.push_back(std::move(h));
    }
    return true;
  };

  for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
    const std::wstring& option = args[i];
    const std::wstring& value = args[i + 1];
    if (option == L"--share") {
      share = parse_share(value);
    } else if (option == L"--repeat") {
      repeat = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
    } else if (option == L"--open") {
      if (!open(value)) return 2;
    } else if (option == L"--open-dir") {
      WIN32_FIND_DATAW data;
      tw::UniqueFind find(::FindFirstFileW((value + L"\\*").c_str(), &data));
      if (!find) return 2;
      do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!open(value + L"\\" + data.cFileName)) return 2;
      } while (::FindNextFileW(find.get(), &data));
    } else if (option == L"--cwd") {
      if (!::SetCurrentDirectoryW(value.c_str())) return 2;
    } else if (option == L"--ready") {
      ready_name = value;
    } else if (option == L"--quit") {
      quit_name = value;
    } else if (option == L"--timeout") {
      timeout_ms = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
    }
  }

  tw::UniqueHandle quit;
  if (!quit_name.empty()) quit.reset(::CreateEventW(nullptr, TRUE, FALSE, quit_name.c_str()));
  if (!ready_name.empty()) {
    tw::UniqueHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready_name.c_str()));
    if (ready) ::SetEvent(ready.get());
  }
  if (quit) {
    ::WaitForSingleObject(quit.get(), timeout_ms);
  } else {
    ::Sleep(timeout_ms);
  }
  return 0;
}
