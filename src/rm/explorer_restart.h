#pragma once

#include <windows.h>

#include <restartmanager.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "procs/process_facts.h"

namespace tw {

// What restarting File Explorer calls that a test must be able to replace: Wine's Restart
// Manager pretends to succeed at everything, and Wine's own desktop is always a running
// explorer.exe.
struct ExplorerRestartApi {
  decltype(&::RmStartSession) start_session = &::RmStartSession;
  decltype(&::RmRegisterResources) register_resources = &::RmRegisterResources;
  decltype(&::RmShutdown) shutdown = &::RmShutdown;
  decltype(&::RmRestart) restart = &::RmRestart;
  decltype(&::RmEndSession) end_session = &::RmEndSession;
  std::vector<ProcessEntry> (*process_list)() = &tw::process_list;
};

// "explorer.exe" in any ASCII letter case, and nothing else.
bool is_explorer_name(std::string_view exe_name);

// Asks the Restart Manager to shut the Explorer process down and start it again; when that
// fails, ends it (if it still runs and is still the process created at `expected_start_time`,
// unless that is 0), gives Windows 2.5 seconds to bring Explorer back by itself, and
// otherwise starts %SystemRoot%\explorer.exe. True when Explorer runs again. Blocks: worker
// threads only.
bool restart_explorer(std::uint32_t pid, std::uint64_t expected_start_time, const ExplorerRestartApi& api = {});

}  // namespace tw
