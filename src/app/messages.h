#pragma once

#include <windows.h>

namespace tw {

// Private messages to the main window. Workers post them with both parameters 0; the
// content waits in the matching process-wide slot.
inline constexpr UINT kMsgScanProgress = WM_APP + 1;
inline constexpr UINT kMsgUpdateChecked = WM_APP + 2;
inline constexpr UINT kMsgDownloadFinished = WM_APP + 3;
inline constexpr UINT kMsgScanFinished = WM_APP + 4;
inline constexpr UINT kMsgRemedyFinished = WM_APP + 5;
inline constexpr UINT kMsgActivate = WM_APP + 10;  // from a second instance

}  // namespace tw
