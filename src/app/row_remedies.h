#pragma once

#include "app/main_window.h"
#include "app/remedy_queue.h"

namespace tw {

// A click on a row's Close, Force quit or Restart Explorer button. Main thread, state held.
void click_row_remedy(MainWindow& w, const Hit& hit);

// A Close, Force quit or Restart Explorer outcome taken from the queue.
void apply_row_outcome(MainWindow& w, const RemedyOutcome& outcome);

}  // namespace tw
