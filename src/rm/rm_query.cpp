#include "rm/rm_query.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

#include "common/text.h"
#include "common/win32.h"

namespace tw {
namespace {

// The list can change between two calls; a few spare entries usually absorb that.
constexpr UINT kListSlack = 4;
// A system that keeps changing faster than we can ask gets this many tries.
constexpr int kMaxListCalls = 8;
// Session handles are small indexes, and 0 is a real one: a failed start must not leave us
// ending a session that another thread of this process opened (the Explorer restart).
constexpr DWORD kNoSession = std::numeric_limits<DWORD>::max();

// One Restart Manager session, ended however the query leaves: also when starting it failed,
// since a failed start may still have handed out a handle.
class RmSession {
 public:
  explicit RmSession(const RmApi& api) : api_(api) {}
  ~RmSession() { end(); }
  RmSession(const RmSession&) = delete;
  RmSession& operator=(const RmSession&) = delete;

  [[nodiscard]] bool start() {
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};  // filled in by Windows, not needed afterwards
    return api_.start_session(&handle_, 0, key) == ERROR_SUCCESS;
  }
  DWORD handle() const { return handle_; }
  void end() {
    if (ended_) return;
    ended_ = true;
    api_.end_session(handle_);  // nothing to do about a failure here
  }

 private:
  const RmApi& api_;
  DWORD handle_ = kNoSession;
  bool ended_ = false;
};

// Reads the session's process list into `entries`, growing it as Windows asks; the number of
// entries filled in, or nothing when the list could not be read.
[[nodiscard]] std::optional<std::size_t> read_list(const RmSession& session, const RmApi& api,
                                                   std::vector<RM_PROCESS_INFO>& entries) {
  for (int call = 0; call < kMaxListCalls; ++call) {
    const UINT capacity = static_cast<UINT>(entries.size());
    UINT needed = 0;
    UINT count = capacity;
    DWORD reasons = 0;
    const DWORD status =
        api.get_list(session.handle(), &needed, &count, entries.empty() ? nullptr : entries.data(), &reasons);
    if (status == ERROR_SUCCESS) return std::min(count, capacity);  // never trust a count past the array
    if (status != ERROR_MORE_DATA) return std::nullopt;
    if (needed > std::numeric_limits<UINT>::max() - kListSlack) return std::nullopt;  // not an answer
    const std::size_t grown = std::size_t{needed} + kListSlack;
    if (grown > entries.size()) entries.resize(grown);  // value-initialised: zeroed; never shrinks
  }
  return std::nullopt;
}

// Text of a fixed-size field: up to its first NUL, or the whole field when it has none.
template <std::size_t N>
std::string field_text(const WCHAR (&field)[N]) {
  const WCHAR* end = std::find(field, field + N, L'\0');
  return to_utf8(std::wstring_view(field, static_cast<std::size_t>(end - field)));
}

RmFinding finding_from(const RM_PROCESS_INFO& info) {
  RmFinding f;
  f.app_name = field_text(info.strAppName);
  f.service_name = field_text(info.strServiceShortName);
  const FILETIME& started = info.Process.ProcessStartTime;
  f.start_time = filetime_count(started);
  f.pid = info.Process.dwProcessId;
  f.session_id = info.TSSessionId;
  f.is_service = info.ApplicationType == RmService;
  f.is_critical = info.ApplicationType == RmCritical;
  return f;
}

// The processes that use any file of the slice, in the Restart Manager's order; empty when
// there are none or when asking failed. The session is over when this returns, so splitting
// never holds two sessions open.
std::vector<RmFinding> users_of(std::span<const std::wstring> slice, const RmApi& api) {
  if (slice.size() > std::numeric_limits<UINT>::max()) return {};
  std::vector<LPCWSTR> names;
  names.reserve(slice.size());
  for (const std::wstring& path : slice) names.push_back(path.c_str());

  std::vector<RM_PROCESS_INFO> entries;
  std::size_t used = 0;
  {
    RmSession session(api);
    if (!session.start()) return {};
    if (api.register_resources(session.handle(), static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0,
                               nullptr) != ERROR_SUCCESS) {
      return {};
    }
    const auto filled = read_list(session, api, entries);
    if (!filled) return {};
    used = *filled;
  }

  std::vector<RmFinding> users;
  users.reserve(used);
  for (std::size_t i = 0; i < used; ++i) users.push_back(finding_from(entries[i]));
  return users;
}

}  // namespace

void query_holders(std::span<const std::wstring> slice, std::uint32_t& budget, std::vector<RmFinding>& findings,
                   const RmApi& api) {
  if (slice.empty()) return;
  std::vector<RmFinding> users = users_of(slice, api);
  if (users.empty()) return;

  if (slice.size() == 1) {
    for (RmFinding& user : users) {
      user.file = slice.front();
      findings.push_back(std::move(user));
    }
    return;
  }

  if (budget < kRmSplitCost) {
    findings.insert(findings.end(), std::make_move_iterator(users.begin()), std::make_move_iterator(users.end()));
    return;
  }

  budget -= kRmSplitCost;
  const std::size_t halves_begin = findings.size();
  const std::size_t half = slice.size() / 2;
  query_holders(slice.first(half), budget, findings, api);
  query_holders(slice.subspan(half), budget, findings, api);
  const std::size_t halves_end = findings.size();

  // A process the halves found is already there, with its files; one they missed (it exited,
  // or a half could not be asked) still holds something here.
  for (RmFinding& user : users) {
    bool found = false;
    for (std::size_t i = halves_begin; i < halves_end && !found; ++i) found = findings[i].pid == user.pid;
    if (!found) findings.push_back(std::move(user));
  }
}

}  // namespace tw
