#include "app/scan/search.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "app/scan/network_search.h"
#include "common/casemap.h"
#include "discovery/memory_holds.h"

namespace tw {
namespace {

int group_of(HolderKind kind) {
  switch (kind) {
    case HolderKind::Program:
      return 0;
    case HolderKind::FileExplorer:
      return 1;
    case HolderKind::NetworkOpen:
      return 2;
    case HolderKind::Service:
    case HolderKind::WindowsComponent:
      break;
  }
  return 3;  // services and parts of Windows are not told apart
}

}  // namespace

void sort_holders(std::vector<Holder>& holders) {
  if (holders.size() < 2) return;
  std::vector<std::pair<std::string, Holder*>> keyed;
  keyed.reserve(holders.size());
  for (Holder& h : holders) keyed.emplace_back(to_lower_full(h.title), &h);
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    const int ga = group_of(a.second->kind), gb = group_of(b.second->kind);
    if (ga != gb) return ga < gb;
    return a.first < b.first;  // byte-wise on UTF-8, a shorter prefix first
  });
  std::vector<Holder> sorted;
  sorted.reserve(holders.size());
  for (auto& [key, h] : keyed) sorted.push_back(std::move(*h));
  holders = std::move(sorted);
}

namespace {

// Targets that are drive roots, with the volume each stands for. A drive is searched by what
// is open on it: listing it would cost time in proportion to its files and tell nothing of
// its folders, its current folders or the volume itself.
struct Drives {
  std::vector<bool> is_drive;      // per target; empty when there is no drive
  std::vector<DriveScope> scopes;  // one per drive target, its resolved key among its keys

  bool any() const { return !scopes.empty(); }
};

Drives find_drives(const std::vector<Target>& targets, const DriveVolumeApi& volumes, StopFlag stop) {
  Drives drives;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (stop_asked(stop)) break;  // a share that is away can take long to answer; the listing stops too
    const std::optional<std::wstring> root = drive_root(targets[i], volumes);
    if (!root) continue;
    if (drives.is_drive.empty()) drives.is_drive.assign(targets.size(), false);
    drives.is_drive[i] = true;
    DriveScope scope = drive_scope(*root, volumes);
    // Another letter for the same folder (a subst or mapped drive) is named by the first.
    const std::string resolved = resolved_key(targets[i]);
    if (std::find(scope.keys.begin(), scope.keys.end(), resolved) == scope.keys.end()) scope.keys.push_back(resolved);
    drives.scopes.push_back(std::move(scope));
  }
  return drives;
}

// The folders and files among the targets listed; drives are left out, and a search of
// drives alone lists nothing.
FileListing list_targets(const std::vector<Target>& targets, const Drives& drives, const ProgressSink& progress,
                         const ScanApi& platform, StopFlag stop) {
  if (!drives.any()) return platform.list_files(targets, progress, {}, stop);
  std::vector<Target> listed;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (!drives.is_drive[i]) listed.push_back(targets[i]);
  }
  if (listed.empty()) return {};
  return platform.list_files(listed, progress, {}, stop);
}

// Whether a path found under the search's keys belongs to a target: under a target that is
// not a drive, or on a drive's own volume rather than another volume mounted inside it.
class DriveFilter {
 public:
  DriveFilter(const std::vector<Target>& targets, const std::vector<std::string>& resolved_keys, const Drives& drives)
      : drives_(drives), others_(other_keys(targets, resolved_keys, drives)) {}

  bool wanted(std::string_view key) const {
    if (!drives_.any() || others_.find(key)) return true;
    return std::any_of(drives_.scopes.begin(), drives_.scopes.end(), [&](const DriveScope& d) { return d.owns(key); });
  }

 private:
  static std::vector<std::string> other_keys(const std::vector<Target>& targets,
                                             const std::vector<std::string>& resolved_keys, const Drives& drives) {
    std::vector<std::string> keys;
    if (!drives.any()) return keys;
    for (std::size_t i = 0; i < targets.size() && i < resolved_keys.size(); ++i) {
      if (drives.is_drive[i]) continue;
      keys.push_back(resolved_keys[i]);
      keys.push_back(literal_key(targets[i]));
    }
    return keys;
  }

  const Drives& drives_;
  KeyIndex others_;
};

// Who uses the files, batch by batch, all batches sharing one split budget. False when it was
// told to stop before the last batch.
bool ask_restart_manager(std::span<const std::wstring> files, std::uint64_t files_checked, const ProgressSink& progress,
                         const RmApi& rm, PendingHolders& pending, StopFlag stop) {
  const std::size_t batches = (files.size() + kRmBatchFiles - 1) / kRmBatchFiles;
  std::uint32_t budget = kRmScanSplitBudget;
  std::vector<RmFinding> findings;
  for (std::size_t i = 0; i < batches; ++i) {
    if (progress) {
      progress(ScanProgress{files_checked, static_cast<float>(i) / static_cast<float>(batches), ScanPhase::AskingWindows});
    }
    if (stop_asked(stop)) return false;
    findings.clear();
    query_holders(files.subspan(i * kRmBatchFiles, std::min(kRmBatchFiles, files.size() - i * kRmBatchFiles)), budget,
                  findings, rm);
    for (const RmFinding& f : findings) add_rm_finding(pending, f);
  }
  return true;
}

// Programs started from inside a target hold it even when they hold no file there. False when
// it was told to stop before every process was looked at.
bool find_programs_started_inside(const std::vector<Target>& targets, const std::vector<std::string>& resolved_keys,
                                  const KeyIndex& resolved_index, const KeyIndex& literal_index,
                                  const DriveFilter& drives, const ScanApi& platform, PendingHolders& pending,
                                  StopFlag stop) {
  for (const ProcessEntry& p : platform.process_list()) {
    if (stop_asked(stop)) return false;
    if (p.pid < 5) continue;
    const std::optional<std::wstring> image = platform.image_path(p.pid);
    if (!image) continue;
    const std::string key = path_key(std::wstring_view(*image));
    if ((resolved_index.find(key) || literal_index.find(key)) && drives.wanted(key)) {
      add_held_path(pending, p.pid, spell_as_target(*image, targets, resolved_keys), kHeldLoaded);
    }
  }
  return true;
}

// Programs, DLLs and plug-ins that processes have loaded, and views they mapped, found by
// walking every process's memory once. False when it was told to stop first.
bool find_files_in_memory(const std::vector<Target>& targets, const std::vector<std::string>& resolved_keys,
                          const ScanApi& platform, PendingHolders& pending, StopFlag stop) {
  MemoryWalkJob job(platform.deep.walk_memory, std::make_shared<const KeyIndex>(resolved_keys));
  const MemoryWalkResult walked = job.finish(stop);
  for (const DeepRecord& r : walked.records) {
    add_held_path(pending, r.pid, spell_as_target(r.path, targets, resolved_keys), r.how);
  }
  return !walked.stopped;
}

// What the Restart Manager cannot tell: programs started from inside a target, with `images`
// (some file is a program or a DLL) what processes have loaded, and with `deep` every handle
// and every process's memory in the system. Sets `stopped` when told to stop before it was done.
void look_beyond_restart_manager(const std::vector<Target>& targets, const KeyIndex& literal_index,
                                 const Drives& drives, bool images, const ProgressSink& progress,
                                 const ScanApi& platform, StopFlag stop, ScanResult& result,
                                 PendingHolders& pending) {
  std::vector<std::string> resolved_keys;
  resolved_keys.reserve(targets.size());
  for (const Target& t : targets) {
    if (stop_asked(stop)) {  // a target on a share that is away can take long to open
      result.stopped = true;
      return;
    }
    resolved_keys.push_back(resolved_key(t));
  }
  // A drive's other letters, mounted folders and volume name are searched as well.
  std::vector<std::string> search_keys = resolved_keys;
  for (const DriveScope& d : drives.scopes) search_keys.insert(search_keys.end(), d.keys.begin(), d.keys.end());
  const KeyIndex resolved_index(search_keys);
  const DriveFilter filter(targets, resolved_keys, drives);
  if (!find_programs_started_inside(targets, resolved_keys, resolved_index, literal_index, filter, platform, pending,
                                    stop)) {
    result.stopped = true;
    return;
  }
  if (!result.deep) {
    // Walking every process costs milliseconds each, so only where a loaded image may hold a file.
    if (images) result.stopped = !find_files_in_memory(targets, resolved_keys, platform, pending, stop);
    return;
  }
  if (progress) progress(ScanProgress{result.files_checked, 0.0f, ScanPhase::DeepSearching});
  DeepSearchResult found = deep_search(search_keys, result.files_checked, progress, platform.deep, {}, stop);
  for (DeepRecord& r : found.records) {
    if (!filter.wanted(path_key(std::wstring_view(r.path)))) continue;
    std::vector<HeldHandle> handles;
    for (const std::uint64_t value : r.handles) handles.push_back(HeldHandle{value, r.path});
    add_held_path(pending, r.pid, spell_as_target(volume_path_spelling(std::move(r.path)), targets, resolved_keys),
                  r.how, std::move(handles));
  }
  result.inaccessible = found.inaccessible;
  result.unexamined = found.unexamined;
  result.gave_up = found.gave_up;
  result.stopped = found.stopped;
}

// One diagnosis per target; none when told to stop before all were made, as a partial list
// would leave targets unexplained.
std::vector<Diagnosis> diagnose_targets(const std::vector<Target>& targets, const FileListing& listing,
                                        const Drives& drives, StopFlag stop) {
  std::vector<Diagnosis> diagnoses;
  diagnoses.reserve(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (stop_asked(stop)) return {};
    const Target& t = targets[i];
    const bool drive = drives.any() && drives.is_drive[i];
    diagnoses.push_back(drive ? diagnose_drive(t) : diagnose_target(t, read_only_count(listing.read_only, t)));
  }
  return diagnoses;
}

}  // namespace

ScanResult search_targets(const std::vector<Target>& targets, bool deep, const ProgressSink& progress,
                          const ScanApi& platform, StopFlag stop) {
  ScanResult result;
  const Drives drives = find_drives(targets, platform.volumes, stop);
  result.drive = drives.any();
  result.deep = deep || result.drive;

  FileListing listing = list_targets(targets, drives, progress, platform, stop);
  result.files_checked = listing.files_checked;
  result.folders = listing.folders;
  result.truncated = listing.truncated;
  result.stopped = listing.stopped;

  PendingHolders pending;
  if (!result.stopped) {
    result.stopped = !ask_restart_manager(listing.files, result.files_checked, progress, platform.rm, pending, stop);
  }
  std::vector<std::string> literal_keys;
  literal_keys.reserve(targets.size());
  for (const Target& t : targets) literal_keys.push_back(literal_key(t));
  const KeyIndex literal_index(literal_keys);
  if (!result.stopped) {
    const bool images = std::any_of(listing.files.begin(), listing.files.end(),
                                    [](const std::wstring& f) { return loads_as_image(f); });
    look_beyond_restart_manager(targets, literal_index, drives, images, progress, platform, stop, result, pending);
  }

  result.holders = finish_holders(std::move(pending), platform.facts);
  NetworkFindings network;
  if (!result.stopped) network = find_network_opens(targets, platform.network);
  result.network_unseen = std::find(network.unseen.begin(), network.unseen.end(), true) != network.unseen.end();
  std::move(network.holders.begin(), network.holders.end(), std::back_inserter(result.holders));
  // Named once here, against the targets by key, so that showing a row never looks through
  // thousands of targets.
  for (Holder& h : result.holders) {
    if (!h.files.empty()) h.held = display_form(h.files.front(), targets, literal_index);
  }
  if (result.holders.empty() && !result.stopped) {
    result.diagnoses = diagnose_targets(targets, listing, drives, stop);
    result.stopped = result.diagnoses.size() != targets.size();
    for (std::size_t i = 0; i < result.diagnoses.size() && i < network.unseen.size(); ++i) {
      result.diagnoses[i].shared = network.unseen[i];
    }
  }
  sort_holders(result.holders);
  return result;
}

}  // namespace tw
