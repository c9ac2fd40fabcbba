#pragma once

// Files other computers opened inside the targets, through the folders this computer shares.

#include <vector>

#include "discovery/network_opens.h"
#include "discovery/paths.h"
#include "procs/holders.h"

namespace tw {

struct NetworkFindings {
  std::vector<Holder> holders;  // one per open inside a target, of kind NetworkOpen
  std::vector<bool> unseen;     // per target: in a share whose opens only an administrator may list
};

// Asks the server only when a share and a target overlap; without shares this is one read of
// the registry. Each open is matched by path key after being spelled under the share as the
// file system names it, so a share written in another case or with short names still matches.
NetworkFindings find_network_opens(const std::vector<Target>& targets, const NetworkOpensApi& api);

}  // namespace tw
