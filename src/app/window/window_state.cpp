// Operations on the window state, none of which touches a window, in this order: the targets
// and paths handed over; searches (start, stop, progress, result); the notice and the busy dots;
// scrolling; keys and the focus they move; the focus kept on an element as the rows change;
// and the window's minimum size and the hand-over message's text.

#include "app/window/window_state.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "common/casemap.h"
#include "common/text.h"
#include "discovery/path_spelling.h"

namespace tw {

bool target_is_folder(const Target& t) {
  const DWORD attributes = ::GetFileAttributesW(exact_path(t).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// The target set made of `paths` (after the current ones when merging); `is_folder` says of a
// path that is added whether it is a folder, asked until one is.
template <class IsFolder>
bool replace_targets(WindowState& s, std::span<const Target> paths, bool merge, Clock::time_point now,
                     IsFolder is_folder) {
  std::vector<Target> result;
  // Two paths are repeats when they are equal once A-Z are folded.
  std::unordered_set<std::wstring> seen;
  const auto add = [&](const Target& p) {
    if (p.empty()) return false;
    std::wstring folded(p);
    for (wchar_t& c : folded) c = ascii_lower(c);
    if (!seen.insert(std::move(folded)).second) return false;
    result.push_back(p);
    return true;
  };
  bool folder = false;
  if (merge) {
    for (const Target& t : s.targets) add(t);
    folder = s.targets_hold_folder;
  }
  for (const Target& p : paths) {
    if (add(p) && !folder) folder = is_folder(p);
  }
  if (result.empty() || (merge && result.size() == s.targets.size())) return false;  // nothing new
  s.targets = std::move(result);
  s.targets_hold_folder = folder;
  s.targets_time = now;
  s.recycle_failed = false;
  s.delete_scheduled = false;
  ++s.targets_generation;
  return true;
}

bool merges(const WindowState& s, Clock::time_point now) {
  const auto whole_seconds = std::chrono::duration_cast<std::chrono::seconds>(now - s.targets_time);
  return !s.targets.empty() && whole_seconds <= std::chrono::seconds(2);
}

}  // namespace

bool set_targets(WindowState& s, std::span<const Target> paths, bool merge, Clock::time_point now,
                 IsFolderFn is_folder) {
  if (!replace_targets(s, paths, merge, now, is_folder)) return false;
  s.hand_overs.clear();  // the user's own choice came after them
  return true;
}

bool add_handed_over_paths(WindowState& s, std::span<const Target> paths, Clock::time_point now,
                           IsFolderFn is_folder) {
  return replace_targets(s, paths, merges(s, now), now, is_folder);
}

std::uint64_t receive_hand_over(WindowState& s, Clock::time_point now) {
  // Unique in the process, so that no window takes an outcome meant for one before it.
  static std::uint64_t last_id = 0;
  const std::uint64_t id = ++last_id;
  s.hand_overs.push_back(PendingHandOver{id, now, std::nullopt});
  ++s.targets_generation;
  ++s.scan_id;
  if (s.scan_stop) s.scan_stop->store(true);  // its outcome no longer applies
  s.scan_stop.reset();
  s.stopping = false;
  s.progress = ScanProgress{0, 0.0f, ScanPhase::Listing};
  s.rows.clear();
  s.summary.reset();
  s.hover = Hit{};
  return id;
}

HandOverStep take_resolved_hand_over(WindowState& s, ResolvedHandOver resolved) {
  const auto it = std::find_if(s.hand_overs.begin(), s.hand_overs.end(),
                               [&](const PendingHandOver& p) { return p.id == resolved.id; });
  if (it == s.hand_overs.end()) return HandOverStep::Stale;
  it->resolved = std::move(resolved);
  while (!s.hand_overs.empty() && s.hand_overs.front().resolved) {
    PendingHandOver first = std::move(s.hand_overs.front());
    s.hand_overs.erase(s.hand_overs.begin());
    const bool folder = first.resolved->holds_folder;
    replace_targets(s, first.resolved->paths, merges(s, first.arrived), first.arrived,
                    [folder](const Target&) { return folder; });
  }
  return s.hand_overs.empty() ? HandOverStep::Settled : HandOverStep::Waiting;
}

std::optional<ScanRequest> begin_scan(WindowState& s, bool deep) {
  if (s.targets.empty()) return std::nullopt;
  ++s.scan_id;
  s.deep = deep;
  if (s.scan_stop) s.scan_stop->store(true);
  s.scan_stop = std::make_shared<std::atomic<bool>>(false);
  s.stopping = false;
  s.progress = ScanProgress{0, 0.0f, ScanPhase::Listing};
  s.rows.clear();
  s.summary.reset();
  s.hover = Hit{};
  return ScanRequest{s.targets, s.scan_id, s.window, deep, s.scan_stop, {}};
}

bool stop_scan(WindowState& s) {
  if (!can_stop_scan(s)) return false;
  if (s.scan_stop) s.scan_stop->store(true);
  s.stopping = true;
  return true;
}

bool apply_progress(WindowState& s, const TakenProgress& taken) {
  if (taken.scan_id != s.scan_id || !scan_running(s)) return false;
  s.progress = taken.progress;
  return true;
}

bool apply_result(WindowState& s, TakenResult taken) {
  if (taken.scan_id != s.scan_id) return false;
  ScanResult& r = taken.result;
  s.progress.phase = ScanPhase::Taken;
  s.scan_stop.reset();
  s.stopping = false;
  s.rows.clear();
  s.rows.reserve(r.holders.size());
  for (Holder& h : r.holders) s.rows.push_back(HolderRow{std::move(h), ActionState{}});
  s.summary = std::move(static_cast<ScanSummary&>(r));
  s.targets_hold_folder = r.folders != 0;  // what the search found now
  return true;
}

void set_notice(WindowState& s, std::string text, Clock::time_point now) {
  s.notice = std::move(text);
  s.notice_time = now;
}

bool expire_notice(WindowState& s, Clock::time_point now) {
  if (!s.notice) return false;
  if (std::chrono::duration_cast<std::chrono::seconds>(now - s.notice_time) < std::chrono::seconds(3)) return false;
  s.notice.reset();
  return true;
}

bool busy_tick(WindowState& s) {
  ++s.tick;
  return scan_running(s) || any_row_busy(s);
}

float clamp_scroll(float value, float maximum) { return std::clamp(value, 0.0f, std::max(maximum, 0.0f)); }

float wheel_scroll(float scroll, int delta, UINT dpi, float maximum) {
  const float step = static_cast<float>(delta) / 120.0f * 100.0f * static_cast<float>(dpi) / 96.0f;
  return clamp_scroll(scroll - step, maximum);
}

std::optional<Hit> focused_in(const WindowState& s, std::span<const Hit> order) {
  if (!s.focus) return std::nullopt;
  const auto it = std::find(order.begin(), order.end(), s.focus->hit);
  if (it == order.end()) return std::nullopt;
  return *it;
}

namespace {

KeyAction move_focus(Hit to) { return KeyAction{KeyCommand::MoveFocus, 0.0f, to}; }

// Tab and Shift+Tab: the next or previous element, from the last or the first round again.
KeyAction tab(const WindowState& s, std::span<const Hit> order, bool back) {
  if (order.empty()) return {};
  const std::optional<Hit> current = focused_in(s, order);
  if (!current) return move_focus(back ? order.back() : order.front());
  const auto at = static_cast<std::size_t>(std::find(order.begin(), order.end(), *current) - order.begin());
  const std::size_t n = order.size();
  return move_focus(order[back ? (at + n - 1) % n : (at + 1) % n]);
}

// Up, Down, Home and End among the rows, when the focus is in one.
std::optional<KeyAction> row_key(const WindowState& s, std::span<const Hit> order, UINT key) {
  const std::optional<Hit> current = focused_in(s, order);
  if (!current || !in_row(current->kind) || s.rows.empty()) return std::nullopt;
  const std::size_t last = s.rows.size() - 1, row = std::min(current->row, last);
  switch (key) {
    case VK_UP:
      return move_focus(Hit{HitKind::Row, row == 0 ? 0 : row - 1});
    case VK_DOWN:
      return move_focus(Hit{HitKind::Row, std::min(row + 1, last)});
    case VK_HOME:
      return move_focus(Hit{HitKind::Row, 0});
    case VK_END:
      return move_focus(Hit{HitKind::Row, last});
    default:
      return std::nullopt;
  }
}

}  // namespace

KeyAction key_action(const WindowState& s, std::span<const Hit> order, KeyPress key, float view_height,
                     float maximum) {
  if (const auto moved = row_key(s, order, key.key)) return *moved;
  const float line = 60.0f * static_cast<float>(s.dpi) / 96.0f;
  const auto scroll = [&](float value) { return KeyAction{KeyCommand::Scroll, clamp_scroll(value, maximum), {}}; };
  switch (key.key) {
    case VK_TAB:
      return key.control ? KeyAction{} : tab(s, order, key.shift);
    case VK_RETURN:
    case VK_SPACE: {
      const std::optional<Hit> current = focused_in(s, order);
      if (!current || current->kind == HitKind::Row) return {};
      return KeyAction{KeyCommand::Activate, 0.0f, *current};
    }
    case VK_ESCAPE:
      if (can_stop_scan(s)) return KeyAction{KeyCommand::StopSearch, 0.0f, {}};
      return s.notice ? KeyAction{KeyCommand::DismissNotice, 0.0f, {}} : KeyAction{};
    case VK_PRIOR:
      return scroll(s.scroll - 0.8f * view_height);
    case VK_NEXT:
      return scroll(s.scroll + 0.8f * view_height);
    case VK_HOME:
      return scroll(0.0f);
    case VK_END:
      return scroll(maximum);
    case VK_UP:
      return scroll(s.scroll - line);
    case VK_DOWN:
      return scroll(s.scroll + line);
    case VK_F5:
      if (!scan_running(s) && !s.targets.empty()) return KeyAction{KeyCommand::Rescan, 0.0f, {}};
      return {};
    case 'O':
      if (key.control) return KeyAction{KeyCommand::ChooseFiles, 0.0f, {}};
      return {};
    default:
      return {};
  }
}

void set_focus(WindowState& s, const Hit& hit) {
  Focus focus{hit};
  if (in_row(hit.kind) && hit.row < s.rows.size()) {
    focus.pid = s.rows[hit.row].holder.pid;
    focus.start_time = s.rows[hit.row].holder.start_time;
  }
  s.focus = focus;
}

std::vector<FocusId> focus_ids(const WindowState& s, std::span<const Hit> order) {
  std::vector<FocusId> ids;
  ids.reserve(order.size());
  for (const Hit& hit : order) {
    FocusId id{hit};
    if (in_row(hit.kind) && hit.row < s.rows.size()) {
      id.pid = s.rows[hit.row].holder.pid;
      id.start_time = s.rows[hit.row].holder.start_time;
    }
    ids.push_back(id);
  }
  return ids;
}

namespace {

bool same_row(const FocusId& a, std::uint32_t pid, std::uint64_t start_time) {
  return in_row(a.hit.kind) && a.pid == pid && a.start_time == start_time;
}

bool same_element(const FocusId& a, const FocusId& b) {
  return a.hit.kind == b.hit.kind && (!in_row(a.hit.kind) || same_row(a, b.pid, b.start_time));
}

Focus focus_on(const FocusId& id, HitKind returns_to = HitKind::Nothing) {
  return Focus{id.hit, id.pid, id.start_time, returns_to};
}

// The focus in its row, found at `row` of `after`: the button it was on or waits for, else the
// row's first button when it waits for one, else the row (still waiting while it has none).
Focus within_row(std::span<const FocusId> after, std::size_t row, const Focus& focus) {
  const HitKind wanted = focus.hit.kind != HitKind::Row ? focus.hit.kind : focus.returns_to;
  if (wanted == HitKind::Nothing) return focus_on(after[row]);
  std::size_t first = 0, match = 0;
  for (std::size_t i = row + 1; i < after.size() && same_row(after[i], focus.pid, focus.start_time); ++i) {
    if (first == 0) first = i;
    if (match == 0 && after[i].hit.kind == wanted) match = i;
  }
  if (first == 0) return focus_on(after[row], wanted);
  return focus_on(after[match != 0 ? match : first]);
}

std::optional<std::size_t> find_in(std::span<const FocusId> ids, const FocusId& id) {
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (same_element(ids[i], id)) return i;
  }
  return std::nullopt;
}

// The element after the focused one in `before` that `after` still has; a row's first button
// rather than the row.
std::optional<Focus> next_still_there(std::span<const FocusId> before, std::span<const FocusId> after,
                                      const FocusId& was) {
  if (after.empty()) return std::nullopt;
  const std::optional<std::size_t> at = find_in(before, was);
  if (!at) return focus_on(after.front());
  for (std::size_t k = 1; k < before.size(); ++k) {
    const FocusId& next = before[(*at + k) % before.size()];
    if (in_row(was.hit.kind) && same_row(next, was.pid, was.start_time)) continue;  // its row went with it
    const std::optional<std::size_t> found = find_in(after, next);
    if (!found) continue;
    const std::size_t i = *found;
    const bool has_button = i + 1 < after.size() && after[i].hit.kind == HitKind::Row &&
                            same_row(after[i + 1], after[i].pid, after[i].start_time);
    return focus_on(after[has_button ? i + 1 : i]);
  }
  return focus_on(after.front());
}

}  // namespace

std::optional<Focus> refocus(std::span<const FocusId> before, std::span<const FocusId> after,
                             const std::optional<Focus>& focus) {
  if (!focus) return std::nullopt;
  const FocusId was{focus->hit, focus->pid, focus->start_time};
  if (in_row(was.hit.kind)) {
    for (std::size_t i = 0; i < after.size(); ++i) {
      if (after[i].hit.kind == HitKind::Row && same_row(after[i], was.pid, was.start_time)) {
        return within_row(after, i, *focus);
      }
    }
  } else if (const std::optional<std::size_t> i = find_in(after, was)) {
    return focus_on(after[*i]);
  }
  return next_still_there(before, after, was);
}

void refocus_rows(WindowState& s, std::vector<FocusId> now) {
  s.focus = refocus(s.focus_seen, now, s.focus);
  s.focus_seen = std::move(now);
}

float scroll_to_show(float scroll, float top, float bottom, float view_top, float view_bottom, float maximum) {
  const float visible = view_bottom - view_top;
  if (top - scroll < view_top || bottom - top > visible) return clamp_scroll(top - view_top, maximum);
  if (bottom - scroll > view_bottom) return clamp_scroll(bottom - view_bottom, maximum);
  return clamp_scroll(scroll, maximum);
}

SIZE min_track_size(UINT dpi) {
  const float s = static_cast<float>(std::max(dpi, 96u)) / 96.0f;
  return SIZE{static_cast<LONG>(600.0f * s), static_cast<LONG>(460.0f * s)};
}

std::optional<std::vector<Target>> parse_hand_over(ULONG_PTR tag, const void* data, DWORD bytes) {
  if (tag != kHandOverTag || data == nullptr) return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));  // the sender's buffer may be unaligned
  // Unpaired surrogates are replaced, as the text would be on any other way in.
  text = to_wide(to_utf8(text));
  std::vector<Target> paths;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(L'\n', start), text.size());
    // A sender that counted its terminator, or worse, leaves NULs in a piece; the file
    // functions would read the path only up to the first one anyway.
    const std::wstring_view piece = std::wstring_view(text).substr(start, end - start);
    const std::wstring_view before_nul = piece.substr(0, std::min(piece.find(L'\0'), piece.size()));
    if (!before_nul.empty()) paths.emplace_back(before_nul);
    start = end + 1;
  }
  return paths;
}

std::wstring hand_over_text(std::span<const Target> paths) {
  std::wstring text;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) text.push_back(L'\n');
    text += paths[i];
  }
  return text;
}

}  // namespace tw
