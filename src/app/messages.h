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
// Answered only by the developer build (tarnwick-probe.exe), for tools that watch the
// window: wParam kProbeStatus gives a ProbeStatus bit set, kProbeFirstFrame the
// milliseconds from process creation to the first presented frame (0 until then).
inline constexpr UINT kMsgProbe = WM_APP + 60;
inline constexpr WPARAM kProbeStatus = 0;
inline constexpr WPARAM kProbeFirstFrame = 1;
inline constexpr LRESULT kProbeAnswering = 1;   // always set when the probe answers
inline constexpr LRESULT kProbeScanning = 2;
inline constexpr LRESULT kProbeHasLayer = 4;
inline constexpr int kProbeRowsShift = 8;       // the number of holder rows, above the flags

}  // namespace tw
