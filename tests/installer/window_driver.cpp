// Test helper that drives an installed Tarnwick from outside, as a user would:
//   window_driver answer-offer SECONDS  waits for Tarnwick's message box, prints its text and
//                                       answers Yes
//   window_driver wait-window SECONDS   waits for a Tarnwick window, prints its program's path
//   window_driver close SECONDS         closes every Tarnwick window and waits for the
//                                       programs to end
//   window_driver click-through TITLE SECONDS
//                                       waits for a dialog whose title begins with TITLE (an
//                                       installer's window) and presses its default button
//                                       whenever it is enabled, until the dialog is gone
//   window_driver run-line SECONDS LINE starts command line LINE as it stands (as Windows starts
//                                       an uninstall entry's) and waits for it; exit status
//                                       its program's
//   window_driver processes             prints the file name of every running process
//   window_driver set-event NAME        sets a named event (a test helper's --quit)
// Exit status 0 when done, 1 when the time ran out, 2 for a wrong command line.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/text.h"

namespace {

constexpr wchar_t kMainWindowClass[] = L"Tarnwick.Main";

std::vector<HWND> main_windows() {
  std::vector<HWND> found;
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, kMainWindowClass, nullptr)) != nullptr;) found.push_back(w);
  return found;
}

std::wstring text_of(HWND window) {
  wchar_t buffer[2048] = {};
  const int n = ::GetWindowTextW(window, buffer, 2048);
  return std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

// A message box is a dialog titled "Tarnwick"; its message is its longest static text. A box
// whose Yes button exists but whose text is not set yet is not taken (a busy machine shows it).
HWND find_message_box(std::wstring& message) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"#32770", L"Tarnwick")) != nullptr;) {
    if (::GetDlgItem(w, IDYES) == nullptr) continue;
    message.clear();
    for (HWND c = nullptr; (c = ::FindWindowExW(w, c, L"Static", nullptr)) != nullptr;) {
      const std::wstring text = text_of(c);
      if (text.size() > message.size()) message = text;
    }
    if (!message.empty()) return w;
  }
  return nullptr;
}

std::wstring image_of(DWORD pid) {
  tw::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return L"";
  return std::wstring(path, size);
}

void print(const std::wstring& text) { std::printf("%s\n", tw::to_utf8(text).c_str()); }

template <class Done>
bool wait_until(DWORD seconds, Done done) {
  const ULONGLONG until = ::GetTickCount64() + seconds * 1000ull;
  while (!done()) {
    if (::GetTickCount64() > until) return false;
    ::Sleep(100);
  }
  return true;
}

int answer_offer(DWORD seconds) {
  std::wstring message;
  HWND box = nullptr;
  if (!wait_until(seconds, [&] { return (box = find_message_box(message)) != nullptr; })) return 1;
  print(message);
  const HWND yes = ::GetDlgItem(box, IDYES);
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), reinterpret_cast<LPARAM>(yes));
  return 0;
}

int wait_window(DWORD seconds) {
  std::vector<HWND> windows;
  if (!wait_until(seconds, [&] { return !(windows = main_windows()).empty(); })) return 1;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(windows.front(), &pid);
  print(image_of(pid));
  return 0;
}

int close_windows(DWORD seconds) {
  std::vector<tw::UniqueHandle> processes;
  for (const HWND w : main_windows()) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    processes.emplace_back(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ::PostMessageW(w, WM_CLOSE, 0, 0);
  }
  for (const tw::UniqueHandle& p : processes) {
    if (p && ::WaitForSingleObject(p.get(), seconds * 1000) != WAIT_OBJECT_0) return 1;
  }
  return 0;
}

// NSIS adds the page's name to the title ("Tarnwick Uninstall: Confirmation").
HWND find_dialog(const std::wstring& title) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr;) {
    if (text_of(w).starts_with(title)) return w;
  }
  return nullptr;
}

int click_through(const std::wstring& title, DWORD seconds) {
  HWND dialog = nullptr;
  const auto find = [&] { return (dialog = find_dialog(title)) != nullptr; };
  if (!wait_until(seconds, find)) return 1;
  const bool gone = wait_until(seconds, [&] {
    if (!find()) return true;
    const HWND button = ::GetDlgItem(dialog, IDOK);
    if (button != nullptr && ::IsWindowEnabled(button)) {
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    ::Sleep(400);  // the page the press leads to comes first
    return false;
  });
  return gone ? 0 : 1;
}

int run_line(std::wstring line, DWORD seconds) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return 2;
  }
  const tw::UniqueHandle process(started.hProcess);
  const tw::UniqueHandle thread(started.hThread);
  if (::WaitForSingleObject(process.get(), seconds * 1000) != WAIT_OBJECT_0) return 1;
  DWORD code = 1;
  return ::GetExitCodeProcess(process.get(), &code) ? static_cast<int>(code) : 1;
}

int list_processes() {
  tw::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    print(entry.szExeFile);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"processes") return list_processes();
  if (command == L"set-event" && argc == 3) {
    const tw::UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]));
    return event && ::SetEvent(event.get()) ? 0 : 1;
  }
  if (command == L"click-through" && argc == 4) {
    return click_through(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  }
  if (command == L"run-line" && argc == 4) {
    return run_line(argv[3], static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  }
  if (argc != 3) return 2;
  const DWORD seconds = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"answer-offer") return answer_offer(seconds);
  if (command == L"wait-window") return wait_window(seconds);
  if (command == L"close") return close_windows(seconds);
  return 2;
}
