#pragma once

// Which remedies fit a holder, when one may start, and what each outcome reads as: the one
// home of these rules for the window and the command line alike.

#include <cstdint>
#include <vector>

#include "app/language/catalogue.h"
#include "app/remedies/remedy_queue.h"
#include "procs/classify.h"

namespace tw {

// What a holder's remedy has done so far. Closing, Ending, Restarting, Stopping, Disconnecting
// and Releasing are busy states.
enum class ActionKind : std::uint8_t {
  Idle,
  Closing,
  NotClosed,
  Ending,
  Closed,
  Restarting,
  Restarted,
  Failed,
  Stopping,
  Stopped,
  Disconnecting,
  Disconnected,
  Releasing,
  Released,
};

constexpr bool is_busy(ActionKind kind) {
  return kind == ActionKind::Closing || kind == ActionKind::Ending || kind == ActionKind::Restarting ||
         kind == ActionKind::Stopping || kind == ActionKind::Disconnecting || kind == ActionKind::Releasing;
}

// Where a refused ending can be tried again with more rights: the window's "Search as
// administrator", or a console run as administrator.
enum class RemedySurface : std::uint8_t { Window, Console };

// Whether a remedy is meant for holders of this kind: Close and Force quit for programs,
// Restart Explorer for File Explorer, Stop service for services and parts of Windows (which
// of them is the holder's services' business), Disconnect for an open by another computer.
// Release the file only fits programs too, though it is offered only where release_allowed
// says so.
bool remedy_fits(RemedyKind remedy, HolderKind holder);

// Whether any remedy here can release a holder of this kind (not a service or part of Windows).
bool any_remedy_fits(HolderKind holder);

// Whether a remedy may start on a holder now: it fits, and nothing runs on the holder.
bool remedy_may_start(RemedyKind remedy, HolderKind holder, ActionKind state);

// The remedies offered for a holder in this state, in the order they are shown: none while
// one runs or once it was released; Close for a program with a window, Force quit for one
// without, or once closing did not do or failed.
std::vector<RemedyKind> remedies_offered(HolderKind holder, bool has_window, ActionKind state);

// The busy state a remedy puts its holder in while it runs.
ActionKind running_state(RemedyKind remedy);

// The state a finished remedy leaves its holder in (`result` as RemedyOutcome carries it).
ActionKind state_after(RemedyKind remedy, std::uint8_t result);

// What an outcome reads as: the state it left ("Closed", "Restarted", "Not closed") or why it
// failed. Nothing for Delete on restart, whose words come from its plan, nor for a service
// that did not stop, whose words give Windows' reason (stop_outcome_text).
const Message* outcome_words(RemedyKind remedy, std::uint8_t result, bool elevated, RemedySurface surface);

}  // namespace tw
