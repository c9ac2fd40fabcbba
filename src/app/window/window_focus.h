#pragma once

// The view as the window shows it now, and the keyboard focus kept on it: what the handlers
// and the buttons share once they have changed the state.

#include "app/window/view.h"
#include "app/window/window_host.h"

namespace tw {

void repaint(const MainWindow& w);

ViewSize view_size(const MainWindow& w);

// The view as it stands; measured with the layer's own text layouts when there is one.
Layout current_layout(const MainWindow& w, RowsLaidOut rows = RowsLaidOut::InView);

// The tree a screen reader reads, brought up to date with the view; only once one has asked.
void refresh_access(MainWindow& w);

// Scrolls the focused row into view, repaints and tells screen readers where the focus is.
void show_focused(MainWindow& w);

// After the rows changed (a remedy started or ended, a result came): keeps the keyboard focus
// on what it was on, its row, or what came next, and tells screen readers when it moved.
void settle_focus(MainWindow& w);

// Stops the running search, if one can be stopped; the focus goes on from Stop.
void stop_search(MainWindow& w);

}  // namespace tw
