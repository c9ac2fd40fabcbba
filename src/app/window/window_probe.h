#pragma once

// What the developer build tells tools that watch the window (kMsgProbe).

#include <windows.h>

#include "app/window/window_host.h"

namespace tw {

// Makes the window answer kMsgProbe; only developer builds call it.
void enable_window_probe();

// A frame was presented; the first one's time is kept for the probe.
void note_frame_presented();

// The answer to kMsgProbe: kDefault unless the probe is on.
Answer answer_probe(const MainWindow& w, WPARAM what);

}  // namespace tw
