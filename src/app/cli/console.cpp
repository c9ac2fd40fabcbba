#include "app/cli/console.h"

#include <atomic>
#include <mutex>
#include <string>

#include "common/text.h"

namespace tw {
namespace {

std::atomic<bool> g_interrupted{false};
HANDLE g_interrupt_event = nullptr;  // lives as long as the process
std::mutex g_progress_mutex;
std::size_t g_progress_width = 0;

std::atomic<bool> g_output_failed{false};

// False when the text could not all be written. No handle at all is no failure: whoever
// started the program chose to hear nothing.
bool write_to(DWORD standard_handle, std::string_view utf8) {
  const HANDLE handle = ::GetStdHandle(standard_handle);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || utf8.empty()) return true;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    const std::wstring wide = to_wide(utf8);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
      DWORD written = 0;
      std::size_t size = std::min<std::size_t>(rest.size(), 1u << 14);
      if (size < rest.size() && IS_HIGH_SURROGATE(rest[size - 1])) --size;  // pairs stay whole
      const DWORD chunk = static_cast<DWORD>(size);
      if (!::WriteConsoleW(handle, rest.data(), chunk, &written, nullptr) || written == 0) return false;
      rest.remove_prefix(written);
    }
    return true;
  }
  while (!utf8.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(utf8.size(), 1u << 20));
    // A closed pipe (ERROR_NO_DATA, ERROR_BROKEN_PIPE), a full disk.
    if (!::WriteFile(handle, utf8.data(), chunk, &written, nullptr) || written == 0) return false;
    utf8.remove_prefix(written);
  }
  return true;
}

BOOL WINAPI on_interrupt(DWORD kind) {
  if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT) return FALSE;
  g_interrupted = true;
  if (g_interrupt_event != nullptr) ::SetEvent(g_interrupt_event);
  return TRUE;
}

}  // namespace

bool is_console(DWORD standard_handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(standard_handle), &mode) != 0;
}

void write_out(std::string_view utf8) {
  if (!write_to(STD_OUTPUT_HANDLE, utf8)) g_output_failed = true;
}

void write_err(std::string_view utf8) {
  end_progress();
  static_cast<void>(write_to(STD_ERROR_HANDLE, utf8));  // nowhere left to say it
}

bool output_failed() { return g_output_failed; }

bool ask_yes(std::string_view question) {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!::GetConsoleMode(input, &mode) || !is_console(STD_ERROR_HANDLE)) return false;
  std::string prompt(question);
  prompt.append(" [y/N] ");
  write_err(prompt);
  wchar_t line[64] = {};
  DWORD read = 0;
  if (!::ReadConsoleW(input, line, 63, &read, nullptr)) return false;
  std::wstring answer(line, read);
  while (!answer.empty() && (answer.back() == L'\n' || answer.back() == L'\r' || answer.back() == L' ')) answer.pop_back();
  return answer == L"y" || answer == L"Y" || answer == L"yes" || answer == L"Yes" || answer == L"YES";
}

void catch_interrupts() {
  if (g_interrupt_event == nullptr) g_interrupt_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(&on_interrupt, TRUE);
}

bool interrupted() { return g_interrupted; }

bool sleep_unless_interrupted(DWORD ms) {
  if (g_interrupted) return false;
  if (g_interrupt_event == nullptr) {
    ::Sleep(ms);
    return !g_interrupted;
  }
  return ::WaitForSingleObject(g_interrupt_event, ms) == WAIT_TIMEOUT;
}

void show_progress(std::string_view utf8) {
  if (!is_console(STD_ERROR_HANDLE)) return;
  const std::lock_guard<std::mutex> lock(g_progress_mutex);
  std::string line(1, '\r');
  line.append(utf8);
  const std::size_t width = to_wide(utf8).size();
  if (width < g_progress_width) line += std::string(g_progress_width - width, ' ');
  g_progress_width = width;
  static_cast<void>(write_to(STD_ERROR_HANDLE, line));
}

void end_progress() {
  const std::lock_guard<std::mutex> lock(g_progress_mutex);
  if (g_progress_width == 0) return;
  std::string blank(g_progress_width + 2, ' ');
  blank.front() = '\r';
  blank.back() = '\r';
  static_cast<void>(write_to(STD_ERROR_HANDLE, blank));
  g_progress_width = 0;
}

}  // namespace tw
