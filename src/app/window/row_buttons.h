#pragma once

#include <cstddef>

#include "app/remedies/remedy_queue.h"
#include "app/window/window_host.h"

namespace tw {

// A click on a row's Close, Force quit, Restart Explorer, Stop service or Disconnect button.
// Main thread, state held.
void click_row_remedy(MainWindow& w, const Hit& hit);

// A row remedy's outcome taken from the queue. Once a service stopped or an open was
// disconnected, the targets are searched again (and a stopped service is also noticed).
void apply_row_outcome(MainWindow& w, const RemedyOutcome& outcome);

// Whether a click on `button` of `row` may start its remedy: the row exists, nothing runs on
// it, and its holder is of the kind the remedy is for (Close and Force quit: programs;
// Restart Explorer: File Explorer; Stop service: a service or part of Windows with services to
// stop).
bool row_remedy_allowed(const WindowState& s, HitKind button, std::size_t row);

// The state a row outcome leaves its row in; failure texts in the current language.
ActionState outcome_state(const RemedyOutcome& outcome, bool elevated);

// Applies a row outcome to the first row of its process (of its open, for Disconnect). False, and nothing changed, when it
// belongs to an older scan, names no listed process or concerns no row.
bool apply_remedy_outcome(WindowState& s, const RemedyOutcome& outcome);

}  // namespace tw
