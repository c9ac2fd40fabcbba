#include "app/entry.h"

#include <windows.h>

#include "app/remedies/delete_on_restart.h"
#include "app/remedies/services.h"
#include "app/system/explorer_entry.h"
#include "app/system/startup.h"
#include "app/window/window_startup.h"
#include "common/cmdline.h"

namespace tw {

int run_from_command_line() {
  // GetCommandLineW keeps the program name and the exact quoting the splitter expects.
  const auto arguments = split_command_line(::GetCommandLineW());
  const StartupRequest request = decide_startup(arguments);
  switch (request.mode) {
    case RunMode::Unregister:
      return run_unregister();
    case RunMode::DeleteOnReboot:
      return run_delete_on_reboot_helper(request);
    case RunMode::StopService:
      return run_stop_service_helper(request);
    case RunMode::Window:
      break;
  }
  return run_window_mode(request);
}

}  // namespace tw
