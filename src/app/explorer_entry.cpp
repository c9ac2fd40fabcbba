#include "app/explorer_entry.h"

namespace tw {

int run_unregister() {
  // The menu entries and the settings store do not exist yet; there is nothing to remove.
  return 0;
}

}  // namespace tw
