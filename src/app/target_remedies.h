#pragma once

#include "app/main_window.h"
#include "app/remedy_queue.h"

namespace tw {

// A click on "Move to Recycle Bin" or "Delete on restart". Main thread, state held.
void click_target_remedy(MainWindow& w, const Hit& hit);

// The outcome of a delete-on-restart request taken from the queue.
void finish_delete_on_restart(MainWindow& w, const RemedyOutcome& outcome);

}  // namespace tw
