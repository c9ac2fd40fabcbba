#pragma once

#include <windows.h>

#include <restartmanager.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "procs/process_facts.h"

namespace tw {

// Whether Windows starts the shell again when it ends with a failure (Winlogon's
// "AutoRestartShell", on unless set to 0).
bool windows_restarts_the_shell();

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
  bool (*auto_restart_shell)() = &windows_restarts_the_shell;
  void(WINAPI* sleep)(DWORD) = &::Sleep;
  // The shell is back when this desktop has a shell window again (the taskbar's), not merely
  // some explorer.exe: a separate folder-window process or another session's shell is no taskbar.
  HWND(WINAPI* shell_window)() = &::GetShellWindow;
  DWORD(WINAPI* window_process)(HWND, DWORD*) = &::GetWindowThreadProcessId;
  BOOL(WINAPI* process_session)(DWORD, DWORD*) = &::ProcessIdToSessionId;
};

// "explorer.exe" in any ASCII letter case, and nothing else.
bool is_explorer_name(std::string_view exe_name);

enum class ExplorerRestartWay : std::uint8_t {
  // The Restart Manager, else ended and started again by us: it runs with the user's own rights.
  RestartManagerElseStart,
  // Elevated: whatever we start would run as administrator, and so would everything started
  // from the taskbar. Ended with a failure code instead, for Windows to start it again itself.
  EndForWindowsToRestart,
  // Elevated, and Windows would not start it again: it is left running.
  Refuse,
};
ExplorerRestartWay explorer_restart_way(bool elevated, bool windows_restarts_shell);

// This session's shell window belongs to an explorer.exe of this session.
bool shell_is_back(const ExplorerRestartApi& api);

// Restarts File Explorer the way explorer_restart_way chooses. Not elevated: asks the Restart
// Manager to shut the process down and start it again; when that fails, ends it (if it still
// runs and is still the process created at `expected_start_time`, unless that is 0), gives
// Windows 2.5 seconds to bring the shell back by itself, and otherwise starts
// %SystemRoot%\explorer.exe and waits up to 10 seconds for its shell window. Elevated: ends it
// and waits up to 10 seconds for Windows to bring the shell back. True when the shell is back
// (shell_is_back). Blocks: worker threads only.
bool restart_explorer(std::uint32_t pid, std::uint64_t expected_start_time, bool elevated,
                      const ExplorerRestartApi& api = {});

}  // namespace tw
