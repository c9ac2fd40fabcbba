#include "app/remedies/process_remedies.h"

#include <cstdint>

#include "app/system/account.h"
#include "common/thread.h"
#include "discovery/network_opens.h"
#include "procs/end_process.h"
#include "rm/explorer_restart.h"

namespace tw {
namespace {

void run_remedy(RemedyKind kind, const RemedyJob& job, CloseOpenFn close_open) {
  std::uint8_t result = 0;
  switch (kind) {
    case RemedyKind::Close:
      result = close_process_windows(job.pid, job.start_time) ? 1 : 0;
      break;
    case RemedyKind::ForceQuit:
      result = static_cast<std::uint8_t>(force_quit_process(job.pid, job.start_time));
      break;
    case RemedyKind::RestartExplorer:
      result = restart_explorer(job.pid, job.start_time, process_is_elevated()) ? 1 : 0;
      break;
    case RemedyKind::Disconnect:
      result = static_cast<std::uint8_t>(disconnect_result(close_open(job.pid)));
      break;
    case RemedyKind::DeleteOnRestart:
    case RemedyKind::StopService:
      return;  // not a process remedy
    case RemedyKind::ReleaseFile:
      return;  // not one of these: delete on restart concerns targets, a release needs its handles
  }
  report_remedy_outcome(job.window, RemedyOutcome{job.scan_id, kind, result, job.pid});
}

}  // namespace

bool start_process_remedy(RemedyKind kind, const RemedyJob& job, CloseOpenFn close_open) {
  return start_detached_thread([kind, job, close_open] { run_remedy(kind, job, close_open); });
}

}  // namespace tw
