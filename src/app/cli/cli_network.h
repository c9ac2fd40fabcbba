#pragma once

// How `find --json` describes a file another computer opened in a shared folder here.

#include <nlohmann/json.hpp>

#include "procs/holders.h"

namespace tw {

// The fields added to such a holder: "id", "user", "computer" (null when unknown), "path",
// "permissions" (any of "read", "write", "create"), "locks".
void add_network_open_fields(nlohmann::ordered_json& holder, const Holder& h);

}  // namespace tw
