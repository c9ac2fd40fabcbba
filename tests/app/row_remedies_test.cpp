#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "app/catalogue.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/row_remedies.h"
#include "common/text.h"
#include "procs/end_process.h"
#include "procs/process_facts.h"
#include "support/holder_process.h"

namespace tw {
namespace {

using test::HolderProcess;

HolderRow row_of(std::uint32_t pid, HolderKind kind, ActionKind action = ActionKind::Idle) {
  Holder h;
  h.title = "Report";
  h.pid = pid;
  h.kind = kind;
  return HolderRow{h, ActionState{action, action == ActionKind::Failed ? "old" : ""}};
}

RemedyOutcome outcome(RemedyKind kind, std::uint8_t result, std::uint32_t pid = 10, std::uint64_t scan_id = 3) {
  return RemedyOutcome{scan_id, kind, result, pid};
}

std::uint8_t code(ForceQuitResult r) { return static_cast<std::uint8_t>(r); }

TEST(RowRemedies, EachOutcomeGivesItsState) {
  struct Case {
    RemedyOutcome outcome;
    bool elevated;
    ActionKind kind;
    const Message* message;
  };
  const Case cases[] = {
      {outcome(RemedyKind::Close, 1), false, ActionKind::Closed, nullptr},
      {outcome(RemedyKind::Close, 0), false, ActionKind::NotClosed, nullptr},
      {outcome(RemedyKind::ForceQuit, code(ForceQuitResult::Ended)), false, ActionKind::Closed, nullptr},
      {outcome(RemedyKind::ForceQuit, code(ForceQuitResult::StillRunning)), false, ActionKind::Failed, &msg::kStillRunning},
      {outcome(RemedyKind::ForceQuit, code(ForceQuitResult::Refused)), true, ActionKind::Failed, &msg::kPartOfWindowsCantEnd},
      {outcome(RemedyKind::ForceQuit, code(ForceQuitResult::CouldNotEnd)), false, ActionKind::Failed, &msg::kNoPermissionToEnd},
      {outcome(RemedyKind::ForceQuit, code(ForceQuitResult::CouldNotEnd)), true, ActionKind::Failed, &msg::kWindowsRefusedEnding},
      {outcome(RemedyKind::RestartExplorer, 1), false, ActionKind::Restarted, nullptr},
      {outcome(RemedyKind::RestartExplorer, 0), false, ActionKind::Failed, &msg::kCouldNotRestartExplorer},
  };
  for (const Case& c : cases) {
    WindowState s;
    s.scan_id = 3;
    s.elevated = c.elevated;
    s.rows = {row_of(10, HolderKind::Program, ActionKind::Failed)};  // an old message is replaced
    EXPECT_TRUE(apply_remedy_outcome(s, c.outcome));
    EXPECT_EQ(s.rows[0].action.kind, c.kind) << int(c.outcome.kind) << "/" << int(c.outcome.result);
    EXPECT_EQ(s.rows[0].action.message, c.message ? localized(*c.message) : "");
  }
}

TEST(RowRemedies, OutcomesOfAnOlderScanOrAnUnlistedProcessAreDropped) {
  WindowState s;
  s.scan_id = 3;
  s.rows = {row_of(10, HolderKind::Program, ActionKind::Closing), row_of(20, HolderKind::Program, ActionKind::Ending),
            row_of(20, HolderKind::Program, ActionKind::Ending)};
  EXPECT_FALSE(apply_remedy_outcome(s, outcome(RemedyKind::Close, 1, 10, 2)));
  EXPECT_FALSE(apply_remedy_outcome(s, outcome(RemedyKind::Close, 1, 30)));
  EXPECT_FALSE(apply_remedy_outcome(s, outcome(RemedyKind::DeleteOnRestart, 1, 10)));
  EXPECT_EQ(s.rows[0].action.kind, ActionKind::Closing);

  EXPECT_TRUE(apply_remedy_outcome(s, outcome(RemedyKind::ForceQuit, code(ForceQuitResult::Ended), 20)));
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Closed);
  EXPECT_EQ(s.rows[2].action.kind, ActionKind::Ending);  // the first row of the process only
}

TEST(RowRemedies, ClicksCountOnlyOnIdleRowsOfTheRightKind) {
  WindowState s;
  s.rows = {row_of(1, HolderKind::Program),       row_of(2, HolderKind::Program, ActionKind::Closing),
            row_of(3, HolderKind::FileExplorer),  row_of(4, HolderKind::Service),
            row_of(5, HolderKind::WindowsComponent), row_of(6, HolderKind::Program, ActionKind::Failed),
            row_of(7, HolderKind::FileExplorer, ActionKind::Restarting)};
  const auto allowed = [&](HitKind button) {
    std::string marks;
    for (std::size_t i = 0; i <= s.rows.size(); ++i) marks += row_remedy_allowed(s, button, i) ? 'y' : '-';
    return marks;
  };
  EXPECT_EQ(allowed(HitKind::RowClose), "y----y--");
  EXPECT_EQ(allowed(HitKind::RowForceQuit), "y----y--");
  EXPECT_EQ(allowed(HitKind::RowRestartExplorer), "--y-----");
  EXPECT_EQ(allowed(HitKind::RecycleBin), "--------");
}

// The real window procedure on a headless window, with rows for helper processes.
class RowRemedyWindow : public testing::Test {
 protected:
  static inline int answer = IDNO;
  static inline std::vector<std::wstring> asked;
  static inline std::vector<UINT> flags;
  static inline std::function<void()> while_asking;

  static int WINAPI fake_box(HWND, const wchar_t* text, const wchar_t*, UINT f) {
    asked.emplace_back(text);
    flags.push_back(f);
    if (while_asking) while_asking();
    return answer;
  }

  void SetUp() override {
    asked.clear();
    flags.clear();
    while_asking = nullptr;
    previous_box_ = set_message_box_function(&fake_box);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &main_window_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Tarnwick.RowTest";
    ::RegisterClassExW(&wc);
    window_ = ::CreateWindowExW(0, wc.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 880, 700, nullptr, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_TRUE(window_);
    auto w = std::make_unique<MainWindow>();
    w->state.window = window_;
    w->state.scan_id = 5;
    state_ = &w->state;
    install_main_window(std::move(w));
  }
  void TearDown() override {
    if (::IsWindow(window_)) ::DestroyWindow(window_);  // not WM_CLOSE: that saves the placement
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    set_message_box_function(previous_box_);
  }
  void add_row(const HolderProcess& p, const char* title) {
    HolderRow r = row_of(p.pid(), HolderKind::Program);
    r.holder.title = title;
    r.holder.start_time = creation_time(p.pid()).value_or(0);
    state_->rows.push_back(r);
  }
  void click(HitKind button, std::size_t row) {
    ASSERT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{button, row}); }));
    ::SendMessageW(window_, WM_NULL, 0, 0);  // a confirmation waits for the handler to let go
  }
  // Handles the window's messages until the row is no longer busy; false after 15 seconds.
  bool settle(std::size_t row) {
    const ULONGLONG deadline = ::GetTickCount64() + 15'000;
    while (is_busy(state_->rows.at(row).action.kind)) {
      if (::GetTickCount64() > deadline) return false;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    return true;
  }

  HWND window_ = nullptr;
  WindowState* state_ = nullptr;
  MessageBoxFunction previous_box_ = nullptr;
};

TEST_F(RowRemedyWindow, CloseRunsAtOnceAndForceQuitOnlyOnYes) {
  auto windowless = HolderProcess::start({});
  auto program = HolderProcess::start({L"--window", L"Report"});
  ASSERT_TRUE(windowless && program);
  add_row(*windowless, "Console");
  add_row(*program, "Report {1}");

  click(HitKind::RowClose, 0);
  EXPECT_EQ(state_->rows[0].action.kind, ActionKind::Closing);
  click(HitKind::RowClose, 0);  // ignored while it runs
  EXPECT_TRUE(asked.empty());
  ASSERT_TRUE(settle(0));
  EXPECT_EQ(state_->rows[0].action.kind, ActionKind::NotClosed);

  answer = IDNO;
  click(HitKind::RowForceQuit, 1);
  EXPECT_EQ(state_->rows[1].action.kind, ActionKind::Idle);
  answer = IDYES;
  click(HitKind::RowForceQuit, 1);
  ASSERT_EQ(asked.size(), 2u);
  const std::string title[] = {"Report {1}"};
  EXPECT_EQ(to_utf8(asked[1]), fill_placeholders(localized(msg::kConfirmForceQuit), title));
  EXPECT_EQ(flags[1], confirm_flags(ConfirmKind::Warning));
  EXPECT_EQ(state_->rows[1].action.kind, ActionKind::Ending);
  ASSERT_TRUE(settle(1));
  EXPECT_EQ(state_->rows[1].action.kind, ActionKind::Closed);
  EXPECT_EQ(::WaitForSingleObject(program->process(), 0), WAIT_OBJECT_0);
}

TEST_F(RowRemedyWindow, AYesForRowsThatWereReplacedMeanwhileChangesNothing) {
  auto program = HolderProcess::start({L"--window", L"Report"});
  ASSERT_TRUE(program);
  add_row(*program, "Report");
  answer = IDYES;
  // A new scan result arrives while the box is up.
  while_asking = [] { with_main_window([](MainWindow& w) { ++w.state.scan_id; }); };
  click(HitKind::RowForceQuit, 0);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(state_->rows[0].action.kind, ActionKind::Idle);

  // Or the same row number now names another process.
  while_asking = [] { with_main_window([](MainWindow& w) { w.state.rows[0].holder.pid += 4; }); };
  click(HitKind::RowForceQuit, 0);
  EXPECT_EQ(state_->rows[0].action.kind, ActionKind::Idle);
  EXPECT_NE(::WaitForSingleObject(program->process(), 300), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace tw
