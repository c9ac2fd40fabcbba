#include "support/fake_rm.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace tw::test {
namespace {

FakeRm* t_active = nullptr;  // the one the plain function pointers reach

// Adds the time until the end of the scope to the fake's own share.
class InsideTimer {
 public:
  explicit InsideTimer(FakeRm* fake) : fake_(fake), start_(std::chrono::steady_clock::now()) {}
  ~InsideTimer() {
    if (fake_) fake_->time_inside += std::chrono::steady_clock::now() - start_;
  }
  InsideTimer(const InsideTimer&) = delete;
  InsideTimer& operator=(const InsideTimer&) = delete;

 private:
  FakeRm* fake_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

FakeProcess fake_program(DWORD pid, std::wstring_view app_name, std::vector<std::wstring> files) {
  FakeProcess p;
  p.info.Process.dwProcessId = pid;
  p.info.Process.ProcessStartTime = FILETIME{pid * 10u, 0x01DA0000u};
  const std::size_t n = std::min(app_name.size(), std::size(p.info.strAppName) - 1);
  std::copy_n(app_name.begin(), n, p.info.strAppName);
  p.info.ApplicationType = RmMainWindow;
  p.info.AppStatus = RmStatusRunning;
  p.info.TSSessionId = 1;
  p.info.bRestartable = TRUE;
  p.files = std::move(files);
  return p;
}

FakeRm::FakeRm() : outer_(t_active) { t_active = this; }

FakeRm::~FakeRm() { t_active = outer_; }

RmApi FakeRm::api() {
  RmApi api;
  api.start_session = &start_session;
  api.register_resources = &register_resources;
  api.get_list = &get_list;
  api.end_session = &end_session;
  return api;
}

DWORD FakeRm::open_session() {
  const DWORD handle = next_handle_++;
  sessions_.emplace(handle, Session{});
  most_open = std::max(most_open, open_sessions());
  return handle;
}

DWORD FakeRm::open_foreign_session() { return open_session(); }

DWORD WINAPI FakeRm::start_session(DWORD* session, DWORD flags, WCHAR key[]) {
  FakeRm* self = t_active;
  const InsideTimer timer(self);
  if (!self) return ERROR_INVALID_STATE;
  if (!session || !key || flags != 0) {
    ++self->protocol_errors;
    return ERROR_INVALID_PARAMETER;
  }
  if (++self->start_calls == self->fail_start_call) return self->failure;  // leaves *session alone
  *session = self->open_session();
  ++self->sessions_opened;
  // Windows writes a GUID's 32 hex digits and a NUL: the buffer must hold 33 units.
  std::swprintf(key, CCH_RM_SESSION_KEY + 1, L"%032lx", static_cast<unsigned long>(*session));
  return ERROR_SUCCESS;
}

DWORD WINAPI FakeRm::register_resources(DWORD session, UINT file_count, LPCWSTR files[], UINT app_count,
                                        RM_UNIQUE_PROCESS apps[], UINT service_count, LPCWSTR services[]) {
  FakeRm* self = t_active;
  const InsideTimer timer(self);
  if (!self) return ERROR_INVALID_STATE;
  const auto it = self->sessions_.find(session);
  if (it == self->sessions_.end() || (file_count > 0 && !files) || app_count != 0 || apps || service_count != 0 ||
      services) {
    ++self->protocol_errors;
    return it == self->sessions_.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
  }
  if (++self->register_calls == self->fail_register_call) return self->failure;
  std::vector<std::wstring> names(files, files + file_count);
  if (file_count == 1 && !self->refuse_alone.empty() && names.front() == self->refuse_alone) return self->failure;
  it->second.files.insert(names.begin(), names.end());
  self->registrations.push_back(std::move(names));
  return ERROR_SUCCESS;
}

DWORD WINAPI FakeRm::get_list(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO apps[], LPDWORD reasons) {
  FakeRm* self = t_active;
  const InsideTimer timer(self);
  if (!self) return ERROR_INVALID_STATE;
  const auto it = self->sessions_.find(session);
  if (it == self->sessions_.end() || !needed || !count || (*count > 0 && !apps) || !reasons) {
    ++self->protocol_errors;
    return it == self->sessions_.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
  }
  const std::uint32_t call = ++self->list_calls;
  self->list_capacities.push_back(*count);
  if (self->before_list) self->before_list(*self, call);
  if (call == self->fail_list_call) return self->failure;

  std::vector<const RM_PROCESS_INFO*> users;
  for (const FakeProcess& p : self->processes) {
    const bool uses = std::any_of(p.files.begin(), p.files.end(),
                                  [&](const std::wstring& f) { return it->second.files.count(f) != 0; });
    if (uses) users.push_back(&p.info);
  }
  const UINT found = static_cast<UINT>(users.size());
  *needed = found;
  *reasons = RmRebootReasonNone;
  if (found > *count) {
    *count = 0;
    return ERROR_MORE_DATA;
  }
  for (UINT i = 0; i < found; ++i) apps[i] = *users[i];
  *count = found + self->overstate_count;
  return ERROR_SUCCESS;
}

DWORD WINAPI FakeRm::end_session(DWORD session) {
  FakeRm* self = t_active;
  const InsideTimer timer(self);
  if (!self) return ERROR_INVALID_STATE;
  ++self->end_calls;
  if (self->sessions_.erase(session) == 0) return ERROR_INVALID_HANDLE;
  ++self->sessions_ended;
  return ERROR_SUCCESS;
}

}  // namespace tw::test
