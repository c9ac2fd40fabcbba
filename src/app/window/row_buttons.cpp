#include "app/window/row_buttons.h"

#include <optional>
#include <vector>
#include <string>

#include "app/language/catalogue.h"
#include "app/remedies/process_remedies.h"
#include "app/remedies/release_file.h"
#include "app/remedies/remedy_rules.h"
#include "app/remedies/services.h"
#include "app/window/message_boxes.h"
#include "app/window/window_focus.h"

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
    case HitKind::RowStopService:
      return RemedyKind::StopService;
    case HitKind::RowDisconnect:
      return RemedyKind::Disconnect;
    case HitKind::RowReleaseFile:
      return RemedyKind::ReleaseFile;
    default:
      return std::nullopt;
  }
}

// What the confirmation asks before a remedy that may lose someone's work.
std::string confirmation_of(RemedyKind kind, const Holder& holder) {
  if (kind == RemedyKind::Disconnect) {
    return fill_placeholders(localized(msg::kConfirmDisconnect), std::vector<std::string>{holder.title, holder.held});
  }
  const std::string title[] = {holder.title};
  return kind == RemedyKind::ForceQuit     ? fill_placeholders(localized(msg::kConfirmForceQuit), title)
         : kind == RemedyKind::ReleaseFile ? fill_placeholders(localized(msg::kConfirmReleaseFile), title)
                                           : std::string(localized(msg::kConfirmRestartExplorer));
}

void start_remedy(MainWindow& w, std::size_t row, RemedyKind kind) {
  HolderRow& r = w.state.rows[row];
  r.action = ActionState{running_state(kind), {}};
  const RemedyJob job{r.holder.start_time, w.state.scan_id, w.state.window, r.holder.pid};
  const bool started = kind == RemedyKind::StopService
                           ? start_stop_service(StopJob{r.holder.stoppable_services, job.window, job.scan_id, job.pid,
                                                        w.platform.services})
                       : kind == RemedyKind::ReleaseFile ? start_release(job, r.holder.handles)
                                                         : start_process_remedy(kind, job, w.platform.close_open);
  if (!started) {
    // Nothing else would ever end the busy state: the action failed. Result 0 is the
    // failure of every row remedy but Stop service, whose failures are all but 0.
    const std::uint8_t failed = kind == RemedyKind::StopService ? static_cast<std::uint8_t>(StopOutcome::Unexpected) : 0;
    static_cast<void>(apply_remedy_outcome(w.state, RemedyOutcome{job.scan_id, kind, failed, job.pid}));
  }
  settle_focus(w);  // its buttons went: the focus stays on the row
  ::SetTimer(w.state.window, kBusyTimer, kBusyTimerMs, nullptr);
  ::InvalidateRect(w.state.window, nullptr, FALSE);
}

// The confirmation names the services and the dependents stopped with them, as the service
// manager lists them now; it asks only once the window's state is free.
void confirm_stop_service(MainWindow& w, const Hit& hit, const Holder& holder) {
  defer_while_free([button = hit.kind, row = hit.row, pid = holder.pid, scan_id = w.state.scan_id,
                    names = holder.stoppable_services, api = w.platform.services](const FreeTime& free) {
    std::vector<RunningService> services, dependents;
    services_to_confirm(names, api, services, dependents);
    if (!confirm(free, stop_confirmation(services, dependents), ConfirmKind::Warning)) return;
    static_cast<void>(with_main_window([&](MainWindow& now) {
      const WindowState& s = now.state;
      if (s.scan_id != scan_id || row >= s.rows.size() || s.rows[row].holder.pid != pid) return;
      if (row_remedy_allowed(s, button, row)) start_remedy(now, row, RemedyKind::StopService);
    }));
  });
}

}  // namespace

bool row_remedy_allowed(const WindowState& s, HitKind button, std::size_t row) {
  const std::optional<RemedyKind> kind = remedy_of(button);
  if (!kind || row >= s.rows.size()) return false;
  const HolderRow& r = s.rows[row];
  if (*kind == RemedyKind::StopService && !stop_service_offered(r.holder, r.action.kind)) return false;
  if (*kind == RemedyKind::ReleaseFile && !release_allowed(r.holder, ::GetCurrentProcessId())) return false;
  return remedy_may_start(*kind, r.holder.kind, r.action.kind);
}

ActionState outcome_state(const RemedyOutcome& outcome, bool elevated) {
  const ActionKind kind = state_after(outcome.kind, outcome.result);
  if (kind != ActionKind::Failed) return ActionState{kind, {}};
  if (outcome.kind == RemedyKind::StopService) {
    return ActionState{kind, stop_outcome_text(static_cast<StopOutcome>(outcome.result))};
  }
  const Message* words = outcome_words(outcome.kind, outcome.result, elevated, RemedySurface::Window);
  return ActionState{kind, std::string(localized(*words))};
}

bool apply_remedy_outcome(WindowState& s, const RemedyOutcome& outcome) {
  if (outcome.kind == RemedyKind::DeleteOnRestart || outcome.scan_id != s.scan_id) return false;
  // A network open's id is the server's, not a process's: it names only rows of its kind.
  const bool network = outcome.kind == RemedyKind::Disconnect;
  for (HolderRow& r : s.rows) {
    if (r.holder.pid != outcome.pid || (r.holder.kind == HolderKind::NetworkOpen) != network) continue;
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
  if (*kind == RemedyKind::StopService) {
    confirm_stop_service(w, hit, holder);
    return;
  }
  const bool force = *kind != RemedyKind::RestartExplorer;  // each of the others can lose the user's work
  std::string text = confirmation_of(*kind, holder);
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
  if (!apply_remedy_outcome(w.state, outcome)) return;
  if (outcome.kind == RemedyKind::ReleaseFile) {
    // What the program holds now is only known by looking again: a handle may have been left
    // alone, or the file be held some other way too.
    const Message* words = outcome_words(outcome.kind, outcome.result, w.state.elevated, RemedySurface::Window);
    if (words != nullptr) show_notice(w, std::string(localized(*words)));
    start_window_scan(w, true);
    return;
  }
  // A disconnected file may still be held by others, and an open's id says nothing of what
  // the other computer does next: the search looks again, once no other remedy waits to report.
  if (outcome.kind == RemedyKind::Disconnect && state_after(outcome.kind, outcome.result) == ActionKind::Disconnected &&
      !any_row_busy(w.state)) {
    start_window_scan(w, w.state.deep);
    return;
  }
  if (outcome.kind != RemedyKind::StopService || static_cast<StopOutcome>(outcome.result) != StopOutcome::Stopped) return;
  // Its row says so until the search, which shows what still holds the targets, replaces it.
  for (const HolderRow& r : w.state.rows) {
    if (r.holder.pid != outcome.pid) continue;
    std::string names;
    for (const std::string& name : r.holder.stoppable_services) names += (names.empty() ? "" : ", ") + name;
    show_notice(w, names + ": " + stop_outcome_text(StopOutcome::Stopped));
    break;
  }
  start_window_scan(w, w.state.deep);
}

}  // namespace tw
