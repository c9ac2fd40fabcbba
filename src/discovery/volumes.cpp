#include "discovery/volumes.h"

#include <algorithm>

#include "common/casemap.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

struct FindVolumeTraits {
  using Type = HANDLE;
  static Type none() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { ::FindVolumeClose(h); }
};
using UniqueVolumeFind = Unique<FindVolumeTraits>;

constexpr std::wstring_view kVolumePrefix = L"\\\\?\\volume{";

std::wstring with_backslash(std::wstring_view path) {
  std::wstring out(without_trailing_backslashes(path));
  out.push_back(L'\\');
  return out;
}

bool is_volume_name(std::wstring_view path) {
  if (path.size() < kVolumePrefix.size()) return false;
  return to_lower_full(to_utf8(path.substr(0, kVolumePrefix.size()))) == to_utf8(kVolumePrefix);
}

// "E:", "E:\", "\\?\E:\", "\\?\Volume{...}\", "\\server\share\": spelled as a root, so worth
// asking even when not a reparse point.
bool spelled_as_root(std::wstring_view path) {
  const std::wstring plain = strip_long_prefix(without_trailing_backslashes(path));
  if (plain.size() == 2 && plain[1] == L':') return true;
  if (is_volume_name(path)) return plain.find(L'\\') == std::wstring::npos;
  if (plain.size() > 2 && plain[0] == L'\\' && plain[1] == L'\\') {
    const std::size_t server_end = plain.find(L'\\', 2);
    return server_end != std::wstring::npos && server_end > 2 && server_end + 1 < plain.size() &&
           plain.find(L'\\', server_end + 1) == std::wstring::npos;
  }
  return false;
}

// The length of the longest key a normalised path lies under; 0 for none.
std::size_t longest_match(const std::vector<std::string>& keys, std::string_view path) {
  std::size_t longest = 0;
  for (const std::string& k : keys) {
    if (k.size() > longest && key_matches(k, path)) longest = k.size();
  }
  return longest;
}

void add_key(std::vector<std::string>& keys, const std::string& key) {
  if (!key.empty() && std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
}

}  // namespace

std::optional<std::wstring> volume_root_of(const std::wstring& path) {
  // The answer is never longer than the path with a backslash added.
  std::wstring buffer(std::max<std::size_t>(path.size() + 2, MAX_PATH + 1), L'\0');
  if (!::GetVolumePathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()))) return std::nullopt;
  buffer.resize(std::wcslen(buffer.c_str()));
  return buffer;
}

std::optional<std::wstring> volume_name_of(const std::wstring& root) {
  wchar_t name[MAX_PATH + 1] = {};  // a volume name is 49 characters
  if (!::GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH)) return std::nullopt;
  return std::wstring(name);
}

std::vector<std::wstring> mount_paths_of(const std::wstring& volume_name) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int call = 0; call < 3; ++call) {
    DWORD needed = 0;
    if (::GetVolumePathNamesForVolumeNameW(volume_name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                           &needed)) {
      std::vector<std::wstring> paths;
      for (const wchar_t* p = buffer.c_str(); *p != L'\0'; p += std::wcslen(p) + 1) paths.emplace_back(p);
      return paths;
    }
    if (::GetLastError() != ERROR_MORE_DATA) return {};
    buffer.assign(std::max<std::size_t>(needed, buffer.size() * 2), L'\0');  // more mount folders came meanwhile
  }
  return {};
}

std::vector<std::wstring> every_volume() {
  std::vector<std::wstring> names;
  wchar_t name[MAX_PATH + 1] = {};
  UniqueVolumeFind find(::FindFirstVolumeW(name, MAX_PATH));
  if (!find) return names;
  do {
    names.emplace_back(name);
  } while (::FindNextVolumeW(find.get(), name, MAX_PATH));
  return names;
}

bool may_be_mount_folder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(exact_path(path).c_str());
  constexpr DWORD kMount = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kMount) == kMount;
}

bool DriveScope::owns(std::string_view key) const {
  const std::size_t own = longest_match(keys, key);
  return own > 0 && own > longest_match(foreign, key);
}

std::optional<std::wstring> drive_root(const Target& target, const DriveVolumeApi& api) {
  const bool root_spelling = spelled_as_root(target);
  if (!root_spelling && !api.may_be_mount(target)) return std::nullopt;
  const std::wstring asked = with_backslash(target);
  const std::optional<std::wstring> root = api.volume_root(asked);
  if (!root) return root_spelling ? std::optional<std::wstring>(asked) : std::nullopt;
  if (path_key(std::wstring_view(*root)) != path_key(std::wstring_view(target))) return std::nullopt;
  return with_backslash(*root);
}

DriveScope drive_scope(const std::wstring& root, const DriveVolumeApi& api) {
  DriveScope scope;
  add_key(scope.keys, path_key(std::wstring_view(root)));
  // Windows names the volume of "E:\" or "C:\mnt\usb\", not of their "\\?\" spellings.
  const std::optional<std::wstring> name =
      is_volume_name(root) ? std::optional<std::wstring>(with_backslash(root)) : api.volume_name(with_backslash(strip_long_prefix(std::wstring_view(root))));
  if (!name) return scope;
  const std::string own_name = path_key(std::wstring_view(*name));
  add_key(scope.keys, own_name);
  for (const std::wstring& m : api.mount_paths(*name)) add_key(scope.keys, path_key(std::wstring_view(m)));

  for (const std::wstring& other : api.all_volumes()) {
    if (path_key(std::wstring_view(other)) == own_name) continue;
    for (const std::wstring& m : api.mount_paths(other)) {
      const std::string k = path_key(std::wstring_view(m));
      const bool inside = std::any_of(scope.keys.begin(), scope.keys.end(),
                                      [&](const std::string& own) { return own != k && key_matches(own, k); });
      if (inside) add_key(scope.foreign, k);
    }
  }
  return scope;
}

std::wstring volume_path_spelling(std::wstring path) {
  if (is_volume_name(L"\\\\?\\" + path)) path.insert(0, L"\\\\?\\");
  return path;
}

}  // namespace tw
