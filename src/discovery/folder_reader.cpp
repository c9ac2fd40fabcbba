#include "discovery/folder_reader.h"

#include "discovery/path_spelling.h"

namespace tw {
namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

}  // namespace

FolderReader::FolderReader(std::wstring_view folder)
    : handle_(::CreateFileW(exact_path(folder).c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {
  if (!handle_) done_ = true;
}

bool FolderReader::fill() {
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<std::byte[]>(kBufferBytes);
  // FILE_FULL_DIR_INFO entries are 8-byte aligned within the buffer; new[] gives at least that.
  const FILE_INFO_BY_HANDLE_CLASS kind = first_ ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo;
  first_ = false;
  if (!::GetFileInformationByHandleEx(handle_.get(), kind, buffer_.get(), static_cast<DWORD>(kBufferBytes))) {
    const DWORD error = ::GetLastError();
    // An empty folder on some file systems says "no such file" rather than "no more".
    failed_ = error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND;
    done_ = true;
    return false;
  }
  offset_ = 0;
  have_data_ = true;
  return true;
}

std::optional<FolderReader::Entry> FolderReader::next() {
  while (!done_) {
    if (!have_data_ && !fill()) return std::nullopt;
    const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer_.get() + offset_);
    if (info->NextEntryOffset == 0) {
      have_data_ = false;
    } else {
      offset_ += info->NextEntryOffset;
    }
    const std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
    if (name == L"." || name == L"..") continue;
    // For a reparse point the extended-attribute size field carries the reparse tag, as
    // FindFirstFileExW's dwReserved0 does.
    const DWORD tag = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info->EaSize : 0;
    return Entry{name, info->FileAttributes, tag};
  }
  return std::nullopt;
}

}  // namespace tw
