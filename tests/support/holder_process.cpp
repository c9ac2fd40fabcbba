#include "support/holder_process.h"

#include <atomic>

#include "common/cmdline.h"
#include "support/temp_dir.h"

namespace tw::test {

std::optional<StartedProcess> start_process(const std::wstring& exe_path, const std::vector<std::wstring>& arguments,
                                            const wchar_t* current_dir, const std::optional<StandardHandles>& handles) {
  std::wstring command = build_command_line(exe_path, arguments);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (handles) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = handles->in;
    si.hStdOutput = handles->out;
    si.hStdError = handles->err;
  }
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, handles ? TRUE : FALSE,
                        handles ? CREATE_NO_WINDOW : 0, nullptr, current_dir, &si, &pi)) {
    return std::nullopt;
  }
  ::CloseHandle(pi.hThread);
  return StartedProcess{UniqueHandle(pi.hProcess), pi.dwProcessId};
}

std::optional<DWORD> run_program(const std::wstring& name, const std::vector<std::wstring>& arguments,
                                 DWORD timeout_ms) {
  auto started = start_process(program_dir() + L"\\" + name, arguments);
  if (!started) return std::nullopt;
  UniqueHandle process = std::move(started->process);
  DWORD code = 0;
  if (::WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 99);
    ::WaitForSingleObject(process.get(), 10'000);
    return std::nullopt;
  }
  if (!::GetExitCodeProcess(process.get(), &code)) return std::nullopt;
  return code;
}

std::optional<HolderProcess> HolderProcess::start(const std::vector<std::wstring>& arguments) {
  return start_program(program_dir() + L"\\tw_holder.exe", arguments);
}

std::optional<HolderProcess> HolderProcess::start_program(const std::wstring& exe_path,
                                                          const std::vector<std::wstring>& arguments) {
  static std::atomic<unsigned> counter{0};
  const std::wstring tag = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
  const std::wstring ready_name = L"tw-holder-ready-" + tag;
  const std::wstring quit_name = L"tw-holder-quit-" + tag;

  HolderProcess holder;
  UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
  holder.quit_.reset(::CreateEventW(nullptr, TRUE, FALSE, quit_name.c_str()));
  if (!ready || !holder.quit_) return std::nullopt;

  std::vector<std::wstring> args = arguments;
  args.insert(args.end(), {L"--ready", ready_name, L"--quit", quit_name});
  auto started = start_process(exe_path, args);
  if (!started) return std::nullopt;
  holder.process_ = std::move(started->process);
  holder.pid_ = started->pid;

  // Ready, or gone (it could not hold something), whichever comes first.
  const HANDLE waits[] = {ready.get(), holder.process_.get()};
  if (::WaitForMultipleObjects(2, waits, FALSE, 30'000) != WAIT_OBJECT_0) return std::nullopt;
  return holder;
}

std::optional<DWORD> HolderProcess::stop() {
  if (!process_) return std::nullopt;
  ::SetEvent(quit_.get());
  std::optional<DWORD> status;
  if (::WaitForSingleObject(process_.get(), 10'000) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (::GetExitCodeProcess(process_.get(), &code)) status = code;
  } else {
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 10'000);
  }
  process_.reset();
  return status;
}

HolderProcess::~HolderProcess() { stop(); }

}  // namespace tw::test
