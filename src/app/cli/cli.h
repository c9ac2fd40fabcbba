#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/scan/scan_result.h"

namespace tw {

// What tarnwick-cli answers a script with.
inline constexpr int kExitSuccess = 0;       // nothing holds, or every action was done
inline constexpr int kExitStillHeld = 1;     // something still holds, or an action was refused or failed
inline constexpr int kExitUsage = 2;         // the command line was wrong
inline constexpr int kExitSearchFailed = 3;  // the search itself failed or was stopped
inline constexpr int kExitOutputFailed = 4;  // standard output could not be written (closed pipe, full disk)

enum class CliVerb : std::uint8_t {
  Help,
  Version,
  Find,
  Wait,
  Close,
  End,
  RestartExplorer,
  Recycle,
  DeleteOnRestart,
};

// A process named on the command line: "1234", or "1234:133500000000000000" with the start
// time `find --json` prints, which pins it to that very process.
struct ProcessRef {
  std::uint32_t pid = 0;
  std::optional<std::uint64_t> start_time;
  friend bool operator==(const ProcessRef&, const ProcessRef&) = default;
};

struct CliCommand {
  CliVerb verb = CliVerb::Help;
  std::vector<std::wstring> paths;      // as given; resolved when the command runs
  std::vector<ProcessRef> processes;   // close and end
  bool all = false;                     // close and end: every holder of the paths
  bool deep = false;
  bool json = false;
  bool yes = false;
  std::uint32_t timeout_seconds = 60;   // wait
  friend bool operator==(const CliCommand&, const CliCommand&) = default;
};

// The arguments after the program's name. A text for the user when they make no command.
std::variant<CliCommand, std::string> parse_cli(const std::vector<std::wstring>& arguments);

// "1234" or "1234:START"; nothing for anything else (0, signs, spaces, overflow).
std::optional<ProcessRef> parse_process_ref(std::wstring_view text);

std::string cli_usage();

// Text from elsewhere (names, descriptions, paths) made safe to show in a console: control
// characters (C0, DEL, C1), bidirectional overrides and isolates, line and paragraph
// separators and bytes that are not UTF-8 are shown as escapes ("\x1b", "\u202e"), so that
// no such text can move the cursor, rewrite a line or reorder what follows it.
std::string printable(std::string_view utf8);

// The search's answer for people: an aligned table of the holders, or what was found out
// about each target when nothing holds them, and the hints the window would show.
std::string holders_table(const ScanResult& result, bool elevated);

// The same as one JSON document whose field names never change (see the README).
std::string holders_json(const std::vector<Target>& targets, const ScanResult& result, bool elevated);

// "program", "explorer", "service" or "windows".
std::string_view kind_name(HolderKind kind);

// A FILETIME count as local time, "2026-12-08 14:03:07"; empty when unknown.
std::string local_time_text(std::uint64_t filetime);

// How `find` and `wait` end: held (1) when anything holds, failed (3) when a deep search gave
// up before it could tell, else 0.
int search_exit_code(const ScanResult& result);

// Seconds to sleep before the next search of `wait`: 1, then growing by half up to 5.
double next_wait_delay(double previous);

}  // namespace tw
