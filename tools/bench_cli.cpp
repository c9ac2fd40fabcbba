// Command-line overhead: `tarnwick-cli find --json` on a folder of 50,000 files that nothing
// holds, against search_targets on the same folder in this process. The difference is what
// the command line adds: starting the program, resolving its arguments, and the output.
//
//   bench_cli [FOLDERS [FILES_PER_FOLDER [ROUNDS]]]     (default 200 250 5)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/scan/search.h"
#include "bench_tree.h"

namespace {

// Runs tarnwick-cli beside this program with `arguments` and its output thrown away; its
// exit status.
DWORD run_cli(const std::wstring& arguments) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe(self);
  exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"tarnwick-cli.exe";
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  PROCESS_INFORMATION info{};
  DWORD code = 99;
  if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &info)) {
    ::WaitForSingleObject(info.hProcess, INFINITE);
    ::GetExitCodeProcess(info.hProcess, &code);
    ::CloseHandle(info.hProcess);
    ::CloseHandle(info.hThread);
  }
  ::CloseHandle(nul);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const auto [folders, per_folder, rounds] = tw::bench::tree_run(argc, argv, 5);

  const std::wstring root = tw::bench::temp_root(L"cli");
  std::printf("command-line benchmark: %d folders x %d files, nothing held, no deep search\n", folders, per_folder);
  if (!tw::bench::make_tree(root, folders, per_folder)) {
    std::printf("could not create the tree\n");
    tw::bench::remove_tree(root, folders, per_folder);
    return 1;
  }

  const std::vector<tw::Target> targets{root};
  double best_cli = 1e30, best_search = 1e30, best_start = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    const tw::ScanResult result = tw::search_targets(targets, false, {});
    best_search = std::min(best_search, std::chrono::duration<double>(Clock::now() - t0).count());
    if (result.files_checked == 0) std::printf("round %d: the search checked nothing\n", r);

    t0 = Clock::now();
    const DWORD code = run_cli(L"find --json \"" + root + L"\"");
    best_cli = std::min(best_cli, std::chrono::duration<double>(Clock::now() - t0).count());
    if (code != 0) std::printf("round %d: tarnwick-cli exited with %lu\n", r, static_cast<unsigned long>(code));

    // What starting and ending the program costs by itself.
    t0 = Clock::now();
    static_cast<void>(run_cli(L"--version"));
    best_start = std::min(best_start, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  tw::bench::remove_tree(root, folders, per_folder);

  std::printf("search_targets:         %.3f s\n", best_search);
  std::printf("tarnwick-cli find --json: %.3f s (process start included)\n", best_cli);
  std::printf("tarnwick-cli --version:   %.3f s (starting and ending the process)\n", best_start);
  std::printf("ratio tarnwick-cli / search_targets: %.3f (target <= 1.1)\n", best_cli / best_search);
  std::printf("ratio without the process start: %.3f\n", (best_cli - best_start) / best_search);
  return 0;
}
