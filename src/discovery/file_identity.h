#pragma once

#include <windows.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <set>
#include <string_view>

#include "common/handles.h"

namespace tw {

// Who a file or folder is, whatever it is called: the volume's serial number and the file's
// identifier on it.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// Whether a question about a path is about what a link leads to, or about the link itself.
enum class Links : std::uint8_t { Follow, Own };

// A path's attributes and, for a reparse point, its tag (the attributes' reparse bit tells
// whether the tag means anything). Any spelling; the verbatim one is used. Nothing when the
// path cannot be reached.
std::optional<FILE_ATTRIBUTE_TAG_INFO> attributes_and_tag(std::wstring_view path, Links links);

// The full identity of an open file (128-bit identifiers where the file system has them).
std::optional<FileIdentity> file_identity(HANDLE file);

// Opens a path (in any spelling; the verbatim one is used) for nothing but reading its name
// and identity, following links. Invalid when it cannot be opened.
UniqueHandle open_for_identity(std::wstring_view path);

// The folders one walk has entered, by identity, so that a folder reached a second time
// (through a link that does not look like one, such as a symbolic link on a network share,
// or under a second drive letter) is recognised, and a loop ends.
class FolderVisits {
 public:
  // A folder about to be entered, with the volume of the folder it was found in, or 0 when
  // that says nothing (the walk's start, or a reparse point, which may lead to another
  // volume). False when it was entered before. A folder that cannot be identified counts as
  // new. `volume` becomes the folder's own, for what is found in it.
  bool enter(HANDLE folder, std::uint64_t& volume);
  // The same for a path, opened here.
  bool enter(std::wstring_view folder, std::uint64_t& volume);

 private:
  std::set<FileIdentity> entered_;
};

}  // namespace tw
