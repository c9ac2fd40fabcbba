#pragma once

// The main window's own private messages: from a second instance, from its screen reader
// provider and hand-over worker, and from tools that watch it. The workers' messages are in
// app/system/messages.h, below the window.

#include <windows.h>

namespace tw {

inline constexpr UINT kMsgAccessRequest = WM_APP + 6;  // a screen reader asked to invoke or focus
inline constexpr UINT kMsgHandOverResolved = WM_APP + 7;  // paths from a second instance, resolved
inline constexpr UINT kMsgEjectFinished = WM_APP + 8;  // Windows answered a request to eject the drive
inline constexpr UINT kMsgActivate = WM_APP + 10;  // from a second instance
// Answered only by the developer build (tarnwick-probe.exe), for tools that watch the
// window: wParam kProbeStatus gives a ProbeStatus bit set, kProbeFirstFrame the
// milliseconds from process creation to the first presented frame (0 until then), and the
// kProbe...Box values where an element of the view is drawn, in client pixels, packed by
// pack_probe_box (0 when the view has no such element).
inline constexpr UINT kMsgProbe = WM_APP + 60;
inline constexpr WPARAM kProbeStatus = 0;
inline constexpr WPARAM kProbeFirstFrame = 1;
inline constexpr LRESULT kProbeAnswering = 1;   // always set when the probe answers
inline constexpr LRESULT kProbeScanning = 2;
inline constexpr LRESULT kProbeHasLayer = 4;
inline constexpr int kProbeRowsShift = 8;       // the number of holder rows, above the flags
inline constexpr WPARAM kProbeHeadlineBox = 2;
inline constexpr WPARAM kProbeFirstRowBox = 3;
inline constexpr WPARAM kProbeMenuButtonBox = 4;

struct ProbeBox {
  int x = 0, y = 0, width = 0, height = 0;
};

// Four sides of 16 bits each; what lies outside 0..65535 is clamped (the box is only looked at).
inline LRESULT pack_probe_box(ProbeBox box) {
  static_assert(sizeof(LRESULT) == 8, "a 64-bit program");
  const auto side = [](int v) { return static_cast<unsigned long long>(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v); };
  return static_cast<LRESULT>(side(box.x) | side(box.y) << 16 | side(box.width) << 32 | side(box.height) << 48);
}

inline ProbeBox unpack_probe_box(LRESULT packed) {
  const auto bits = static_cast<unsigned long long>(packed);
  const auto side = [&](int shift) { return static_cast<int>((bits >> shift) & 0xFFFFu); };
  return ProbeBox{side(0), side(16), side(32), side(48)};
}

}  // namespace tw
