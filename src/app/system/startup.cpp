#include "app/system/startup.h"

#include <algorithm>

namespace tw {
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
  if (!arguments.empty() && arguments.front() == kOptionStopService) {
    request.mode = RunMode::StopService;
    request.services.assign(arguments.begin() + 1, arguments.end());
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
