#include "app/cli/cli_services.h"

#include <windows.h>

#include "app/cli/console.h"
#include "app/remedies/services.h"
#include "common/text.h"
#include "discovery/paths.h"

namespace tw {
namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + printable(name);
  return out;
}

// A name this program leaves alone, or one Windows does not know, is said before anything is
// asked; false then.
bool each_can_be_asked(const std::vector<std::string>& names, const ServiceApi& api) {
  for (const std::string& name : names) {
    StopOutcome refusal = refused_service(name) ? StopOutcome::Protected : StopOutcome::Stopped;
    if (refusal == StopOutcome::Stopped) {
      const StatusReply status = api.query(name);
      if (status.error != ERROR_SUCCESS) refusal = stop_outcome_of(status.error);
    }
    if (refusal != StopOutcome::Stopped) {
      write_err(printable(name) + ": " + stop_outcome_text(refusal) + "\n");
      return false;
    }
  }
  return true;
}

}  // namespace

int run_stop_service(const CliCommand& c, bool (*confirmed)(const CliCommand&, std::string)) {
  std::vector<std::string> names;
  for (const std::wstring& name : c.paths) names.push_back(to_utf8(name));
  const ServiceApi api;
  if (!each_can_be_asked(names, api)) return kExitStillHeld;
  std::vector<RunningService> services, dependents;
  services_to_confirm(names, api, services, dependents);
  if (!confirmed(c, stop_confirmation(services, dependents))) return kExitStillHeld;
  // Not elevated, the window program beside this one is started as the elevated helper.
  const std::wstring own = own_executable_path();
  const std::wstring helper = own.substr(0, own.find_last_of(L'\\') + 1) + L"tarnwick.exe";
  const StopOutcome outcome = stop_services_now(names, ::GetConsoleWindow(), helper, api);
  const std::string said = joined(names) + ": " + stop_outcome_text(outcome) + "\n";
  if (outcome != StopOutcome::Stopped) {
    write_err(said);
    return kExitStillHeld;
  }
  write_out(said);
  return kExitSuccess;
}

}  // namespace tw
