// The main window's message handlers and its window procedure, in this order:
//   what the handlers share: painting, clicks and where they lead, drops, a finished remedy,
//     focus cues and moves;
//   one handler a message: size, close, settings, a second start's paths, keys, screen readers'
//     requests, the menu key, focus cues, timers, the mouse, drops, DPI, a search's progress
//     and its end;
//   menus and pickers in deferred work, and UI Automation's provider and its copy of the window;
//   the one table of messages with how each waits while the state is borrowed, those answered
//     whatever the state, and main_window_proc.

#include "app/window/main_window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cmath>
#include <optional>

#include "app/language/catalogue.h"
#include "app/remedies/remedy_queue.h"
#include "app/scan/scan_job.h"
#include "app/system/account.h"
#include "app/system/messages.h"
#include "app/system/settings.h"
#include "app/system/startup.h"
#include "app/window/access_tree.h"
#include "app/window/accessibility.h"
#include "app/window/hand_over.h"
#include "app/window/menus.h"
#include "app/window/message_boxes.h"
#include "app/window/picker.h"
#include "app/window/row_buttons.h"
#include "app/window/target_buttons.h"
#include "app/window/title_bar.h"
#include "app/window/update_prompts.h"
#include "app/window/view.h"
#include "app/window/window_probe.h"
#include "app/window/window_messages.h"
#include "common/cmdline.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

void scroll_to(MainWindow& w, float value) {
  w.state.scroll = clamp_scroll(value, max_scroll(current_layout(w), w.state));
  repaint(w);
}

Hit hit_at(const MainWindow& w, LPARAM lparam) {
  return hit_test(current_layout(w), w.state,
                  PointF{static_cast<float>(GET_X_LPARAM(lparam)), static_cast<float>(GET_Y_LPARAM(lparam))});
}

// The layer's buffers follow the client size. A WM_SIZE that arrived while a handler held
// the state (restoring a minimised window from inside one) was answered without resizing,
// so painting checks again.
void fit_layer(MainWindow& w) {
  const ClientSize size = client_size(w.state.window);
  if (!w.gfx || (size.width == w.layer_size.width && size.height == w.layer_size.height)) return;
  resize_gfx(*w.gfx, size.width, size.height);
  w.layer_size = size;
}

Answer on_paint(MainWindow& w) {
  fit_layer(w);
  if (w.gfx) {
    // Row icons come from the cache: made once per layer and size, failures remembered too.
    const Layout layout = current_layout(w);
    begin_frame(*w.gfx, background_color(w.state));
    paint_view(*w.gfx, layout, w.state, w.icons);
    const FrameResult frame = end_frame(*w.gfx);
    if (frame == FrameResult::Ok) note_frame_presented();
    if (frame == FrameResult::DeviceLost) {
      w.icons.entries.clear();
      w.gfx.reset();  // the old layer goes whatever happens next
      w.gfx = create_gfx(w.state.window, w.state.dpi, script_letters(current_language()), text_locale(current_language())).gfx;
      w.layer_size = client_size(w.state.window);
      ::InvalidateRect(w.state.window, nullptr, FALSE);
    }
  }
  ::ValidateRect(w.state.window, nullptr);
  refresh_access(w);
  return kHandled;
}

void activate(HWND window) {
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
}

// Starts an elevated copy with the targets and a deep search; this window then closes.
void search_as_administrator(MainWindow& w) {
  const std::wstring exe = own_executable_path();
  std::vector<std::wstring> args{L"--fresh", L"--deep"};
  // Said who asked, so that a copy running as another account leaves that account's settings
  // alone; and paths on mapped drives given as shares, which that account can reach.
  if (const auto sid = own_user_sid()) args.push_back(std::wstring(kOptionForUser) + *sid);
  for (const Target& t : w.state.targets) args.push_back(as_seen_from_another_logon(t));
  // Quoted so that any path (a drive root's backslash included) comes back as it is.
  const std::wstring parameters = join_arguments(args);
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(w.state.window, L"runas", exe.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL));
  if (result > 32) ::DestroyWindow(w.state.window);
}

enum class Pick { SettingsMenu, ChooseMenu, Files, Folder };
void run_pick(const FreeTime& free, Pick kind, POINT screen);

void defer(Pick kind, HWND window, POINT client = {}) {
  ::ClientToScreen(window, &client);
  defer_while_free([kind, client](const FreeTime& free) { run_pick(free, kind, client); });
}

void click(MainWindow& w, const Hit& hit, POINT point) {
  switch (hit.kind) {
    case HitKind::MenuButton:
      defer(Pick::SettingsMenu, w.state.window, point);
      break;
    case HitKind::AddButton:
      defer(Pick::ChooseMenu, w.state.window, point);
      break;
    case HitKind::Rescan:
      start_window_scan(w, w.state.deep);
      break;
    case HitKind::DeepSearch:
      start_window_scan(w, true);
      break;
    case HitKind::SearchAsAdmin:
      search_as_administrator(w);
      break;
    case HitKind::StopSearch:
      stop_search(w);
      break;
    case HitKind::ChooseFiles:
      defer(Pick::Files, w.state.window);
      break;
    case HitKind::ChooseFolder:
      defer(Pick::Folder, w.state.window);
      break;
    case HitKind::RowClose:
    case HitKind::RowForceQuit:
    case HitKind::RowRestartExplorer:
    case HitKind::RowStopService:
    case HitKind::RowDisconnect:
    case HitKind::RowReleaseFile:
      click_row_remedy(w, hit);
      break;
    case HitKind::RecycleBin:
    case HitKind::DeleteOnRestart:
      click_target_remedy(w, hit);
      break;
    case HitKind::Eject:
      click_eject(w);
      break;
    case HitKind::Row:  // nothing to click: its buttons are
    case HitKind::Nothing:
      break;
  }
}

std::vector<Target> dropped_paths(HDROP drop) {
  std::vector<Target> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring name(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    name.resize(::DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
    if (auto target = resolve_target(name, RelativePaths::Refuse)) paths.push_back(std::move(*target));
  }
  ::DragFinish(drop);
  return paths;
}

void on_remedy_finished(MainWindow& w) {
  for (const RemedyOutcome& outcome : take_remedy_outcomes()) {
    if (outcome.kind == RemedyKind::DeleteOnRestart) {
      finish_delete_on_restart(w, outcome);  // concerns the targets, whatever the scan
    } else {
      apply_row_outcome(w, outcome);
    }
  }
  settle_focus(w);
  repaint(w);
}

// Shows or hides the focus as Windows does: the window's UI state changes (and comes back as
// WM_UPDATEUISTATE), and the view follows at once.
void show_focus_cues(MainWindow& w, bool show) {
  if (!show && keyboard_cues_always()) return;
  w.state.focus_cues = show;
  ::SendMessageW(w.state.window, WM_CHANGEUISTATE, MAKEWPARAM(show ? UIS_CLEAR : UIS_SET, UISF_HIDEFOCUS), 0);
}

// Moves the keyboard focus and scrolls the rows so that it can be seen.
void move_focus(MainWindow& w, const Hit& to) {
  set_focus(w.state, to);
  show_focus_cues(w, true);
  show_focused(w);
}

// The point a menu opened from the keyboard hangs from: the element's bottom left corner.
POINT below(const Layout& layout, const WindowState& s, const Hit& hit) {
  const std::optional<RectF> box = element_box(layout, s, hit);
  if (!box) return POINT{0, 0};
  return POINT{static_cast<LONG>(std::lround(box->x)), static_cast<LONG>(std::lround(box->y + box->height))};
}

Answer on_size(MainWindow& w, LPARAM lparam) {
  if (w.gfx) {
    resize_gfx(*w.gfx, LOWORD(lparam), HIWORD(lparam));
    w.layer_size = ClientSize{LOWORD(lparam), HIWORD(lparam)};
  }
  scroll_to(w, w.state.scroll);
  return kHandled;
}

Answer on_close(const MainWindow& w) {
  write_placement(w.state.window);
  ::DestroyWindow(w.state.window);
  return kHandled;
}

// Heard, and left to the default handling too: others may want to hear of it.
Answer on_setting_change(MainWindow& w) {
  const bool dark = read_dark_mode();
  const std::optional<SystemColors> high_contrast = w.platform.high_contrast();
  if (dark == w.state.dark && high_contrast == w.state.high_contrast) return kDefault;
  if (dark != w.state.dark) static_cast<void>(set_dark_title_bar(w.state.window, dark));  // the view follows anyway
  w.state.dark = dark;
  w.state.high_contrast = high_contrast;
  repaint(w);
  return kDefault;
}

// Paths from a second instance: copied and answered at once (the sender waits meanwhile),
// resolved on a worker while the window shows a search. Answered 1 when taken.
LRESULT on_copy_data(MainWindow& w, LPARAM lparam) {
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
  if (data == nullptr) return 0;
  std::optional<std::wstring> text = copy_hand_over(data->dwData, data->lpData, data->cbData);
  if (!text) return 0;
  HandOverJob job{receive_hand_over(w.state, Clock::now()), std::move(*text), w.state.window, w.platform.is_folder};
  if (!start_hand_over(job)) report_hand_over(job.window, resolve_hand_over(job));  // no thread: here, then
  ::SetTimer(w.state.window, kBusyTimer, kBusyTimerMs, nullptr);
  repaint(w);
  activate(w.state.window);
  return 1;
}

Answer on_hand_over_resolved(MainWindow& w) {
  bool settled = false;
  for (ResolvedHandOver& resolved : take_resolved_hand_overs()) {
    if (take_resolved_hand_over(w.state, std::move(resolved)) == HandOverStep::Settled) settled = true;
  }
  if (!settled || !w.state.hand_overs.empty()) return kHandled;
  if (!w.state.targets.empty()) {
    start_window_scan(w, false);
  } else {
    w.state.progress.phase = ScanPhase::Taken;  // nothing came of them: the empty view again
    repaint(w);
  }
  return kHandled;
}

Answer on_key_down(MainWindow& w, WPARAM key) {
  WindowState& s = w.state;
  const KeyPress press{static_cast<UINT>(key), ::GetKeyState(VK_SHIFT) < 0, ::GetKeyState(VK_CONTROL) < 0};
  const Layout layout = current_layout(w);
  const std::vector<Hit> order = focus_order(layout, s);
  const KeyAction action = key_action(s, order, press, view_size(w).height, max_scroll(layout, s));
  switch (action.command) {
    case KeyCommand::Scroll:
      s.scroll = action.scroll;
      repaint(w);
      return kHandled;
    case KeyCommand::Rescan:
      start_window_scan(w, s.deep);
      return kHandled;
    case KeyCommand::ChooseFiles:
      defer(Pick::Files, s.window);
      return kHandled;
    case KeyCommand::MoveFocus:
      move_focus(w, action.target);
      return kHandled;
    case KeyCommand::Activate:
      show_focus_cues(w, true);
      click(w, action.target, below(layout, s, action.target));
      return kHandled;
    case KeyCommand::StopSearch:
      stop_search(w);
      return kHandled;
    case KeyCommand::DismissNotice:
      ::KillTimer(s.window, kNoticeTimer);
      s.notice.reset();
      repaint(w);
      return kHandled;
    case KeyCommand::None:
      break;
  }
  return kDefault;  // the system's own keys (the menu key among them) keep working
}

// What screen readers asked for: a button clicked as a click would, an element focused as
// the keyboard would. Each element is found again by its id: the view may have changed.
Answer on_access_request(MainWindow& w) {
  if (!w.access) return kHandled;
  const std::vector<AccessRequest> requests = take_access_requests(*w.access);
  for (const AccessRequest& request : requests) {
    // Found in the view as it is now: an earlier request may have changed it.
    const std::vector<AccessNode> nodes = access_tree(current_layout(w, RowsLaidOut::All), w.state);
    const auto node = std::find_if(nodes.begin(), nodes.end(), [&](const AccessNode& n) { return n.id == request.id; });
    if (node == nodes.end() || node->hit.kind == HitKind::Nothing) continue;
    if (request.kind == AccessRequestKind::Focus) {
      move_focus(w, node->hit);
    } else if (node->role == AccessRole::Button) {
      click(w, node->hit, below(current_layout(w), w.state, node->hit));
    }
  }
  return kHandled;
}

// Shift+F10 and the menu key open the settings menu, below its button.
Answer on_context_menu(MainWindow& w, LPARAM lparam) {
  // From the keyboard the point is (-1, -1); a right click has a real one, and nothing of ours
  // is there.
  if (GET_X_LPARAM(lparam) != -1 || GET_Y_LPARAM(lparam) != -1) return kDefault;
  const Layout layout = current_layout(w);
  defer(Pick::SettingsMenu, w.state.window, below(layout, w.state, Hit{HitKind::MenuButton, 0}));
  return kHandled;
}

// Windows says whether focus cues are to be shown; the default handling keeps its own record.
Answer on_update_ui_state(MainWindow& w, WPARAM wparam) {
  if ((HIWORD(wparam) & UISF_HIDEFOCUS) == 0) return kDefault;
  const bool show = LOWORD(wparam) == UIS_CLEAR;
  if (LOWORD(wparam) == UIS_CLEAR || LOWORD(wparam) == UIS_SET) {
    if (show != w.state.focus_cues) {
      w.state.focus_cues = show;
      repaint(w);
    }
  }
  return kDefault;
}

Answer on_focus_change(MainWindow& w, bool has_focus) {
  w.state.has_focus = has_focus;
  repaint(w);
  return kHandled;
}

// The notice's and the busy dots' timers; others are not ours.
Answer on_timer(MainWindow& w, WPARAM timer) {
  WindowState& s = w.state;
  if (timer == kNoticeTimer) {
    ::KillTimer(s.window, kNoticeTimer);
    if (expire_notice(s, Clock::now())) repaint(w);
    return kHandled;
  }
  if (timer == kBusyTimer) {
    if (!busy_tick(s)) ::KillTimer(s.window, kBusyTimer);
    repaint(w);
    return kHandled;
  }
  return kDefault;
}

Answer on_mouse_move(MainWindow& w, LPARAM lparam) {
  WindowState& s = w.state;
  if (!s.tracking) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, s.window, 0};
    static_cast<void>(::TrackMouseEvent(&track));  // without it the hover only lingers
    s.tracking = true;
  }
  const Hit hit = hit_at(w, lparam);
  if (hit == s.hover) return kHandled;
  s.hover = hit;
  repaint(w);
  return kHandled;
}

Answer on_mouse_leave(MainWindow& w) {
  w.state.tracking = false;
  if (w.state.hover.kind == HitKind::Nothing) return kHandled;
  w.state.hover = Hit{};
  repaint(w);
  return kHandled;
}

Answer on_left_button_up(MainWindow& w, LPARAM lparam) {
  const Hit hit = hit_at(w, lparam);
  show_focus_cues(w, false);
  if (hit.kind != HitKind::Nothing) set_focus(w.state, hit);  // as a clicked button takes the focus
  click(w, hit, POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
  return kHandled;
}

Answer on_mouse_wheel(MainWindow& w, WPARAM wparam) {
  WindowState& s = w.state;
  s.scroll = wheel_scroll(s.scroll, GET_WHEEL_DELTA_WPARAM(wparam), s.dpi, max_scroll(current_layout(w), s));
  repaint(w);
  return kHandled;
}

Answer on_drop_files(MainWindow& w, WPARAM drop) {
  const std::vector<Target> paths = dropped_paths(reinterpret_cast<HDROP>(drop));
  set_window_targets(w, paths, false);
  return kHandled;
}

Answer on_dpi_changed(MainWindow& w, WPARAM wparam, LPARAM lparam) {
  w.state.dpi = LOWORD(wparam);
  if (w.gfx) static_cast<void>(set_gfx_dpi(*w.gfx, w.state.dpi));  // a failure keeps the old formats
  w.icons.entries.clear();  // icons are made for a size
  const auto* suggested = reinterpret_cast<const RECT*>(lparam);
  ::SetWindowPos(w.state.window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  return kHandled;
}

Answer on_scan_progress(MainWindow& w) {
  if (const auto taken = take_scan_progress(); taken && apply_progress(w.state, *taken)) repaint(w);
  return kHandled;
}

Answer on_scan_finished(MainWindow& w) {
  auto taken = take_scan_result();
  if (!taken || !apply_result(w.state, std::move(*taken))) return kHandled;
  settle_focus(w);
  repaint(w);
  return kHandled;
}

// Menus and pickers, borrowing the state only around the parts that change it.
void run_pick(const FreeTime& free, Pick kind, POINT screen) {
  const auto with_state = [](auto&& act) { with_main_window([&](MainWindow& w) { act(w); }); };
  const auto pick = [&](bool folder) {
    const std::vector<Target> paths = pick_paths(free, folder);
    if (!paths.empty()) with_state([&](MainWindow& w) { set_window_targets(w, paths, false); });
  };
  switch (kind) {
    case Pick::SettingsMenu: {
      const SettingsMenuState menu = read_settings_menu_state();
      const MenuAction action = settings_action(track_menu(free, settings_menu_model(menu), screen), menu);
      if (action.kind == MenuActionKind::About) {
        show_about(free);
      } else if (action.kind != MenuActionKind::None) {
        with_state([&](MainWindow& w) { apply_settings_action(w, action); });
      }
      break;
    }
    case Pick::ChooseMenu: {
      const UINT id = track_menu(free, choose_menu_model(), screen);
      if (id == kMenuChooseFiles || id == kMenuChooseFolder) pick(id == kMenuChooseFolder);
      break;
    }
    case Pick::Files:
      pick(false);
      break;
    case Pick::Folder:
      pick(true);
      break;
  }
}

// UI Automation asks for the window's provider: made on the first request, its tree brought
// up to date when the state is free (else at the next paint).
LRESULT on_get_object(HWND window, WPARAM wparam, LPARAM lparam) {
  const std::shared_ptr<AccessProvider> access = window_access(window, true);
  if (!access) return ::DefWindowProcW(window, WM_GETOBJECT, wparam, lparam);
  if (!with_main_window(&refresh_access)) ::InvalidateRect(window, nullptr, FALSE);
  return answer_get_object(*access, wparam, lparam);
}

// A screen reader's copy follows the window: a move brings no repaint, and the title is read
// from the copy, since asking the window from UI Automation's thread would wait on this one.
Answer on_access_window_change(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const std::shared_ptr<AccessProvider> access = window_access(window, false);
  if (!access) return kDefault;
  if (message == WM_MOVE) {
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    move_access_tree(*access, origin);
    return kDefault;
  }
  const LRESULT set = ::DefWindowProcW(window, message, wparam, lparam);
  if (set && lparam != 0) set_access_title(*access, reinterpret_cast<const wchar_t*>(lparam));
  return set;
}

// Every message the window handles with its state: what handles it, and how it waits when
// it comes while the state is borrowed. Any other goes to DefWindowProcW.
constexpr MessageRow kMessages[] = {
    {WM_SIZE, [](MainWindow& w, WPARAM, LPARAM l) { return on_size(w, l); }, Held::Latest},
    {WM_PAINT, [](MainWindow& w, WPARAM, LPARAM) { return on_paint(w); }, Held::LatestPainted},
    {WM_CLOSE, [](MainWindow& w, WPARAM, LPARAM) { return on_close(w); }, Held::InTurn},
    {WM_SETTINGCHANGE, [](MainWindow& w, WPARAM, LPARAM) { return on_setting_change(w); }, Held::InTurn},
    {WM_SYSCOLORCHANGE, [](MainWindow& w, WPARAM, LPARAM) { return on_setting_change(w); }, Held::InTurn},
    {WM_CONTEXTMENU, [](MainWindow& w, WPARAM, LPARAM l) { return on_context_menu(w, l); }, Held::InTurn},
    {WM_UPDATEUISTATE, [](MainWindow& w, WPARAM p, LPARAM) { return on_update_ui_state(w, p); }, Held::InTurn},
    {WM_SETFOCUS, [](MainWindow& w, WPARAM, LPARAM) { return on_focus_change(w, true); }, Held::InTurn},
    {WM_KILLFOCUS, [](MainWindow& w, WPARAM, LPARAM) { return on_focus_change(w, false); }, Held::InTurn},
    {WM_COPYDATA, [](MainWindow& w, WPARAM, LPARAM l) -> Answer { return on_copy_data(w, l); }, Held::HandOver},
    {WM_KEYDOWN, [](MainWindow& w, WPARAM p, LPARAM) { return on_key_down(w, p); }, Held::InTurn},
    {WM_TIMER, [](MainWindow& w, WPARAM p, LPARAM) { return on_timer(w, p); }, Held::InTurn},
    {WM_MOUSEMOVE, [](MainWindow& w, WPARAM, LPARAM l) { return on_mouse_move(w, l); }, Held::Latest},
    {WM_LBUTTONUP, [](MainWindow& w, WPARAM, LPARAM l) { return on_left_button_up(w, l); }, Held::InTurn},
    {WM_MOUSEWHEEL, [](MainWindow& w, WPARAM p, LPARAM) { return on_mouse_wheel(w, p); }, Held::InTurn},
    {WM_DROPFILES, [](MainWindow& w, WPARAM p, LPARAM) { return on_drop_files(w, p); }, Held::InTurn},
    {WM_MOUSELEAVE, [](MainWindow& w, WPARAM, LPARAM) { return on_mouse_leave(w); }, Held::InTurn},
    {WM_DPICHANGED, [](MainWindow& w, WPARAM p, LPARAM l) { return on_dpi_changed(w, p, l); }, Held::LatestRect},
    {kMsgScanProgress, [](MainWindow& w, WPARAM, LPARAM) { return on_scan_progress(w); }, Held::InTurn},
    {kMsgScanFinished, [](MainWindow& w, WPARAM, LPARAM) { return on_scan_finished(w); }, Held::InTurn},
    {kMsgUpdateChecked, [](MainWindow& w, WPARAM, LPARAM) {
       on_update_checked(w);
       return kHandled;
     }, Held::InTurn},
    {kMsgDownloadFinished, [](MainWindow& w, WPARAM, LPARAM) {
       on_download_finished(w);
       return kHandled;
     },
     Held::InTurn},
    {kMsgRemedyFinished, [](MainWindow& w, WPARAM, LPARAM) {
       on_remedy_finished(w);
       return kHandled;
     }, Held::InTurn},
    {kMsgEjectFinished, [](MainWindow& w, WPARAM, LPARAM) {
       finish_eject(w);
       settle_focus(w);
       repaint(w);
       return kHandled;
     }, Held::InTurn},
    {kMsgActivate, [](MainWindow& w, WPARAM, LPARAM) {
       activate(w.state.window);
       return kHandled;
     }, Held::InTurn},
    {kMsgAccessRequest, [](MainWindow& w, WPARAM, LPARAM) { return on_access_request(w); }, Held::InTurn},
    {kMsgHandOverResolved, [](MainWindow& w, WPARAM, LPARAM) { return on_hand_over_resolved(w); }, Held::InTurn},
    {kMsgProbe, [](MainWindow& w, WPARAM p, LPARAM) { return answer_probe(w, p); }, Held::InTurn},
};

// Two rows for one id would leave the second unreachable.
constexpr bool ids_unique(std::span<const MessageRow> table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    for (std::size_t j = i + 1; j < table.size(); ++j) {
      if (table[i].id == table[j].id) return false;
    }
  }
  return true;
}
static_assert(ids_unique(kMessages));

// Messages answered whatever the state: before it exists, while it is borrowed, as it goes.
Answer without_state(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // everything is painted by the view
    case WM_GETMINMAXINFO: {
      // Needed before the state exists too: sent while the window is being created.
      const SIZE min = min_track_size(::GetDpiForWindow(window));
      reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = POINT{min.cx, min.cy};
      return 0;
    }
    case WM_GETOBJECT:
      if (is_automation_request(lparam) && has_main_window()) return on_get_object(window, wparam, lparam);
      return kDefault;
    case WM_MOVE:
    case WM_SETTEXT:
      return on_access_window_change(window, message, wparam, lparam);
    case WM_DESTROY:
      end_main_window();
      ::PostQuitMessage(0);
      return 0;
    default:
      return kDefault;
  }
}

}  // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (const Answer answer = without_state(window, message, wparam, lparam)) return *answer;
  return dispatch_with_state(kMessages, window, message, wparam, lparam);
}

}  // namespace tw
