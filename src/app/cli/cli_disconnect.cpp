#include "app/cli/cli_disconnect.h"

#include <algorithm>

#include "app/cli/cli.h"
#include "app/language/catalogue.h"
#include "app/remedies/remedy_rules.h"
#include "common/text.h"

namespace tw {

DisconnectRun disconnect_opens(const std::vector<std::uint32_t>& ids,
                               const std::function<bool(const std::string&)>& confirm, bool elevated,
                               const NetworkOpensApi& api) {
  DisconnectRun run;
  // Every open, whatever its share: the ids are the server's own.
  const NetworkOpenList list = api.file_opens(std::wstring());
  if (list.answer != NetAnswer::Listed) {
    const bool denied = list.answer == NetAnswer::AccessDenied && !elevated;
    run.err = localized_text(denied ? msg::kCliDisconnectNeedsAdmin : msg::kCouldNotDisconnect) + "\n";
    run.code = kExitStillHeld;
    return run;
  }
  for (const std::uint32_t id : ids) {
    const auto open = std::find_if(list.opens.begin(), list.opens.end(), [id](const NetworkOpen& o) { return o.id == id; });
    if (open == list.opens.end()) {
      run.err += localized_filled(msg::kCliNotOpenNow, {std::to_string(id)}) + "\n";
      run.code = kExitStillHeld;
      continue;
    }
    const std::string user = printable(open->user);
    const std::string who = std::to_string(id) + " " + user + ": ";
    if (!confirm(localized_filled(msg::kConfirmDisconnect, {user, printable(to_utf8(open->path))}))) {
      run.code = kExitStillHeld;
      continue;
    }
    const auto result = static_cast<std::uint8_t>(disconnect_result(api.close_open(id)));
    const std::string words =
        who + localized_text(*outcome_words(RemedyKind::Disconnect, result, elevated, RemedySurface::Console)) + "\n";
    if (state_after(RemedyKind::Disconnect, result) == ActionKind::Disconnected) {
      run.out += words;
    } else {
      run.err += words;
      run.code = kExitStillHeld;
    }
  }
  return run;
}

}  // namespace tw
