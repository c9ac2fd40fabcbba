#include "discovery/path_spelling.h"

#include <windows.h>

#include <array>

#include "common/casemap.h"
#include "common/win32.h"

namespace tw {
namespace {

constexpr std::wstring_view kVerbatim = L"\\\\?\\";
constexpr std::wstring_view kDevice = L"\\\\.\\";
constexpr std::wstring_view kUncPart = L"UNC\\";
// The longest plain path that every Windows call takes (MAX_PATH less the terminator).
constexpr std::size_t kLongestPlainPath = 259;

constexpr bool is_drive_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
constexpr bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool starts_with_folded(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && equal_ascii_folded(text.substr(0, prefix.size()), prefix);
}

bool is_verbatim(std::wstring_view p) { return p.starts_with(kVerbatim); }

// "C:\" at the start of `p`.
bool has_drive_root(std::wstring_view p) { return p.size() >= 3 && is_drive_letter(p[0]) && p[1] == L':' && p[2] == L'\\'; }

// A character no file, folder, server or share name may hold. "/" is one too, but a plain
// path reads it as a separator, so only verbatim paths refuse it.
constexpr bool is_forbidden(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*';
}

// Where "\\server\share" ends in `p` (which starts with the two backslashes); nothing when
// either name is missing.
std::optional<std::size_t> share_root_end(std::wstring_view p, std::size_t server_start) {
  const std::size_t server_end = p.find(L'\\', server_start);
  if (server_end == std::wstring_view::npos || server_end == server_start) return std::nullopt;
  const std::size_t share_end = std::min(p.find(L'\\', server_end + 1), p.size());
  if (share_end == server_end + 1) return std::nullopt;
  return share_end;
}

// Length of the root of a full path: "C:\" (3), "\\server\share", "\\?\C:\", "\\?\UNC\server\share"
// or "\\?\Volume{...}\". Nothing for anything else: relative paths, devices.
std::optional<std::size_t> root_length(std::wstring_view p) {
  if (is_verbatim(p)) {
    const std::wstring_view rest = p.substr(kVerbatim.size());
    if (has_drive_root(rest)) return kVerbatim.size() + 3;
    if (starts_with_folded(rest, kUncPart)) return share_root_end(p, kVerbatim.size() + kUncPart.size());
    if (starts_with_folded(rest, L"Volume{")) {
      const std::size_t end = rest.find(L'\\');
      if (end != std::wstring_view::npos && rest[end - 1] == L'}') return kVerbatim.size() + end + 1;
    }
    return std::nullopt;
  }
  if (has_drive_root(p)) return 3;
  if (p.starts_with(L"\\\\")) return share_root_end(p, 2);
  return std::nullopt;
}

// Where the first name of a full path starts: the server's for a share, else the first after
// the root.
std::size_t first_name_at(std::wstring_view p, std::size_t root) {
  if (p.starts_with(L"\\\\") && !is_verbatim(p)) return 2;
  if (is_verbatim(p) && starts_with_folded(p.substr(kVerbatim.size()), kUncPart)) return kVerbatim.size() + kUncPart.size();
  return root;
}

// Every name of a full path from its first, checked: false when one is empty, "." or "..",
// or holds a forbidden character.
bool names_are_valid(std::wstring_view p, std::size_t root) {
  const bool verbatim = is_verbatim(p);
  std::size_t start = first_name_at(p, root);
  if (start >= p.size()) return true;
  while (true) {
    const std::size_t end = std::min(p.find(L'\\', start), p.size());
    const std::wstring_view name = p.substr(start, end - start);
    if (name.empty() || name == L"." || name == L"..") return false;
    for (const wchar_t c : name) {
      if (is_forbidden(c) || (verbatim && c == L'/')) return false;
    }
    if (end == p.size()) return true;
    start = end + 1;
  }
}

void trim_to_root(std::wstring& p, std::size_t root) {
  while (p.size() > root && p.back() == L'\\') p.pop_back();
}

std::optional<std::wstring> full_path_name(const std::wstring& text) {
  return read_sized_text([&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(text.c_str(), size, buffer, nullptr); });
}

// Nothing when some part of the path does not exist.
std::optional<std::wstring> long_path_name(const std::wstring& path) {
  return read_sized_text([&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(path.c_str(), buffer, size); });
}

bool is_device_name(std::wstring_view name) {
  // Windows looks at the part before the first dot, trailing spaces dropped: "nul.txt" and
  // "com1 .log" are devices too.
  std::wstring_view base = name.substr(0, std::min(name.find(L'.'), name.size()));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  static constexpr std::array<std::wstring_view, 6> kNames = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const std::wstring_view device : kNames) {
    if (equal_ascii_folded(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const bool numbered = equal_ascii_folded(base.substr(0, 3), L"COM") || equal_ascii_folded(base.substr(0, 3), L"LPT");
  const wchar_t digit = base[3];
  // Superscript one, two and three count as digits here.
  return numbered && ((digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

bool rest_is_exact(std::wstring_view rest) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(rest.find(L'\\', start), rest.size());
    if (!plain_name_is_exact(rest.substr(start, end - start))) return false;
    if (end == rest.size()) return true;
    start = end + 1;
  }
}

constexpr bool is_space(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

}  // namespace

bool is_absolute_path(std::wstring_view p) {
  if (p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) return true;
  return p.size() >= 3 && is_drive_letter(p[0]) && p[1] == L':' && is_separator(p[2]);
}

std::optional<Target> resolve_target(std::wstring_view text, RelativePaths relative) {
  text = text.substr(0, std::min(text.find(L'\0'), text.size()));
  if (text.empty()) return std::nullopt;
  std::wstring full;
  if (is_verbatim(text)) {
    full.assign(text);  // Windows takes it as it is, and so do we
  } else {
    if (relative == RelativePaths::Refuse && !is_absolute_path(text)) return std::nullopt;
    auto resolved = full_path_name(std::wstring(text));
    if (!resolved) return std::nullopt;
    full = std::move(*resolved);
    // Normalised, the device namespace names what the verbatim one does; a device name
    // ("con", "nul.txt") comes back here as "\\.\con" and is refused below.
    if (full.starts_with(kDevice)) full[2] = L'?';
  }
  const auto root = root_length(full);
  if (!root) return std::nullopt;
  trim_to_root(full, *root);
  if (!names_are_valid(full, *root)) return std::nullopt;
  // Only short names hold a tilde; the long name is what the user knows and what the same
  // folder is called in every other spelling.
  if (full.find(L'~') != std::wstring::npos) {
    // Given the plain spelling where that says the same: not every Windows expands the
    // verbatim one.
    if (auto long_name = long_path_name(readable_path(exact_path(full)))) full = std::move(*long_name);
  }
  return readable_path(exact_path(full));
}

std::optional<Target> normalise_path(std::wstring_view argument, RelativePaths relative) {
  std::wstring_view p = argument;
  while (!p.empty() && is_space(p.front())) p.remove_prefix(1);
  while (!p.empty() && p.front() == L'"') p.remove_prefix(1);
  // A verbatim path is taken as written: a trailing space there is part of a name.
  const bool verbatim = p.starts_with(L"\\\\?\\");
  while (!p.empty() && (p.back() == L'"' || (!verbatim && is_space(p.back())))) p.remove_suffix(1);
  // An empty argument must not turn into the current directory, which would then be
  // offered for deletion.
  if (p.empty()) return std::nullopt;
  std::wstring path(p);
  // "D:" alone means D:'s current folder to Windows; on a command line it means the drive.
  if (path.size() == 2 && path[0] < 0x80 && path[1] == L':') path.push_back(L'\\');
  return resolve_target(path, relative);
}

std::vector<Target> resolve_targets(std::span<const std::wstring> texts, RelativePaths relative) {
  std::vector<Target> targets;
  targets.reserve(texts.size());
  for (const std::wstring& text : texts) {
    if (auto target = resolve_target(text, relative)) targets.push_back(std::move(*target));
  }
  return targets;
}

std::wstring drive_of(std::wstring_view full_path) {
  if (is_verbatim(full_path)) full_path.remove_prefix(kVerbatim.size());
  if (full_path.size() < 2 || !is_drive_letter(full_path[0]) || full_path[1] != L':') return {};
  return std::wstring(full_path.substr(0, 2));
}

bool is_share_path(std::wstring_view full_path) {
  if (is_verbatim(full_path)) return starts_with_folded(full_path.substr(kVerbatim.size()), kUncPart);
  return full_path.starts_with(L"\\\\");
}

std::wstring exact_path(std::wstring_view full_path) {
  std::wstring out;
  if (is_verbatim(full_path)) {
    out.assign(full_path);
  } else if (full_path.starts_with(L"\\\\")) {
    out.reserve(full_path.size() + 6);
    out.append(kVerbatim).append(kUncPart).append(full_path.substr(2));
  } else if (full_path.size() >= 2 && is_drive_letter(full_path[0]) && full_path[1] == L':') {
    out.reserve(full_path.size() + 5);
    out.append(kVerbatim).append(full_path);
    if (full_path.size() == 2) out.push_back(L'\\');
  } else {
    return std::wstring(full_path);  // relative: nothing to make exact
  }
  if (const auto root = root_length(out)) trim_to_root(out, *root);
  return out;
}

std::wstring readable_path(std::wstring_view path) {
  if (!is_verbatim(path)) return std::wstring(path);
  const std::wstring_view rest = path.substr(kVerbatim.size());
  std::wstring plain;
  if (starts_with_folded(rest, kUncPart)) {
    plain.assign(L"\\\\").append(rest.substr(kUncPart.size()));
  } else if (has_drive_root(rest)) {
    plain.assign(rest);
  } else {
    return std::wstring(path);
  }
  return plain_spelling_is_exact(plain) ? plain : std::wstring(path);
}

bool plain_spelling_is_exact(std::wstring_view plain) {
  if (plain.size() > kLongestPlainPath) return false;
  if (has_drive_root(plain)) return plain.size() == 3 || rest_is_exact(plain.substr(3));
  if (!plain.starts_with(L"\\\\")) return false;
  return rest_is_exact(plain.substr(2));  // server and share are names like the others
}

bool plain_name_is_exact(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  if (name.back() == L'.' || name.back() == L' ') return false;
  for (const wchar_t c : name) {
    if (is_forbidden(c) || c == L'/' || c == L'\\') return false;
  }
  return !is_device_name(name);
}

std::wstring join_entry(std::wstring_view folder, std::wstring_view rest) {
  std::wstring joined = join_path(folder, rest);
  if (is_verbatim(folder) || (joined.size() <= kLongestPlainPath && rest_is_exact(rest))) return joined;
  return join_path(exact_path(folder), rest);
}

std::optional<std::wstring> parent_folder(std::wstring_view full_path) {
  const auto root = root_length(full_path);
  if (!root) return std::nullopt;
  std::wstring parent(full_path);
  trim_to_root(parent, *root);
  const std::size_t cut = parent.find_last_of(L'\\');
  if (parent.size() <= *root || cut == std::wstring::npos || cut + 1 < *root) return std::nullopt;
  parent.resize(std::max(cut, *root));
  return parent;
}

}  // namespace tw
