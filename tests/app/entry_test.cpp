#include <gtest/gtest.h>

#include "app/remedies/services.h"
#include "support/holder_process.h"

namespace tw {
namespace {

// The entry point's decision, seen from outside: what each run of the real program exits with.
TEST(Entry, ExitStatusesOfTheWindowlessRuns) {
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--unregister"}), 0u);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"C:\\x", L"--delete-on-reboot", L"--unregister"}), 0u);
  // The helper's mode is fixed by its first argument: a later "--unregister" is a path it
  // refuses, and then it schedules nothing.
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", L"C:\\x", L"--unregister"}), 1u);
  // The helper with nothing to schedule has not scheduled everything.
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot"}), 1u);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", L"", L"\"\""}), 1u);

  // The stop-service helper's status is its outcome: a name Windows does not know (one that
  // reads like an option is a name all the same) stops nothing, and nothing else is done.
  const DWORD unknown = stop_exit_code(StopOutcome::NoSuchService);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--stop-service", L"TarnwickNoSuchService"}), unknown);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--stop-service", L"--unregister"}), unknown);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--stop-service"}), stop_exit_code(StopOutcome::Unexpected));
}

}  // namespace
}  // namespace tw
