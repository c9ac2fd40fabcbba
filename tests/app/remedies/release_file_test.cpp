#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "app/remedies/release_file.h"
#include "discovery/deep_search.h"
#include "discovery/paths.h"
#include "procs/process_facts.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::HolderProcess;
using test::TempDir;

// The handles a deep search finds the process holding `file` by.
std::vector<HeldHandle> handles_on(const std::wstring& file, DWORD pid) {
  std::vector<HeldHandle> out;
  const DeepSearchResult r = deep_search({resolved_key(file)}, 1, [](const ScanProgress&) {});
  for (const DeepRecord& rec : r.records) {
    if (rec.pid != pid) continue;
    for (const std::uint64_t value : rec.handles) out.push_back(HeldHandle{value, rec.path});
  }
  return out;
}

bool deletes(const std::wstring& file) { return ::DeleteFileW(file.c_str()) != FALSE; }

// The program keeps running; each handle found on the file is closed, and a value that names
// another file than the one recorded (as a value the program reused since the search would) is
// left alone, so that file stays held.
TEST(ReleaseFile, ClosesTheHandlesThatStillNameTheFileAndLeavesTheProgramRunning) {
  TempDir dir;
  const std::wstring held = dir / L"held.txt", other = dir / L"other.txt";
  ASSERT_TRUE(test::write_file(held) && test::write_file(other));
  auto holder = HolderProcess::start({L"--share", L"r", L"--repeat", L"2", L"--open", held, L"--repeat", L"1",
                                      L"--open", other});
  ASSERT_TRUE(holder);
  std::vector<HeldHandle> handles = handles_on(held, holder->pid());
  const std::vector<HeldHandle> on_other = handles_on(other, holder->pid());
  ASSERT_EQ(handles.size(), 2u);
  ASSERT_EQ(on_other.size(), 1u);
  handles.push_back(HeldHandle{on_other[0].value, handles[0].path});  // stale: it names the other file

  const ReleaseReport report = release_file_handles(holder->pid(), creation_time(holder->pid()).value_or(0), handles);
  ASSERT_EQ(report.handles.size(), 3u);
  EXPECT_EQ(report.handles[0].outcome, HandleOutcome::Closed);
  EXPECT_EQ(report.handles[1].outcome, HandleOutcome::Closed);
  EXPECT_EQ(report.handles[2].outcome, HandleOutcome::Changed);
  EXPECT_EQ(report.result, ReleaseResult::PartlyReleased);
  EXPECT_EQ(::WaitForSingleObject(holder->process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(deletes(held)) << "error " << ::GetLastError();
  EXPECT_FALSE(deletes(other));
}

// Checked again at the moment of closing, whatever the search said.
std::optional<bool> g_shielded;
HolderKind g_kind = HolderKind::Program;

TEST(ReleaseFile, RefusedForExplorerServicesWindowsGuardedProcessesItselfAndAnotherProcess) {
  TempDir dir;
  const std::wstring held = dir / L"held.txt";
  ASSERT_TRUE(test::write_file(held));
  auto holder = HolderProcess::start({L"--share", L"r", L"--open", held});
  ASSERT_TRUE(holder);
  const std::vector<HeldHandle> handles = handles_on(held, holder->pid());
  ASSERT_EQ(handles.size(), 1u);
  const std::uint64_t started = creation_time(holder->pid()).value_or(0);
  ReleaseApi api;
  api.kind_of = [](std::uint32_t) { return g_kind; };
  api.shielded = [](std::uint32_t) { return g_shielded; };
  const struct {
    HolderKind kind;
    std::optional<bool> shielded;
    DWORD pid;
    std::uint64_t start_time;
    ReleaseResult result;
  } cases[] = {
      {HolderKind::FileExplorer, false, holder->pid(), started, ReleaseResult::Refused},
      {HolderKind::Service, false, holder->pid(), started, ReleaseResult::Refused},
      {HolderKind::WindowsComponent, false, holder->pid(), started, ReleaseResult::Refused},
      {HolderKind::Program, true, holder->pid(), started, ReleaseResult::Refused},          // critical or protected
      {HolderKind::Program, std::nullopt, holder->pid(), started, ReleaseResult::Refused},  // cannot be told
      {HolderKind::Program, false, ::GetCurrentProcessId(), 0, ReleaseResult::Refused},
      {HolderKind::Program, false, holder->pid(), started + 1, ReleaseResult::Gone},  // the id was reused
  };
  for (const auto& c : cases) {
    g_kind = c.kind;
    g_shielded = c.shielded;
    const ReleaseReport report = release_file_handles(c.pid, c.start_time, handles, api);
    EXPECT_EQ(report.result, c.result) << static_cast<int>(c.kind) << " " << c.pid;
    EXPECT_TRUE(report.handles.empty());
  }
  EXPECT_FALSE(deletes(held));  // nothing was closed

  // Offered only for a program that is not this one, not guarded and holds the file by handles.
  Holder h;
  h.pid = holder->pid();
  h.handles = handles;
  EXPECT_TRUE(release_allowed(h, ::GetCurrentProcessId()));
  const auto allowed_if = [&](auto change) {
    Holder changed = h;
    change(changed);
    return release_allowed(changed, ::GetCurrentProcessId());
  };
  EXPECT_FALSE(allowed_if([](Holder& x) { x.kind = HolderKind::FileExplorer; }));
  EXPECT_FALSE(allowed_if([](Holder& x) { x.kind = HolderKind::Service; }));
  EXPECT_FALSE(allowed_if([](Holder& x) { x.shielded = true; }));
  EXPECT_FALSE(allowed_if([](Holder& x) { x.handles.clear(); }));  // loaded, mapped, or reported only
  EXPECT_FALSE(allowed_if([](Holder& x) { x.pid = ::GetCurrentProcessId(); }));
}

}  // namespace
}  // namespace tw
