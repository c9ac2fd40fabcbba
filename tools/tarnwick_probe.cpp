// The program exactly as shipped, but its window answers the probe message, so that
// scripts and benchmarks can tell when its first scan is over or its first frame is up.
#include <windows.h>

#include "app/entry.h"
#include "app/window/main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tw::enable_window_probe();
  return tw::run_from_command_line();
}
