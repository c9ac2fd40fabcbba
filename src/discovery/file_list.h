#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "discovery/file_identity.h"
#include "discovery/paths.h"
#include "discovery/scan_progress.h"

namespace tw {

// At most this many files are put to the Restart Manager per scan.
inline constexpr std::size_t kListingCap = 50'000;
// Listing progress is offered each time the list reaches a multiple of this.
inline constexpr std::size_t kListingProgressStep = 500;

// What a directory entry is, for the listing: links (symbolic links, junctions, mount
// points) are neither listed nor entered.
enum class EntryKind { Link, Folder, File };

// Decides from an entry's attributes and its reparse tag (only read when the attributes
// say reparse point).
EntryKind entry_kind(DWORD attributes, DWORD reparse_tag);

struct FileListing {
  std::vector<std::wstring> files;  // target by target, within a folder in listing order
  std::uint64_t files_checked = 0;
  std::uint64_t folders = 0;  // folder targets (subfolders do not count)
  bool truncated = false;     // a folder listing stopped at the cap
  bool stopped = false;       // the listing was told to stop before it was done
  // Per folder target, read-only files seen inside it; only targets with at least one.
  std::map<Target, std::uint64_t> read_only;
};

// Expands the targets into the files to ask about: file targets as they are, folders walked
// depth first with an explicit stack, links skipped, at most kListingCap files. Missing
// targets and unreadable folders simply give fewer files. Once `stop` is set it ends with what
// it has listed.
FileListing build_file_list(const std::vector<Target>& targets, const ProgressSink& progress,
                            const FileIdentityApi& ids = {}, StopFlag stop = nullptr);

std::uint64_t read_only_count(const std::map<Target, std::uint64_t>& counts, const Target& target);

}  // namespace tw
