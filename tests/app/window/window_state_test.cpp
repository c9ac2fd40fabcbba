#include <gtest/gtest.h>

#include "app/window/window_state.h"

namespace tw {
namespace {

using namespace std::chrono_literals;

const Clock::time_point t0 = Clock::time_point(100s);

TEST(WindowState, TargetsMergeDedupeAndTheTwoSecondRule) {
  WindowState s;
  EXPECT_FALSE(set_targets(s, std::vector<Target>{L"", L""}, false, t0));  // nothing left: no change
  EXPECT_TRUE(s.targets.empty());

  s.recycle_failed = s.delete_scheduled = true;
  ASSERT_TRUE(set_targets(s, std::vector<Target>{L"D:\\Work\\Report.docx", L"d:\\work\\report.DOCX", L"D:\\Ä"}, false, t0));
  EXPECT_EQ(s.targets, (std::vector<Target>{L"D:\\Work\\Report.docx", L"D:\\Ä"}));
  EXPECT_FALSE(s.recycle_failed);
  EXPECT_FALSE(s.delete_scheduled);

  // Handed over within two whole seconds: added; a repeat is not.
  ASSERT_TRUE(add_handed_over_paths(s, std::vector<Target>{L"D:\\b.txt", L"D:\\ä"}, t0 + 2900ms));
  EXPECT_EQ(s.targets, (std::vector<Target>{L"D:\\Work\\Report.docx", L"D:\\Ä", L"D:\\b.txt", L"D:\\ä"}));
  ASSERT_TRUE(add_handed_over_paths(s, std::vector<Target>{L"D:\\B.TXT", L"E:\\c"}, t0 + 4900ms));
  EXPECT_EQ(s.targets.size(), 5u);
  // Later than that: replaced.
  ASSERT_TRUE(add_handed_over_paths(s, std::vector<Target>{L"F:\\new"}, t0 + 8000ms));
  EXPECT_EQ(s.targets, (std::vector<Target>{L"F:\\new"}));
}

// Hand-overs are resolved elsewhere and may come back in any order: each is applied in the
// order it came, with the 2-second rule counted from when it came; one overtaken by the
// user's own choice is dropped. Meanwhile the window searches, and every question about the
// targets asked before no longer counts.
TEST(WindowState, HandOversApplyInTheOrderTheyCame) {
  WindowState s;
  s.rows.push_back(HolderRow{});
  s.summary = ScanSummary{};
  const std::uint64_t generation = s.targets_generation, scan = s.scan_id;
  const std::uint64_t first = receive_hand_over(s, t0);
  EXPECT_TRUE(scan_running(s));
  EXPECT_FALSE(shows_empty_view(s));  // a search shows, though no target is known yet
  EXPECT_TRUE(s.rows.empty());
  EXPECT_FALSE(s.summary);
  EXPECT_GT(s.scan_id, scan);
  EXPECT_GT(s.targets_generation, generation);

  const std::uint64_t second = receive_hand_over(s, t0 + 1900ms);
  const std::uint64_t third = receive_hand_over(s, t0 + 3500ms);
  EXPECT_EQ(take_resolved_hand_over(s, ResolvedHandOver{third, {L"D:\\c"}, false}), HandOverStep::Waiting);
  EXPECT_EQ(take_resolved_hand_over(s, ResolvedHandOver{second, {L"D:\\b", L"D:\\A"}, true}), HandOverStep::Waiting);
  EXPECT_TRUE(s.targets.empty());
  EXPECT_EQ(take_resolved_hand_over(s, ResolvedHandOver{first, {L"D:\\a"}, false}), HandOverStep::Settled);
  // Each came within 2 s of the one before it, so they make one set.
  EXPECT_EQ(s.targets, (std::vector<Target>{L"D:\\a", L"D:\\b", L"D:\\c"}));
  EXPECT_TRUE(s.targets_hold_folder);
  EXPECT_EQ(s.targets_time, t0 + 3500ms);
  EXPECT_EQ(take_resolved_hand_over(s, ResolvedHandOver{first, {L"D:\\x"}, false}), HandOverStep::Stale);

  // Files dropped before a hand-over is resolved: the drop is the later choice.
  const std::uint64_t late = receive_hand_over(s, t0 + 6000ms);
  ASSERT_TRUE(set_targets(s, std::vector<Target>{L"D:\\dropped"}, false, t0 + 6500ms));
  EXPECT_EQ(take_resolved_hand_over(s, ResolvedHandOver{late, {L"D:\\late"}, false}), HandOverStep::Stale);
  EXPECT_EQ(s.targets, std::vector<Target>{L"D:\\dropped"});
  EXPECT_TRUE(s.hand_overs.empty());

  // One whose paths named nothing changes nothing but settles.
  const std::uint64_t empty = receive_hand_over(s, t0 + 7000ms);
  const std::uint64_t before = s.targets_generation;
  EXPECT_EQ(take_resolved_hand_over(s, ResolvedHandOver{empty, {}, false}), HandOverStep::Settled);
  EXPECT_EQ(s.targets, std::vector<Target>{L"D:\\dropped"});
  EXPECT_EQ(s.targets_generation, before);
}

int g_folder_questions = 0;
bool folders_end_in_slash_x(const Target& t) {
  ++g_folder_questions;
  return t.ends_with(L"\\x");
}

// Whether targets hold a folder is asked once per new target, until one is, and thousands of
// targets are taken in one pass.
TEST(WindowState, TargetsLearnOnceWhetherTheyHoldAFolder) {
  WindowState s;
  std::vector<Target> many;
  for (int i = 0; i < 20'000; ++i) many.push_back(L"D:\\f" + std::to_wstring(i % 15'000) + L".txt");
  ASSERT_TRUE(set_targets(s, many, false, t0, &folders_end_in_slash_x));
  EXPECT_EQ(s.targets.size(), 15'000u);
  EXPECT_EQ(g_folder_questions, 15'000);
  EXPECT_FALSE(s.targets_hold_folder);

  g_folder_questions = 0;
  ASSERT_TRUE(add_handed_over_paths(s, std::vector<Target>{L"D:\\F1.TXT", L"D:\\x", L"D:\\y"}, t0, &folders_end_in_slash_x));
  EXPECT_EQ(g_folder_questions, 1);  // the repeat is not asked about, nor anything after a folder
  EXPECT_TRUE(s.targets_hold_folder);
  EXPECT_EQ(s.targets.size(), 15'002u);

  // A finished search knows better.
  apply_result(s, TakenResult{s.scan_id, ScanResult{}});
  EXPECT_FALSE(s.targets_hold_folder);
}

TEST(WindowState, ScansTakeOnlyTheirOwnProgressAndResults) {
  WindowState s;
  EXPECT_FALSE(begin_scan(s, false));  // no targets, no scan
  ASSERT_TRUE(set_targets(s, std::vector<Target>{L"D:\\x"}, false, t0));
  s.rows.push_back(HolderRow{});
  const auto first = begin_scan(s, false);
  const auto second = begin_scan(s, true);  // started again before the first finished
  ASSERT_TRUE(first && second);
  EXPECT_EQ(second->scan_id, first->scan_id + 1);
  EXPECT_TRUE(second->deep);
  EXPECT_TRUE(s.rows.empty());
  EXPECT_TRUE(scan_running(s));

  EXPECT_FALSE(apply_progress(s, TakenProgress{first->scan_id, {500, 0.0f, ScanPhase::Listing}}));
  EXPECT_TRUE(apply_progress(s, TakenProgress{second->scan_id, {1000, 0.0f, ScanPhase::Listing}}));
  EXPECT_EQ(s.progress.files, 1000u);

  ScanResult stale;
  stale.holders.resize(3);
  EXPECT_FALSE(apply_result(s, TakenResult{first->scan_id, std::move(stale)}));
  EXPECT_TRUE(scan_running(s));

  ScanResult current;
  current.holders.resize(2);
  current.holders[1].title = "B";
  current.files_checked = 9;
  current.deep = true;
  ASSERT_TRUE(apply_result(s, TakenResult{second->scan_id, std::move(current)}));
  EXPECT_FALSE(scan_running(s));
  ASSERT_EQ(s.rows.size(), 2u);
  EXPECT_EQ(s.rows[1].holder.title, "B");
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Idle);
  EXPECT_EQ(s.summary->files_checked, 9u);
  // Progress that arrives after the result is dropped.
  EXPECT_FALSE(apply_progress(s, TakenProgress{second->scan_id, {1, 0.0f, ScanPhase::Listing}}));
}

void give_target(WindowState& s) { ASSERT_TRUE(set_targets(s, std::vector<Target>{L"D:\\x"}, false, t0)); }

// Stop (its button or Escape) in every state the window can be in: only a running search of
// known targets stops, once; its result then shows as stopped, and a new search starts afresh.
TEST(WindowState, StopEndsOnlyARunningSearch) {
  struct Case {
    const char* name;
    void (*setup)(WindowState&);
    KeyCommand escape;  // what Escape does, with a notice showing
    bool stops;
  };
  const Case cases[] = {
      {"no targets", [](WindowState&) {}, KeyCommand::DismissNotice, false},
      {"finished",
       [](WindowState& s) {
         give_target(s);
         s.summary = ScanSummary{};
       },
       KeyCommand::DismissNotice, false},
      {"searching",
       [](WindowState& s) {
         give_target(s);
         ASSERT_TRUE(begin_scan(s, false));
       },
       KeyCommand::StopSearch, true},
      {"deep searching",
       [](WindowState& s) {
         give_target(s);
         ASSERT_TRUE(begin_scan(s, true));
         s.progress.phase = ScanPhase::DeepSearching;
       },
       KeyCommand::StopSearch, true},
      {"already stopping",
       [](WindowState& s) {
         give_target(s);
         ASSERT_TRUE(begin_scan(s, false));
         ASSERT_TRUE(stop_scan(s));
       },
       KeyCommand::DismissNotice, false},
      {"taking in handed-over paths", [](WindowState& s) { receive_hand_over(s, t0); }, KeyCommand::DismissNotice,
       false},
  };
  for (const Case& c : cases) {
    WindowState s;
    c.setup(s);
    s.notice = "Closed";
    EXPECT_EQ(key_action(s, {}, KeyPress{VK_ESCAPE}, 500.0f, 0.0f).command, c.escape) << c.name;
    const WindowState before = s;
    const bool flag_before = s.scan_stop && *s.scan_stop;
    EXPECT_EQ(stop_scan(s), c.stops) << c.name;
    EXPECT_EQ(scan_running(s), scan_running(before)) << c.name;  // the worker's result ends the search
    EXPECT_EQ(s.stopping, c.stops || before.stopping) << c.name;
    EXPECT_EQ(s.scan_stop && *s.scan_stop, c.stops || flag_before) << c.name;
    if (!c.stops) continue;

    // What the worker found until then, marked stopped; then a search again starts unstopped.
    ScanResult partial;
    partial.holders.resize(1);
    partial.stopped = true;
    const std::shared_ptr<std::atomic<bool>> old = s.scan_stop;
    ASSERT_TRUE(apply_result(s, TakenResult{s.scan_id, std::move(partial)})) << c.name;
    EXPECT_FALSE(scan_running(s));
    EXPECT_FALSE(s.stopping);
    EXPECT_TRUE(s.summary->stopped);
    EXPECT_EQ(s.rows.size(), 1u);
    const auto again = begin_scan(s, false);
    ASSERT_TRUE(again && again->stop);
    EXPECT_FALSE(*again->stop);
    EXPECT_NE(again->stop, old);
    EXPECT_TRUE(can_stop_scan(s));
  }
}

// A search replaced by another, or by paths handed over, is told to stop: nobody waits for it.
TEST(WindowState, AReplacedSearchIsToldToStop) {
  WindowState s;
  ASSERT_TRUE(set_targets(s, std::vector<Target>{L"D:\\x"}, false, t0));
  const auto first = begin_scan(s, false);
  const auto second = begin_scan(s, true);
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(*first->stop);
  EXPECT_FALSE(*second->stop);
  receive_hand_over(s, t0);
  EXPECT_TRUE(*second->stop);
}

TEST(WindowState, TimersExpireNoticesAndStopWhenIdle) {
  WindowState s;
  set_notice(s, "Moved to the Recycle Bin", t0);
  set_notice(s, "Closed", t0 + 2s);  // replaces the first, with its own clock
  EXPECT_FALSE(expire_notice(s, t0 + 3200ms));
  EXPECT_FALSE(expire_notice(s, t0 + 4999ms));
  EXPECT_TRUE(expire_notice(s, t0 + 5000ms));
  EXPECT_FALSE(s.notice);

  s.progress.phase = ScanPhase::AskingWindows;
  EXPECT_TRUE(busy_tick(s));
  s.progress.phase = ScanPhase::Taken;
  s.rows.push_back(HolderRow{Holder{}, ActionState{ActionKind::Ending, {}}});
  EXPECT_TRUE(busy_tick(s));
  s.rows[0].action.kind = ActionKind::Closed;
  EXPECT_FALSE(busy_tick(s));
  EXPECT_EQ(s.tick, 3u);
}

TEST(WindowState, ScrollingAndSizesFollowTheDpi) {
  EXPECT_FLOAT_EQ(wheel_scroll(500.0f, -120, 144, 1000.0f), 650.0f);  // one notch down at 144 DPI
  EXPECT_FLOAT_EQ(wheel_scroll(500.0f, 120, 96, 1000.0f), 400.0f);
  EXPECT_FLOAT_EQ(wheel_scroll(50.0f, 240, 96, 1000.0f), 0.0f);
  EXPECT_FLOAT_EQ(wheel_scroll(950.0f, -240, 96, 1000.0f), 1000.0f);
  EXPECT_FLOAT_EQ(clamp_scroll(30.0f, -5.0f), 0.0f);  // content shorter than the window
  EXPECT_EQ(min_track_size(96).cx, 600);
  EXPECT_EQ(min_track_size(144).cx, 900);
  EXPECT_EQ(min_track_size(144).cy, 690);
  EXPECT_EQ(min_track_size(72).cy, 460);
}

TEST(WindowState, KeysScrollWithinTheContentAndStartOnlyWhatCanStart) {
  WindowState s;
  s.dpi = 144;
  const auto scroll_to = [](float value) { return KeyAction{KeyCommand::Scroll, value, {}}; };
  const auto key = [&](UINT k, bool control = false) {
    return key_action(s, {}, KeyPress{k, false, control}, 500.0f, 1000.0f);
  };
  struct Case {
    UINT key;
    float scroll;
    float maximum;
    KeyAction expected;
  };
  const Case cases[] = {
      {VK_NEXT, 300.0f, 1000.0f, scroll_to(700.0f)},   // 80% of a 500-pixel view
      {VK_NEXT, 900.0f, 1000.0f, scroll_to(1000.0f)},  // stops at the end
      {VK_PRIOR, 300.0f, 1000.0f, scroll_to(0.0f)},
      {VK_DOWN, 300.0f, 1000.0f, scroll_to(390.0f)},   // a line is 60 pixels at 96 DPI
      {VK_UP, 50.0f, 1000.0f, scroll_to(0.0f)},
      {VK_HOME, 300.0f, 1000.0f, scroll_to(0.0f)},
      {VK_END, 300.0f, 1000.0f, scroll_to(1000.0f)},
      {VK_END, 300.0f, -20.0f, scroll_to(0.0f)},       // content shorter than the view
      {VK_DOWN, 0.0f, 0.0f, scroll_to(0.0f)},
      {'X', 300.0f, 1000.0f, KeyAction{}},
      {VK_TAB, 300.0f, 1000.0f, KeyAction{}},          // nothing to focus
      {VK_RETURN, 300.0f, 1000.0f, KeyAction{}},       // nothing focused
      {VK_ESCAPE, 300.0f, 1000.0f, KeyAction{}},       // no notice
  };
  for (const Case& c : cases) {
    s.scroll = c.scroll;
    EXPECT_EQ(key_action(s, {}, KeyPress{c.key}, 500.0f, c.maximum), c.expected) << c.key << " from " << c.scroll;
  }

  // F5 and Ctrl+O.
  EXPECT_EQ(key(VK_F5).command, KeyCommand::None);  // no targets
  s.targets = {L"C:\\a.txt"};
  EXPECT_EQ(key(VK_F5).command, KeyCommand::Rescan);
  s.progress.phase = ScanPhase::Listing;
  EXPECT_EQ(key(VK_F5).command, KeyCommand::None);  // one search at a time
  EXPECT_EQ(key('O').command, KeyCommand::None);
  EXPECT_EQ(key('O', true).command, KeyCommand::ChooseFiles);
  s.progress.phase = ScanPhase::Taken;  // while searching, Escape stops the search first
  s.notice = "Closed";
  EXPECT_EQ(key(VK_ESCAPE).command, KeyCommand::DismissNotice);
}

TEST(WindowState, FocusFollowsItsProgramsRowThroughARescan) {
  const auto row = [](std::uint32_t pid, std::uint64_t start, ActionKind action = ActionKind::Idle) {
    Holder h;
    h.pid = pid;
    h.start_time = start;
    h.has_window = true;
    return HolderRow{h, ActionState{action, {}}};
  };
  // The menu button, then each row with a Close button while it is idle.
  const auto elements = [](const WindowState& s) {
    std::vector<Hit> order{Hit{HitKind::MenuButton, 0}};
    for (std::size_t i = 0; i < s.rows.size(); ++i) {
      order.push_back(Hit{HitKind::Row, i});
      if (s.rows[i].action.kind == ActionKind::Idle) order.push_back(Hit{HitKind::RowClose, i});
    }
    return focus_ids(s, order);
  };
  WindowState s;
  s.rows = {row(10, 1), row(20, 2), row(30, 3)};
  set_focus(s, Hit{HitKind::RowClose, 1});
  ASSERT_TRUE(s.focus);
  EXPECT_EQ(s.focus->pid, 20u);
  refocus_rows(s, elements(s));

  // The same program, now second to last of four: the focus goes with it.
  s.rows = {row(5, 9), row(10, 1), row(20, 2), row(30, 3)};
  refocus_rows(s, elements(s));
  EXPECT_EQ(s.focus->hit, (Hit{HitKind::RowClose, 2}));
  // Its Close button went (it is closing): the row itself keeps the focus.
  s.rows[2].action.kind = ActionKind::Closing;
  refocus_rows(s, elements(s));
  EXPECT_EQ(s.focus->hit, (Hit{HitKind::Row, 2}));
  // Another process with the same id is another program: the focus goes to what came next.
  s.rows = {row(20, 7), row(30, 3)};
  refocus_rows(s, elements(s));
  EXPECT_EQ(s.focus->hit, (Hit{HitKind::RowClose, 1}));

  // Focus outside the rows is left alone.
  set_focus(s, Hit{HitKind::MenuButton, 0});
  s.rows.clear();
  refocus_rows(s, elements(s));
  EXPECT_EQ(s.focus->hit.kind, HitKind::MenuButton);
}

// The focus never vanishes with a button: it waits on the button's row while a remedy runs,
// goes back to that button when the row's buttons return, and moves on to what came next when
// the row itself goes. Tab walks on from the row meanwhile.
TEST(WindowState, TheFocusStaysOnABusyRowAndGoesOnWhenTheRowGoes) {
  // Elements: the header's menu button (M); a row of program P (its row R, Close C, Force
  // quit F); the footer's Recycle Bin (B). Rows are programs 1 to 3, started at 100 + pid.
  const auto ids = [](std::string_view text) {
    std::vector<FocusId> out;
    std::size_t row = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      switch (text[i]) {
        case 'M':
          out.push_back(FocusId{Hit{HitKind::MenuButton, 0}});
          break;
        case 'B':
          out.push_back(FocusId{Hit{HitKind::RecycleBin, 0}});
          break;
        case 'R':
        case 'C':
        case 'F': {
          const HitKind kind = text[i] == 'R' ? HitKind::Row : text[i] == 'C' ? HitKind::RowClose : HitKind::RowForceQuit;
          const std::uint32_t pid = static_cast<std::uint32_t>(text[++i] - '0');
          if (kind == HitKind::Row && !out.empty() && out.back().hit.kind != HitKind::MenuButton) ++row;
          out.push_back(FocusId{Hit{kind, row}, pid, 100u + pid});
          break;
        }
        default:
          break;
      }
    }
    return out;
  };
  const auto focus_at = [&](std::string_view text, std::size_t index, HitKind returns_to = HitKind::Nothing) {
    const FocusId id = ids(text)[index];
    return Focus{id.hit, id.pid, id.start_time, returns_to};
  };
  struct Case {
    const char* before;
    const char* after;
    std::size_t focused;  // in before
    HitKind returns_to;
    std::optional<std::size_t> expected;  // in after
    HitKind expected_returns_to;
  } cases[] = {
      // Close clicked: the row takes the focus and waits for Close ...
      {"M R1C1 R2C2 B", "M R1 R2C2 B", 2, HitKind::Nothing, 1, HitKind::RowClose},
      // ... which it gets back, though Force quit now stands beside it, or Force quit when
      // that was it; a row done for good keeps the focus.
      {"M R1 R2C2 B", "M R1C1F1 R2C2 B", 1, HitKind::RowClose, 2, HitKind::Nothing},
      {"M R1 R2C2 B", "M R1C1F1 R2C2 B", 1, HitKind::RowForceQuit, 3, HitKind::Nothing},
      {"M R1 R2C2 B", "M R1 R2C2 B", 1, HitKind::RowClose, 1, HitKind::RowClose},
      // Restart Explorer waited for, only Force quit came: the row's first button.
      {"M R1", "M R1F1", 1, HitKind::RowRestartExplorer, 2, HitKind::Nothing},
      // The row itself was focused: it stays there when its buttons come.
      {"M R1 B", "M R1C1 B", 1, HitKind::Nothing, 1, HitKind::Nothing},
      // The rows moved in a new result: the same program's button.
      {"M R1C1 R2C2 B", "M R3C3 R2C2 R1C1 B", 2, HitKind::Nothing, 6, HitKind::Nothing},
      // The row went: the next row's first button, else the footer, else round to the header.
      {"M R1C1 R2C2 B", "M R2C2 B", 2, HitKind::Nothing, 2, HitKind::Nothing},
      {"M R1 R2C2 B", "M R2C2 B", 1, HitKind::RowClose, 2, HitKind::Nothing},
      {"M R1C1 R2 R3C3 B", "M R2 R3C3 B", 1, HitKind::Nothing, 1, HitKind::Nothing},  // a busy next row
      {"M R1C1 R2C2 B", "M R1C1 B", 4, HitKind::Nothing, 3, HitKind::Nothing},
      {"M R1C1", "M", 2, HitKind::Nothing, 0, HitKind::Nothing},
      // A button outside the rows that went: the next one still there.
      {"M R1C1 B", "R1C1", 0, HitKind::Nothing, 1, HitKind::Nothing},
      // Where it was is not known: the first element; with none, no focus.
      {"", "M R2C2 B", 0, HitKind::Nothing, 0, HitKind::Nothing},
      {"M R1C1", "", 2, HitKind::Nothing, std::nullopt, HitKind::Nothing},
  };
  for (const Case& c : cases) {
    const std::vector<FocusId> before = ids(c.before), after = ids(c.after);
    const Focus focus = before.empty() ? focus_at("R1", 0) : focus_at(c.before, c.focused, c.returns_to);
    const std::optional<Focus> got = refocus(before, after, focus);
    const std::string name = std::string(c.before) + " -> " + c.after;
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << name;
    if (!got) continue;
    const FocusId& want = after[*c.expected];
    EXPECT_EQ(got->hit, want.hit) << name;
    EXPECT_EQ(got->hit.row, want.hit.row) << name;
    EXPECT_EQ(got->pid, want.pid) << name;
    EXPECT_EQ(got->returns_to, c.expected_returns_to) << name;
  }
  EXPECT_FALSE(refocus(ids("M"), ids("M"), std::nullopt));  // no focus is not given one

  // While program 1 closes, Tab and Shift+Tab walk on from its row.
  WindowState s;
  s.focus = focus_at("M R1 R2C2 B", 1, HitKind::RowClose);
  const std::vector<Hit> order{Hit{HitKind::MenuButton, 0}, Hit{HitKind::Row, 0}, Hit{HitKind::Row, 1},
                               Hit{HitKind::RowClose, 1}, Hit{HitKind::RecycleBin, 0}};
  EXPECT_EQ(key_action(s, order, KeyPress{VK_TAB}, 300.0f, 0.0f).target, (Hit{HitKind::Row, 1}));
  EXPECT_EQ(key_action(s, order, KeyPress{VK_TAB, true}, 300.0f, 0.0f).target, (Hit{HitKind::MenuButton, 0}));
}

TEST(WindowState, ScrollingToShowMovesAsLittleAsItCan) {
  // The view shows content 52..400 below the header; content may scroll by up to 1000.
  EXPECT_EQ(scroll_to_show(0, 100, 194, 52, 400, 1000), 0);       // already in view
  EXPECT_EQ(scroll_to_show(0, 380, 474, 52, 400, 1000), 74);      // below: its bottom comes up to the footer
  EXPECT_EQ(scroll_to_show(300, 200, 294, 52, 400, 1000), 148);   // above: its top comes down to the header
  EXPECT_EQ(scroll_to_show(0, 1300, 1394, 52, 400, 1000), 994);
  EXPECT_EQ(scroll_to_show(0, 1500, 1594, 52, 400, 1000), 1000);  // never past the end
  EXPECT_EQ(scroll_to_show(500, 100, 900, 52, 400, 1000), 48);    // taller than the view: its top shows
}

TEST(WindowState, HandOverAcceptsOnlyItsOwnTaggedText) {
  const std::wstring text = hand_over_text(std::vector<Target>{L"C:\\a b.txt", L"D:\\x"});
  EXPECT_EQ(text, L"C:\\a b.txt\nD:\\x");
  auto paths = parse_hand_over(kHandOverTag, text.data(), static_cast<DWORD>(text.size() * 2));
  ASSERT_TRUE(paths);
  EXPECT_EQ(*paths, (std::vector<Target>{L"C:\\a b.txt", L"D:\\x"}));

  EXPECT_FALSE(parse_hand_over(0x5F, text.data(), 4));
  EXPECT_FALSE(parse_hand_over(kHandOverTag, nullptr, 4));
  // Odd byte count rounded down, empty pieces skipped, lone surrogates replaced.
  const std::wstring odd = L"\nA\n\n\xD800" L"B\n";
  paths = parse_hand_over(kHandOverTag, odd.data(), static_cast<DWORD>(odd.size() * 2 + 1));
  ASSERT_TRUE(paths);
  EXPECT_EQ(*paths, (std::vector<Target>{L"A", L"\xFFFD" L"B"}));
  EXPECT_TRUE(parse_hand_over(kHandOverTag, odd.data(), 1)->empty());
  // A piece ends at its first NUL, as the file functions would read it; nothing is left of
  // a piece that starts with one.
  const std::wstring nuls(L"D:\\a\0\\..\\..\nD:\\b\0\n\0D:\\c\nD:\\d\0", 29);
  paths = parse_hand_over(kHandOverTag, nuls.data(), static_cast<DWORD>(nuls.size() * 2));
  ASSERT_TRUE(paths);
  EXPECT_EQ(*paths, (std::vector<Target>{L"D:\\a", L"D:\\b", L"D:\\d"}));
}

}  // namespace
}  // namespace tw
