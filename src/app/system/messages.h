#pragma once

#include <windows.h>

namespace tw {

// Private messages to the main window from the workers of the rooms below it (the search,
// the remedies, the updater): they are given only the window's handle, so the numbers live
// down here. Workers post them with both parameters 0; the content waits in the matching
// process-wide slot. The window's own messages are beside it (app/window/window_messages.h).
inline constexpr UINT kMsgScanProgress = WM_APP + 1;
inline constexpr UINT kMsgUpdateChecked = WM_APP + 2;
inline constexpr UINT kMsgDownloadFinished = WM_APP + 3;
inline constexpr UINT kMsgScanFinished = WM_APP + 4;
inline constexpr UINT kMsgRemedyFinished = WM_APP + 5;

}  // namespace tw
