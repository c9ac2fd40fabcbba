#include "discovery/file_identity.h"

#include <cstring>

#include "discovery/path_spelling.h"

namespace tw {
namespace {

// The file system's 64-bit file number alone. Reading the full identity also asks for the
// volume's serial number, which costs more than listing a folder does on some systems; within
// a volume the number is enough.
std::optional<std::uint64_t> file_number(HANDLE file) {
  struct IoStatus {
    void* status_or_pointer;
    ULONG_PTR information;
  };
  using QueryFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
  constexpr int kFileInternalInformation = 6;
  static const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  if (query == nullptr) return std::nullopt;
  IoStatus io{};
  std::uint64_t number = 0;
  if (query(file, &io, &number, sizeof number, kFileInternalInformation) < 0) return std::nullopt;
  if (number == 0) return std::nullopt;  // the file system keeps no such number
  return number;
}

}  // namespace

std::optional<FileIdentity> file_identity(HANDLE file) {
  FILE_ID_INFO id{};
  if (::GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
    FileIdentity out{id.VolumeSerialNumber, 0, 0};
    static_assert(sizeof id.FileId.Identifier == 2 * sizeof(std::uint64_t));
    std::memcpy(&out.low, id.FileId.Identifier, sizeof out.low);
    std::memcpy(&out.high, id.FileId.Identifier + sizeof out.low, sizeof out.high);
    return out;
  }
  // File systems without 128-bit identifiers answer only this.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, 0};
}

UniqueHandle open_for_identity(std::wstring_view path) {
  // No access asked: this opens even what others hold without sharing; folders need the
  // backup flag.
  return UniqueHandle(::CreateFileW(exact_path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<FILE_ATTRIBUTE_TAG_INFO> attributes_and_tag(std::wstring_view path, Links links) {
  const std::wstring exact = exact_path(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(exact.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return FILE_ATTRIBUTE_TAG_INFO{data.dwFileAttributes, 0};  // no link: one call suffices
  }
  // The tag needs a handle. Attribute access is never refused for sharing.
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (links == Links::Own ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  UniqueHandle file(::CreateFileW(exact.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  flags, nullptr));
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!file || !::GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &info, sizeof info)) {
    return std::nullopt;
  }
  return info;
}

bool FolderVisits::enter(std::wstring_view folder, std::uint64_t& volume) {
  const UniqueHandle handle = open_for_identity(folder);
  return !handle || enter(handle.get(), volume);
}

bool FolderVisits::enter(HANDLE folder, std::uint64_t& volume) {
  std::optional<FileIdentity> full;
  if (volume == 0) {
    full = file_identity(folder);
    if (!full) return true;
    volume = full->volume;
  }
  // The number on its volume; where the file system has 128-bit identifiers only, those. (On
  // NTFS, and for what Wine shows, both are the same number.)
  FileIdentity key;
  if (const auto number = file_number(folder)) {
    key = FileIdentity{volume, *number, 0};
  } else if (full || (full = file_identity(folder))) {
    key = *full;
  } else {
    return true;
  }
  return entered_.insert(key).second;
}

}  // namespace tw
