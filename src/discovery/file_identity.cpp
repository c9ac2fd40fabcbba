#include "discovery/file_identity.h"

#include <cstring>

#include "common/casemap.h"
#include "common/win32.h"
#include "discovery/path_spelling.h"
#include "discovery/paths.h"

namespace tw {

std::optional<std::uint64_t> file_index(HANDLE file) {
  struct IoStatus {
    void* status_or_pointer;
    ULONG_PTR information;
  };
  using QueryFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
  constexpr int kFileInternalInformation = 6;
  static const auto query = loaded_function<QueryFn>(L"ntdll.dll", "NtQueryInformationFile");
  if (query == nullptr) return std::nullopt;
  IoStatus io{};
  std::uint64_t number = 0;
  if (query(file, &io, &number, sizeof number, kFileInternalInformation) < 0) return std::nullopt;
  return number;
}

bool volume_has_narrow_ids(HANDLE file) {
  wchar_t name[MAX_PATH + 1] = {};
  if (!::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1)) return false;
  return equal_ascii_folded(std::wstring_view(name), std::wstring_view(L"NTFS"));
}

bool is_file_identifier(std::uint64_t low, std::uint64_t high) {
  constexpr std::uint64_t kOnes = ~std::uint64_t{0};
  if (high == 0) return low != 0 && low != kOnes;  // also the 64-bit values, widened
  return !(low == kOnes && high == kOnes);
}

std::optional<FileIdentity> file_identity(HANDLE file, const FileIdentityApi& api) {
  FILE_ID_INFO id{};
  if (api.information_ex(file, FileIdInfo, &id, sizeof id)) {
    FileIdentity out{id.VolumeSerialNumber, 0, 0};
    static_assert(sizeof id.FileId.Identifier == 2 * sizeof(std::uint64_t));
    std::memcpy(&out.low, id.FileId.Identifier, sizeof out.low);
    std::memcpy(&out.high, id.FileId.Identifier + sizeof out.low, sizeof out.high);
    if (is_file_identifier(out.low, out.high)) return out;
  }
  // File systems without 128-bit identifiers answer only this.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!api.information(file, &info)) return std::nullopt;
  const std::uint64_t number = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  if (!is_file_identifier(number, 0)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, number, 0};
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

std::optional<FileIdentity> FolderVisits::identify(HANDLE folder, std::uint64_t& volume) {
  if (volume != 0) {
    const auto known = narrow_volumes_.find(volume);
    if (known != narrow_volumes_.end() && known->second) {
      // Within a volume whose numbers are identities the number alone will do; it spares
      // the serial number, which costs more than listing a folder on some systems.
      const auto number = api_.file_index(folder);
      if (number && is_file_identifier(*number, 0)) return FileIdentity{volume, *number, 0};
      return std::nullopt;
    }
  }
  const std::optional<FileIdentity> full = file_identity(folder, api_);
  if (!full) return std::nullopt;
  volume = full->volume;
  if (!narrow_volumes_.contains(volume)) narrow_volumes_.emplace(volume, api_.narrow_ids(folder));
  return full;
}

bool FolderVisits::enter(std::wstring_view folder, std::uint64_t& volume) {
  const UniqueHandle handle = open_for_identity(folder);
  return !handle || enter(handle.get(), volume);
}

bool FolderVisits::enter(HANDLE folder, std::uint64_t& volume) {
  if (const auto identity = identify(folder, volume)) return entered_.insert(*identity).second;
  // No identity to go by (all its folders may share one number): the final path still tells
  // a folder met again under the same name, or through another drive letter.
  const auto name = final_path_name(folder);
  return !name || entered_by_path_.insert(path_key(std::wstring_view(*name))).second;
}

}  // namespace tw
