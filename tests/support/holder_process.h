#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/handles.h"

namespace tw::test {

// A running tw_holder.exe. Starting waits until it holds everything it was asked to; the
// destructor tells it to quit and, should it not, ends it, so no test leaves one behind.
struct StartedProcess {
  UniqueHandle process;
  DWORD pid = 0;
};

// Standard handles for a child: inheritable handles (a file, a pipe's end, NUL).
struct StandardHandles {
  HANDLE in = nullptr, out = nullptr, err = nullptr;
};

// Starts a program with the arguments (quoted as needed), in `current_dir` when given, with
// `handles` as its standard handles when given (and no console window).
std::optional<StartedProcess> start_process(const std::wstring& exe_path, const std::vector<std::wstring>& arguments,
                                            const wchar_t* current_dir = nullptr,
                                            const std::optional<StandardHandles>& handles = std::nullopt);

// Runs a program of this build (found beside the test) with the arguments and waits for it;
// its exit status, or nothing when it could not start or did not end in time (then it is
// ended).
std::optional<DWORD> run_program(const std::wstring& name, const std::vector<std::wstring>& arguments,
                                 DWORD timeout_ms = 30'000);

class HolderProcess {
 public:
  // `arguments` are tw_holder's own (--share, --open, --cwd, --timeout); the ready and quit
  // events are added here. Nothing when the helper could not start or hold what it was asked.
  static std::optional<HolderProcess> start(const std::vector<std::wstring>& arguments);
  // The same from a copy of the helper at `exe_path`.
  static std::optional<HolderProcess> start_program(const std::wstring& exe_path,
                                                    const std::vector<std::wstring>& arguments);

  HolderProcess(HolderProcess&&) noexcept = default;
  HolderProcess& operator=(HolderProcess&&) noexcept = default;
  ~HolderProcess();

  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.get(); }
  // Asks it to quit and waits; its exit status, or nothing if it had to be ended.
  std::optional<DWORD> stop();

 private:
  HolderProcess() = default;
  UniqueHandle process_;
  UniqueHandle quit_;
  DWORD pid_ = 0;
};

}  // namespace tw::test
