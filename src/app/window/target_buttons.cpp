#include "app/window/target_buttons.h"

#include <algorithm>

#include "app/language/catalogue.h"
#include "app/remedies/delete_on_restart.h"
#include "app/remedies/protected_paths.h"
#include "app/remedies/recycle.h"
#include "app/system/account.h"
#include "app/window/message_boxes.h"
#include "app/window/window_messages.h"
#include "common/slot.h"
#include "common/text.h"
#include "common/thread.h"

namespace tw {
namespace {

// The targets a question is about, and the generation of the set it was asked for.
struct Asked {
  std::vector<Target> targets;
  std::uint64_t generation = 0;
};

Asked current_targets() {
  Asked asked;
  with_main_window([&](MainWindow& w) { asked = Asked{w.state.targets, w.state.targets_generation}; });
  return asked;
}

// What a footer button acts on: the targets, or nothing when there are none or one of them
// is protected, which the user is told.
std::optional<Asked> targets_to_act_on(const FreeTime& free) {
  Asked asked = current_targets();
  if (asked.targets.empty()) return std::nullopt;
  if (const auto refusal = protected_refusal(asked.targets)) {
    static_cast<void>(confirm(free, *refusal, ConfirmKind::Information));
    return std::nullopt;
  }
  return asked;
}

// A box lets messages through while it waits, hand-overs from other programs among them: a
// yes counts only for the very list it named. Otherwise nothing is done, and the user is told.
bool still_as_asked(const Asked& asked) {
  bool same = false;
  with_main_window([&](MainWindow& w) {
    same = w.state.targets_generation == asked.generation;
    if (!same) show_notice(w, std::string(localized(msg::kTargetsChangedNothingDone)));
  });
  return same;
}

// The button's action, run once the state is free: the refusal or the confirmation box,
// the moves, then the window's new state.
void move_to_recycle_bin(const FreeTime& free) {
  // The bin here would be another account's: the user's own window recycles.
  if (other_account() && !current_targets().targets.empty()) {
    static_cast<void>(confirm(free, localized(msg::kRecycleOtherAccount), ConfirmKind::Information));
    return;
  }
  const std::optional<Asked> asked = targets_to_act_on(free);
  if (!asked) return;
  if (!confirm(free, recycle_confirmation_text(asked->targets), ConfirmKind::Question)) return;
  if (!still_as_asked(*asked)) return;
  std::vector<Target> left_over = recycle_targets(free.owner(), asked->targets);
  with_main_window([&](MainWindow& w) {
    show_notice(w, apply_recycle_outcome(w.state, asked->targets, std::move(left_over)));
  });
}

// The button's action, run once the state is free.
void request_delete_on_restart(const FreeTime& free) {
  const std::optional<Asked> asked = targets_to_act_on(free);
  if (!asked) return;
  const std::string question = naming_targets(localized(msg::kConfirmDeleteOnRestart), asked->targets);
  if (!confirm(free, question, ConfirmKind::Warning)) return;
  if (!still_as_asked(*asked)) return;
  with_main_window([&](MainWindow& w) {
    WindowState& s = w.state;
    if (s.delete_scheduling) return;  // only once
    s.delete_scheduling = true;
    // Without a worker nothing would ever clear the flag: fail the request at once.
    if (!start_delete_on_reboot(DeleteJob{asked->targets, s.window, s.scan_id})) {
      report_remedy_outcome(s.window, RemedyOutcome{s.scan_id, RemedyKind::DeleteOnRestart, 0, 0});
    }
    ::InvalidateRect(s.window, nullptr, FALSE);
  });
}

// What the eject worker reports: the outcome for the drive, and the target set it was asked for.
struct EjectDone {
  std::wstring root;
  std::uint64_t generation = 0;
  EjectOutcome outcome;
};

Slot<EjectDone>& eject_slot() {
  static Slot<EjectDone> slot;
  return slot;
}

void report_eject(HWND window, EjectDone done) {
  eject_slot().store(std::move(done));
  ::PostMessageW(window, kMsgEjectFinished, 0, 0);
}

}  // namespace

void click_eject(MainWindow& w) {
  WindowState& s = w.state;
  if (!s.eject_offered || s.ejecting || s.targets.size() != 1) return;
  const std::optional<std::wstring> root = drive_root(s.targets[0]);
  if (!root) return;
  s.ejecting = true;
  // Windows asks every program and driver concerned, which can take seconds.
  auto job = [api = w.platform.eject, window = s.window, done = EjectDone{*root, s.targets_generation, {}}]() mutable {
    done.outcome = eject_drive(done.root, api);
    report_eject(window, std::move(done));
  };
  if (!start_detached_thread(job)) job();  // no thread: here, then
  ::InvalidateRect(s.window, nullptr, FALSE);
}

void finish_eject(MainWindow& w) {
  const std::optional<EjectDone> done = eject_slot().take();
  if (!done) return;
  WindowState& s = w.state;
  s.ejecting = false;
  show_notice(w, eject_outcome_text(done->outcome, drive_shown(done->root)));
  if (s.targets_generation != done->generation) return;  // other targets since: only the words apply
  if (done->outcome.ejected) {
    ++s.scan_id;  // outcomes of remedies still running no longer apply
    s.targets.clear();
    s.rows.clear();
    s.summary.reset();
    ++s.targets_generation;
  } else if (done->outcome.refusal == EjectRefusal::None) {
    start_window_scan(w, s.deep);  // who is in the way
  } else {
    s.eject_offered = false;  // no longer a drive Windows may stop
  }
}

void click_target_remedy(MainWindow& w, const Hit& hit) {
  const WindowState& s = w.state;
  if (s.targets.empty()) return;
  if (hit.kind == HitKind::RecycleBin) {
    defer_while_free(&move_to_recycle_bin);
  } else if (hit.kind == HitKind::DeleteOnRestart && !s.delete_scheduling) {
    defer_while_free(&request_delete_on_restart);
  }
}

void finish_delete_on_restart(MainWindow& w, const RemedyOutcome& outcome) {
  if (apply_delete_outcome(w.state, outcome)) {
    defer_while_free([](const FreeTime& free) {
      static_cast<void>(confirm(free, localized(msg::kScheduled), ConfirmKind::Information));
    });
  } else if (std::string text = take_delete_refusal_text(); !text.empty()) {
    // Why nothing was scheduled, naming the path, as the command line says it.
    defer_while_free([text = std::move(text)](const FreeTime& free) {
      static_cast<void>(confirm(free, text, ConfirmKind::Information));
    });
  } else {
    show_notice(w, std::string(localized(msg::kCouldNotSchedule)));
  }
}


std::string apply_recycle_outcome(WindowState& s, const std::vector<Target>& moved, std::vector<Target> left_over) {
  const bool all_moved = left_over.empty();
  if (s.targets == moved) {
    if (all_moved) {
      ++s.scan_id;  // outcomes of remedies still running no longer apply
      s.targets.clear();
      s.rows.clear();
      s.summary.reset();
    } else {
      s.recycle_failed = true;
      s.targets = std::move(left_over);
    }
    ++s.targets_generation;
  }
  return std::string(localized(all_moved ? msg::kMovedToRecycleBin : msg::kStillCantDelete));
}

bool apply_delete_outcome(WindowState& s, const RemedyOutcome& outcome) {
  s.delete_scheduling = false;
  if (outcome.result == 0) return false;
  s.delete_scheduled = true;
  return true;
}

}  // namespace tw
