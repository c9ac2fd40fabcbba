#pragma once

// Stopping the Windows service that holds a file: which services a holder's row may offer to
// stop, the stop itself (dependents first, a bounded wait), the elevated helper that does it
// for a window or console without administrator rights, and what each outcome says.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/remedies/remedy_rules.h"
#include "app/system/startup.h"
#include "procs/holders.h"

namespace tw {

// A service as the service manager reports it.
struct ServiceStatus {
  DWORD state = 0;       // SERVICE_STOPPED, SERVICE_RUNNING, SERVICE_STOP_PENDING, ...
  DWORD accepted = 0;    // the controls it takes now (SERVICE_ACCEPT_STOP, ...)
  DWORD checkpoint = 0;  // moves on while a pending stop makes progress
  DWORD wait_hint = 0;   // how long its next step should take, in ms
  std::uint32_t pid = 0; // its host process while it runs
};

struct RunningService {
  std::string name;     // the short name, which the service manager compares in any case
  std::string display;  // what Windows shows it as; may be empty
  ServiceStatus status;
};

struct StatusReply {
  DWORD error = ERROR_SUCCESS;
  ServiceStatus status;
};

struct DependentsReply {
  DWORD error = ERROR_SUCCESS;
  std::vector<RunningService> services;  // as Windows lists them: the last started first
};

// The service manager's calls (a seam: Wine has no service a test may stop).
struct ServiceApi {
  // Every active Win32 service; empty when they cannot be listed.
  std::vector<RunningService> (*running)() = &real_running;
  StatusReply (*query)(const std::string& name) = &real_query;
  // Sends the stop control; the status that came back with it.
  StatusReply (*send_stop)(const std::string& name) = &real_send_stop;
  // The active services that depend on it, directly or not.
  DependentsReply (*dependents)(const std::string& name) = &real_dependents;
  // Whether Windows ends with the process (nothing when that cannot be told).
  std::optional<bool> (*process_critical)(std::uint32_t pid) = &real_process_critical;
  void (*sleep)(DWORD ms) = &::Sleep;
  ULONGLONG (*now)() = &::GetTickCount64;

  static std::vector<RunningService> real_running();
  static StatusReply real_query(const std::string& name);
  static StatusReply real_send_stop(const std::string& name);
  static DependentsReply real_dependents(const std::string& name);
  static std::optional<bool> real_process_critical(std::uint32_t pid);
};

// Parts of Windows this program never stops, whatever Windows would allow: remote procedure
// calls, the event log, security and the session's own services.
bool refused_service(std::string_view name);

// Running, and taking the stop control now.
bool accepts_stop(const ServiceStatus& status);

// The services a holder's row offers to stop: those the Restart Manager named for it, else the
// one service its process runs (of several, nobody can tell which holds the file). Nothing
// unless every one of them runs in the holder's process and takes the stop control, none is
// refused, and neither the Restart Manager nor Windows calls the process critical.
std::vector<std::string> services_to_offer(const Holder& holder, std::span<const RunningService> running,
                                           std::optional<bool> critical);

// Fills each holder's `stoppable_services` as the service manager answers now. On the scan's
// worker: it asks the service manager once, and each service-holding process once.
void note_stoppable_services(std::vector<Holder>& holders, const ServiceApi& api = {});

// Whether a holder's row offers Stop service in this state: it has services to stop, and
// nothing runs on it or stopped them already.
bool stop_service_offered(const Holder& holder, ActionKind state);

// How a stop request ended. Its value travels as the remedy outcome's result and in the
// helper's exit status.
enum class StopOutcome : std::uint8_t {
  Stopped = 0,
  TimedOut,           // still stopping when the wait ran out
  Protected,          // a part of Windows this program leaves alone, or in a critical process
  NotGranted,         // administrator permission was not given, or the helper did not run
  AccessDenied,       // Windows' own refusal, "access denied"
  NoSuchService,
  DependentsRunning,  // services that need it are running
  WontStopNow,        // it does not take the stop control now
  NoAnswer,           // it did not answer the control in time
  ShuttingDown,
  Unexpected,         // any other error
};

// The outcome a service manager error means.
StopOutcome stop_outcome_of(DWORD error);

// "Stopped", "Did not stop in time", "Windows refused: <why>", in the interface language.
std::string stop_outcome_text(StopOutcome outcome);

// The longest a whole request waits for its services to stop.
inline constexpr ULONGLONG kStopCapMs = 30'000;

// Where one service's pending stop has got to.
struct StopWait {
  ULONGLONG started = 0;        // when the request began: the cap counts from here
  ULONGLONG progressed = 0;     // when the checkpoint last moved
  DWORD checkpoint = 0;
};

// How long to wait before asking again: a tenth of the wait hint, within 1 to 10 s.
DWORD stop_poll_ms(const ServiceStatus& status);

// Whether to wait on for a stop that has not finished: not past the cap, and the checkpoint
// moved within the wait hint (when the service gives one). Notes progress in `wait`.
bool keep_waiting(StopWait& wait, const ServiceStatus& status, ULONGLONG now);

// The services a request will stop, in order: each one's active dependents first (as Windows
// lists them, the last started first), then the service; none twice.
std::vector<RunningService> stop_order(std::span<const std::string> names, const ServiceApi& api, DWORD& error);

// Stops the named services and their dependents, checking all of them first: a refused or
// unknown one stops nothing. Blocks, at most kStopCapMs while services are stopping.
StopOutcome stop_services(std::span<const std::string> names, const ServiceApi& api = {});

// What the confirmation asks: the services by name, and the dependents stopped with them.
std::string stop_confirmation(std::span<const RunningService> services, std::span<const RunningService> dependents);

// The services of a request as its confirmation names them ("Windows Search (WSearch)"), and
// their active dependents; asked now.
void services_to_confirm(std::span<const std::string> names, const ServiceApi& api,
                         std::vector<RunningService>& services, std::vector<RunningService>& dependents);

// The helper's exit status for an outcome, and back; an exit status the helper never gives
// (it crashed, or was ended) is Unexpected.
DWORD stop_exit_code(StopOutcome outcome);
StopOutcome stop_outcome_of_exit(DWORD code);

// The parameters of the elevated helper run: the option, then each name quoted so that the
// helper reads back exactly those texts.
std::wstring stop_helper_parameters(std::span<const std::string> names);

// Stops the services now: here when this process is elevated, else through the elevated
// helper `helper` (tarnwick.exe), which Windows asks the user to allow (owned by `owner`).
StopOutcome stop_services_now(std::span<const std::string> names, HWND owner, const std::wstring& helper,
                              const ServiceApi& api = {});

// What a Stop service worker is given, copied at the click.
struct StopJob {
  std::vector<std::string> names;
  HWND window = nullptr;  // receives kMsgRemedyFinished; owns the elevation prompt
  std::uint64_t scan_id = 0;
  std::uint32_t pid = 0;  // the row's process
  ServiceApi api;
};

// Stops on a thread of its own; the outcome goes through the remedy queue (kind StopService,
// result a StopOutcome). False when no thread could be started: then nothing is reported.
[[nodiscard]] bool start_stop_service(StopJob job);

// The elevated helper run ("--stop-service NAME..."): its exit status is stop_exit_code of the
// outcome.
int run_stop_service_helper(const StartupRequest& request, const ServiceApi& api = {});

}  // namespace tw
