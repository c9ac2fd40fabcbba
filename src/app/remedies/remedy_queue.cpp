#include "app/remedies/remedy_queue.h"

#include "app/system/messages.h"
#include "common/slot.h"

namespace tw {
namespace {

Queue<RemedyOutcome>& queue() {
  static Queue<RemedyOutcome> q;
  return q;
}

}  // namespace

void report_remedy_outcome(HWND window, const RemedyOutcome& outcome) {
  queue().push(outcome);
  ::PostMessageW(window, kMsgRemedyFinished, 0, 0);
}

std::vector<RemedyOutcome> take_remedy_outcomes() { return queue().take_all(); }

}  // namespace tw
