#include "app/startup.h"

#include <windows.h>

#include <algorithm>

#include "common/casemap.h"

namespace tw {
namespace {

constexpr bool is_space(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }
constexpr bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }
constexpr bool is_drive_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool has_drive(std::wstring_view p) { return p.size() >= 2 && is_drive_letter(p[0]) && p[1] == L':'; }

// "C:\x", "\\server\share", "\\?\C:\x": nothing to resolve.
bool is_absolute(std::wstring_view p) {
  if (p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) return true;
  return has_drive(p) && p.size() >= 3 && is_separator(p[2]);
}

// "C:" of "C:\Temp", "\\server\share" of "\\server\share\dir".
std::wstring_view root_of(std::wstring_view dir) {
  if (has_drive(dir)) return dir.substr(0, 2);
  if (dir.size() >= 2 && is_separator(dir[0]) && is_separator(dir[1])) {
    std::size_t seps = 0;
    for (std::size_t i = 2; i < dir.size(); ++i) {
      if (is_separator(dir[i]) && ++seps == 2) return dir.substr(0, i);
    }
  }
  return dir;
}

std::wstring resolve_relative(std::wstring_view path, std::wstring_view cwd) {
  if (is_separator(path[0])) {
    // Rooted on the current drive ("\Users\x").
    return std::wstring(root_of(cwd)) + std::wstring(path);
  }
  if (has_drive(path)) {
    // Relative to a drive's current folder ("D:notes.txt"). Only the current drive's folder
    // is known; on another drive the root is the honest guess.
    const std::wstring_view rest = path.substr(2);
    if (has_drive(cwd) && ascii_lower(cwd[0]) == ascii_lower(path[0])) return join_path(cwd, rest);
    return join_path(path.substr(0, 2), rest);
  }
  return join_path(cwd, path);
}

}  // namespace

std::optional<Target> normalise_path(std::wstring_view argument, const std::optional<std::wstring>& current_dir) {
  std::wstring_view p = argument;
  while (!p.empty() && is_space(p.front())) p.remove_prefix(1);
  while (!p.empty() && is_space(p.back())) p.remove_suffix(1);
  while (!p.empty() && p.front() == L'"') p.remove_prefix(1);
  while (!p.empty() && p.back() == L'"') p.remove_suffix(1);
  // An empty argument must not turn into the current directory, which would then be
  // offered for deletion.
  if (p.empty()) return std::nullopt;

  std::wstring path(p);
  if (path.size() == 2 && path[0] < 0x80 && path[1] == L':') path.push_back(L'\\');
  if (is_absolute(path) || !current_dir || current_dir->empty()) return path;
  return resolve_relative(path, *current_dir);
}

StartupRequest decide_startup(const std::vector<std::wstring>& arguments,
                              const std::optional<std::wstring>& current_dir) {
  StartupRequest request;
  const auto is = [](std::wstring_view option) { return [option](const std::wstring& a) { return a == option; }; };
  const auto add_path = [&](const std::wstring& argument) {
    if (auto path = normalise_path(argument, current_dir)) request.paths.push_back(std::move(*path));
  };

  if (std::any_of(arguments.begin(), arguments.end(), is(kOptionUnregister))) {
    request.mode = RunMode::Unregister;
    return request;
  }
  if (!arguments.empty() && arguments.front() == kOptionDeleteOnReboot) {
    request.mode = RunMode::DeleteOnReboot;
    // Everything after the option is a path, even text that looks like an option.
    std::for_each(arguments.begin() + 1, arguments.end(), add_path);
    return request;
  }
  request.mode = RunMode::Window;
  for (const std::wstring& argument : arguments) {
    if (argument.starts_with(L"--")) continue;
    add_path(argument);
  }
  request.fresh = std::any_of(arguments.begin(), arguments.end(), is(kOptionFresh));
  request.deep = std::any_of(arguments.begin(), arguments.end(), is(kOptionDeep));
  return request;
}

std::optional<std::wstring> current_directory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(n, L'\0');  // n counts the terminator when the buffer was short
  }
  return std::nullopt;
}

}  // namespace tw
