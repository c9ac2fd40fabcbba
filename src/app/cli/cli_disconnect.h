#pragma once

// `tarnwick-cli disconnect ID...`: closing files other computers opened in this computer's
// shared folders, by the ids `find` prints.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "discovery/network_opens.h"

namespace tw {

// What a disconnect run says and how it ends.
struct DisconnectRun {
  std::string out;  // what was done, for standard output
  std::string err;  // what was refused or failed, for standard error
  int code = 0;
};

// Closes each named open after `confirm` agreed to the question about it. An id the server
// does not list is not open (exit 1, nothing done); a server that lists nothing to this
// account refuses every id.
DisconnectRun disconnect_opens(const std::vector<std::uint32_t>& ids,
                               const std::function<bool(const std::string&)>& confirm, bool elevated,
                               const NetworkOpensApi& api = {});

}  // namespace tw
