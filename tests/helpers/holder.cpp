// Test helper: holds files and folders open and shows windows like a real program, until
// told to quit.
//
//   tw_holder [--share MODE] [--repeat N] [--open PATH]... [--open-dir DIR]... [--cwd PATH]
//             [--load PATH]... [--map PATH]... [--window TITLE]... [--hidden-window TITLE]... [--owned-dialog TITLE]...
//             [--owned TITLE]... [--hung] [--refuse-close] [--close-log FILE] [--ready EVENT]
//             [--quit EVENT] [--timeout MS]
//
// --share sets the sharing of the --open options after it: any of the letters r, w, d, or
// "none" (the default is rwd). --repeat makes the opens after it take N handles each.
// --open-dir opens every file directly inside DIR. --load loads a DLL (LoadLibraryExW) and
// keeps it loaded; --map maps a view of a file into memory and closes the file and mapping
// handles, keeping only the view, as programs that read a file through memory do. --window shows a top-level window with
// the title; --hidden-window makes one that is never shown; --owned-dialog shows a dialog
// whose owner is a hidden window (titled "Hidden owner"); --owned shows a window owned by
// the last --window. Windows exist before "ready" and take messages while the program
// waits, unless --hung is given: then it stops taking messages, like a program that hangs.
// WM_CLOSE closes a window, and the program exits once its last --window or --owned-dialog
// is closed; with --refuse-close it keeps every window, like a program asking whether to
// save. --close-log appends the title of each window that receives WM_CLOSE, one per line.
// --ready names an event set once everything is held; --quit names an event that ends the
// program. Exit status 0, or 2 when something could not be opened or created (then "ready"
// is never set).
#include <windows.h>

#include <string>
#include <vector>

#include "common/cmdline.h"
#include "common/handles.h"

namespace {

constexpr wchar_t kWindowClass[] = L"Tarnwick.TestHolder";

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

std::wstring g_close_log;
bool g_refuse_close = false;
int g_open_main_windows = 0;  // --window and --owned-dialog windows not yet destroyed

void log_close(HWND window) {
  if (g_close_log.empty()) return;
  wchar_t title[256] = {};
  ::GetWindowTextW(window, title, 256);
  std::string line;
  for (const wchar_t* c = title; *c != 0; ++c) line.push_back(static_cast<char>(*c));  // ASCII titles only
  line.push_back('\n');
  tw::UniqueHandle log(::CreateFileW(g_close_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (log) ::WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      log_close(window);
      if (!g_refuse_close) ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      if (::RemovePropW(window, L"main") != nullptr && --g_open_main_windows == 0) ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

enum class WindowStyle { Visible, Hidden, OwnedDialog, Owned };

struct WindowRequest {
  WindowStyle style;
  std::wstring title;
};

HWND make_window(const std::wstring& title, DWORD style, HWND owner) {
  return ::CreateWindowExW(0, kWindowClass, title.c_str(), style, 100, 100, 320, 200, owner, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

// Creates the windows in the order asked. The windows live until the process ends.
bool create_windows(const std::vector<WindowRequest>& requests) {
  if (requests.empty()) return true;
  WNDCLASSW wc{};
  wc.lpfnWndProc = &window_proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  if (!::RegisterClassW(&wc)) return false;

  HWND last_visible = nullptr;
  for (const WindowRequest& r : requests) {
    HWND window = nullptr;
    switch (r.style) {
      case WindowStyle::Visible:
        window = last_visible = make_window(r.title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr);
        break;
      case WindowStyle::Hidden:
        window = make_window(r.title, WS_OVERLAPPEDWINDOW, nullptr);
        break;
      case WindowStyle::OwnedDialog:
        if (HWND owner = make_window(L"Hidden owner", WS_OVERLAPPEDWINDOW, nullptr)) {
          window = make_window(r.title, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, owner);
        }
        break;
      case WindowStyle::Owned:
        if (last_visible != nullptr) {
          window = make_window(r.title, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, last_visible);
        }
        break;
    }
    if (window == nullptr) return false;
    if (r.style == WindowStyle::Visible || r.style == WindowStyle::OwnedDialog) {
      ::SetPropW(window, L"main", reinterpret_cast<HANDLE>(1));
      ++g_open_main_windows;
    }
  }
  return true;
}

// Waits for the quit event (if any) or the timeout, handling window messages meanwhile.
void wait_for_quit(HANDLE quit, DWORD timeout_ms, bool pump) {
  if (!pump) {
    if (quit != nullptr) {
      ::WaitForSingleObject(quit, timeout_ms);
    } else {
      ::Sleep(timeout_ms);
    }
    return;
  }
  const DWORD count = quit != nullptr ? 1 : 0;
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return;
    const DWORD r = ::MsgWaitForMultipleObjects(count, &quit, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (r != WAIT_OBJECT_0 + count) return;  // quit, timeout or failure
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

// A read-only view of the whole file, left mapped until the program ends; no handle stays open.
bool map_view(const std::wstring& path) {
  const tw::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  const tw::UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return false;
  return ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) != nullptr;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::vector<std::wstring> args = tw::split_command_line(::GetCommandLineW());
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD timeout_ms = 60'000;
  std::wstring ready_name, quit_name;
  DWORD repeat = 1;
  bool pump = true;
  std::vector<WindowRequest> windows;
  std::vector<tw::UniqueHandle> held;
  // Repeated handles are duplicates of the first: one open file each, as a program that
  // hands a handle around has (Wine keeps a Unix descriptor per opened file, and those run out).
  const auto open = [&](const std::wstring& path) {
    tw::UniqueHandle first(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!first) return false;
    for (DWORD n = 1; n < repeat; ++n) {
      HANDLE copy = nullptr;
      if (!::DuplicateHandle(::GetCurrentProcess(), first.get(), ::GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
        return false;
      }
      held.emplace_back(copy);
    }
    held.push_back(std::move(first));
    return true;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& option = args[i];
    if (option == L"--hung") {
      pump = false;
      continue;
    }
    if (option == L"--refuse-close") {
      g_refuse_close = true;
      continue;
    }
    if (i + 1 >= args.size()) break;
    const std::wstring& value = args[++i];
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
    } else if (option == L"--load") {
      if (::LoadLibraryExW(value.c_str(), nullptr, 0) == nullptr) return 2;  // loaded until the end
    } else if (option == L"--map") {
      if (!map_view(value)) return 2;
    } else if (option == L"--cwd") {
      if (!::SetCurrentDirectoryW(value.c_str())) return 2;
    } else if (option == L"--window") {
      windows.push_back({WindowStyle::Visible, value});
    } else if (option == L"--hidden-window") {
      windows.push_back({WindowStyle::Hidden, value});
    } else if (option == L"--owned-dialog") {
      windows.push_back({WindowStyle::OwnedDialog, value});
    } else if (option == L"--owned") {
      windows.push_back({WindowStyle::Owned, value});
    } else if (option == L"--close-log") {
      g_close_log = value;
    } else if (option == L"--ready") {
      ready_name = value;
    } else if (option == L"--quit") {
      quit_name = value;
    } else if (option == L"--timeout") {
      timeout_ms = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
    }
  }
  if (!create_windows(windows)) return 2;

  tw::UniqueHandle quit;
  if (!quit_name.empty()) quit.reset(::CreateEventW(nullptr, TRUE, FALSE, quit_name.c_str()));
  if (!ready_name.empty()) {
    tw::UniqueHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready_name.c_str()));
    if (ready) ::SetEvent(ready.get());
  }
  wait_for_quit(quit.get(), timeout_ms, pump);
  return 0;
}
