// tarnwick-cli: the window's search and remedies for scripts and consoles.
#include <windows.h>

#include <string>
#include <vector>

#include "app/cli/cli_run.h"
#include "app/cli/console.h"

// The C runtime's own entry point (mingw-w64's name; MSVC's is wmainCRTStartup): it runs the
// static initialisers, then wmain.
extern "C" int mainCRTStartup();

// The program's entry point (linked with -e): DLLs that are not KnownDLLs are loaded at their
// first call, from System32 only, never from the program's folder.
extern "C" int tw_start() {
  if (!::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::ExitProcess(ERROR_DLL_INIT_FAILED);
  return mainCRTStartup();
}

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  const int status = tw::run_cli(arguments);
  // A search stopped by Ctrl+C may still be running on its thread: the process ends here,
  // before anything it uses is torn down under it.
  if (tw::interrupted()) ::ExitProcess(static_cast<UINT>(status));
  return status;
}
