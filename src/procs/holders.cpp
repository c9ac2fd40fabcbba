#include "procs/holders.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "common/casemap.h"
#include "common/text.h"
#include "discovery/paths.h"

namespace tw {
namespace {

// The first title worth showing beside `title`: not blank, and not the row's own name again.
std::string pick_window_title(const std::vector<ProcessWindow>& windows, const std::string& title) {
  for (const ProcessWindow& w : windows) {
    if (!trim_white_space(w.title).empty() && w.title != title) return w.title;
  }
  return {};
}

// Sorts the paths with their ways; a path held in several ways is one entry with all of them.
void sort_files(std::vector<std::wstring>& files, std::vector<HoldWays>& ways) {
  std::vector<std::size_t> order(files.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return path_components_less(files[a], files[b]); });
  std::vector<std::wstring> sorted_files;
  std::vector<HoldWays> sorted_ways;
  for (std::size_t i : order) {
    if (!sorted_files.empty() && sorted_files.back() == files[i]) {
      sorted_ways.back() = sorted_ways.back() | ways[i];
    } else {
      sorted_files.push_back(std::move(files[i]));
      sorted_ways.push_back(ways[i]);
    }
  }
  files = std::move(sorted_files);
  ways = std::move(sorted_ways);
}

}  // namespace

void add_rm_finding(PendingHolders& pending, const RmFinding& finding) {
  PendingHolder& p = pending[finding.pid];
  p.rm_start_time = finding.start_time;
  if (p.name.empty()) p.name = finding.app_name;
  if (!finding.service_name.empty() &&
      std::find(p.services.begin(), p.services.end(), finding.service_name) == p.services.end()) {
    p.services.push_back(finding.service_name);
  }
  p.is_service = p.is_service || finding.is_service;
  p.is_critical = p.is_critical || finding.is_critical;
  p.session = finding.session_id;
  if (finding.file) {
    p.files.push_back(*finding.file);
    p.ways.push_back(kHeldOpen);
  } else {
    p.unattributed = true;
  }
}

void add_held_path(PendingHolders& pending, std::uint32_t pid, std::wstring path, HoldWays how,
                   std::vector<HeldHandle> handles) {
  PendingHolder& p = pending[pid];
  p.files.push_back(std::move(path));
  p.ways.push_back(how);
  std::move(handles.begin(), handles.end(), std::back_inserter(p.handles));
}

HoldWays held_ways(const Holder& holder, std::size_t index) {
  return index < holder.ways.size() ? holder.ways[index] : kHeldOpen;
}

std::vector<Holder> finish_holders(PendingHolders pending, const ProcessApi& facts) {
  std::vector<Holder> out;
  const DWORD own_pid = ::GetCurrentProcessId();
  for (auto& [pid, p] : pending) {
    if (pid == own_pid) continue;

    Holder h;
    h.pid = pid;
    h.start_time = facts.creation_time(pid).value_or(p.rm_start_time);
    // The identifier was reused: whatever runs under it now is not what was reported.
    if (p.rm_start_time != 0 && p.rm_start_time != h.start_time) continue;

    h.image_path = facts.image_path(pid);
    if (h.image_path) h.exe_name = file_name_of(*h.image_path);
    if (h.exe_name.empty()) h.exe_name = p.name;

    const std::optional<std::uint32_t> session = p.session ? p.session : facts.session(pid);
    h.kind = classify(pid, h.exe_name, h.image_path, session, p.is_service);
    if (h.kind == HolderKind::Program && p.is_critical) h.kind = HolderKind::WindowsComponent;

    // The Restart Manager's name is kept when it says more than the file name does.
    if (!p.name.empty() && !equal_ascii_folded(p.name, h.exe_name)) {
      h.title = p.name;
    } else if (auto description = h.image_path ? facts.file_description(*h.image_path) : std::nullopt) {
      h.title = std::move(*description);
    } else {
      h.title = h.exe_name;
    }

    const std::vector<ProcessWindow> windows = facts.process_windows(pid);
    h.has_window = !windows.empty();
    h.window_title = pick_window_title(windows, h.title);

    sort_files(p.files, p.ways);
    h.files = std::move(p.files);
    h.ways = std::move(p.ways);
    h.services = std::move(p.services);
    h.unattributed = p.unattributed;
    h.critical = p.is_critical;
    h.handles = std::move(p.handles);
    // Asked only where a handle could be closed; one that cannot be told is left alone.
    if (!h.handles.empty()) h.shielded = facts.shielded(pid).value_or(true);
    out.push_back(std::move(h));
  }
  return out;
}

}  // namespace tw
