#include "common/win32.h"

#include "common/text.h"

namespace tw {

std::optional<std::wstring> environment_variable(const wchar_t* name) {
  return read_sized_text([name](wchar_t* buffer, DWORD size) { return ::GetEnvironmentVariableW(name, buffer, size); });
}

std::wstring windows_folder() { return environment_variable(L"SystemRoot").value_or(L"C:\\Windows"); }

std::string system_error_text(DWORD code) {
  wchar_t* raw = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
  const UniqueLocal owned(raw);
  std::wstring_view description(raw != nullptr ? raw : L"", raw != nullptr ? length : 0);
  while (!description.empty() &&
         (description.back() == L'\r' || description.back() == L'\n' || description.back() == L' ')) {
    description.remove_suffix(1);
  }
  std::string text = to_utf8(description);
  if (!text.empty()) text += ' ';
  text += "(os error " + std::to_string(code) + ")";
  return text;
}

StartResult start_program(const std::wstring& program, std::wstring command_line, DWORD flags) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  StartResult result;
  if (!::CreateProcessW(program.c_str(), command_line.empty() ? nullptr : command_line.data(), nullptr, nullptr, FALSE,
                        flags, nullptr, nullptr, &startup, &info)) {
    result.error = ::GetLastError();
    return result;
  }
  result.started = Started{UniqueHandle(info.hProcess), UniqueHandle(info.hThread)};
  return result;
}

}  // namespace tw
