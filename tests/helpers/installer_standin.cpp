// Test helper standing in for the update installer: writes the arguments it got to
// "<its own path>.args" (each in UTF-8 followed by a NUL) and exits.
#include <windows.h>

#include <string>

#include "common/handles.h"
#include "common/text.h"

int wmain(int argc, wchar_t** argv) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string record;
  for (int i = 1; i < argc; ++i) {
    record += tw::to_utf8(argv[i]);
    record += '\0';
  }
  const std::wstring out = std::wstring(path, n) + L".args";
  // Written under another name first, so a test never reads half of it.
  const std::wstring partial = out + L".partial";
  {
    tw::UniqueHandle file(::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr)) return 1;
  }
  return ::MoveFileExW(partial.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
