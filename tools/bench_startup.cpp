// Start-up benchmark, to be run with a display: time from process creation to the first
// presented frame of the program (its developer build, which reports it) against a bare
// window with the same drawing layer; the idle program's private bytes after a scan of 10
// targets; the size of tarnwick.exe.
//
//   bench_startup [ROUNDS]     (default 5)
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/window/main_window.h"
#include "app/window/window_messages.h"
#include "probe_client.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace {

// Starts the developer build and waits until its first scan is over and a frame is up.
// Gives the process and its window, or nothing.
struct Running {
  tw::test::StartedProcess started;
  HWND window = nullptr;
};
std::optional<Running> start_settled(const std::vector<std::wstring>& args) {
  auto started = tw::test::start_process(tw::test::program_dir() + L"\\tarnwick-probe.exe", args);
  if (!started) return std::nullopt;
  for (int i = 0; i < 6000; ++i) {
    if (::WaitForSingleObject(started->process.get(), 10) == WAIT_OBJECT_0) return std::nullopt;
    const HWND window = tw::probe::window_of(started->pid);
    if (window == nullptr) continue;
    const LRESULT status = tw::probe::ask(window, tw::kProbeStatus).value_or(0);
    if (!(status & tw::kProbeAnswering) || (status & tw::kProbeScanning)) continue;
    if (tw::probe::ask(window, tw::kProbeFirstFrame).value_or(0) == 0) continue;
    return Running{std::move(*started), window};
  }
  ::TerminateProcess(started->process.get(), 99);
  return std::nullopt;
}

void close(Running& r) {
  ::PostMessageW(r.window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(r.started.process.get(), 10'000) != WAIT_OBJECT_0) {
    ::TerminateProcess(r.started.process.get(), 99);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  DWORD best_bare = ~0u, best_app = ~0u;
  for (int r = 0; r < rounds; ++r) {
    if (auto bare = tw::test::start_process(tw::test::program_dir() + L"\\bench_first_frame_bare.exe", {})) {
      DWORD code = 0;
      if (::WaitForSingleObject(bare->process.get(), 30'000) == WAIT_OBJECT_0 &&
          ::GetExitCodeProcess(bare->process.get(), &code) && code > 0) {
        best_bare = std::min(best_bare, code);
      }
    }
    if (auto app = start_settled({L"--fresh"})) {
      best_app = std::min(best_app, static_cast<DWORD>(tw::probe::ask(app->window, tw::kProbeFirstFrame).value_or(0)));
      close(*app);
    }
  }
  if (best_bare == ~0u || best_app == ~0u) {
    std::printf("no frame could be drawn (is there a display with Direct3D?)\n");
    return 1;
  }

  // Memory of the idle window after a scan of 10 targets.
  tw::test::TempDir dir;
  std::vector<std::wstring> args{L"--fresh"};
  for (int i = 0; i < 10; ++i) {
    const std::wstring file = dir / (L"target" + std::to_wstring(i) + L".txt");
    tw::test::write_file(file, "data");
    args.push_back(file);
  }
  SIZE_T private_bytes = 0;
  if (auto app = start_settled(args)) {
    ::Sleep(500);  // let the scan thread's memory go back
    PROCESS_MEMORY_COUNTERS_EX counters{};
    tw::UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, app->started.pid));
    if (process && ::GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                          sizeof counters)) {
      // Windows reports private bytes in both fields; Wine fills only the older one.
      private_bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    }
    close(*app);
  }

  WIN32_FILE_ATTRIBUTE_DATA exe{};
  ::GetFileAttributesExW((tw::test::program_dir() + L"\\tarnwick.exe").c_str(), GetFileExInfoStandard, &exe);

  std::printf("first frame: tarnwick %lu ms, bare Direct2D window %lu ms (best of %d)\n", best_app, best_bare, rounds);
  std::printf("idle private bytes after a scan of 10 targets: %.1f MiB\n",
              static_cast<double>(private_bytes) / (1024.0 * 1024.0));
  std::printf("tarnwick.exe: %lu bytes\n", exe.nFileSizeLow);
  std::printf("ratio first frame tarnwick / bare: %.3f (target <= 1.3)\n",
              static_cast<double>(best_app) / static_cast<double>(best_bare));
  return 0;
}
