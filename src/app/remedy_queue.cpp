#include "app/remedy_queue.h"

#include <mutex>

#include "app/messages.h"

namespace tw {
namespace {

struct Queue {
  std::mutex mutex;
  std::vector<RemedyOutcome> outcomes;
};

Queue& queue() {
  static Queue q;
  return q;
}

}  // namespace

void report_remedy_outcome(HWND window, const RemedyOutcome& outcome) {
  {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    q.outcomes.push_back(outcome);
  }
  ::PostMessageW(window, kMsgRemedyFinished, 0, 0);
}

std::vector<RemedyOutcome> take_remedy_outcomes() {
  std::vector<RemedyOutcome> taken;
  Queue& q = queue();
  std::lock_guard lock(q.mutex);
  taken.swap(q.outcomes);
  return taken;
}

}  // namespace tw
