#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/remedies/remedy_queue.h"
#include "app/window/main_window.h"

namespace tw {

// A click on "Move to Recycle Bin" or "Delete on restart". Main thread, state held.
void click_target_remedy(MainWindow& w, const Hit& hit);

// The outcome of a delete-on-restart request taken from the queue.
void finish_delete_on_restart(MainWindow& w, const RemedyOutcome& outcome);

// The first target that must not be deleted, with the refusal that names it.
std::optional<std::string> protected_refusal(const std::vector<Target>& targets);

// "Move to the Recycle Bin?", a blank line, the first five paths, then "and N more".
std::string recycle_confirmation_text(const std::vector<Target>& targets);

// What the window keeps after moving `moved` to the Recycle Bin with `left_over` still
// there; the notice to show. When the target set is no longer `moved` (it changed while the
// shell worked), only the notice is due.
std::string apply_recycle_outcome(WindowState& s, const std::vector<Target>& moved, std::vector<Target> left_over);

// A delete-on-restart outcome: scheduling is over; true when it succeeded (the window then
// tells the user in a box).
bool apply_delete_outcome(WindowState& s, const RemedyOutcome& outcome);

}  // namespace tw
