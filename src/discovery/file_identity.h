#pragma once

#include <windows.h>

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
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

// The file system's 64-bit number of an open file (NtQueryInformationFile's internal
// information); cheaper than the full identity, which also asks for the volume's serial number.
std::optional<std::uint64_t> file_index(HANDLE file);

// Whether the volume of an open file numbers its files so that the 64-bit number is the whole
// identity (NTFS: its 128-bit identifier is that number widened). ReFS's 64-bit numbers are
// not unique; other file systems are not trusted with the shortcut.
bool volume_has_narrow_ids(HANDLE file);

// The calls identities are read with; tests give what file systems without unique numbers
// answer.
struct FileIdentityApi {
  BOOL(WINAPI* information_ex)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) = &::GetFileInformationByHandleEx;
  BOOL(WINAPI* information)(HANDLE, LPBY_HANDLE_FILE_INFORMATION) = &::GetFileInformationByHandle;
  std::optional<std::uint64_t> (*file_index)(HANDLE) = &tw::file_index;
  bool (*narrow_ids)(HANDLE) = &volume_has_narrow_ids;
};

// An identifier that names one file: not 0 (the file system keeps none, as some network and
// user-mode file systems answer) nor all ones in 64 or 128 bits (to be ignored, says the
// protocol).
bool is_file_identifier(std::uint64_t low, std::uint64_t high);

// The full identity of an open file: the 128-bit identifier where the file system gives one,
// else the 64-bit number. Nothing when neither names the file alone.
std::optional<FileIdentity> file_identity(HANDLE file, const FileIdentityApi& api = {});

// Opens a path (in any spelling; the verbatim one is used) for nothing but reading its name
// and identity, following links. Invalid when it cannot be opened.
UniqueHandle open_for_identity(std::wstring_view path);

// The folders one walk has entered, by identity, so that a folder reached a second time
// (through a link that does not look like one, such as a symbolic link on a network share,
// or under a second drive letter) is recognised, and a loop ends. A folder without an
// identity is known by its final path instead.
class FolderVisits {
 public:
  explicit FolderVisits(const FileIdentityApi& api = {}) : api_(api) {}

  // A folder about to be entered, with the volume of the folder it was found in, or 0 when
  // that says nothing (the walk's start, or a reparse point, which may lead to another
  // volume). False when it was entered before. A folder that can be neither identified nor
  // named counts as new. `volume` becomes the folder's own, for what is found in it.
  bool enter(HANDLE folder, std::uint64_t& volume);
  // The same for a path, opened here.
  bool enter(std::wstring_view folder, std::uint64_t& volume);

 private:
  std::optional<FileIdentity> identify(HANDLE folder, std::uint64_t& volume);

  FileIdentityApi api_;
  std::set<FileIdentity> entered_;
  std::set<std::string> entered_by_path_;
  std::map<std::uint64_t, bool> narrow_volumes_;  // by serial: whether the 64-bit number suffices
};

}  // namespace tw
