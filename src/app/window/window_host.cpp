#include "app/window/window_host.h"

#include <cstring>
#include <vector>

#include "app/scan/scan_job.h"
#include "app/window/hand_over.h"

namespace tw {
namespace {

// The state lives here, reached only from the main thread. A handler borrows it for its
// own duration. Windows sends messages back into the window from inside many calls, so a
// message can arrive while the state is borrowed: one the window does not handle goes to
// DefWindowProcW at once, one it does is held and handled once the borrow ends.
thread_local std::unique_ptr<MainWindow> t_window;
thread_local bool t_borrowed = false;
thread_local bool t_release_pending = false;  // destroyed while a handler still held it

// Menus, the file picker and message boxes run message loops of their own, so a handler
// never opens one while it holds the state: it leaves the request here, and the window
// procedure runs it once the state is free again.
thread_local std::vector<FreeWork> t_deferred;

class Borrow {
 public:
  Borrow() : window_(t_borrowed ? nullptr : t_window.get()) {
    if (window_) t_borrowed = true;
  }
  ~Borrow() {
    if (!window_) return;
    t_borrowed = false;
    if (t_release_pending) {
      t_release_pending = false;
      t_window.reset();
    }
  }
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;
  MainWindow* get() const { return window_; }

 private:
  MainWindow* window_;
};

// A message that came while the state was borrowed, kept with copies of whatever its
// parameters point to.
struct HeldMessage {
  UINT message = 0;
  Held held = Held::InTurn;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  RECT rect{};                 // Held::LatestRect
  ULONG_PTR tag = 0;           // Held::HandOver: its tag and text
  std::wstring text;
};
thread_local std::vector<HeldMessage> t_held;

bool coalesced(Held held) { return held == Held::Latest || held == Held::LatestPainted || held == Held::LatestRect; }

LRESULT hold(HWND window, const MessageRow& row, WPARAM wparam, LPARAM lparam) {
  HeldMessage held{row.id, row.held, wparam, lparam, {}, 0, {}};
  LRESULT answer = 0;
  switch (row.held) {
    case Held::LatestPainted:
      static_cast<void>(::DefWindowProcW(window, row.id, wparam, lparam));
      break;
    case Held::LatestRect:
      held.rect = *reinterpret_cast<const RECT*>(lparam);
      break;
    case Held::HandOver: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      if (data == nullptr || !copy_hand_over(data->dwData, data->lpData, data->cbData)) return 0;
      held.tag = data->dwData;
      held.text.resize(data->cbData / sizeof(wchar_t));
      std::memcpy(held.text.data(), data->lpData, held.text.size() * sizeof(wchar_t));
      answer = 1;  // taken: the sender may go
      break;
    }
    case Held::InTurn:
    case Held::Latest:
      break;
  }
  if (coalesced(row.held)) {
    std::erase_if(t_held, [&](const HeldMessage& m) { return m.message == row.id; });
  }
  t_held.push_back(std::move(held));
  return answer;
}

// Handles what was held, in order, each as if it had just arrived: through the window's
// own procedure, whichever that is.
void replay_held(HWND window) {
  while (!t_held.empty() && t_window) {
    HeldMessage held = std::move(t_held.front());
    t_held.erase(t_held.begin());
    const auto procedure = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC));
    if (procedure == nullptr) return;
    LPARAM lparam = held.lparam;
    COPYDATASTRUCT data{};
    if (held.held == Held::LatestRect) lparam = reinterpret_cast<LPARAM>(&held.rect);
    if (held.held == Held::HandOver) {
      data = COPYDATASTRUCT{held.tag, static_cast<DWORD>(held.text.size() * sizeof(wchar_t)), held.text.data()};
      lparam = reinterpret_cast<LPARAM>(&data);
    }
    static_cast<void>(::CallWindowProcW(procedure, window, held.message, held.wparam, lparam));
  }
}

const MessageRow* find_row(std::span<const MessageRow> table, UINT message) {
  for (const MessageRow& row : table) {
    if (row.id == message) return &row;
  }
  return nullptr;
}

}  // namespace

// Runs the deferred work, one at a time, each taken out before it runs: it may defer more.
class FreeTimeRunner {
 public:
  static void run(HWND window) {
    while (!t_deferred.empty() && t_window) {
      FreeWork body = std::move(t_deferred.front());
      t_deferred.erase(t_deferred.begin());
      const FreeTime free(window, t_window->platform.message_box);
      body(free);
    }
  }
};

std::optional<SystemColors> read_high_contrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  if (!::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) ||
      (contrast.dwFlags & HCF_HIGHCONTRASTON) == 0) {
    return std::nullopt;
  }
  const auto colour = [](int index) {
    const COLORREF c = ::GetSysColor(index);  // 0x00BBGGRR
    return static_cast<std::uint32_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
  };
  return SystemColors{colour(COLOR_WINDOW),  colour(COLOR_WINDOWTEXT), colour(COLOR_HIGHLIGHT),
                      colour(COLOR_HIGHLIGHTTEXT), colour(COLOR_BTNFACE), colour(COLOR_BTNTEXT),
                      colour(COLOR_GRAYTEXT),    colour(COLOR_HOTLIGHT)};
}

bool keyboard_cues_always() {
  BOOL always = FALSE;
  return ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &always, 0) && always;
}

void install_main_window(std::unique_ptr<MainWindow> window) { t_window = std::move(window); }

bool has_main_window() { return t_window != nullptr; }

LRESULT dispatch_with_state(std::span<const MessageRow> table, HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  // Before the state is installed (during creation) and after it is gone, the system's
  // defaults serve.
  if (!t_window || t_window->state.window != window) return ::DefWindowProcW(window, message, wparam, lparam);
  const MessageRow* row = find_row(table, message);
  LRESULT result = 0;
  if (row == nullptr) {
    // So they do for everything the window does not handle itself, borrowed or not.
    result = ::DefWindowProcW(window, message, wparam, lparam);
  } else if (t_borrowed) {
    return hold(window, *row, wparam, lparam);
  } else {
    Answer handled;
    {
      Borrow borrow;
      handled = row->handler(*borrow.get(), wparam, lparam);
    }
    result = handled ? *handled : ::DefWindowProcW(window, message, wparam, lparam);
  }
  if (!t_borrowed) {
    // What came while the state was borrowed, then what was left to run while it is free.
    replay_held(window);
    FreeTimeRunner::run(window);
  }
  return result;
}

void defer_while_free(FreeWork body) { t_deferred.push_back(std::move(body)); }

bool with_main_window(const std::function<void(MainWindow&)>& act) {
  HWND window = nullptr;
  {
    Borrow borrow;
    MainWindow* w = borrow.get();
    if (w == nullptr) return false;
    window = w->state.window;
    act(*w);
  }
  if (!t_borrowed) replay_held(window);
  return true;
}

std::shared_ptr<AccessProvider> window_access(HWND window, bool make) {
  if (!t_window || t_window->state.window != window) return nullptr;
  if (!t_window->access && make) t_window->access = make_access_provider(window);
  return t_window->access;
}

void end_main_window() {
  if (t_window && t_window->access) close_access_provider(*t_window->access);
  // Usually sent from inside a handler (WM_CLOSE): the state then goes when that handler
  // lets go of it.
  if (t_borrowed) {
    t_release_pending = true;
  } else {
    t_window.reset();
  }
}

namespace {

// Eject is offered for one drive that Windows may stop, asked as a search starts: the
// question opens the volume, which painting must not wait on.
bool offers_eject(std::span<const Target> targets, const EjectApi& api) {
  if (targets.size() != 1) return false;
  const std::optional<std::wstring> root = drive_root(targets[0]);
  return root && plan_eject(*root, api).refusal == EjectRefusal::None;
}

}  // namespace

void start_window_scan(MainWindow& w, bool deep) {
  w.state.eject_offered = offers_eject(w.state.targets, w.platform.eject);
  std::optional<ScanRequest> request = begin_scan(w.state, deep);
  if (!request) return;
  request->finish_holders = [api = w.platform.services](std::vector<Holder>& holders) {
    note_stoppable_services(holders, api);
  };
  // Without a thread the scan never finishes; say so through a result of our own.
  if (!start_scan(std::move(*request))) apply_result(w.state, TakenResult{w.state.scan_id, ScanResult{}});
  ::SetTimer(w.state.window, kBusyTimer, kBusyTimerMs, nullptr);
  ::InvalidateRect(w.state.window, nullptr, FALSE);
}

void set_window_targets(MainWindow& w, std::span<const Target> paths, bool merge) {
  if (set_targets(w.state, paths, merge, Clock::now(), w.platform.is_folder)) start_window_scan(w, false);
}

void show_notice(MainWindow& w, std::string text) {
  set_notice(w.state, std::move(text), Clock::now());
  ::SetTimer(w.state.window, kNoticeTimer, kNoticeTimerMs, nullptr);
  ::InvalidateRect(w.state.window, nullptr, FALSE);
}

}  // namespace tw
