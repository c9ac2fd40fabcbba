#include "app/window/window_probe.h"

#include <cmath>
#include <cstdint>
#include <optional>

#include "app/window/window_focus.h"
#include "app/window/window_messages.h"
#include "common/win32.h"

namespace tw {
namespace {

bool g_probe = false;
std::uint64_t g_first_frame_ms = 0;  // for the probe: when the first frame was presented

std::uint64_t milliseconds_since_process_start() {
  FILETIME created{}, exited{}, kernel{}, user{}, now{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  ::GetSystemTimePreciseAsFileTime(&now);
  const std::uint64_t from = filetime_count(created), to = filetime_count(now);
  return to > from ? (to - from) / 10'000 : 1;
}

// Where the probe's element is drawn, as the window shows it now (rows scroll, the header stays).
LRESULT probe_box(const Layout& layout, const WindowState& s, WPARAM what) {
  std::optional<RectF> box;
  if (what == kProbeHeadlineBox && !layout.headline.empty()) {
    box = RectF{layout.headline_box.x, layout.headline_box.y - s.scroll, layout.headline_box.width,
                layout.headline_box.height};
  } else if (what == kProbeFirstRowBox && !layout.rows.empty()) {
    const RectF& r = layout.rows.front().box;
    box = RectF{r.x, r.y - s.scroll, r.width, r.height};
  } else if (what == kProbeMenuButtonBox) {
    for (const ViewElement& e : layout.header) {
      if (e.hit.kind == HitKind::MenuButton) box = e.box;
    }
  }
  if (!box) return 0;
  return pack_probe_box(ProbeBox{static_cast<int>(std::lround(box->x)), static_cast<int>(std::lround(box->y)),
                                 static_cast<int>(std::lround(box->width)), static_cast<int>(std::lround(box->height))});
}

}  // namespace

Answer answer_probe(const MainWindow& w, WPARAM what) {
  const WindowState& s = w.state;
  if (!g_probe) return kDefault;
  if (what == kProbeFirstFrame) return static_cast<LRESULT>(g_first_frame_ms);
  if (what == kProbeHeadlineBox || what == kProbeFirstRowBox || what == kProbeMenuButtonBox) {
    return probe_box(current_layout(w), s, what);
  }
  return kProbeAnswering | (scan_running(s) ? kProbeScanning : 0) | (w.gfx ? kProbeHasLayer : 0) |
         static_cast<LRESULT>(s.rows.size() << kProbeRowsShift);
}

void enable_window_probe() { g_probe = true; }

void note_frame_presented() {
  if (g_probe && g_first_frame_ms == 0) g_first_frame_ms = milliseconds_since_process_start();
}

}  // namespace tw
