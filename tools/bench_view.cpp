// View benchmark: one frame (layout, ten hit-tests and the painting through the drawing layer)
// with 20,000 targets and 1,000 holder rows, against the same with 10 targets and 1 row.
//
//   bench_view [ROUNDS [FRAMES]]     (default 7 rounds of 30 frames each way)
//
// Needs a display that Direct3D can draw on (scripts/bench starts Xvfb). Rounds alternate
// between the two states; each keeps its best round.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/window/view.h"
#include "gfx/gfx.h"

namespace {

using Clock = std::chrono::steady_clock;

LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

tw::WindowState make_state(std::size_t targets, std::size_t rows) {
  tw::WindowState s;
  for (std::size_t i = 0; i < targets; ++i) s.targets.push_back(L"D:\\Work\\file " + std::to_wstring(i) + L".txt");
  for (std::size_t i = 0; i < rows; ++i) {
    tw::Holder h;
    h.pid = static_cast<std::uint32_t>(1000 + i);
    h.title = "Program " + std::to_string(i);
    h.exe_name = "program.exe";
    h.has_window = true;
    h.window_title = "Document " + std::to_string(i) + " - Program";
    h.image_path = L"C:\\windows\\system32\\notepad.exe";
    h.files = {s.targets[i % targets]};
    h.held = "file " + std::to_string(i % targets) + ".txt";
    s.rows.push_back(tw::HolderRow{std::move(h), {}});
  }
  s.summary = tw::ScanSummary{};
  s.summary->files_checked = targets;
  return s;
}

struct Best {
  double frame = 1e30;   // milliseconds per whole frame
  double layout = 1e30;  // of which layout and hit-tests
};

// One round of frames; the best round so far is kept.
void time_frames(tw::Gfx& gfx, tw::IconCache& icons, tw::WindowState& s, int frames, Best& best) {
  const tw::ViewSize size{880.0f, 660.0f, gfx.scale};
  const tw::TextMetrics metrics = tw::layer_metrics(gfx);
  Clock::duration in_layout{};
  const auto t0 = Clock::now();
  for (int f = 0; f < frames; ++f) {
    const auto l0 = Clock::now();
    const tw::Layout layout = tw::layout_view(s, size, metrics, true);
    for (int i = 0; i < 10; ++i) {
      s.hover = tw::hit_test(layout, s, tw::PointF{100.0f + 70.0f * static_cast<float>(i), 60.0f * static_cast<float>(i)});
    }
    in_layout += Clock::now() - l0;
    tw::begin_frame(gfx, tw::palette(false).background);
    tw::paint_view(gfx, layout, s, icons);
    static_cast<void>(tw::end_frame(gfx));  // a lost device would only make this round faster
  }
  const auto per_frame = [frames](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count() / frames; };
  best.frame = std::min(best.frame, per_frame(Clock::now() - t0));
  best.layout = std::min(best.layout, per_frame(in_layout));
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"Tarnwick.BenchView";
  ::RegisterClassExW(&wc);
  const HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"bench", WS_POPUP, 0, 0, 880, 660, nullptr, nullptr,
                                        wc.hInstance, nullptr);
  if (window == nullptr) return 1;
  ::ShowWindow(window, SW_SHOWNORMAL);
  std::optional<tw::Gfx> gfx = tw::create_gfx(window, 96, "Aa").gfx;
  if (!gfx) {
    std::printf("view benchmark: no drawing layer (is there a display?)\n");
    return 1;
  }
  tw::resize_gfx(*gfx, 880, 660);
  tw::IconCache icons;

  tw::WindowState small = make_state(10, 1);
  tw::WindowState big = make_state(20'000, 1'000);
  big.scroll = 500.0f * 94.0f;  // the middle of the rows
  std::printf("view benchmark: %d rounds of %d frames; 10 targets and 1 row against 20,000 targets and 1,000 rows\n",
              rounds, frames);

  Best best_small, best_big;
  for (int r = 0; r < rounds; ++r) {
    time_frames(*gfx, icons, small, frames, best_small);
    time_frames(*gfx, icons, big, frames, best_big);
  }
  std::printf("10 targets, 1 row:           %.3f ms per frame, of which layout and hit-tests %.3f ms\n",
              best_small.frame, best_small.layout);
  std::printf("20,000 targets, 1,000 rows:  %.3f ms per frame, of which layout and hit-tests %.3f ms\n",
              best_big.frame, best_big.layout);
  std::printf("layout and hit-tests alone: ratio %.3f\n", best_big.layout / best_small.layout);
  std::printf("ratio big / small: %.3f (target <= 2)\n", best_big.frame / best_small.frame);
  return 0;
}
