#include "app/window/row_buttons.h"

#include <optional>
#include <string>

#include "app/language/catalogue.h"
#include "app/remedies/process_remedies.h"
#include "app/window/message_boxes.h"
#include "app/window/window_focus.h"
#include "procs/end_process.h"

namespace tw {
namespace {

std::optional<RemedyKind> remedy_of(HitKind button) {
  switch (button) {
    case HitKind::RowClose:
      return RemedyKind::Close;
    case HitKind::RowForceQuit:
      return RemedyKind::ForceQuit;
    case HitKind::RowRestartExplorer:
      return RemedyKind::RestartExplorer;
    default:
      return std::nullopt;
  }
}

ActionKind running_state(RemedyKind kind) {
  switch (kind) {
    case RemedyKind::ForceQuit:
      return ActionKind::Ending;
    case RemedyKind::RestartExplorer:
      return ActionKind::Restarting;
    default:
      return ActionKind::Closing;
  }
}

void start_remedy(MainWindow& w, std::size_t row, RemedyKind kind) {
  HolderRow& r = w.state.rows[row];
  r.action = ActionState{running_state(kind), {}};
  const RemedyJob job{r.holder.start_time, w.state.scan_id, w.state.window, r.holder.pid};
  if (!start_process_remedy(kind, job)) {
    // Nothing else would ever end the busy state: the action failed. Result 0 is the
    // failure of every row remedy.
    static_cast<void>(apply_remedy_outcome(w.state, RemedyOutcome{job.scan_id, kind, 0, job.pid}));
  }
  settle_focus(w);  // its buttons went: the focus stays on the row
  ::SetTimer(w.state.window, kBusyTimer, kBusyTimerMs, nullptr);
  ::InvalidateRect(w.state.window, nullptr, FALSE);
}

Message failure_message(ForceQuitResult result, bool elevated) {
  switch (result) {
    case ForceQuitResult::StillRunning:
      return msg::kStillRunning;
    case ForceQuitResult::Refused:
      return msg::kPartOfWindowsCantEnd;
    default:
      return elevated ? msg::kWindowsRefusedEnding : msg::kNoPermissionToEnd;
  }
}

}  // namespace

bool row_remedy_allowed(const WindowState& s, HitKind button, std::size_t row) {
  const std::optional<RemedyKind> kind = remedy_of(button);
  if (!kind || row >= s.rows.size()) return false;
  const HolderRow& r = s.rows[row];
  if (is_busy(r.action.kind)) return false;
  const HolderKind wanted = *kind == RemedyKind::RestartExplorer ? HolderKind::FileExplorer : HolderKind::Program;
  return r.holder.kind == wanted;
}

ActionState outcome_state(const RemedyOutcome& outcome, bool elevated) {
  const auto failed = [](const Message& m) { return ActionState{ActionKind::Failed, std::string(localized(m))}; };
  switch (outcome.kind) {
    case RemedyKind::Close:
      return ActionState{outcome.result == 1 ? ActionKind::Closed : ActionKind::NotClosed, {}};
    case RemedyKind::ForceQuit: {
      const auto result = static_cast<ForceQuitResult>(outcome.result);
      if (result == ForceQuitResult::Ended) return ActionState{ActionKind::Closed, {}};
      return failed(failure_message(result, elevated));
    }
    case RemedyKind::RestartExplorer:
      return outcome.result == 1 ? ActionState{ActionKind::Restarted, {}} : failed(msg::kCouldNotRestartExplorer);
    case RemedyKind::DeleteOnRestart:
      break;
  }
  return ActionState{};
}

bool apply_remedy_outcome(WindowState& s, const RemedyOutcome& outcome) {
  if (outcome.kind == RemedyKind::DeleteOnRestart || outcome.scan_id != s.scan_id) return false;
  for (HolderRow& r : s.rows) {
    if (r.holder.pid != outcome.pid) continue;
    r.action = outcome_state(outcome, s.elevated);
    return true;
  }
  return false;
}

void click_row_remedy(MainWindow& w, const Hit& hit) {
  const std::optional<RemedyKind> kind = remedy_of(hit.kind);
  if (!kind || !row_remedy_allowed(w.state, hit.kind, hit.row)) return;
  if (*kind == RemedyKind::Close) {
    start_remedy(w, hit.row, *kind);  // asks the program itself, so no confirmation
    return;
  }

  const Holder& holder = w.state.rows[hit.row].holder;
  const bool force = *kind == RemedyKind::ForceQuit;
  const std::string title[] = {holder.title};
  std::string text = force ? fill_placeholders(localized(msg::kConfirmForceQuit), title)
                           : std::string(localized(msg::kConfirmRestartExplorer));
  // The box runs its own message loop, during which a new scan may replace the rows: the
  // answer only counts for the very row it was asked about.
  defer_while_free([kind = *kind, button = hit.kind, row = hit.row, pid = holder.pid, scan_id = w.state.scan_id,
                    text = std::move(text), force](const FreeTime& free) {
    if (!confirm(free, text, force ? ConfirmKind::Warning : ConfirmKind::Question)) return;
    static_cast<void>(with_main_window([&](MainWindow& now) {
      const WindowState& s = now.state;
      if (s.scan_id != scan_id || row >= s.rows.size() || s.rows[row].holder.pid != pid) return;
      if (row_remedy_allowed(s, button, row)) start_remedy(now, row, kind);
    }));
  });
}

void apply_row_outcome(MainWindow& w, const RemedyOutcome& outcome) {
  static_cast<void>(apply_remedy_outcome(w.state, outcome));
}

}  // namespace tw
