#include "app/window/hand_over.h"

#include <cstring>

#include "app/window/window_messages.h"
#include "common/slot.h"
#include "common/thread.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

Queue<ResolvedHandOver>& queue() {
  static Queue<ResolvedHandOver> q;
  return q;
}

}  // namespace

std::optional<std::wstring> copy_hand_over(ULONG_PTR tag, const void* data, DWORD bytes) {
  if (tag != kHandOverTag || data == nullptr) return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
  return text;
}

ResolvedHandOver resolve_hand_over(const HandOverJob& job) {
  ResolvedHandOver out{job.id, {}, false};
  const auto pieces = parse_hand_over(kHandOverTag, job.text.data(), static_cast<DWORD>(job.text.size() * sizeof(wchar_t)));
  if (!pieces) return out;
  out.paths = resolve_targets(*pieces, RelativePaths::Refuse);
  for (const Target& t : out.paths) {
    if (job.is_folder(t)) {
      out.holds_folder = true;
      break;
    }
  }
  return out;
}

bool start_hand_over(HandOverJob job) {
  return start_detached_thread([job = std::move(job)] { report_hand_over(job.window, resolve_hand_over(job)); });
}

void report_hand_over(HWND window, ResolvedHandOver resolved) {
  queue().push(std::move(resolved));
  // A refused post leaves the outcome queued until the next one drains it.
  ::PostMessageW(window, kMsgHandOverResolved, 0, 0);
}

std::vector<ResolvedHandOver> take_resolved_hand_overs() { return queue().take_all(); }

}  // namespace tw
