#include "app/remedies/release_file.h"

#include <algorithm>
#include <memory>

#include "common/handles.h"
#include "common/thread.h"
#include "discovery/deep_search.h"
#include "discovery/paths.h"

namespace tw {
namespace {

HANDLE as_handle(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

// Whether the process may be released now, checked afresh whatever the search said: nothing
// when it may, else how the release ends.
std::optional<ReleaseResult> refusal_now(std::uint32_t pid, std::uint64_t start_time, HANDLE process,
                                         const ReleaseApi& api) {
  if (pid == ::GetCurrentProcessId()) return ReleaseResult::Refused;
  if (!process) {
    return is_running(pid, start_time) ? ReleaseResult::NotReleased : ReleaseResult::Gone;
  }
  const std::optional<std::uint64_t> started = api.start_time_of(process);
  if (!started || (start_time != 0 && *started != start_time)) return ReleaseResult::Gone;
  if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return ReleaseResult::Gone;
  if (api.kind_of(pid) != HolderKind::Program) return ReleaseResult::Refused;
  if (api.shielded(pid).value_or(true)) return ReleaseResult::Refused;
  return std::nullopt;
}

}  // namespace

bool release_allowed(const Holder& holder, std::uint32_t own_pid) {
  return holder.kind == HolderKind::Program && holder.pid != own_pid && !holder.shielded && !holder.handles.empty();
}

bool still_names(const std::optional<std::wstring>& fresh, std::wstring_view found) {
  if (!fresh) return false;
  return path_key(std::wstring_view(strip_long_prefix(std::wstring_view(*fresh)))) == path_key(found);
}

ReleaseResult summarise(std::span<const HandleRelease> handles) {
  const auto count = [&](HandleOutcome o) {
    return std::count_if(handles.begin(), handles.end(), [o](const HandleRelease& h) { return h.outcome == o; });
  };
  const auto closed = count(HandleOutcome::Closed);
  if (closed == 0) {
    return count(HandleOutcome::Failed) == 0 && !handles.empty() ? ReleaseResult::Changed : ReleaseResult::NotReleased;
  }
  return static_cast<std::size_t>(closed) == handles.size() ? ReleaseResult::Released : ReleaseResult::PartlyReleased;
}

std::string_view handle_outcome_word(HandleOutcome outcome) {
  switch (outcome) {
    case HandleOutcome::Closed:
      return "closed";
    case HandleOutcome::Changed:
      return "changed";
    case HandleOutcome::Failed:
      break;
  }
  return "failed";
}

HANDLE open_for_release(std::uint32_t pid) {
  return ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
}

std::optional<std::wstring> handle_name_in(HANDLE process, std::uint64_t value) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(process, as_handle(value), ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return std::nullopt;
  }
  const auto request = std::make_shared<NameRequest>(UniqueHandle(copy));
  std::optional<NameQueryChannels> worker = start_name_query_worker(&name_of_disk_handle);
  if (!worker || !worker->requests.send(request)) return std::nullopt;
  std::optional<std::optional<std::wstring>> reply;
  const auto deadline = std::chrono::steady_clock::now() + kNameDeadline;
  if (worker->replies.receive_until(reply, deadline) != Receiver<std::optional<std::wstring>>::Wait::Value) {
    request->done();  // a query that hangs must not keep the file open through our copy
    return std::nullopt;
  }
  return *reply;
}

bool close_handle_in(HANDLE process, std::uint64_t value) {
  // The source goes whatever becomes of the copy; the copy, ours, is closed at once.
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(process, as_handle(value), ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS)) {
    return false;
  }
  ::CloseHandle(copy);
  return true;
}

ReleaseReport release_file_handles(std::uint32_t pid, std::uint64_t start_time, std::span<const HeldHandle> handles,
                                   const ReleaseApi& api) {
  ReleaseReport report;
  const UniqueHandle process(pid == ::GetCurrentProcessId() ? nullptr : api.open_process(pid));
  if (const std::optional<ReleaseResult> refused = refusal_now(pid, start_time, process.get(), api)) {
    report.result = *refused;
    return report;
  }
  for (const HeldHandle& h : handles) {
    HandleRelease one{h.value, h.path, HandleOutcome::Changed};
    // A value the program closed may have been given to another file meanwhile: only one
    // that still names the file found is closed.
    if (still_names(api.name_of(process.get(), h.value), h.path)) {
      one.outcome = api.close_in(process.get(), h.value) ? HandleOutcome::Closed : HandleOutcome::Failed;
    }
    report.handles.push_back(std::move(one));
  }
  report.result = summarise(report.handles);
  return report;
}

bool start_release(const RemedyJob& job, std::vector<HeldHandle> handles) {
  return start_detached_thread([job, handles = std::move(handles)] {
    const ReleaseReport report = release_file_handles(job.pid, job.start_time, handles);
    report_remedy_outcome(job.window, RemedyOutcome{job.scan_id, RemedyKind::ReleaseFile,
                                                    static_cast<std::uint8_t>(report.result), job.pid});
  });
}

}  // namespace tw
