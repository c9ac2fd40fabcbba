#include <gtest/gtest.h>

#include "support/holder_process.h"

namespace tw {
namespace {

// The entry point's decision, seen from outside: what each run of the real program exits with.
TEST(Entry, ExitStatusesOfTheWindowlessRuns) {
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--unregister"}), 0u);
  // Unregistering wins over the helper mode, wherever it stands.
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", L"C:\\x", L"--unregister"}), 0u);
  // The helper with nothing to schedule has not scheduled everything.
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot"}), 1u);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", L"", L"\"\""}), 1u);
}

}  // namespace
}  // namespace tw
