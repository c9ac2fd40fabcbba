#pragma once

#include <string>
#include <string_view>

#include "app/window/window_host.h"

namespace tw {

// The text of the offer box.
std::string offer_text(std::string_view offered_version);

// Starts a check on its own thread; a manual one says so first.
void start_update_check(MainWindow& w, bool manual);

// At start-up: the daily check, when due, stamped before it runs.
void run_automatic_update_check(MainWindow& w);

// The window's answer to kMsgUpdateChecked.
void on_update_checked(MainWindow& w);

// The window's answer to kMsgDownloadFinished: a failure notice, or the installer started
// and the window destroyed (without saving its placement: the installer replaces us).
void on_download_finished(MainWindow& w);

}  // namespace tw
