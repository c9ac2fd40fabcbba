// tarnwick-cli: the window's search and remedies for scripts and consoles.
#include <windows.h>

#include <string>
#include <vector>

#include "app/cli/cli_run.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return tw::run_cli(arguments);
}
