// Test helper: a DLL planted beside a program under a system DLL's name. Loaded, it leaves a
// mark, an empty file named after itself in the folder TW_PLANTED_MARKS names; it exports
// nothing, so a program that loads it would also fail to find what it imports.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t folder[MAX_PATH] = {};
  wchar_t own[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"TW_PLANTED_MARKS", folder, MAX_PATH);
  const DWORD m = ::GetModuleFileNameW(self, own, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || m == 0 || m >= MAX_PATH) return TRUE;
  const wchar_t* name = own;
  for (const wchar_t* p = own; *p; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  wchar_t mark[2 * MAX_PATH] = {};
  ::lstrcpynW(mark, folder, MAX_PATH);
  ::lstrcatW(mark, L"\\");
  ::lstrcatW(mark, name);
  const HANDLE file = ::CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return TRUE;
}
