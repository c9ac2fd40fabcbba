#include "app/delete_on_restart.h"

namespace tw {

int run_delete_on_reboot_helper(const std::vector<Target>& /*paths*/) {
  // Scheduling is not built yet; say so rather than claim success.
  return kHelperFailed;
}

}  // namespace tw
