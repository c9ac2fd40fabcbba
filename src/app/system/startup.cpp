#include "app/system/startup.h"

#include <algorithm>

namespace tw {
namespace {

constexpr bool is_space(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

}  // namespace

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

StartupRequest decide_startup(const std::vector<std::wstring>& arguments) {
  StartupRequest request;
  const auto is = [](std::wstring_view option) { return [option](const std::wstring& a) { return a == option; }; };
  const auto add_path = [&](const std::wstring& argument, RelativePaths relative) {
    if (auto path = normalise_path(argument, relative)) {
      request.paths.push_back(std::move(*path));
    } else {
      ++request.refused;
    }
  };

  // The helper's mode is fixed by its first argument: a target that reads "--unregister"
  // must stay a path to be refused, not become an order.
  if (!arguments.empty() && arguments.front() == kOptionDeleteOnReboot) {
    request.mode = RunMode::DeleteOnReboot;
    auto a = arguments.begin() + 1;
    // Whose folders to protect besides its own; no absolute path reads like this.
    if (a != arguments.end() && a->starts_with(kOptionForUser)) request.for_user = (a++)->substr(kOptionForUser.size());
    // The window hands over absolute paths. Anything relative would be resolved against
    // the elevated process's folder (System32), so it is refused.
    for (; a != arguments.end(); ++a) add_path(*a, RelativePaths::Refuse);
    return request;
  }
  if (std::any_of(arguments.begin(), arguments.end(), is(kOptionUnregister))) {
    request.mode = RunMode::Unregister;
    return request;
  }
  request.mode = RunMode::Window;
  for (const std::wstring& argument : arguments) {
    if (argument.starts_with(L"--")) continue;
    add_path(argument, RelativePaths::Resolve);
  }
  for (const std::wstring& argument : arguments) {
    if (argument.starts_with(kOptionForUser)) request.for_user = argument.substr(kOptionForUser.size());
  }
  request.fresh = std::any_of(arguments.begin(), arguments.end(), is(kOptionFresh));
  request.deep = std::any_of(arguments.begin(), arguments.end(), is(kOptionDeep));
  return request;
}

}  // namespace tw
