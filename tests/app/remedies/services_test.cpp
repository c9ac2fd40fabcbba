#include <gtest/gtest.h>

#include <windows.h>

#include <map>

#include "app/remedies/services.h"

namespace tw {
namespace {

RunningService service(const char* name, std::uint32_t pid, DWORD state = SERVICE_RUNNING,
                       DWORD accepted = SERVICE_ACCEPT_STOP) {
  RunningService s;
  s.name = name;
  s.status.state = state;
  s.status.accepted = accepted;
  s.status.pid = pid;
  return s;
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
  return out;
}

// Which services a holder's row offers to stop, and what every outcome reads as.
TEST(StopService, WhatARowOffersAndWhatEachOutcomeSays) {
  const std::vector<RunningService> running = {
      service("Spooler", 100),
      service("WSearch", 200),
      service("Schedule", 300, SERVICE_RUNNING, 0),  // takes no stop control
      service("Foo", 400),
      service("Bar", 400),  // shares its host with Foo
      service("RpcSs", 500),
      service("Going", 600, SERVICE_STOP_PENDING),
  };
  using K = HolderKind;
  const struct {
    K kind;
    std::uint32_t pid;
    std::vector<std::string> named;  // by the Restart Manager
    bool rm_critical;
    std::optional<bool> process_critical;
    const char* offered;
  } cases[] = {
      {K::Service, 100, {}, false, false, "Spooler"},           // the one service of its process
      {K::WindowsComponent, 200, {"WSearch"}, false, std::nullopt, "WSearch"},  // in svchost.exe
      {K::Service, 100, {"spooler"}, false, false, "spooler"},  // names compare in any case
      {K::Program, 100, {}, false, false, ""},
      {K::FileExplorer, 100, {}, false, false, ""},
      {K::Service, 300, {}, false, false, ""},
      {K::Service, 400, {}, false, false, ""},  // which of the two holds it?
      {K::Service, 400, {"Foo"}, false, false, "Foo"},
      {K::Service, 400, {"Foo", "Schedule"}, false, false, ""},
      {K::Service, 500, {}, false, false, ""},  // left alone
      {K::Service, 100, {}, true, false, ""},
      {K::Service, 100, {}, false, true, ""},
      {K::Service, 100, {"WSearch"}, false, false, ""},  // runs elsewhere now
      {K::Service, 600, {}, false, false, ""},
      {K::Service, 4, {}, false, false, ""},
  };
  for (const auto& c : cases) {
    Holder h;
    h.kind = c.kind;
    h.pid = c.pid;
    h.services = c.named;
    h.critical = c.rm_critical;
    EXPECT_EQ(joined(services_to_offer(h, running, c.process_critical)), c.offered) << c.pid << "/" << int(c.kind);
  }

  const struct {
    DWORD error;
    const char* said;
  } said[] = {
      {ERROR_SUCCESS, "Stopped"},
      {ERROR_SERVICE_NOT_ACTIVE, "Stopped"},
      {ERROR_ACCESS_DENIED, "Windows refused: access is denied"},
      {ERROR_SERVICE_DOES_NOT_EXIST, "Windows refused: there is no such service"},
      {ERROR_INVALID_NAME, "Windows refused: there is no such service"},
      {ERROR_DEPENDENT_SERVICES_RUNNING, "Windows refused: services that depend on it are still running"},
      {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "Windows refused: it does not take a stop request now"},
      {ERROR_SERVICE_REQUEST_TIMEOUT, "Windows refused: it did not answer in time"},
      {ERROR_SHUTDOWN_IN_PROGRESS, "Windows refused: Windows is shutting down"},
      {ERROR_CANCELLED, "Windows refused: administrator permission was not given"},
      {ERROR_NOT_ENOUGH_MEMORY, "Windows refused: an unexpected error"},
  };
  for (const auto& c : said) EXPECT_EQ(stop_outcome_text(stop_outcome_of(c.error)), c.said) << c.error;
  EXPECT_EQ(stop_outcome_text(StopOutcome::TimedOut), "Did not stop in time");

  // The helper's exit status carries each outcome back; one it never gives is no success.
  for (std::uint8_t o = 0; o <= static_cast<std::uint8_t>(StopOutcome::Unexpected); ++o) {
    EXPECT_EQ(stop_outcome_of_exit(stop_exit_code(static_cast<StopOutcome>(o))), static_cast<StopOutcome>(o));
  }
  for (const DWORD code : {1ul, 259ul, 0xC0000005ul, 0x7500ul, 0x7600ul}) {
    EXPECT_EQ(stop_outcome_of_exit(code), StopOutcome::Unexpected) << code;
  }
}

// A world of services for the stand-in service manager: each stops after some polls, or never.
struct FakeService {
  DWORD state = SERVICE_RUNNING;
  std::uint32_t pid = 0;
  int polls_to_stop = 1;     // queries while stopping before it has stopped; -1 never
  bool progressing = false;  // its checkpoint moves at every query
  DWORD wait_hint = 0;
  DWORD stop_error = ERROR_SUCCESS;
  std::vector<std::string> dependents;
  DWORD checkpoint = 0;
};
FakeService svc(DWORD state, std::uint32_t pid = 0, int polls = 1, bool progressing = false, DWORD hint = 0,
                DWORD error = ERROR_SUCCESS, std::vector<std::string> dependents = {}) {
  FakeService s;
  s.state = state;
  s.pid = pid;
  s.polls_to_stop = polls;
  s.progressing = progressing;
  s.wait_hint = hint;
  s.stop_error = error;
  s.dependents = std::move(dependents);
  return s;
}
std::map<std::string, FakeService> g_world;
std::string g_sent;  // the services told to stop, in order
ULONGLONG g_now = 0;

StatusReply fake_query(const std::string& name) {
  const auto it = g_world.find(name);
  if (it == g_world.end()) return StatusReply{ERROR_SERVICE_DOES_NOT_EXIST, {}};
  FakeService& s = it->second;
  if (s.state == SERVICE_STOP_PENDING) {
    if (s.polls_to_stop > 0 && --s.polls_to_stop == 0) s.state = SERVICE_STOPPED;
    if (s.progressing) ++s.checkpoint;
  }
  return StatusReply{ERROR_SUCCESS, ServiceStatus{s.state, SERVICE_ACCEPT_STOP, s.checkpoint, s.wait_hint,
                                                  s.state == SERVICE_STOPPED ? 0 : s.pid}};
}

StatusReply fake_send_stop(const std::string& name) {
  FakeService& s = g_world.at(name);
  if (s.stop_error != ERROR_SUCCESS) return StatusReply{s.stop_error, {}};
  g_sent += (g_sent.empty() ? "" : ",") + name;
  s.state = s.polls_to_stop == 0 ? SERVICE_STOPPED : SERVICE_STOP_PENDING;
  return StatusReply{ERROR_SUCCESS, ServiceStatus{s.state, 0, s.checkpoint, s.wait_hint, s.pid}};
}

DependentsReply fake_dependents(const std::string& name) {
  DependentsReply reply;
  for (const std::string& d : g_world.at(name).dependents) {
    if (g_world.at(d).state == SERVICE_STOPPED) continue;
    reply.services.push_back(RunningService{d, d == "Fax" ? "Fax Service" : "", fake_query(d).status});
  }
  return reply;
}

std::vector<RunningService> fake_running() {
  std::vector<RunningService> out;
  for (const auto& [name, s] : g_world) {
    if (s.state != SERVICE_STOPPED) out.push_back(RunningService{name, name == "Spooler" ? "Print Spooler" : "", {}});
  }
  return out;
}

ServiceApi fake_api() {
  ServiceApi api;
  api.running = &fake_running;
  api.query = &fake_query;
  api.send_stop = &fake_send_stop;
  api.dependents = &fake_dependents;
  api.process_critical = [](std::uint32_t pid) -> std::optional<bool> { return pid == 666; };
  api.sleep = [](DWORD ms) { g_now += ms; };
  api.now = [] { return g_now; };
  return api;
}

// Dependents go first, the wait follows the wait hint and the checkpoint within the cap, and a
// request with anything refused or unknown stops nothing at all.
TEST(StopService, StopsDependentsFirstWaitsBoundedAndActsOnlyWhenAllMay) {
  const struct {
    const char* what;
    std::map<std::string, FakeService> world;
    std::vector<std::string> names;
    StopOutcome outcome;
    const char* sent;
    ULONGLONG waited_at_least, waited_at_most;
  } cases[] = {
      {"dependents first",
       {{"Spooler", svc(SERVICE_RUNNING, 100, 2, false, 0, 0, {"Fax"})}, {"Fax", svc(SERVICE_RUNNING, 101, 1)}},
       {"Spooler"}, StopOutcome::Stopped, "Fax,Spooler", 0, 10'000},
      {"stuck within its hint", {{"Spooler", svc(SERVICE_RUNNING, 100, -1, false, 3'000)}}, {"Spooler"},
       StopOutcome::TimedOut, "Spooler", 3'000, 6'000},
      {"progressing up to the cap", {{"Spooler", svc(SERVICE_RUNNING, 100, -1, true, 3'000)}}, {"Spooler"},
       StopOutcome::TimedOut, "Spooler", kStopCapMs, kStopCapMs + 1'000},
      {"no hint: the cap", {{"Spooler", svc(SERVICE_RUNNING, 100, -1)}}, {"Spooler"}, StopOutcome::TimedOut, "Spooler",
       kStopCapMs, kStopCapMs + 1'000},
      {"a dependent left alone", {{"Spooler", svc(SERVICE_RUNNING, 100, 1, false, 0, 0, {"mpssvc"})}, {"mpssvc", {}}},
       {"Spooler"}, StopOutcome::Protected, "", 0, 0},
      {"left alone itself", {{"RpcSs", {}}}, {"RpcSs"}, StopOutcome::Protected, "", 0, 0},
      {"in a critical process", {{"Spooler", svc(SERVICE_RUNNING, 666)}}, {"Spooler"}, StopOutcome::Protected, "", 0, 0},
      {"one unknown of two", {{"Spooler", {}}}, {"Spooler", "Nope"}, StopOutcome::NoSuchService, "", 0, 0},
      {"denied", {{"Spooler", svc(SERVICE_RUNNING, 100, 1, false, 0, ERROR_ACCESS_DENIED)}}, {"Spooler"},
       StopOutcome::AccessDenied, "", 0, 0},
      {"stopped already", {{"Spooler", svc(SERVICE_STOPPED)}}, {"Spooler"}, StopOutcome::Stopped, "", 0, 0},
  };
  const ServiceApi api = fake_api();
  for (const auto& c : cases) {
    g_world = c.world;
    g_sent.clear();
    g_now = 1'000'000;
    EXPECT_EQ(stop_services(c.names, api), c.outcome) << c.what;
    EXPECT_EQ(g_sent, c.sent) << c.what;
    EXPECT_GE(g_now - 1'000'000, c.waited_at_least) << c.what;
    EXPECT_LE(g_now - 1'000'000, c.waited_at_most) << c.what;
  }

  // Polls at a tenth of the hint, within 1 to 10 s.
  for (const auto& [hint, poll] : {std::pair<DWORD, DWORD>{0, 1'000}, {50'000, 5'000}, {500'000, 10'000}}) {
    EXPECT_EQ(stop_poll_ms(ServiceStatus{SERVICE_STOP_PENDING, 0, 0, hint, 0}), poll);
  }

  // The confirmation names the services and the dependents stopped first.
  g_world = {{"Spooler", svc(SERVICE_RUNNING, 100, 1, false, 0, 0, {"Fax"})}, {"Fax", svc(SERVICE_RUNNING, 101)}};
  std::vector<RunningService> services, dependents;
  const std::vector<std::string> names = {"Spooler"};
  services_to_confirm(names, api, services, dependents);
  EXPECT_EQ(stop_confirmation(services, dependents),
            "Stop the service Print Spooler (Spooler)?\n\nWhat it does stops until it starts again or the PC restarts."
            "\n\nThese services depend on it and are stopped first: Fax Service (Fax)");
}

}  // namespace
}  // namespace tw
