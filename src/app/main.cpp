#include <windows.h>

#include "app/entry.h"

// The C runtime's own entry point (mingw-w64's name; MSVC's is wWinMainCRTStartup): it runs
// the static initialisers, then wWinMain.
extern "C" int WinMainCRTStartup();

// The program's entry point (linked with -e). Before anything else runs, DLLs loaded from now
// on come from System32 only: those that are not KnownDLLs are loaded at their first call,
// and Windows would otherwise look for them first in the program's folder, which a user can
// write to while the program runs elevated.
extern "C" int tw_start() {
  if (!::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::ExitProcess(ERROR_DLL_INIT_FAILED);
  return WinMainCRTStartup();
}

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
  return tw::run_from_command_line();
}
