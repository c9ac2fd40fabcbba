#pragma once

// Small Windows idioms the program repeats, each written once.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/handles.h"

namespace tw {

// A text read from a Windows call that fills a caller's buffer: `call(buffer, size)` returns
// the length it wrote (terminator not counted) when the text fit, the size it needs
// (terminator counted) when it did not, and 0 when it failed. The buffer grows as asked;
// three calls at most, as the text may grow meanwhile.
template <class Call>
std::optional<std::wstring> read_sized_text(Call call) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(n, L'\0');
  }
  return std::nullopt;
}

// A function of a DLL the process has already loaded (kernel32, ntdll), looked up by name for
// calls that not every Windows, or Wine, has, or that the headers do not declare; nullptr
// when it is missing.
template <class Fn>
Fn loaded_function(const wchar_t* module, const char* name) {
  const HMODULE handle = ::GetModuleHandleW(module);
  return handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(handle, name))) : nullptr;
}

// A FILETIME as one count of 100-nanosecond units since 1601, and back.
constexpr std::uint64_t filetime_count(FILETIME t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
constexpr FILETIME filetime_of(std::uint64_t count) {
  return FILETIME{static_cast<DWORD>(count), static_cast<DWORD>(count >> 32)};
}

// The value of an environment variable; nothing when it is not set (or could not be read).
std::optional<std::wstring> environment_variable(const wchar_t* name);

// The Windows folder: %SystemRoot%, or C:\Windows when that is not set or empty.
std::wstring windows_folder();

// The system's description of an error, then " (os error N)".
std::string system_error_text(DWORD code);

// The text without its trailing backslashes.
constexpr std::wstring_view without_trailing_backslashes(std::wstring_view text) {
  while (!text.empty() && text.back() == L'\\') text.remove_suffix(1);
  return text;
}
constexpr std::string_view without_trailing_backslashes(std::string_view text) {
  while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
  return text;
}

// A process started with CreateProcessW, its handles owned.
struct Started {
  UniqueHandle process;
  UniqueHandle thread;
};
// Starts `program` with a full command line (program name included, quoted as needed); the
// system's error code when it could not be started.
struct StartResult {
  std::optional<Started> started;
  DWORD error = 0;
};
StartResult start_program(const std::wstring& program, std::wstring command_line, DWORD flags = 0);

}  // namespace tw
