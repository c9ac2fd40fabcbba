#pragma once

namespace tw {

// The whole run of the program from its command line: decides the mode and carries it out.
// Returns the process exit status.
int run_from_command_line();

}  // namespace tw
