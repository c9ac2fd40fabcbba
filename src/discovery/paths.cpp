#include "discovery/paths.h"

#include <algorithm>

#include "common/casemap.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/file_identity.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

constexpr bool is_utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u; }

template <class Char>
std::basic_string<Char> strip_prefix_of(std::basic_string_view<Char> text) {
  static constexpr Char kUnc[] = {'\\', '\\', '?', '\\', 'U', 'N', 'C', '\\'};
  const std::basic_string_view<Char> unc(kUnc, 8), long_prefix(kUnc, 4);
  if (text.substr(0, unc.size()) == unc) return std::basic_string<Char>(2, Char('\\')).append(text.substr(unc.size()));
  if (text.substr(0, long_prefix.size()) == long_prefix) return std::basic_string<Char>(text.substr(long_prefix.size()));
  return std::basic_string<Char>(text);
}

}  // namespace

std::string strip_long_prefix(std::string_view text) { return strip_prefix_of(text); }
std::wstring strip_long_prefix(std::wstring_view path) { return strip_prefix_of(path); }

std::string path_key(std::string_view display_text) {
  return to_lower_full(without_trailing_backslashes(strip_long_prefix(display_text)));
}

std::string path_key(std::wstring_view path) { return path_key(to_utf8(path)); }

bool key_matches(std::string_view key, std::string_view path) {
  if (key.empty()) return false;  // a blank key would claim every UNC path
  if (path.size() == key.size()) return path == key;
  return path.size() > key.size() && path.substr(0, key.size()) == key && path[key.size()] == '\\';
}

KeyIndex::KeyIndex(const std::vector<std::string>& keys) {
  first_.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!keys[i].empty()) first_.try_emplace(keys[i], i);  // a blank key would claim every UNC path
  }
}

std::optional<std::size_t> KeyIndex::find(std::string_view path) const {
  std::optional<std::size_t> found;
  const auto consider = [&](std::string_view candidate) {
    const auto it = first_.find(std::string(candidate));
    if (it != first_.end() && (!found || it->second < *found)) found = it->second;
  };
  consider(path);
  for (std::size_t cut = path.find('\\'); cut != std::string_view::npos; cut = path.find('\\', cut + 1)) {
    if (cut > 0) consider(path.substr(0, cut));
  }
  return found;
}

std::string display_form(std::wstring_view file, const std::vector<Target>& targets, const KeyIndex& target_keys) {
  const std::string key = path_key(file);
  const auto index = target_keys.find(key);
  if (!index || *index >= targets.size()) return to_utf8(file);
  const Target& t = targets[*index];
  if (key == path_key(std::wstring_view(t))) return last_component(file);
  const std::wstring_view target = without_trailing_backslashes(t);
  std::wstring_view rest = file.substr(std::min(target.size(), file.size()));
  while (!rest.empty() && rest.front() == L'\\') rest.remove_prefix(1);
  return to_utf8(rest);
}

std::string display_form(std::wstring_view file, const std::vector<Target>& targets) {
  std::vector<std::string> keys;
  keys.reserve(targets.size());
  for (const Target& t : targets) keys.push_back(path_key(std::wstring_view(t)));
  return display_form(file, targets, KeyIndex(keys));
}

std::string literal_key(const Target& target) { return path_key(std::wstring_view(target)); }

std::optional<std::wstring> final_path_name(HANDLE file, DWORD flags) {
  std::wstring buffer(1024, L'\0');
  for (int call = 0; call < 3; ++call) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = ::GetFinalPathNameByHandleW(file, buffer.data(), size, flags);
    if (n == 0) return std::nullopt;
    if (n < size) {
      buffer.resize(n);
      return buffer;
    }
    // The name grew (or the buffer was short): n is the size needed, terminator included.
    buffer.assign(static_cast<std::size_t>(n) + 1, L'\0');
  }
  return std::nullopt;
}

std::string resolved_key(const Target& target) {
  if (const UniqueHandle file = open_for_identity(target)) {
    if (const auto name = final_path_name(file.get())) return path_key(std::wstring_view(*name));
  }
  return literal_key(target);
}

std::string file_name_of(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return to_utf8(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::string last_component(std::wstring_view path) { return file_name_of(without_trailing_backslashes(path)); }

std::wstring own_executable_path() { return module_path(nullptr); }

std::wstring module_path(HMODULE module) {
  std::wstring path(32'768, L'\0');
  const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  return path;
}

std::wstring join_path(std::wstring_view base, std::wstring_view name) {
  const bool separator = !base.empty() && base.back() != L'\\' && base.back() != L'/';
  std::wstring out;
  out.reserve(base.size() + 1 + name.size());
  out.append(base);
  if (separator) out.push_back(L'\\');
  out.append(name);
  return out;
}

bool path_components_less(std::wstring_view a, std::wstring_view b) {
  const std::string x = to_utf8(a), y = to_utf8(b);
  std::string_view rest_x = x, rest_y = y;
  for (;;) {
    if (rest_x.empty() || rest_y.empty()) return rest_x.empty() && !rest_y.empty();
    const std::size_t end_x = std::min(rest_x.find('\\'), rest_x.size());
    const std::size_t end_y = std::min(rest_y.find('\\'), rest_y.size());
    const std::string_view cx = rest_x.substr(0, end_x), cy = rest_y.substr(0, end_y);
    if (cx != cy) return cx < cy;  // string_view compares bytes as unsigned char
    rest_x.remove_prefix(std::min(end_x + 1, rest_x.size()));
    rest_y.remove_prefix(std::min(end_y + 1, rest_y.size()));
  }
}

std::wstring spell_as_target(std::wstring_view found, const std::vector<Target>& targets,
                             const std::vector<std::string>& resolved_keys) {
  const std::string stripped = strip_long_prefix(to_utf8(found));
  const std::string_view trimmed = without_trailing_backslashes(stripped);
  const std::string normalised = to_lower_full(trimmed);
  // Byte offsets in the key are used as offsets in the found path: only valid when
  // lower-casing kept the length.
  if (normalised.size() != trimmed.size()) return std::wstring(found);

  const std::size_t count = std::min(targets.size(), resolved_keys.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& key = resolved_keys[i];
    if (!key_matches(key, normalised)) continue;
    if (key.size() < stripped.size() && is_utf8_continuation(stripped[key.size()])) continue;
    std::string_view rest = std::string_view(stripped).substr(key.size());
    while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
    if (rest.empty()) return targets[i];
    // The rest is a suffix of the found path; take it from the UTF-16 original so that
    // units the display text had to replace reach the result unchanged.
    const std::size_t units = utf16_length(rest);
    return join_entry(targets[i], found.substr(found.size() - units));
  }
  return std::wstring(found);
}

}  // namespace tw
