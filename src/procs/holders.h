#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/hold_ways.h"
#include "discovery/network_opens.h"
#include "exeinfo/file_description.h"
#include "procs/classify.h"
#include "procs/process_facts.h"
#include "procs/rm_finding.h"

namespace tw {

// One process found holding targets: one row of the main window.
struct Holder {
  std::string title;                // what the row is called
  std::string exe_name;             // executable file name; may be empty
  std::string window_title;         // first qualifying window title worth showing, or empty
  std::vector<std::string> services;  // service short names, in order of first report
  std::vector<std::wstring> files;  // held paths in the user's spelling, sorted, no repeats
  std::vector<HoldWays> ways;       // how each of them is held, in the same order (may be empty: all open)
  std::string held;                 // the first of them as the row names it (display_form)
  std::optional<std::wstring> image_path;
  std::uint64_t start_time = 0;     // with pid, the process's identity; 0 when unknown
  std::uint32_t pid = 0;            // with NetworkOpen: the server's id of the open
  RemoteOpener remote;              // with NetworkOpen: who opened it, from where
  bool has_window = false;          // at least one qualifying window, titled or not
  bool unattributed = false;        // reported for a batch without being tied to a file
  HolderKind kind = HolderKind::Program;
  bool critical = false;            // the Restart Manager calls it critical to Windows
  // The services a row may offer to stop, as the window's search found them (else empty).
  std::vector<std::string> stoppable_services;
  std::vector<HeldHandle> handles;  // the handles the deep search found it holding the files by
  bool shielded = false;            // critical or protected (or not to be told), asked only when it has handles
};

// What one scan has learnt about a process before its facts are read.
struct PendingHolder {
  std::string name;  // the Restart Manager's application name, first reported
  std::vector<std::string> services;
  std::vector<std::wstring> files;
  std::vector<HoldWays> ways;  // one for each of files
  std::vector<HeldHandle> handles;
  std::optional<std::uint32_t> session;
  std::uint64_t rm_start_time = 0;
  bool is_service = false;
  bool is_critical = false;
  bool unattributed = false;
};

// Ordered by pid, so that finishing visits processes in ascending identifier order.
using PendingHolders = std::map<std::uint32_t, PendingHolder>;

void add_rm_finding(PendingHolders& pending, const RmFinding& finding);

// A path (already spelled as the target) that the process holds, found by other means than
// the Restart Manager.
// `handles`: those the file is held open by, when known.
void add_held_path(PendingHolders& pending, std::uint32_t pid, std::wstring path, HoldWays how = kHeldOpen,
                   std::vector<HeldHandle> handles = {});

// How a holder holds its file at `index`; open where nothing else was recorded.
HoldWays held_ways(const Holder& holder, std::size_t index);

// The per-process facts finish_holders reads; tests put in their own.
struct ProcessApi {
  std::optional<std::uint64_t> (*creation_time)(std::uint32_t) = &tw::creation_time;
  std::optional<std::wstring> (*image_path)(std::uint32_t) = &tw::image_path;
  std::optional<std::uint32_t> (*session)(std::uint32_t) = &tw::process_session;
  std::optional<std::string> (*file_description)(const std::wstring&) = &tw::file_description;
  std::vector<ProcessWindow> (*process_windows)(std::uint32_t) = &tw::process_windows;
  std::optional<bool> (*shielded)(std::uint32_t) = &tw::process_is_shielded;
};

// One holder per pending process, in ascending pid order, with its facts and kind. This
// program itself is left out, and so is a process whose identifier now names another
// process than the one the Restart Manager reported.
std::vector<Holder> finish_holders(PendingHolders pending, const ProcessApi& facts = {});

}  // namespace tw
