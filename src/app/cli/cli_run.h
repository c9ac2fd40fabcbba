#pragma once

#include <string>
#include <vector>

namespace tw {

// The whole run of tarnwick-cli from its arguments (after the program's name): the exit status.
int run_cli(const std::vector<std::wstring>& arguments);

}  // namespace tw
