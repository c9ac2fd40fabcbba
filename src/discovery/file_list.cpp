#include "discovery/file_list.h"

#include "common/handles.h"
#include "discovery/file_identity.h"
#include "discovery/folder_reader.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

constexpr DWORD kNameSurrogateBit = 0x20000000;

struct Lister {
  FileListing& out;
  const ProgressSink& progress;
  StopFlag stop;
  // Folders listed so far in this search: one reached again (through a link that does not
  // look like one, or under a second drive letter) is not listed twice, and a loop ends.
  FolderVisits visits;

  void append(std::wstring path) {
    out.files.push_back(std::move(path));
    if (out.files.size() % kListingProgressStep == 0 && progress) {
      progress(ScanProgress{out.files.size(), 0.0f, ScanPhase::Listing});
    }
  }

  void list_folder_target(const Target& target) {
    ++out.folders;
    std::uint64_t read_only = 0;
    // Folders in the target's spelling, with the volume of the folder each was found in;
    // entries spelled the same way, verbatim where a plain path would name something else.
    struct Folder {
      std::wstring path;
      std::uint64_t volume = 0;
    };
    std::vector<Folder> stack{Folder{target, 0}};
    while (!stack.empty() && !out.stopped) {
      Folder folder = std::move(stack.back());
      stack.pop_back();
      FolderReader reader(folder.path);
      if (!reader.is_open()) continue;  // unreadable or vanished: skipped
      if (!visits.enter(reader.handle(), folder.volume)) continue;
      bool ended = false;
      while (const auto entry = reader.next()) {  // an error ends this folder's listing
        if (stop_asked(stop)) {
          out.stopped = true;
          break;
        }
        switch (entry_kind(entry->attributes, entry->reparse_tag)) {
          case EntryKind::Link:
            break;
          case EntryKind::Folder:
            // A reparse point that is entered may lead to another volume.
            stack.push_back(Folder{join_entry(folder.path, entry->name),
                                   (entry->attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? 0 : folder.volume});
            break;
          case EntryKind::File:
            if (out.files.size() >= kListingCap) {
              out.truncated = true;
              ended = true;
              break;
            }
            if (entry->attributes & FILE_ATTRIBUTE_READONLY) ++read_only;
            append(join_entry(folder.path, entry->name));
            break;
        }
        if (ended) break;
      }
      if (ended) break;  // the rest of this target is dropped
      if (!stack.empty() && stop_asked(stop)) out.stopped = true;
    }
    if (read_only > 0) out.read_only[target] += read_only;
  }
};

}  // namespace

EntryKind entry_kind(DWORD attributes, DWORD reparse_tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparse_tag & kNameSurrogateBit)) return EntryKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
  return EntryKind::File;
}

FileListing build_file_list(const std::vector<Target>& targets, const ProgressSink& progress,
                            const FileIdentityApi& ids, StopFlag stop) {
  FileListing out;
  Lister lister{out, progress, stop, FolderVisits(ids)};
  for (const Target& target : targets) {
    if (stop_asked(stop)) {
      out.stopped = true;
      break;
    }
    const auto info = attributes_and_tag(target, Links::Follow);
    if (!info) continue;  // gone or unreachable: the diagnosis reports it later
    if (entry_kind(info->FileAttributes, info->ReparseTag) == EntryKind::Folder) {
      lister.list_folder_target(target);
      if (out.stopped) break;
    } else {
      out.files.push_back(target);  // even past the cap: the user named it
    }
  }
  out.files_checked = out.files.size();
  return out;
}

std::uint64_t read_only_count(const std::map<Target, std::uint64_t>& counts, const Target& target) {
  const auto it = counts.find(target);
  return it == counts.end() ? 0 : it->second;
}

}  // namespace tw
