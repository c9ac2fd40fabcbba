// Stopping services: the decisions first (what may be offered, the outcome words, the wait),
// then the stop itself, the elevated helper and its requester, and last the service manager's
// calls behind ServiceApi.

#include "app/remedies/services.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>

#include "app/language/catalogue.h"
#include "app/remedies/elevated_helper.h"
#include "app/system/account.h"
#include "common/casemap.h"
#include "common/cmdline.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/thread.h"
#include "common/win32.h"

namespace tw {
namespace {

// Kept small on purpose: each is either what every other part of Windows calls (remote
// procedure calls and COM, the event log, plug and play, power), what keeps the machine safe
// (accounts, the firewall and its filtering engine, the antivirus), or what holds the
// user's session together (sessions, profiles, group policy, remote desktop). Most of them
// refuse the stop control anyway; this holds where one would not.
constexpr std::string_view kRefusedServices[] = {
    "RpcSs",      "RpcEptMapper", "DcomLaunch", "EventLog",  "PlugPlay", "Power",   "SamSs",
    "LSM",        "WinDefend",    "mpssvc",     "BFE",       "ProfSvc",  "gpsvc",   "UserManager",
    "TermService", "BrokerInfrastructure", "SystemEventsBroker", "CoreMessagingRegistrar",
};

const RunningService* find_service(std::span<const RunningService> services, std::string_view name) {
  const auto it = std::find_if(services.begin(), services.end(),
                               [name](const RunningService& s) { return equal_ascii_folded(s.name, name); });
  return it == services.end() ? nullptr : &*it;
}

}  // namespace

bool refused_service(std::string_view name) {
  return std::any_of(std::begin(kRefusedServices), std::end(kRefusedServices),
                     [name](std::string_view refused) { return equal_ascii_folded(refused, name); });
}

bool accepts_stop(const ServiceStatus& status) {
  return status.state == SERVICE_RUNNING && (status.accepted & SERVICE_ACCEPT_STOP) != 0;
}

std::vector<std::string> services_to_offer(const Holder& holder, std::span<const RunningService> running,
                                           std::optional<bool> critical) {
  if (holder.kind != HolderKind::Service && holder.kind != HolderKind::WindowsComponent) return {};
  if (holder.pid < 5 || holder.critical || critical.value_or(false)) return {};
  std::vector<std::string> names = holder.services;
  if (names.empty()) {
    for (const RunningService& s : running) {
      if (s.status.pid == holder.pid) names.push_back(s.name);
    }
    if (names.size() != 1) return {};
  }
  for (const std::string& name : names) {
    const RunningService* s = find_service(running, name);
    if (!s || s->status.pid != holder.pid || !accepts_stop(s->status) || refused_service(name)) return {};
  }
  return names;
}

void note_stoppable_services(std::vector<Holder>& holders, const ServiceApi& api) {
  const bool any = std::any_of(holders.begin(), holders.end(), [](const Holder& h) {
    return h.kind == HolderKind::Service || h.kind == HolderKind::WindowsComponent;
  });
  if (!any) return;
  const std::vector<RunningService> running = api.running();
  for (Holder& h : holders) {
    h.stoppable_services.clear();
    if (h.kind != HolderKind::Service && h.kind != HolderKind::WindowsComponent) continue;
    // Asked only for a process that runs a service: the others are never offered.
    const bool hosts = std::any_of(running.begin(), running.end(),
                                   [&](const RunningService& s) { return s.status.pid == h.pid; });
    if (!hosts) continue;
    h.stoppable_services = services_to_offer(h, running, api.process_critical(h.pid));
  }
}

bool stop_service_offered(const Holder& holder, ActionKind state) {
  return !holder.stoppable_services.empty() && (state == ActionKind::Idle || state == ActionKind::Failed);
}

StopOutcome stop_outcome_of(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
    case ERROR_SERVICE_NOT_ACTIVE:  // it is not running: what was asked is so
      return StopOutcome::Stopped;
    case ERROR_ACCESS_DENIED:
      return StopOutcome::AccessDenied;
    case ERROR_SERVICE_DOES_NOT_EXIST:
    case ERROR_INVALID_NAME:
    case ERROR_SERVICE_MARKED_FOR_DELETE:
      return StopOutcome::NoSuchService;
    case ERROR_DEPENDENT_SERVICES_RUNNING:
      return StopOutcome::DependentsRunning;
    case ERROR_INVALID_SERVICE_CONTROL:
    case ERROR_SERVICE_CANNOT_ACCEPT_CTRL:
      return StopOutcome::WontStopNow;
    case ERROR_SERVICE_REQUEST_TIMEOUT:
      return StopOutcome::NoAnswer;
    case ERROR_SHUTDOWN_IN_PROGRESS:
      return StopOutcome::ShuttingDown;
    case ERROR_CANCELLED:
      return StopOutcome::NotGranted;
    default:
      break;
  }
  return StopOutcome::Unexpected;
}

std::string stop_outcome_text(StopOutcome outcome) {
  const Message* why = nullptr;
  switch (outcome) {
    case StopOutcome::Stopped:
      return std::string(localized(msg::kStateStopped));
    case StopOutcome::TimedOut:
      return std::string(localized(msg::kStopTimedOut));
    case StopOutcome::Protected:
      return std::string(localized(msg::kStopProtected));
    case StopOutcome::NotGranted:
      why = &msg::kStopWhyNotGranted;
      break;
    case StopOutcome::AccessDenied:
      why = &msg::kStopWhyAccessDenied;
      break;
    case StopOutcome::NoSuchService:
      why = &msg::kStopWhyNoSuchService;
      break;
    case StopOutcome::DependentsRunning:
      why = &msg::kStopWhyDependents;
      break;
    case StopOutcome::WontStopNow:
      why = &msg::kStopWhyWontStopNow;
      break;
    case StopOutcome::NoAnswer:
      why = &msg::kStopWhyNoAnswer;
      break;
    case StopOutcome::ShuttingDown:
      why = &msg::kStopWhyShuttingDown;
      break;
    case StopOutcome::Unexpected:
      why = &msg::kStopWhyUnexpected;
      break;
  }
  const std::string reason(localized(*why));
  return fill_placeholders(localized(msg::kStopRefused), std::span(&reason, 1));
}

DWORD stop_poll_ms(const ServiceStatus& status) { return std::clamp<DWORD>(status.wait_hint / 10, 1'000, 10'000); }

bool keep_waiting(StopWait& wait, const ServiceStatus& status, ULONGLONG now) {
  if (now - wait.started >= kStopCapMs) return false;
  if (status.checkpoint != wait.checkpoint) {
    wait.checkpoint = status.checkpoint;
    wait.progressed = now;
    return true;
  }
  // A service that gives no hint is waited for up to the cap.
  return status.wait_hint == 0 || now - wait.progressed <= status.wait_hint;
}

std::vector<RunningService> stop_order(std::span<const std::string> names, const ServiceApi& api, DWORD& error) {
  std::vector<RunningService> order;
  const auto add = [&order](RunningService s) {
    if (!find_service(order, s.name)) order.push_back(std::move(s));
  };
  error = ERROR_SUCCESS;
  for (const std::string& name : names) {
    const StatusReply status = api.query(name);
    if (status.error != ERROR_SUCCESS) {
      error = status.error;
      return {};
    }
    if (status.status.state == SERVICE_STOPPED) continue;
    DependentsReply dependents = api.dependents(name);
    if (dependents.error != ERROR_SUCCESS) {
      error = dependents.error;
      return {};
    }
    for (RunningService& d : dependents.services) add(std::move(d));
    add(RunningService{name, {}, status.status});
  }
  return order;
}

namespace {

// Sends the stop and waits for it, as Windows' own pattern has it: polling at a tenth of the
// wait hint while the checkpoint moves, within the request's cap.
StopOutcome stop_one(const std::string& name, const ServiceApi& api, StopWait& wait) {
  StatusReply reply = api.send_stop(name);
  if (reply.error != ERROR_SUCCESS) {
    // A service that is stopping already is waited for like one that was just told to.
    if (reply.error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return stop_outcome_of(reply.error);
    reply = api.query(name);
    if (reply.error != ERROR_SUCCESS) return stop_outcome_of(reply.error);
    if (reply.status.state != SERVICE_STOP_PENDING && reply.status.state != SERVICE_STOPPED) {
      return StopOutcome::WontStopNow;
    }
  }
  wait.progressed = api.now();
  wait.checkpoint = reply.status.checkpoint;
  while (reply.status.state != SERVICE_STOPPED) {
    if (!keep_waiting(wait, reply.status, api.now())) return StopOutcome::TimedOut;
    api.sleep(stop_poll_ms(reply.status));
    reply = api.query(name);
    if (reply.error != ERROR_SUCCESS) return stop_outcome_of(reply.error);
  }
  return StopOutcome::Stopped;
}

}  // namespace

StopOutcome stop_services(std::span<const std::string> names, const ServiceApi& api) {
  if (names.empty()) return StopOutcome::Unexpected;
  for (const std::string& name : names) {
    if (refused_service(name)) return StopOutcome::Protected;
  }
  DWORD error = ERROR_SUCCESS;
  const std::vector<RunningService> order = stop_order(names, api, error);
  if (error != ERROR_SUCCESS) return stop_outcome_of(error);
  // Everything is checked before anything is stopped.
  for (const RunningService& s : order) {
    if (refused_service(s.name) || (s.status.pid != 0 && api.process_critical(s.status.pid).value_or(false))) {
      return StopOutcome::Protected;
    }
  }
  StopWait wait;
  wait.started = api.now();
  for (const RunningService& s : order) {
    const StopOutcome outcome = stop_one(s.name, api, wait);
    if (outcome != StopOutcome::Stopped) return outcome;
  }
  return StopOutcome::Stopped;
}

namespace {

std::string shown_name(const RunningService& s) {
  if (s.display.empty() || s.display == s.name) return s.name;
  return s.display + " (" + s.name + ")";
}

std::string joined_names(std::span<const RunningService> services) {
  std::string out;
  for (const RunningService& s : services) out += (out.empty() ? "" : ", ") + shown_name(s);
  return out;
}

}  // namespace

std::string stop_confirmation(std::span<const RunningService> services, std::span<const RunningService> dependents) {
  const std::string names[] = {joined_names(services)};
  std::string text = fill_placeholders(localized(msg::kConfirmStopService), names);
  if (!dependents.empty()) {
    const std::string also[] = {joined_names(dependents)};
    text += "\n\n" + fill_placeholders(localized(msg::kStopDependentsFirst), also);
  }
  return text;
}

void services_to_confirm(std::span<const std::string> names, const ServiceApi& api,
                         std::vector<RunningService>& services, std::vector<RunningService>& dependents) {
  const std::vector<RunningService> running = api.running();
  for (const std::string& name : names) {
    const RunningService* known = find_service(running, name);
    services.push_back(known ? *known : RunningService{name, {}, {}});
  }
  for (const std::string& name : names) {
    for (RunningService& d : api.dependents(name).services) {
      if (!find_service(services, d.name) && !find_service(dependents, d.name)) dependents.push_back(std::move(d));
    }
  }
}

namespace {

// Far from anything Windows or a crash would leave as an exit status.
constexpr DWORD kStopExitBase = 0x7500;

}  // namespace

DWORD stop_exit_code(StopOutcome outcome) {
  return outcome == StopOutcome::Stopped ? 0 : kStopExitBase + static_cast<DWORD>(outcome);
}

StopOutcome stop_outcome_of_exit(DWORD code) {
  if (code == 0) return StopOutcome::Stopped;
  if (code <= kStopExitBase || code > kStopExitBase + static_cast<DWORD>(StopOutcome::Unexpected)) {
    return StopOutcome::Unexpected;
  }
  return static_cast<StopOutcome>(code - kStopExitBase);
}

std::wstring stop_helper_parameters(std::span<const std::string> names) {
  std::vector<std::wstring> arguments{std::wstring(kOptionStopService)};
  for (const std::string& name : names) arguments.push_back(to_wide(name));
  return join_arguments(arguments);
}

namespace {

// Runs the helper elevated and waits for its answer; it gives up on its own within the cap.
StopOutcome run_stop_helper(std::span<const std::string> names, HWND owner, const std::wstring& exe) {
  const UniqueHandle process = start_elevated_helper(owner, exe, stop_helper_parameters(names));
  if (!process) return StopOutcome::NotGranted;  // declined, or nothing started
  // Its own cap, and time to start and check.
  if (::WaitForSingleObject(process.get(), static_cast<DWORD>(kStopCapMs) + 30'000) != WAIT_OBJECT_0) {
    return StopOutcome::TimedOut;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code)) return StopOutcome::Unexpected;
  return stop_outcome_of_exit(code);
}

}  // namespace

StopOutcome stop_services_now(std::span<const std::string> names, HWND owner, const std::wstring& helper,
                              const ServiceApi& api) {
  if (process_is_elevated()) return stop_services(names, api);
  // Refused here already, without asking for elevation.
  for (const std::string& name : names) {
    if (refused_service(name)) return StopOutcome::Protected;
  }
  return run_stop_helper(names, owner, helper);
}

bool start_stop_service(StopJob job) {
  return start_detached_thread([job = std::move(job)] {
    const StopOutcome outcome = stop_services_now(job.names, job.window, own_executable_path(), job.api);
    report_remedy_outcome(job.window, RemedyOutcome{job.scan_id, RemedyKind::StopService,
                                                    static_cast<std::uint8_t>(outcome), job.pid});
  });
}

int run_stop_service_helper(const StartupRequest& request, const ServiceApi& api) {
  std::vector<std::string> names;
  for (const std::wstring& name : request.services) names.push_back(to_utf8(name));
  return static_cast<int>(stop_exit_code(stop_services(names, api)));
}

// The service manager's calls.
namespace {

using UniqueService = Unique<NullIsNone<SC_HANDLE, &::CloseServiceHandle>>;

struct Opened {
  UniqueService manager;
  UniqueService service;
  DWORD error = ERROR_SUCCESS;
};

Opened open_service(const std::string& name, DWORD access) {
  Opened o;
  o.manager.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!o.manager) {
    o.error = ::GetLastError();
    return o;
  }
  o.service.reset(::OpenServiceW(o.manager.get(), to_wide(name).c_str(), access));
  if (!o.service) o.error = ::GetLastError();
  return o;
}

ServiceStatus status_of(const SERVICE_STATUS_PROCESS& s) {
  return ServiceStatus{s.dwCurrentState, s.dwControlsAccepted, s.dwCheckPoint, s.dwWaitHint, s.dwProcessId};
}

StatusReply query_open(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed)) {
    return StatusReply{::GetLastError(), {}};
  }
  return StatusReply{ERROR_SUCCESS, status_of(status)};
}

}  // namespace

std::vector<RunningService> ServiceApi::real_running() {
  const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) return {};
  std::vector<RunningService> out;
  std::vector<BYTE> buffer(64 * 1024);
  DWORD resume = 0;
  for (;;) {
    DWORD needed = 0, count = 0;
    const BOOL done = ::EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                              buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count,
                                              &resume, nullptr);
    const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    if (!done && error != ERROR_MORE_DATA) return out;
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      out.push_back(RunningService{to_utf8(entries[i].lpServiceName),
                                   entries[i].lpDisplayName ? to_utf8(entries[i].lpDisplayName) : std::string(),
                                   status_of(entries[i].ServiceStatusProcess)});
    }
    if (done) return out;
    if (count == 0) buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
  }
}

StatusReply ServiceApi::real_query(const std::string& name) {
  const Opened o = open_service(name, SERVICE_QUERY_STATUS);
  if (o.error != ERROR_SUCCESS) return StatusReply{o.error, {}};
  return query_open(o.service.get());
}

StatusReply ServiceApi::real_send_stop(const std::string& name) {
  const Opened o = open_service(name, SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (o.error != ERROR_SUCCESS) return StatusReply{o.error, {}};
  SERVICE_STATUS status{};
  if (!::ControlService(o.service.get(), SERVICE_CONTROL_STOP, &status)) return StatusReply{::GetLastError(), {}};
  return query_open(o.service.get());
}

DependentsReply ServiceApi::real_dependents(const std::string& name) {
  const Opened o = open_service(name, SERVICE_ENUMERATE_DEPENDENTS);
  if (o.error != ERROR_SUCCESS) return DependentsReply{o.error, {}};
  // Windows gives at most 64,000 bytes.
  std::vector<BYTE> buffer(64'000);
  DWORD needed = 0, count = 0;
  if (!::EnumDependentServicesW(o.service.get(), SERVICE_ACTIVE, reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed, &count)) {
    return DependentsReply{::GetLastError(), {}};
  }
  DependentsReply reply;
  const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    RunningService s{to_utf8(entries[i].lpServiceName),
                     entries[i].lpDisplayName ? to_utf8(entries[i].lpDisplayName) : std::string(), {}};
    // Its host process too, which this list does not give.
    const StatusReply status = real_query(s.name);
    if (status.error == ERROR_SUCCESS) {
      s.status = status.status;
    } else {
      s.status.state = entries[i].ServiceStatus.dwCurrentState;
    }
    reply.services.push_back(std::move(s));
  }
  return reply;
}

std::optional<bool> ServiceApi::real_process_critical(std::uint32_t pid) {
  // Windows 8.1 and later; looked up, as the headers this builds with do not declare it.
  using IsCriticalFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static const auto is_critical = loaded_function<IsCriticalFn>(L"kernel32.dll", "IsProcessCritical");
  if (!is_critical) return std::nullopt;
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return std::nullopt;
  BOOL critical = FALSE;
  if (!is_critical(process.get(), &critical)) return std::nullopt;
  return critical != FALSE;
}

}  // namespace tw
