#pragma once

#include "app/cli/cli.h"

namespace tw {

// `stop-service [--yes] NAME...`: stops the services (their dependents first) after a
// confirmation, here when elevated, else through tarnwick.exe's elevated helper. The status:
// 0 stopped, 1 refused or not stopped.
// `confirmed` asks as the other commands do.
int run_stop_service(const CliCommand& c, bool (*confirmed)(const CliCommand&, std::string));

}  // namespace tw
