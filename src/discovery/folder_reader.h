#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "common/handles.h"

namespace tw {

// Reads one folder's entries from a handle of its own, a large buffer at a time (the request
// FindFirstFileExW makes with FIND_FIRST_EX_LARGE_FETCH), so that the handle that lists the
// folder can also say who the folder is. "." and ".." are passed over.
class FolderReader {
 public:
  struct Entry {
    std::wstring_view name;  // valid until the next call of next()
    DWORD attributes = 0;
    DWORD reparse_tag = 0;   // only with FILE_ATTRIBUTE_REPARSE_POINT
  };

  // Opens a folder (any spelling; the verbatim one is used) for listing.
  explicit FolderReader(std::wstring_view folder);

  // False when the folder could not be opened for listing.
  bool is_open() const { return static_cast<bool>(handle_); }
  HANDLE handle() const { return handle_.get(); }

  // The next entry; nothing once the folder is read to its end or the reading broke off.
  std::optional<Entry> next();
  // The reading broke off before the end (not merely an empty folder).
  bool failed() const { return failed_; }

 private:
  bool fill();

  UniqueHandle handle_;
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t offset_ = 0;
  bool have_data_ = false;
  bool first_ = true;
  bool done_ = false;
  bool failed_ = false;
};

}  // namespace tw
