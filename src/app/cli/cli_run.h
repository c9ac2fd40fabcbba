#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli.h"

namespace tw {

// Steps the commands share, for commands kept in files of their own: the paths resolved and
// each found to exist (said when not); one search with its progress, nothing on Ctrl+C; a
// yes from --yes or the console; and what a stopped search says and ends with.
std::optional<std::vector<Target>> cli_paths_to_search(const std::vector<std::wstring>& paths);
std::optional<ScanResult> cli_search(const std::vector<Target>& targets, bool deep);
bool confirmed_by_user(const CliCommand& c, std::string question);
int cli_stopped();

// unlock (cli_unlock.cpp).
int run_unlock(const CliCommand& c);

// The whole run of tarnwick-cli from its arguments (after the program's name): the exit status.
int run_cli(const std::vector<std::wstring>& arguments);

}  // namespace tw
