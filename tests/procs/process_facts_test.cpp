#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <tuple>

#include "common/casemap.h"
#include "procs/holders.h"
#include "procs/process_facts.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::HolderProcess;

constexpr std::uint32_t kNoSuchProcess = 0xFFFFFFFC;

std::uint64_t own_creation_time() {
  FILETIME created{}, exited{}, kernel{}, user{};
  EXPECT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user));
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::vector<std::string> titles_of(const std::vector<ProcessWindow>& windows) {
  std::vector<std::string> titles;
  for (const ProcessWindow& w : windows) titles.push_back(w.title);
  std::sort(titles.begin(), titles.end());
  return titles;
}

TEST(ProcessFacts, OfAHelperFromStartToExitAndOfNoProcess) {
  auto holder = HolderProcess::start({});
  ASSERT_TRUE(holder.has_value());
  const std::uint32_t pid = holder->pid();
  bool listed = false;
  for (const ProcessEntry& p : process_list()) listed = listed || (p.pid == pid && p.exe_name == "tw_holder.exe");
  EXPECT_TRUE(listed);
  EXPECT_TRUE(equal_ascii_folded(image_path(pid).value_or(L""), test::program_dir() + L"\\tw_holder.exe"));
  EXPECT_TRUE(process_session(pid).has_value());
  EXPECT_TRUE(process_windows(pid).empty());  // no window unless asked for

  const std::optional<std::uint64_t> created = creation_time(pid);
  ASSERT_TRUE(created.has_value());
  EXPECT_GT(*created, own_creation_time());
  EXPECT_TRUE(is_running(pid, 0));
  EXPECT_TRUE(is_running(pid, *created));
  EXPECT_FALSE(is_running(pid, *created - 1));  // the identifier would name another process
  EXPECT_EQ(holder->stop(), 0u);
  EXPECT_FALSE(is_running(pid, *created));
  EXPECT_FALSE(is_running(pid, 0));

  for (const std::uint32_t none : {0u, kNoSuchProcess}) {
    EXPECT_EQ(image_path(none), std::nullopt);
    EXPECT_EQ(creation_time(none), std::nullopt);
    EXPECT_FALSE(is_running(none, 0));
  }
  EXPECT_EQ(process_session(kNoSuchProcess), std::nullopt);

  // A process that may not be opened (another user's, a protected one) is still running: only
  // "invalid parameter" says there is no such process.
  EXPECT_TRUE(open_failure_means_gone(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(open_failure_means_gone(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(open_failure_means_gone(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(ProcessWindows, OnlyVisibleUnownedOrHiddenOwnedWindowsCount) {
  auto holder = HolderProcess::start({L"--window", L"Report", L"--owned", L"Find and replace", L"--window", L"  ",
                                      L"--hidden-window", L"Secret", L"--owned-dialog", L"Save changes?",
                                      L"--window", L"\x7F16\x8F91 \xD83D\xDD12"});
  ASSERT_TRUE(holder.has_value());
  const std::vector<ProcessWindow> windows = process_windows(holder->pid());
  // The hidden window, the hidden owner and the window owned by a visible one do not count.
  EXPECT_EQ(titles_of(windows),
            (std::vector<std::string>{"  ", "Report", "Save changes?", "\xE7\xBC\x96\xE8\xBE\x91 \xF0\x9F\x94\x92"}));
  for (const ProcessWindow& w : windows) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w.window, &pid);
    EXPECT_EQ(pid, holder->pid());
  }
}

TEST(ProcessWindows, AHungProgramDoesNotStallTheSearch) {
  const std::wstring long_title(3000, L'x');  // longer than the first buffer
  auto holder = HolderProcess::start({L"--window", L"Frozen", L"--window", long_title, L"--hung"});
  ASSERT_TRUE(holder.has_value());
  const ULONGLONG started = ::GetTickCount64();
  const std::vector<ProcessWindow> windows = process_windows(holder->pid());
  EXPECT_LT(::GetTickCount64() - started, 5'000u);
  EXPECT_EQ(titles_of(windows), (std::vector<std::string>{"Frozen", std::string(3000, 'x')}));
}

// The whole road with real processes: facts, titles, windows, and a reused identifier.
TEST(FinishRealHolders, FactsTitlesWindowsAndAReusedIdentifier) {
  auto titled = HolderProcess::start({L"--window", L"Tarnwick test holder"});
  auto dialog = HolderProcess::start({L"--owned-dialog", L"Unsaved changes"});
  auto named = HolderProcess::start({});
  auto replaced = HolderProcess::start({});
  ASSERT_TRUE(titled && dialog && named && replaced);

  const auto rm_finding = [](const HolderProcess& p, std::string app_name, std::uint64_t start_time) {
    RmFinding f;
    f.pid = p.pid();
    f.app_name = std::move(app_name);
    f.start_time = start_time;
    f.session_id = process_session(p.pid()).value_or(1);
    f.file = L"D:\\held.txt";
    return f;
  };
  PendingHolders pending;
  add_rm_finding(pending, rm_finding(*titled, "TW_HOLDER.EXE", creation_time(titled->pid()).value_or(0)));
  add_held_path(pending, dialog->pid(), L"D:\\deep.txt");
  add_rm_finding(pending, rm_finding(*named, "Holder Product", creation_time(named->pid()).value_or(0)));
  // Reported with another start time: the process now under that identifier is not it.
  add_rm_finding(pending, rm_finding(*replaced, "Gone", creation_time(replaced->pid()).value_or(0) + 1));
  add_held_path(pending, ::GetCurrentProcessId(), L"D:\\self.txt");

  const std::vector<Holder> holders = finish_holders(pending);
  ASSERT_EQ(holders.size(), 3u);
  EXPECT_TRUE(std::is_sorted(holders.begin(), holders.end(),
                             [](const Holder& a, const Holder& b) { return a.pid < b.pid; }));
  for (const Holder& h : holders) {
    EXPECT_EQ(h.exe_name, "tw_holder.exe");
    EXPECT_TRUE(equal_ascii_folded(h.image_path.value_or(L""), test::program_dir() + L"\\tw_holder.exe"));
    EXPECT_EQ(h.start_time, creation_time(h.pid));
    EXPECT_EQ(h.kind, HolderKind::Program);
    // (title, window_title, has_window): the first only repeats the title in its window.
    const auto seen = std::make_tuple(h.title, h.window_title, h.has_window);
    if (h.pid == titled->pid()) {
      EXPECT_EQ(seen, std::make_tuple("Tarnwick test holder", "", true));
    } else if (h.pid == dialog->pid()) {
      EXPECT_EQ(seen, std::make_tuple("Tarnwick test holder", "Unsaved changes", true));
    } else {
      EXPECT_EQ(h.pid, named->pid());
      EXPECT_EQ(seen, std::make_tuple("Holder Product", "", false));
    }
  }
}

}  // namespace
}  // namespace tw
