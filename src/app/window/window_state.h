#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/remedies/remedy_rules.h"
#include "app/scan/scan_result.h"

namespace tw {

struct ActionState {
  ActionKind kind = ActionKind::Idle;
  std::string message;  // with Failed: what went wrong, shown as the row's detail line
};

struct HolderRow {
  Holder holder;
  ActionState action;
};

// What lies under the pointer; row buttons carry the row's index.
enum class HitKind : std::uint8_t {
  Nothing = 0,
  MenuButton = 1,
  Rescan = 2,
  AddButton = 3,
  DeepSearch = 4,
  SearchAsAdmin = 5,
  ChooseFiles = 6,
  ChooseFolder = 7,
  RowClose = 8,
  RowForceQuit = 9,
  RowRestartExplorer = 10,
  RecycleBin = 11,
  DeleteOnRestart = 12,
  Row = 13,  // a holder row itself: focusable, never found under the pointer
  StopSearch = 14,
  Eject = 15,
  RowStopService = 16,
  RowReleaseFile = 17,
  RowDisconnect = 18,
};

struct Hit {
  HitKind kind = HitKind::Nothing;
  std::size_t row = 0;
  friend bool operator==(const Hit& a, const Hit& b) {
    const bool with_row = a.kind == HitKind::RowClose || a.kind == HitKind::RowForceQuit ||
                          a.kind == HitKind::RowRestartExplorer || a.kind == HitKind::Row ||
                          a.kind == HitKind::RowStopService || a.kind == HitKind::RowDisconnect ||
                          a.kind == HitKind::RowReleaseFile;
    return a.kind == b.kind && (!with_row || a.row == b.row);
  }
};

constexpr bool in_row(HitKind kind) {
  return kind == HitKind::Row || kind == HitKind::RowClose || kind == HitKind::RowForceQuit ||
         kind == HitKind::RowRestartExplorer || kind == HitKind::RowStopService || kind == HitKind::RowDisconnect ||
         kind == HitKind::RowReleaseFile;
}

// The keyboard focus: an element of the view. In a row it also remembers whose row it is, so
// that a rescan finds the same program's row again.
struct Focus {
  Hit hit;
  std::uint32_t pid = 0;
  std::uint64_t start_time = 0;
  // On a row whose buttons went while a remedy runs: the button the focus was on, which gets
  // it back when the buttons return.
  HitKind returns_to = HitKind::Nothing;
};

// A focusable element as the focus knows it: what it is and, in a row, whose row it is.
struct FocusId {
  Hit hit;
  std::uint32_t pid = 0;
  std::uint64_t start_time = 0;
};

using Clock = std::chrono::steady_clock;

inline constexpr UINT_PTR kNoticeTimer = 1;
inline constexpr UINT kNoticeTimerMs = 3200;
inline constexpr UINT_PTR kBusyTimer = 2;
inline constexpr UINT kBusyTimerMs = 300;

// The system colours a high-contrast theme sets, as 0xRRGGBB.
struct SystemColors {
  std::uint32_t window = 0, window_text = 0, highlight = 0, highlight_text = 0, button_face = 0, button_text = 0,
                gray_text = 0, hot_light = 0;
  friend bool operator==(const SystemColors&, const SystemColors&) = default;
};

// Paths a second instance handed over, resolved on a worker (`id` says which hand-over).
struct ResolvedHandOver {
  std::uint64_t id = 0;
  std::vector<Target> paths;
  bool holds_folder = false;  // one of them is a folder
};

// A hand-over taken but not yet applied. They are applied in the order they came, each with
// the 2-second rule counted from when it came.
struct PendingHandOver {
  std::uint64_t id = 0;
  Clock::time_point arrived{};
  std::optional<ResolvedHandOver> resolved;
};

// Everything the main window knows. Only the main thread touches it.
struct WindowState {
  Hit hover;
  std::optional<Focus> focus;
  std::vector<FocusId> focus_seen;  // the focusable elements when the focus last settled
  std::vector<Target> targets;
  std::vector<HolderRow> rows;
  std::optional<ScanSummary> summary;  // absent while a scan runs
  std::optional<std::string> notice;
  Clock::time_point notice_time{};
  Clock::time_point targets_time{};
  ScanProgress progress{0, 0.0f, ScanPhase::Taken};  // Taken: no scan runs
  HWND window = nullptr;
  std::uint64_t scan_id = 0;
  // The running scan's stop flag, shared with its worker.
  std::shared_ptr<std::atomic<bool>> scan_stop;
  bool stopping = false;  // Stop was asked; the scan's result, with what it found, is on its way
  // Moves on whenever the target set changes or a hand-over comes that may change it: an
  // answer given to a question about the targets counts only while it stays the same.
  std::uint64_t targets_generation = 0;
  std::vector<PendingHandOver> hand_overs;  // in the order they came
  UINT dpi = 96;
  float scroll = 0.0f;
  std::uint32_t tick = 0;
  std::optional<SystemColors> high_contrast;  // while a high-contrast theme is on
  bool dark = false;
  bool elevated = false;
  bool deep = false;
  bool recycle_failed = false;
  bool delete_scheduling = false;
  bool delete_scheduled = false;
  bool eject_offered = false;  // the targets are one drive that Windows may stop: Eject replaces the Recycle Bin
  bool ejecting = false;
  bool tracking = false;
  bool focus_cues = false;  // the focus is drawn: after keyboard use, until the mouse is used
  bool has_focus = false;   // the window has the keyboard focus
  bool targets_hold_folder = false;  // learnt as targets come in; the card's glyph and line show it
};

inline bool scan_running(const WindowState& s) { return s.progress.phase != ScanPhase::Taken; }
// A scan of known targets (not handed-over paths still being taken in) that was not told to stop yet.
inline bool can_stop_scan(const WindowState& s) { return scan_running(s) && s.hand_overs.empty() && !s.stopping; }
// The empty view shows while there are no targets and none are on the way.
inline bool shows_empty_view(const WindowState& s) { return s.targets.empty() && !scan_running(s); }
inline bool any_row_busy(const WindowState& s) {
  for (const HolderRow& r : s.rows) {
    if (is_busy(r.action.kind)) return true;
  }
  return false;
}

// Whether a target is a folder, asked once for each target as it comes in (never while the
// window paints or follows the mouse: a file call can block, on an offline share for long).
using IsFolderFn = bool (*)(const Target&);
bool target_is_folder(const Target& t);

// Replaces (or, merging, extends) the target set: empty paths and ASCII-case repeats go,
// first kept. False, and nothing changed, when no path is left or, merging, none is new;
// otherwise the caller starts a scan. Paths handed over and not yet applied are dropped: this
// choice came after them. Takes time in proportion to the paths, whatever their number.
bool set_targets(WindowState& s, std::span<const Target> paths, bool merge, Clock::time_point now,
                 IsFolderFn is_folder = &target_is_folder);

// Paths from a second instance: added to the set when the last ones came at most 2 whole
// seconds ago (one File Explorer selection starts one instance per file), else replacing it.
bool add_handed_over_paths(WindowState& s, std::span<const Target> paths, Clock::time_point now,
                           IsFolderFn is_folder = &target_is_folder);

// A hand-over has come: its paths are resolved elsewhere meanwhile, and the window searches
// (rows and result go, a running scan's outcomes no longer apply). Its id.
std::uint64_t receive_hand_over(WindowState& s, Clock::time_point now);

// What came of a resolved hand-over.
enum class HandOverStep : std::uint8_t {
  Stale,    // its hand-over was overtaken (the user chose targets since): dropped
  Waiting,  // kept until the ones that came before it are resolved too
  Settled,  // every hand-over is applied: the caller searches the targets (or, with none, stops)
};
HandOverStep take_resolved_hand_over(WindowState& s, ResolvedHandOver resolved);

// Prepares a scan of the targets: a new scan id, progress reset, rows emptied, a scan still
// running told to stop (nobody waits for it any more). Nothing without targets. The caller
// starts the worker and the busy timer.
std::optional<ScanRequest> begin_scan(WindowState& s, bool deep);

// Stop (its button, or Escape): the running scan's worker is told to end; its result, when it
// comes, shows what was found so far, marked as stopped. False when there is nothing to stop.
bool stop_scan(WindowState& s);

// Applies what a worker left in a slot; false when it was stale (or the scan is over).
bool apply_progress(WindowState& s, const TakenProgress& taken);
bool apply_result(WindowState& s, TakenResult taken);

void set_notice(WindowState& s, std::string text, Clock::time_point now);
// Timer 1: the notice goes once it has been shown for 3 whole seconds. True to repaint.
bool expire_notice(WindowState& s, Clock::time_point now);
// Timer 2: advances the busy dots; false once nothing is busy (the timer can stop).
bool busy_tick(WindowState& s);

// Scroll offsets, always within 0..maximum.
float clamp_scroll(float value, float maximum);
// A wheel turn: 100 pixels at 96 DPI per notch of 120.
float wheel_scroll(float scroll, int delta, UINT dpi, float maximum);

// What a key pressed in the window does.
enum class KeyCommand : std::uint8_t { None, Scroll, Rescan, ChooseFiles, MoveFocus, Activate, DismissNotice, StopSearch };
struct KeyAction {
  KeyCommand command = KeyCommand::None;
  float scroll = 0.0f;  // with Scroll: the new offset, within 0..maximum
  Hit target;           // with MoveFocus: where the focus goes; with Activate: what is clicked
  friend bool operator==(const KeyAction&, const KeyAction&) = default;
};

struct KeyPress {
  UINT key = 0;
  bool shift = false;
  bool control = false;
};

// The focused element when it is one of `order` (the focusable elements in reading order).
std::optional<Hit> focused_in(const WindowState& s, std::span<const Hit> order);

// Tab and Shift+Tab move the focus through `order`, round and round; Enter and Space click the
// focused button; Escape stops a search that can be stopped, else dismisses the notice. With the focus in a row, Up and Down move to
// the row before or after and Home and End to the first and last row; otherwise they scroll,
// Up and Down by 60 pixels at 96 DPI, Home and End to either end, as Page Up and Page Down do
// by 80% of the view's height. F5 searches again when there are targets and no search runs;
// Ctrl+O chooses files. Other keys do nothing.
KeyAction key_action(const WindowState& s, std::span<const Hit> order, KeyPress key, float view_height,
                     float maximum);

// Puts the focus on `hit`, remembering whose row it is in.
void set_focus(WindowState& s, const Hit& hit);

// The focusable elements of `order` (reading order), each row's with its program.
std::vector<FocusId> focus_ids(const WindowState& s, std::span<const Hit> order);

// Where the focus goes when the focusable elements change from `before` to `after`. It stays
// on its element, wherever that now is. A row button that went while its row is busy leaves
// the focus on the row, which gives it back to that button (or the row's first) when the
// buttons return. When its element or row is gone, it goes to the next element of `before`
// that is still there (a row's first button rather than the row itself), round to the start.
// Never to nothing while something can take it; no focus stays none.
std::optional<Focus> refocus(std::span<const FocusId> before, std::span<const FocusId> after,
                             const std::optional<Focus>& focus);

// After the rows change (a remedy starts or ends, a new result): refocus from the elements as
// they were when the focus last settled to `now`, which are then kept for the next time.
void refocus_rows(WindowState& s, std::vector<FocusId> now);

// The offset that shows the content span top..bottom between the header and the footer
// (view_top..view_bottom in the client area), moving as little as possible; within 0..maximum.
float scroll_to_show(float scroll, float top, float bottom, float view_top, float view_bottom, float maximum);

// Smallest window size: 600 x 460 at 96 DPI, scaled (never below 96).
SIZE min_track_size(UINT dpi);

// The paths a second instance handed over in WM_COPYDATA: only with the tag 0x5E and data;
// UTF-16 (an odd byte count rounded down), split at line feeds, each piece cut at its first
// NUL, empty pieces skipped. The pieces are texts still to be resolved.
inline constexpr ULONG_PTR kHandOverTag = 0x5E;
std::optional<std::vector<Target>> parse_hand_over(ULONG_PTR tag, const void* data, DWORD bytes);

// The WM_COPYDATA text a second instance sends: the paths joined by line feeds.
std::wstring hand_over_text(std::span<const Target> paths);

}  // namespace tw
