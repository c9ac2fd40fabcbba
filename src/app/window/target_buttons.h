#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/remedies/protected_paths.h"
#include "app/remedies/recycle.h"
#include "app/remedies/remedy_queue.h"
#include "app/window/window_host.h"

namespace tw {

// A click on "Move to Recycle Bin" or "Delete on restart". Main thread, state held.
void click_target_remedy(MainWindow& w, const Hit& hit);

// A click on Eject: Windows is asked to stop the drive on a worker, which posts
// kMsgEjectFinished; the button says it is under way meanwhile. Main thread, state held.
void click_eject(MainWindow& w);

// Windows' answer, said in a notice. After a refusal the drive is searched again, so that the
// user sees what is open on it; once ejected, the drive is no longer a target.
void finish_eject(MainWindow& w);

// The outcome of a delete-on-restart request taken from the queue.
void finish_delete_on_restart(MainWindow& w, const RemedyOutcome& outcome);

// What the window keeps after moving `moved` to the Recycle Bin with `left_over` still
// there; the notice to show. When the target set is no longer `moved` (it changed while the
// shell worked), only the notice is due.
std::string apply_recycle_outcome(WindowState& s, const std::vector<Target>& moved, std::vector<Target> left_over);

// A delete-on-restart outcome: scheduling is over; true when it succeeded (the window then
// tells the user in a box).
bool apply_delete_outcome(WindowState& s, const RemedyOutcome& outcome);

}  // namespace tw
