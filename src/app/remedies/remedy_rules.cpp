#include "app/remedies/remedy_rules.h"

#include "discovery/network_opens.h"
#include "app/remedies/release_file.h"
#include "procs/end_process.h"

namespace tw {
namespace {

const Message* disconnect_failure_words(std::uint8_t result, bool elevated, RemedySurface surface) {
  if (static_cast<DisconnectResult>(result) != DisconnectResult::AccessDenied || elevated) {
    return &msg::kCouldNotDisconnect;
  }
  return surface == RemedySurface::Console ? &msg::kCliDisconnectNeedsAdmin : &msg::kDisconnectNeedsAdmin;
}

ActionKind release_state(ReleaseResult result) {
  switch (result) {
    case ReleaseResult::Released:
    case ReleaseResult::PartlyReleased:
      return ActionKind::Released;
    case ReleaseResult::Gone:  // nothing holds the file through it any more
      return ActionKind::Closed;
    default:
      return ActionKind::Failed;
  }
}

const Message* release_words(ReleaseResult result) {
  switch (result) {
    case ReleaseResult::Released:
      return &msg::kStateReleased;
    case ReleaseResult::PartlyReleased:
      return &msg::kReleasedPartly;
    case ReleaseResult::Changed:
      return &msg::kReleaseChanged;
    case ReleaseResult::Refused:
      return &msg::kReleaseRefused;
    case ReleaseResult::Gone:
      return &msg::kStateClosed;
    case ReleaseResult::NotReleased:
      break;
  }
  return &msg::kReleaseNotAllowed;
}

}  // namespace

bool remedy_fits(RemedyKind remedy, HolderKind holder) {
  switch (remedy) {
    case RemedyKind::Close:
    case RemedyKind::ForceQuit:
    case RemedyKind::ReleaseFile:
      return holder == HolderKind::Program;
    case RemedyKind::RestartExplorer:
      return holder == HolderKind::FileExplorer;
    case RemedyKind::StopService:
      return holder == HolderKind::Service || holder == HolderKind::WindowsComponent;
    case RemedyKind::Disconnect:
      return holder == HolderKind::NetworkOpen;
    case RemedyKind::DeleteOnRestart:
      break;
  }
  return false;
}

bool any_remedy_fits(HolderKind holder) {
  for (const RemedyKind remedy :
       {RemedyKind::Close, RemedyKind::ForceQuit, RemedyKind::RestartExplorer, RemedyKind::Disconnect}) {
    if (remedy_fits(remedy, holder)) return true;
  }
  return false;
}

bool remedy_may_start(RemedyKind remedy, HolderKind holder, ActionKind state) {
  return !is_busy(state) && remedy_fits(remedy, holder);
}

std::vector<RemedyKind> remedies_offered(HolderKind holder, bool has_window, ActionKind state) {
  if (state != ActionKind::Idle && state != ActionKind::NotClosed && state != ActionKind::Failed) return {};
  std::vector<RemedyKind> offered;
  if (remedy_fits(RemedyKind::Close, holder) && has_window) offered.push_back(RemedyKind::Close);
  // Ending is offered at once only where there is no window to ask.
  if (remedy_fits(RemedyKind::ForceQuit, holder) && (!has_window || state != ActionKind::Idle)) {
    offered.push_back(RemedyKind::ForceQuit);
  }
  if (remedy_fits(RemedyKind::RestartExplorer, holder)) offered.push_back(RemedyKind::RestartExplorer);
  if (remedy_fits(RemedyKind::Disconnect, holder)) offered.push_back(RemedyKind::Disconnect);
  return offered;
}

ActionKind running_state(RemedyKind remedy) {
  switch (remedy) {
    case RemedyKind::ForceQuit:
      return ActionKind::Ending;
    case RemedyKind::RestartExplorer:
      return ActionKind::Restarting;
    case RemedyKind::StopService:
      return ActionKind::Stopping;
    case RemedyKind::Disconnect:
      return ActionKind::Disconnecting;
    case RemedyKind::ReleaseFile:
      return ActionKind::Releasing;
    default:
      return ActionKind::Closing;
  }
}

ActionKind state_after(RemedyKind remedy, std::uint8_t result) {
  switch (remedy) {
    case RemedyKind::Close:
      return result == 1 ? ActionKind::Closed : ActionKind::NotClosed;
    case RemedyKind::ForceQuit:
      return static_cast<ForceQuitResult>(result) == ForceQuitResult::Ended ? ActionKind::Closed : ActionKind::Failed;
    case RemedyKind::RestartExplorer:
      return result == 1 ? ActionKind::Restarted : ActionKind::Failed;
    case RemedyKind::StopService:
      return result == 0 ? ActionKind::Stopped : ActionKind::Failed;  // StopOutcome::Stopped
    case RemedyKind::Disconnect: {
      // An open already gone is as released as one closed now.
      const auto r = static_cast<DisconnectResult>(result);
      return r == DisconnectResult::Closed || r == DisconnectResult::AlreadyGone ? ActionKind::Disconnected
                                                                                 : ActionKind::Failed;
    }
    case RemedyKind::ReleaseFile:
      return release_state(static_cast<ReleaseResult>(result));
    case RemedyKind::DeleteOnRestart:
      break;
  }
  return ActionKind::Idle;
}

const Message* outcome_words(RemedyKind remedy, std::uint8_t result, bool elevated, RemedySurface surface) {
  if (remedy == RemedyKind::ReleaseFile) return release_words(static_cast<ReleaseResult>(result));
  switch (state_after(remedy, result)) {
    case ActionKind::Closed:
      return &msg::kStateClosed;
    case ActionKind::NotClosed:
      return &msg::kStateNotClosed;
    case ActionKind::Restarted:
      return &msg::kStateRestarted;
    case ActionKind::Stopped:
      return &msg::kStateStopped;
    case ActionKind::Disconnected:
      return static_cast<DisconnectResult>(result) == DisconnectResult::AlreadyGone ? &msg::kNoLongerOpen
                                                                                     : &msg::kStateDisconnected;
    case ActionKind::Failed:
      if (remedy == RemedyKind::StopService) return nullptr;
      break;
    default:
      return nullptr;
  }
  if (remedy == RemedyKind::RestartExplorer) return &msg::kCouldNotRestartExplorer;
  if (remedy == RemedyKind::Disconnect) return disconnect_failure_words(result, elevated, surface);
  switch (static_cast<ForceQuitResult>(result)) {
    case ForceQuitResult::StillRunning:
      return &msg::kStillRunning;
    case ForceQuitResult::Refused:
      return &msg::kPartOfWindowsCantEnd;
    default:
      break;
  }
  if (elevated) return &msg::kWindowsRefusedEnding;
  return surface == RemedySurface::Console ? &msg::kCliNoPermissionToEnd : &msg::kNoPermissionToEnd;
}

}  // namespace tw
