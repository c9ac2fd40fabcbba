#include <windows.h>

#include "app/delete_on_restart.h"
#include "app/explorer_entry.h"
#include "app/startup.h"
#include "app/window_startup.h"
#include "common/cmdline.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
  // GetCommandLineW keeps the program name and the exact quoting the splitter expects.
  const auto arguments = tw::split_command_line(::GetCommandLineW());
  const tw::StartupRequest request = tw::decide_startup(arguments, tw::current_directory());
  switch (request.mode) {
    case tw::RunMode::Unregister:
      return tw::run_unregister();
    case tw::RunMode::DeleteOnReboot:
      return tw::run_delete_on_reboot_helper(request.paths);
    case tw::RunMode::Window:
      break;
  }
  return tw::run_window_mode(request);
}
