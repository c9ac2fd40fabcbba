#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/remedies/eject.h"
#include "app/scan/scan_result.h"

namespace tw {

// What tarnwick-cli answers a script with.
inline constexpr int kExitSuccess = 0;       // nothing holds, or every action was done
inline constexpr int kExitStillHeld = 1;     // something still holds, or an action was refused or failed
inline constexpr int kExitUsage = 2;         // the command line was wrong
inline constexpr int kExitSearchFailed = 3;  // the search itself failed or was stopped
inline constexpr int kExitOutputFailed = 4;  // standard output could not be written (closed pipe, full disk)
inline constexpr int kExitInUseUnseen = 5;   // nothing was found holding it, yet something has it open
inline constexpr int kExitIncomplete = 6;    // nothing was found holding it, but not everything could be searched
inline constexpr int kExitNotEjectable = 7;  // eject: not a drive, the system drive, or not on a removable device

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
  Eject,
  StopService,
  Disconnect,
  Unlock,
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
  std::vector<std::wstring> paths;      // as given; resolved when the command runs (stop-service: names)
  std::vector<ProcessRef> processes;   // close, end and unlock
  std::vector<std::uint32_t> opens;     // disconnect: the server's ids of network opens
  bool all = false;                     // close and end: every holder of the paths
  bool deep = false;
  bool json = false;
  bool yes = false;
  std::uint32_t timeout_seconds = 60;   // wait
  friend bool operator==(const CliCommand&, const CliCommand&) = default;
};

// What is wrong with a command line.
enum class CliUsageFault : std::uint8_t {
  NoCommand,
  UnknownCommand,
  UnknownOption,
  NeedsSeconds,   // --timeout without a number it takes
  NotAProcessId,
  TakesNoPaths,
  IdsAndAll,      // close or end given ids and --all at once
  NoPaths,
  NoProcessIds,
  NotOneDrive,    // eject given no drive, or more than one
  NotADrive,      // eject given what is not a drive's spelling
  NoServiceNames, // stop-service given no name
  NotAnOpenId,    // disconnect given what is not an open's id
  NoOpenIds,      // disconnect given no id
};

struct CliUsageError {
  CliUsageFault fault = CliUsageFault::NoCommand;
  std::wstring argument;  // the argument at fault, when there is one
  CliVerb verb = CliVerb::Help;
  friend bool operator==(const CliUsageError&, const CliUsageError&) = default;
};

// The arguments after the program's name. Commands and options are taken in any letter case,
// as Windows' own tools take them.
std::variant<CliCommand, CliUsageError> parse_cli(const std::vector<std::wstring>& arguments);

// One line that says what is wrong, in the interface language (without its line end).
std::string usage_error_text(const CliUsageError& error);

// "find", "restart-explorer": the command as it is written.
std::string_view verb_name(CliVerb verb);

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

// "program", "explorer", "service", "windows" or "network".
std::string_view kind_name(HolderKind kind);

// A FILETIME count as local time, "2026-12-08 14:03:07"; empty when unknown.
std::string local_time_text(std::uint64_t filetime);

// Why a search could not look everywhere; each may hide a holder.
struct SearchGaps {
  bool listing_capped = false;        // a folder had more files than the listing takes
  bool processes_not_opened = false;  // programs of administrators or other users (when not elevated)
  bool handles_passed_over = false;   // handles the deep search did not ask, or that did not answer
  bool stopped_early = false;         // the deep search gave up
  bool network_opens_unseen = false;  // a target is in a share whose opens only an administrator may list
  bool any() const {
    return listing_capped || processes_not_opened || handles_passed_over || stopped_early || network_opens_unseen;
  }
};
SearchGaps search_gaps(const ScanResult& result, bool elevated);

// How `find` and `wait` end, the first that applies: held (1); the search failed (3); in use
// by something not found (5); not everything searched (6); else free (0).
int search_exit_code(const ScanResult& result, bool elevated);

// Whether `wait` searches again after a search that ended with this status: while something
// holds the paths, or has them open unseen, or the search failed.
bool waits_on(int search_status);

// Seconds to sleep before the next search of `wait`: 1, then growing by half up to 5.
double next_wait_delay(double previous);

// How `eject` ends: 0 ejected, 7 not offered for the drive, 1 refused or failed.
int eject_exit_code(const EjectOutcome& outcome);

// The outcome of `eject --json`: "drive", "ejected", "refusal", "veto_type", "veto_name",
// "vetoer" and "text", names that never change; after a refusal, "holders" as `find --json`
// gives them: what a search of the drive found open on it.
std::string eject_json(const std::wstring& root, const EjectOutcome& outcome, const ScanResult* in_the_way = nullptr);

}  // namespace tw
