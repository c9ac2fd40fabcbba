#include <windows.h>

#include "app/entry.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
  return tw::run_from_command_line();
}
