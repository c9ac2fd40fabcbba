// Starts the developer build of the program and tells when its window has settled, or
// closes it again. For scripts that take screenshots.
//
//   tw-watch start [ARGS...]   start tarnwick-probe.exe with ARGS, wait until its first scan
//                              is over and a frame is up, print what it shows and where
//                              (lines "tw-watch: box NAME X Y WIDTH HEIGHT" in screen pixels,
//                              for the headline, the first holder row and the menu button,
//                              when the view has them), exit 0 (the program keeps running);
//                              exit 1 if it never settles
//   tw-watch close             close every window of the program and wait for it to exit
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/window/main_window.h"
#include "app/window/window_messages.h"
#include "probe_client.h"
#include "common/cmdline.h"
#include "common/handles.h"

namespace {

std::wstring own_folder() {
  std::wstring path(32'768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L'\\'));
}

void print_boxes(HWND window) {
  POINT origin{0, 0};
  if (!::ClientToScreen(window, &origin)) return;
  const struct {
    WPARAM what;
    const char* name;
  } boxes[] = {{tw::kProbeHeadlineBox, "headline"}, {tw::kProbeFirstRowBox, "row"}, {tw::kProbeMenuButtonBox, "menu"}};
  for (const auto& b : boxes) {
    const auto packed = tw::probe::ask(window, b.what);
    if (!packed || *packed == 0) continue;
    const tw::ProbeBox box = tw::unpack_probe_box(*packed);
    std::printf("tw-watch: box %s %ld %ld %d %d\n", b.name, origin.x + box.x, origin.y + box.y, box.width, box.height);
  }
}

int start(const std::vector<std::wstring>& args) {
  std::wstring command = tw::build_command_line(own_folder() + L"\\tarnwick-probe.exe", args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("tw-watch: could not start the program\n");
    return 1;
  }
  ::CloseHandle(pi.hThread);
  tw::UniqueHandle process(pi.hProcess);
  for (int i = 0; i < 1200; ++i) {  // a minute at most
    if (::WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0) {
      std::printf("tw-watch: the program ended before it settled\n");
      return 1;
    }
    const HWND window = tw::probe::window_of(pi.dwProcessId);
    if (window == nullptr) continue;
    const auto status = tw::probe::ask(window, tw::kProbeStatus);
    if (!status || !(*status & tw::kProbeAnswering) || (*status & tw::kProbeScanning)) continue;
    const bool layer = (*status & tw::kProbeHasLayer) != 0;
    const auto first_frame = tw::probe::ask(window, tw::kProbeFirstFrame);
    if (layer && (!first_frame || *first_frame == 0)) continue;
    std::printf("tw-watch: settled: %lld holder row(s), %s, first frame after %lld ms\n",
                static_cast<long long>(*status >> tw::kProbeRowsShift), layer ? "drawing" : "no drawing layer",
                static_cast<long long>(first_frame.value_or(0)));
    print_boxes(window);
    return 0;
  }
  std::printf("tw-watch: the program did not settle within a minute\n");
  return 1;
}

int close_all() {
  HWND window = nullptr;
  while ((window = ::FindWindowW(tw::kMainWindowClass, nullptr)) != nullptr) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    tw::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (!process || ::WaitForSingleObject(process.get(), 10'000) != WAIT_OBJECT_0) return 1;
  }
  return 0;
}

}  // namespace

int main() {
  std::vector<std::wstring> args = tw::split_command_line(::GetCommandLineW());
  if (!args.empty() && args.front() == L"start") return start(std::vector<std::wstring>(args.begin() + 1, args.end()));
  if (!args.empty() && args.front() == L"close") return close_all();
  std::printf("usage: tw-watch start [ARGS...] | tw-watch close\n");
  return 2;
}
