#pragma once

// The search itself: from targets to holders, free of threads, windows and slots.

#include <optional>
#include <string>
#include <vector>

#include "app/scan/scan_result.h"
#include "discovery/deep_search.h"
#include "discovery/file_list.h"
#include "discovery/network_opens.h"
#include "discovery/volumes.h"
#include "procs/holders.h"
#include "rm/rm_query.h"

namespace tw {

// The platform pieces a scan uses; tests put stand-ins where Wine cannot answer.
struct ScanApi {
  RmApi rm;
  DeepSearchApi deep;
  ProcessApi facts;
  std::vector<ProcessEntry> (*process_list)() = &tw::process_list;
  std::optional<std::wstring> (*image_path)(std::uint32_t) = &tw::image_path;
  DriveVolumeApi volumes;
  NetworkOpensApi network;
  // The folder listing, replaceable so that a test can count the calls (a drive has none).
  FileListing (*list_files)(const std::vector<Target>&, const ProgressSink&, const FileIdentityApi&,
                            StopFlag) = &build_file_list;
};

// The whole search, free of windows and slots: listing, the Restart Manager in batches,
// programs started from inside a target, the deep search when asked, then the holders in
// display order or, when there are none, a diagnosis per target. Once `stop` is set, the steps
// left are skipped and the holders found so far are the result, marked stopped and without
// diagnoses (nothing can be said of what was not looked at). Files other computers opened
// through a share are holders of their own kind. A target that is a drive's root
// is not listed: every handle on its volume is looked for, as by the deep search.
ScanResult search_targets(const std::vector<Target>& targets, bool deep, const ProgressSink& progress,
                          const ScanApi& platform = {}, StopFlag stop = nullptr);

// Display order: programs, then File Explorer, then opens by other computers, then services and
// parts of Windows; within each, by lower-cased title. Stable.
void sort_holders(std::vector<Holder>& holders);

}  // namespace tw
