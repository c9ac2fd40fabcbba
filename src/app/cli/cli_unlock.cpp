// `unlock`: a deep search of the paths, then the chosen holders' handles on them closed inside
// the running programs, each after a confirmation, and the paths searched again.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/cli/cli.h"
#include "app/cli/cli_run.h"
#include "app/cli/console.h"
#include "app/language/catalogue.h"
#include "app/remedies/release_file.h"
#include "app/remedies/remedy_rules.h"
#include "app/system/account.h"
#include "common/text.h"
#include "procs/process_facts.h"

namespace tw {
namespace {

std::string hex_of(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// The JSON word of a handle that was not tried because its process was not released.
std::string_view untried_word(ReleaseResult result) {
  switch (result) {
    case ReleaseResult::Refused:
      return "refused";
    case ReleaseResult::Gone:
      return "gone";
    default:
      return "failed";
  }
}

const Message& handle_words(HandleOutcome outcome) {
  switch (outcome) {
    case HandleOutcome::Closed:
      return msg::kHandleClosed;
    case HandleOutcome::Changed:
      return msg::kHandleChanged;
    case HandleOutcome::Failed:
      break;
  }
  return msg::kHandleFailed;
}

// The holders a command names: every one with --all, else those of the ids given (a start
// time given must be theirs). False for any id that is no holder, which is said.
bool chosen_holders(const CliCommand& c, const ScanResult& r, std::vector<const Holder*>& out) {
  bool all_found = true;
  if (c.all) {
    for (const Holder& h : r.holders) out.push_back(&h);
    return true;
  }
  for (const ProcessRef& ref : c.processes) {
    const auto it = std::find_if(r.holders.begin(), r.holders.end(), [&](const Holder& h) {
      return h.pid == ref.pid && (!ref.start_time || *ref.start_time == h.start_time);
    });
    if (it != r.holders.end()) {
      out.push_back(&*it);
      continue;
    }
    all_found = false;
    const std::string id = std::to_string(ref.pid);
    write_err(is_running(ref.pid, ref.start_time.value_or(0)) ? id + ": " + localized_text(msg::kCliNoHandles) + "\n"
                                                              : localized_filled(msg::kCliNotRunning, {id}) + "\n");
  }
  return all_found;
}

// Releases one holder, saying each handle's outcome; true when every handle was closed.
bool release_one(const CliCommand& c, const Holder& h, nlohmann::ordered_json& handles) {
  const std::string name = printable(h.title);
  const std::string who = std::to_string(h.pid) + " " + name + ": ";
  if (!release_allowed(h, ::GetCurrentProcessId())) {
    write_err(who + localized_text(h.handles.empty() ? msg::kCliNoHandles : msg::kReleaseRefused) + "\n");
    return false;
  }
  if (!confirmed_by_user(c, localized_filled(msg::kConfirmReleaseFile, {name}))) return false;
  const ReleaseReport report = release_file_handles(h.pid, h.start_time, h.handles);
  for (std::size_t i = 0; i < h.handles.size(); ++i) {
    const HandleRelease* one = i < report.handles.size() ? &report.handles[i] : nullptr;
    const std::string path = to_utf8(h.handles[i].path);
    handles.push_back(nlohmann::ordered_json{
        {"pid", h.pid}, {"start_time", h.start_time}, {"handle", h.handles[i].value}, {"path", path},
        {"outcome", one ? handle_outcome_word(one->outcome) : untried_word(report.result)}});
    if (c.json || !one) continue;
    const std::string line = who + localized_filled(msg::kCliHandleLine, {printable(path), hex_of(one->value),
                                                                          localized_text(handle_words(one->outcome))});
    if (one->outcome == HandleOutcome::Closed) {
      write_out(line + "\n");
    } else {
      write_err(line + "\n");
    }
  }
  if (report.handles.empty()) {
    write_err(who +
              localized_text(*outcome_words(RemedyKind::ReleaseFile, static_cast<std::uint8_t>(report.result),
                                            process_is_elevated(), RemedySurface::Console)) +
              "\n");
  }
  return report.result == ReleaseResult::Released;
}

// Each handle's outcome and what holds the paths now: as JSON, or as find's table.
std::string unlock_report(const CliCommand& c, nlohmann::ordered_json handles, const std::vector<Target>& targets,
                          const ScanResult& now, bool elevated) {
  if (!c.json) return holders_table(now, elevated);
  nlohmann::ordered_json doc;
  doc["handles"] = std::move(handles);
  doc["after"] = nlohmann::ordered_json::parse(holders_json(targets, now, elevated), nullptr, false);
  return doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace

int run_unlock(const CliCommand& c) {
  const auto targets = cli_paths_to_search(c.paths);
  if (!targets) return kExitUsage;
  // Handles are only known from a deep search.
  const std::optional<ScanResult> found = cli_search(*targets, true);
  if (!found) return cli_stopped();
  const bool elevated = process_is_elevated();
  std::vector<const Holder*> holders;
  int code = chosen_holders(c, *found, holders) ? kExitSuccess : kExitStillHeld;
  if (holders.empty() && c.all) {  // nothing to release: what the search found, in the same form
    write_out(unlock_report(c, nlohmann::json::array(), *targets, *found, elevated));
    return search_exit_code(*found, elevated);
  }
  nlohmann::ordered_json handles = nlohmann::json::array();
  for (const Holder* h : holders) {
    if (!release_one(c, *h, handles)) code = kExitStillHeld;
  }
  // What holds the paths now, as find shows it.
  const std::optional<ScanResult> after = cli_search(*targets, true);
  if (!after) return cli_stopped();
  write_out(unlock_report(c, std::move(handles), *targets, *after, elevated));
  return code;
}

}  // namespace tw
