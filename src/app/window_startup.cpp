#include "app/window_startup.h"

namespace tw {

int run_window_mode(const StartupRequest& /*request*/) {
  // The main window is not built yet.
  return 0;
}

}  // namespace tw
