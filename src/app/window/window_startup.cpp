#include "app/window/window_startup.h"

#include <dwmapi.h>
#include <objbase.h>
#include <shellapi.h>

#include <array>
#include <vector>

#include "app/language/catalogue.h"
#include "app/system/account.h"
#include "app/system/explorer_entry.h"
#include "app/system/machine_install.h"
#include "app/window/window_messages.h"
#include "app/system/settings.h"
#include "app/window/main_window.h"
#include "app/window/update_prompts.h"
#include "common/casemap.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/win32.h"

namespace tw {
namespace {

constexpr int kDefaultWidth = 880;
constexpr int kDefaultHeight = 700;
constexpr UINT kHandOverTimeoutMs = 4000;
// How long a start keeps trying to reach the instance that owns the mutex: File Explorer starts
// one process per selected item, all at once, and the first has no window yet.
constexpr DWORD kHandOverPatienceMs = 3000;
constexpr DWORD kHandOverRetryMs = 50;

void enable_debug_privilege() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
  // Lets the deep search look into more processes; without it the search just sees fewer.
  static_cast<void>(::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr));
}

// Restores the saved placement, or centres the default size. Gives the show command.
int place_window(HWND window) {
  if (std::optional<WINDOWPLACEMENT> placement = read_placement()) {
    const bool maximized = placement->showCmd == SW_SHOWMAXIMIZED;
    placement->flags = 0;
    placement->showCmd = SW_HIDE;
    // Twice: the first call may land on another monitor's DPI and size the window for it.
    ::SetWindowPlacement(window, &*placement);
    ::SetWindowPlacement(window, &*placement);
    return maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  }
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info)) {
    const RECT r = centred_window_rect(info.rcWork, ::GetDpiForWindow(window));
    ::SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return SW_SHOWNORMAL;
}

std::wstring window_title(bool elevated) {
  if (!elevated) return L"Tarnwick";
  return L"Tarnwick (" + to_wide(localized(msg::kAdministrator)) + L")";
}

}  // namespace

RECT centred_window_rect(const RECT& work, UINT dpi) {
  const float scale = static_cast<float>(std::max(dpi, 96u)) / 96.0f;
  const LONG work_width = work.right - work.left, work_height = work.bottom - work.top;
  const LONG width = std::min(static_cast<LONG>(scale * kDefaultWidth), work_width);
  const LONG height = std::min(static_cast<LONG>(scale * kDefaultHeight), work_height);
  const LONG left = work.left + (work_width - width) / 2;
  const LONG top = work.top + (work_height - height) / 2;
  return RECT{left, top, left + width, top + height};
}

bool another_instance_runs(bool mutex_created, DWORD error) {
  // An elevated instance's mutex cannot be opened by one that is not: creating it fails with
  // "access denied", which says just as surely that it exists.
  return mutex_created ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
}

bool hand_over(const std::vector<Target>& paths, const HandOverApi& api) {
  const HWND running = ::FindWindowW(kMainWindowClass, nullptr);
  if (running == nullptr) return false;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(running, &pid);
  ::AllowSetForegroundWindow(pid);  // so that it may come to the front
  if (paths.empty()) return ::PostMessageW(running, kMsgActivate, 0, 0) != 0;

  std::vector<Target> given = paths;
  if (!api.shares_logon(pid)) {
    for (Target& t : given) t = as_seen_from_another_logon(t, api.drives);
  }
  std::wstring text = hand_over_text(given);
  COPYDATASTRUCT data{kHandOverTag, static_cast<DWORD>(text.size() * sizeof(wchar_t)), text.data()};
  DWORD_PTR reply = 0;
  const LRESULT sent = ::SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                             SMTO_ABORTIFHUNG, kHandOverTimeoutMs, &reply);
  return sent != 0 && reply == 1;
}

namespace {

// True when a running instance took the paths (or, without paths, was brought to the front).
// An instance that is itself starting gets a while to answer.
bool handed_to_running_instance(const StartupRequest& request) {
  // Held for the life of the process as a sign that an instance runs; never waited on.
  const HANDLE instance_mutex = ::CreateMutexW(nullptr, TRUE, kSingleInstanceMutex);
  if (!another_instance_runs(instance_mutex != nullptr, ::GetLastError()) || request.fresh) return false;
  const DWORD started = ::GetTickCount();
  while (true) {
    if (hand_over(request.paths)) return true;
    if (::GetTickCount() - started >= kHandOverPatienceMs) return false;
    ::Sleep(kHandOverRetryMs);
  }
}

HWND create_main_window(bool elevated) {
  const HINSTANCE module = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &main_window_proc;
  window_class.hInstance = module;
  window_class.hIcon = ::LoadIconW(module, MAKEINTRESOURCEW(1));
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kMainWindowClass;
  ::RegisterClassExW(&window_class);

  const std::wstring title = window_title(elevated);
  const HWND window = ::CreateWindowExW(WS_EX_ACCEPTFILES, kMainWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW,
                                        CW_USEDEFAULT, CW_USEDEFAULT, kDefaultWidth, kDefaultHeight, nullptr,
                                        nullptr, module, nullptr);
  if (window == nullptr) return nullptr;

  // Drops, hand-overs and wake-ups from a program that is not elevated reach an elevated
  // window too.
  for (const UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, UINT{0x0049}, UINT{kMsgActivate}}) {
    ::ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
  }
  ::DragAcceptFiles(window, TRUE);
  return window;
}

// The window's state and its drawing layer; without a layer the window still works, unpainted.
std::unique_ptr<MainWindow> make_main_window(HWND window, bool elevated) {
  auto main = std::make_unique<MainWindow>();
  WindowState& s = main->state;
  s.window = window;
  s.elevated = elevated;
  s.dark = read_dark_mode();
  s.high_contrast = main->platform.high_contrast();
  s.focus_cues = keyboard_cues_always();
  static_cast<void>(set_dark_title_bar(window, s.dark));  // the frame only; failure is harmless
  s.dpi = std::max(::GetDpiForWindow(window), 96u);
  main->gfx = create_gfx(window, s.dpi, script_letters(current_language()), text_locale(current_language())).gfx;
  main->layer_size = client_size(window);
  return main;
}

}  // namespace

int run_window_mode(const StartupRequest& request) {
  // Not keep the folder it was started in busy: that folder may be what the user deletes.
  if (const auto root = environment_variable(L"SystemRoot")) ::SetCurrentDirectoryW(root->c_str());
  if (handed_to_running_instance(request)) return 0;

  // Elevated under another account, HKEY_CURRENT_USER is not the user's: nothing is kept there,
  // and the user's folders are protected as well as this account's.
  if (runs_for_another_user(own_user_sid(), request.for_user)) {
    set_user_registry_writable(false);
    set_other_account(request.for_user);
  }
  // An installation for every user has the machine's entry; the user's would only repeat it.
  if (!explorer_menu_is_machines()) refresh_explorer_menu(localized(msg::kUnlockWithTarnwick));
  static_cast<void>(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));  // the shell dialogs need it
  const bool elevated = process_is_elevated();
  if (elevated) enable_debug_privilege();

  const HWND window = create_main_window(elevated);
  if (window == nullptr) return 0;
  const int show = place_window(window);  // before the layer is made: it takes the placed size
  auto main = make_main_window(window, elevated);
  MainWindow& w = *main;
  install_main_window(std::move(main));
  if (set_targets(w.state, request.paths, false, Clock::now())) start_window_scan(w, request.deep);

  ::ShowWindow(window, show);
  run_automatic_update_check(w);

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace tw
