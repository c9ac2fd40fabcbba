#include "app/remedies/pending_renames.h"

#include <windows.h>

namespace tw {
namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

struct Key {
  HKEY handle = nullptr;
  ~Key() {
    if (handle != nullptr) ::RegCloseKey(handle);
  }
};

// The value as stored; an empty text when there is none. Nothing when it cannot be read, or
// is not a REG_MULTI_SZ.
std::optional<std::wstring> read_value(HKEY key) {
  for (int attempt = 0; attempt < 4; ++attempt) {  // it may grow between the two reads
    DWORD type = 0, bytes = 0;
    LSTATUS status = ::RegQueryValueExW(key, kPendingValue, nullptr, &type, nullptr, &bytes);
    if (status == ERROR_FILE_NOT_FOUND) return std::wstring();
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return std::nullopt;
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_FILE_NOT_FOUND) return std::wstring();
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ || got % sizeof(wchar_t) != 0) return std::nullopt;
    data.resize(got / sizeof(wchar_t));
    return data;
  }
  return std::nullopt;
}

}  // namespace

std::wstring native_path(std::wstring_view full_path) {
  if (full_path.starts_with(L"\\\\?\\")) full_path.remove_prefix(4);
  else if (full_path.starts_with(L"\\\\")) return L"\\??\\UNC\\" + std::wstring(full_path.substr(2));
  return L"\\??\\" + std::wstring(full_path);
}

std::optional<std::vector<std::wstring>> pending_strings(std::wstring_view value) {
  std::vector<std::wstring> strings;
  while (!value.empty()) {
    const std::size_t end = value.find(L'\0');
    if (end == std::wstring_view::npos) return std::nullopt;  // a string without its end
    strings.emplace_back(value.substr(0, end));
    value.remove_prefix(end + 1);
  }
  // The closing empty string makes the count odd; a list written without it is even.
  if (strings.size() % 2 != 0) {
    if (!strings.back().empty()) return std::nullopt;
    strings.pop_back();
  }
  return strings;
}

std::wstring pending_value(const std::vector<std::wstring>& strings, const std::vector<std::wstring>& deletions) {
  std::size_t size = 1;
  for (const std::wstring& s : strings) size += s.size() + 1;
  for (const std::wstring& d : deletions) size += d.size() + 2;
  std::wstring value;
  value.reserve(size);
  for (const std::wstring& s : strings) {
    value += s;
    value.push_back(L'\0');
  }
  for (const std::wstring& d : deletions) {
    value += d;
    value.append(2, L'\0');  // the empty new name: delete
  }
  value.push_back(L'\0');
  return value;
}

bool add_pending_deletions(const std::vector<std::wstring>& full_paths) {
  Key key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key.handle) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::optional<std::wstring> stored = read_value(key.handle);
  if (!stored) return false;
  const std::optional<std::vector<std::wstring>> strings = pending_strings(*stored);
  if (!strings) return false;  // not ours to rewrite
  std::vector<std::wstring> deletions;
  deletions.reserve(full_paths.size());
  for (const std::wstring& path : full_paths) deletions.push_back(native_path(path));
  const std::wstring value = pending_value(*strings, deletions);
  const auto bytes = value.size() * sizeof(wchar_t);
  if (bytes > MAXDWORD) return false;
  return ::RegSetValueExW(key.handle, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value.data()),
                          static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

}  // namespace tw
