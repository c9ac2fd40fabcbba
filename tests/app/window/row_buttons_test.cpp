#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "app/language/catalogue.h"
#include "app/window/main_window.h"
#include "app/window/message_boxes.h"
#include "app/window/row_buttons.h"
#include "app/window/view.h"
#include "common/text.h"
#include "discovery/paths.h"
#include "procs/end_process.h"
#include "procs/process_facts.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"
#include "support/test_window.h"

namespace tw {
namespace {

// Handles the window's messages until `done`, for at most 30 s; whether it came.
template <class Done>
bool wait(Done done) {
  for (const ULONGLONG deadline = ::GetTickCount64() + 30'000; !done();) {
    if (::GetTickCount64() > deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    test::dispatch_waiting_messages();
  }
  return true;
}

HolderRow row_of(std::uint32_t pid, HolderKind kind, ActionKind action = ActionKind::Idle) {
  Holder h;
  h.title = "Report {1}";  // a title is never searched for placeholders
  h.pid = pid;
  h.kind = kind;
  h.start_time = creation_time(pid).value_or(0);
  return HolderRow{h, ActionState{action, action == ActionKind::Failed ? "old" : ""}};
}

TEST(RowRemedies, OutcomesOfTheCurrentScanSetTheFirstRowOfTheirProcess) {
  constexpr auto ended = static_cast<std::uint8_t>(ForceQuitResult::Ended);
  constexpr auto still = static_cast<std::uint8_t>(ForceQuitResult::StillRunning);
  constexpr auto refused = static_cast<std::uint8_t>(ForceQuitResult::Refused);
  constexpr auto denied = static_cast<std::uint8_t>(ForceQuitResult::CouldNotEnd);
  struct Case {
    RemedyKind kind;
    std::uint8_t result;
    bool elevated;
    ActionKind state;
    const Message* message;
  } const cases[] = {
      {RemedyKind::Close, 1, false, ActionKind::Closed, nullptr},
      {RemedyKind::Close, 0, false, ActionKind::NotClosed, nullptr},
      {RemedyKind::ForceQuit, ended, false, ActionKind::Closed, nullptr},
      {RemedyKind::ForceQuit, still, false, ActionKind::Failed, &msg::kStillRunning},
      {RemedyKind::ForceQuit, refused, true, ActionKind::Failed, &msg::kPartOfWindowsCantEnd},
      {RemedyKind::ForceQuit, denied, false, ActionKind::Failed, &msg::kNoPermissionToEnd},
      {RemedyKind::ForceQuit, denied, true, ActionKind::Failed, &msg::kWindowsRefusedEnding},
      {RemedyKind::RestartExplorer, 1, false, ActionKind::Restarted, nullptr},
      {RemedyKind::RestartExplorer, 0, false, ActionKind::Failed, &msg::kCouldNotRestartExplorer},
  };
  for (const Case& c : cases) {
    WindowState s;
    s.scan_id = 3;
    s.elevated = c.elevated;
    s.rows = {row_of(10, HolderKind::Program, ActionKind::Failed), row_of(10, HolderKind::Program)};
    EXPECT_TRUE(apply_remedy_outcome(s, RemedyOutcome{3, c.kind, c.result, 10}));
    EXPECT_EQ(s.rows[0].action.kind, c.state) << int(c.kind) << "/" << int(c.result);
    EXPECT_EQ(s.rows[0].action.message, c.message ? localized(*c.message) : "");  // the old one is gone
    EXPECT_EQ(s.rows[1].action.kind, ActionKind::Idle);
  }

  WindowState s;
  s.scan_id = 3;
  s.rows = {row_of(10, HolderKind::Program, ActionKind::Closing)};
  EXPECT_FALSE(apply_remedy_outcome(s, RemedyOutcome{2, RemedyKind::Close, 1, 10}));  // an older scan's
  EXPECT_FALSE(apply_remedy_outcome(s, RemedyOutcome{3, RemedyKind::Close, 1, 30}));  // no such row
  EXPECT_FALSE(apply_remedy_outcome(s, RemedyOutcome{3, RemedyKind::DeleteOnRestart, 1, 10}));
  EXPECT_EQ(s.rows[0].action.kind, ActionKind::Closing);

  // An open's id is the server's: it may equal a process id, and each outcome finds its own kind.
  s.rows = {row_of(10, HolderKind::Program, ActionKind::Closing), row_of(10, HolderKind::NetworkOpen, ActionKind::Disconnecting)};
  constexpr auto gone = static_cast<std::uint8_t>(DisconnectResult::AlreadyGone);
  constexpr auto refused_open = static_cast<std::uint8_t>(DisconnectResult::AccessDenied);
  EXPECT_TRUE(apply_remedy_outcome(s, RemedyOutcome{3, RemedyKind::Disconnect, gone, 10}));
  EXPECT_EQ(s.rows[0].action.kind, ActionKind::Closing);
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Disconnected);
  EXPECT_TRUE(apply_remedy_outcome(s, RemedyOutcome{3, RemedyKind::Disconnect, refused_open, 10}));
  EXPECT_EQ(s.rows[1].action.message, localized(msg::kDisconnectNeedsAdmin));
  EXPECT_TRUE(apply_remedy_outcome(s, RemedyOutcome{3, RemedyKind::Close, 1, 10}));
  EXPECT_EQ(s.rows[0].action.kind, ActionKind::Closed);
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Failed);
}

TEST(RowRemedies, ClicksCountOnlyOnIdleRowsOfTheRightKind) {
  WindowState s;
  s.rows = {row_of(1, HolderKind::Program),          row_of(2, HolderKind::Program, ActionKind::Closing),
            row_of(3, HolderKind::FileExplorer),     row_of(4, HolderKind::Service),
            row_of(5, HolderKind::WindowsComponent), row_of(6, HolderKind::Program, ActionKind::Failed),
            row_of(7, HolderKind::FileExplorer, ActionKind::Restarting), row_of(8, HolderKind::NetworkOpen),
            row_of(9, HolderKind::NetworkOpen, ActionKind::Disconnecting)};
  const auto allowed = [&](HitKind button) {
    std::string marks;
    for (std::size_t i = 0; i <= s.rows.size(); ++i) marks += row_remedy_allowed(s, button, i) ? 'y' : '-';
    return marks;
  };
  EXPECT_EQ(allowed(HitKind::RowClose), "y----y----");
  EXPECT_EQ(allowed(HitKind::RowForceQuit), "y----y----");
  EXPECT_EQ(allowed(HitKind::RowRestartExplorer), "--y-------");
  EXPECT_EQ(allowed(HitKind::RowDisconnect), "-------y--");
  EXPECT_EQ(allowed(HitKind::RecycleBin), "----------");
}

// What the stand-in message box was asked, and what it answers.
int g_answer = IDNO;
std::vector<std::string> g_asked;
UINT g_flags = 0;
void (*g_while_asking)() = nullptr;  // e.g. a new scan that arrives while the box is up

int WINAPI fake_box(HWND, const wchar_t* text, const wchar_t*, UINT flags) {
  g_asked.push_back(to_utf8(text));
  g_flags = flags;
  if (g_while_asking) g_while_asking();
  return g_answer;
}

// The real window procedure on a headless window, with rows for helper processes.
TEST(RowRemedyWindow, CloseStartsAtOnceAndForceQuitOnlyOnYesForTheSameRow) {
  auto windowless = test::HolderProcess::start({});
  auto program = test::HolderProcess::start({L"--window", L"Report"});
  ASSERT_TRUE(windowless && program);
  WindowApi platform;
  platform.message_box = &fake_box;
  WindowState* opened = test::open_test_main_window(platform);
  ASSERT_TRUE(opened);
  WindowState& s = *opened;
  const HWND window = s.window;
  s.scan_id = 5;
  s.rows = {row_of(windowless->pid(), HolderKind::Program), row_of(program->pid(), HolderKind::Program)};

  const auto click = [&](HitKind button, std::size_t row) {
    EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{button, row}); }));
    ::SendMessageW(window, WM_NULL, 0, 0);  // a confirmation waits until the handler lets go
  };
  const auto settle = [&](std::size_t row) {  // handles messages until the outcome came
    for (const ULONGLONG deadline = ::GetTickCount64() + 15'000; is_busy(s.rows[row].action.kind);) {
      if (::GetTickCount64() > deadline) return false;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      test::dispatch_waiting_messages();
    }
    return true;
  };

  s.rows[0].holder.has_window = true;  // shown with Close, which has the keyboard focus
  set_focus(s, Hit{HitKind::RowClose, 0});
  click(HitKind::RowClose, 0);
  EXPECT_EQ(s.rows[0].action.kind, ActionKind::Closing);
  EXPECT_EQ(s.focus->hit, (Hit{HitKind::Row, 0}));  // the button went: its row keeps the focus
  click(HitKind::RowClose, 0);  // ignored while it runs
  EXPECT_TRUE(settle(0));
  EXPECT_EQ(s.rows[0].action.kind, ActionKind::NotClosed);
  EXPECT_EQ(s.focus->hit, (Hit{HitKind::RowClose, 0}));  // and gives it back with the buttons
  EXPECT_TRUE(g_asked.empty());

  click(HitKind::RowForceQuit, 1);  // answered No
  g_answer = IDYES;
  g_while_asking = [] { with_main_window([](MainWindow& w) { ++w.state.scan_id; }); };
  click(HitKind::RowForceQuit, 1);  // Yes, but the rows were replaced meanwhile
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Idle);
  g_while_asking = nullptr;
  click(HitKind::RowForceQuit, 1);
  ASSERT_EQ(g_asked.size(), 3u);
  const std::string title[] = {"Report {1}"};
  EXPECT_EQ(g_asked[0], fill_placeholders(localized(msg::kConfirmForceQuit), title));
  EXPECT_EQ(g_flags, confirm_flags(ConfirmKind::Warning));
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Ending);
  EXPECT_TRUE(settle(1));
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Closed);
  EXPECT_EQ(::WaitForSingleObject(program->process(), 0), WAIT_OBJECT_0);

  test::close_test_main_window(window);
}

// A deep search from the window finds a DLL kept loaded and a file kept mapped, its row says how,
// and after Force quit the file deletes.
TEST(RowRemedyWindow, ALoadedOrMappedFileIsShownSoAndFreedByForceQuit) {
  test::TempDir dir;
  const std::wstring plugin = dir / L"plug-in.dll", data = dir / L"data.bin";
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_planted.dll").c_str(), plugin.c_str(), FALSE));
  ASSERT_TRUE(test::write_file(data, "data"));
  const struct {
    const wchar_t* option;
    const std::wstring& file;
    const Message& words;
  } cases[] = {{L"--load", plugin, msg::kHeldLoaded}, {L"--map", data, msg::kHeldMapped}};
  WindowApi platform;
  platform.message_box = &fake_box;
  WindowState* opened = test::open_test_main_window(platform);
  ASSERT_TRUE(opened);
  WindowState& s = *opened;
  g_answer = IDYES;
  for (const auto& c : cases) {
    auto holder = test::HolderProcess::start({c.option, c.file});
    ASSERT_TRUE(holder);
    ASSERT_TRUE(with_main_window([&](MainWindow& w) {
      set_window_targets(w, std::vector<Target>{c.file}, false);
      start_window_scan(w, true);
    }));
    ASSERT_TRUE(wait([&] { return !scan_running(s) && s.summary; }));
    const auto row = std::find_if(s.rows.begin(), s.rows.end(),
                                  [&](const HolderRow& r) { return r.holder.pid == holder->pid(); });
    ASSERT_NE(row, s.rows.end());
    const std::size_t index = static_cast<std::size_t>(row - s.rows.begin());
    const Layout layout = layout_view(s, ViewSize{880, 640, 1.0f}, fixed_metrics(), true);
    const std::string said = fill_placeholders(localized(c.words), std::vector<std::string>{last_component(c.file)});
    EXPECT_TRUE(std::any_of(layout.rows.begin(), layout.rows.end(), [&](const RowLayout& r) {
      return r.details.find(said) != std::string::npos;
    })) << said;

    EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{HitKind::RowForceQuit, index}); }));
    ::SendMessageW(s.window, WM_NULL, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(holder->process(), 15'000), WAIT_OBJECT_0);
    EXPECT_TRUE(::DeleteFileW(c.file.c_str())) << "error " << ::GetLastError();
  }
  g_answer = IDNO;
  test::close_test_main_window(s.window);
}

// A service that stops at once, with one dependent, as the stand-in service manager has it.
std::string g_stopped;
StatusReply service_status(const std::string& name) {
  const bool stopped = g_stopped.find(name) != std::string::npos;
  return StatusReply{ERROR_SUCCESS, ServiceStatus{stopped ? DWORD{SERVICE_STOPPED} : DWORD{SERVICE_RUNNING},
                                                  SERVICE_ACCEPT_STOP, 0, 0, stopped ? 0u : 4242u}};
}
ServiceApi stand_in_services() {
  ServiceApi api;
  api.running = [] { return std::vector<RunningService>{{"Spooler", "Print Spooler", {}}}; };
  api.query = &service_status;
  api.send_stop = [](const std::string& name) {
    g_stopped += name + ";";
    return service_status(name);
  };
  api.dependents = [](const std::string& name) {
    DependentsReply reply;
    if (name == "Spooler" && g_stopped.find("Fax") == std::string::npos) reply.services.push_back({"Fax", "", {}});
    return reply;
  };
  api.process_critical = [](std::uint32_t) -> std::optional<bool> { return false; };
  return api;
}

// A service's row offers Stop service after the other buttons' place, reachable and named like
// them; its confirmation names the dependents, and once stopped the window says so and
// searches again.
TEST(RowRemedyWindow, StopServiceConfirmsWithItsDependentsThenSearchesAgain) {
  test::TempDir dir;
  const std::wstring file = dir / L"held.txt";
  ASSERT_TRUE(test::write_file(file, "x"));
  WindowApi platform;
  platform.message_box = &fake_box;
  platform.services = stand_in_services();
  WindowState* opened = test::open_test_main_window(platform);
  ASSERT_TRUE(opened);
  WindowState& s = *opened;
  ASSERT_TRUE(with_main_window([&](MainWindow& w) { set_window_targets(w, std::vector<Target>{file}, false); }));
  ASSERT_TRUE(wait([&] { return !scan_running(s) && s.summary; }));

  HolderRow row = row_of(4242, HolderKind::WindowsComponent);
  row.holder.stoppable_services = {"Spooler"};
  s.rows = {row_of(10, HolderKind::Program), row};
  s.rows[0].holder.has_window = true;
  const Layout layout = layout_view(s, ViewSize{880, 640, 1.0f}, fixed_metrics(), true);
  const std::vector<Hit> order = focus_order(layout, s);
  const auto at = std::find(order.begin(), order.end(), Hit{HitKind::RowStopService, 1});
  ASSERT_NE(at, order.end());
  EXPECT_EQ(*(at - 1), (Hit{HitKind::Row, 1}));
  EXPECT_TRUE(std::any_of(layout.rows_buttons.begin(), layout.rows_buttons.end(), [](const ViewElement& e) {
    return e.hit == Hit{HitKind::RowStopService, 1} && e.label == localized(msg::kStopService);
  }));
  EXPECT_FALSE(row_remedy_allowed(s, HitKind::RowStopService, 0));

  g_asked.clear();
  g_answer = IDNO;
  const std::uint64_t scan_id = s.scan_id;
  EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{HitKind::RowStopService, 1}); }));
  ::SendMessageW(s.window, WM_NULL, 0, 0);
  EXPECT_EQ(s.rows[1].action.kind, ActionKind::Idle);  // No changes nothing
  g_answer = IDYES;
  EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{HitKind::RowStopService, 1}); }));
  ::SendMessageW(s.window, WM_NULL, 0, 0);
  ASSERT_EQ(g_asked.size(), 2u);
  EXPECT_EQ(g_asked[1], "Stop the service Print Spooler (Spooler)?\n\nWhat it does stops until it starts again or the "
                        "PC restarts.\n\nThese services depend on it and are stopped first: Fax");
  EXPECT_EQ(g_flags, confirm_flags(ConfirmKind::Warning));
  ASSERT_TRUE(wait([&] { return s.scan_id != scan_id && !scan_running(s); }));
  EXPECT_EQ(g_stopped, "Fax;Spooler;");
  EXPECT_EQ(s.notice, std::optional<std::string>("Spooler: Stopped"));
  EXPECT_TRUE(s.rows.empty());  // the new search found nothing holding the file
  g_answer = IDNO;
  test::close_test_main_window(s.window);
}

// A file another computer opened: Disconnect asks first, closes the open by the server's id on
// Yes, and a search follows only when the open is gone (closed, or gone meanwhile).
std::vector<std::uint32_t> g_closed_opens;
std::uint32_t g_close_status = 0;
std::uint32_t close_open_stand_in(std::uint32_t id) {
  g_closed_opens.push_back(id);
  return g_close_status;
}

TEST(RowRemedyWindow, DisconnectAsksThenClosesTheOpenAndSearchesAgainOnlyWhenItWent) {
  test::TempDir dir;
  const std::wstring file = dir / L"shared.txt";
  ASSERT_TRUE(test::write_file(file, "x"));
  WindowApi platform;
  platform.message_box = &fake_box;
  platform.close_open = &close_open_stand_in;
  WindowState* opened = test::open_test_main_window(platform);
  ASSERT_TRUE(opened);
  WindowState& s = *opened;
  const struct {
    std::uint32_t status;  // NetFileClose's answer
    ActionKind state;
    bool searched_again;
  } cases[] = {{0, ActionKind::Disconnected, true},      // NERR_Success
               {2314, ActionKind::Disconnected, true},   // NERR_FileIdNotFound: it went meanwhile
               {5, ActionKind::Failed, false}};          // access denied
  for (const auto& c : cases) {
    ASSERT_TRUE(with_main_window([&](MainWindow& w) { set_window_targets(w, std::vector<Target>{file}, false); }));
    ASSERT_TRUE(wait([&] { return !scan_running(s) && s.summary; }));
    HolderRow row = row_of(134217741, HolderKind::NetworkOpen);
    row.holder.title = "ana";
    row.holder.held = "shared.txt";
    s.rows = {row};
    g_closed_opens.clear();
    g_close_status = c.status;
    g_asked.clear();
    g_answer = IDNO;
    EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{HitKind::RowDisconnect, 0}); }));
    ::SendMessageW(s.window, WM_NULL, 0, 0);
    EXPECT_TRUE(g_closed_opens.empty()) << c.status;  // No closes nothing
    g_answer = IDYES;
    const std::uint64_t scan_id = s.scan_id;
    EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{HitKind::RowDisconnect, 0}); }));
    ::SendMessageW(s.window, WM_NULL, 0, 0);
    ASSERT_EQ(g_asked.size(), 2u);
    EXPECT_EQ(g_flags, confirm_flags(ConfirmKind::Warning));
    if (c.searched_again) {
      ASSERT_TRUE(wait([&] { return s.scan_id != scan_id && !scan_running(s); })) << c.status;
    } else {
      ASSERT_TRUE(wait([&] { return !s.rows.empty() && s.rows[0].action.kind == c.state; })) << c.status;
      EXPECT_EQ(s.scan_id, scan_id);
    }
    EXPECT_EQ(g_closed_opens, std::vector<std::uint32_t>{134217741u}) << c.status;
  }
  g_answer = IDNO;
  test::close_test_main_window(s.window);
}

// Release the file only, for a program found holding the file by handles: offered after Close,
// reached in the focus order after it, done only on Yes to its warning; the program keeps
// running, the file deletes, and the targets are searched again.
TEST(RowRemedyWindow, ReleaseTheFileOnlyComesLastAndFreesTheFileWhileTheProgramRuns) {
  test::TempDir dir;
  const std::wstring file = dir / L"kept.txt";
  ASSERT_TRUE(test::write_file(file));
  auto program = test::HolderProcess::start({L"--window", L"Editor", L"--share", L"r", L"--open", file});
  ASSERT_TRUE(program);
  WindowApi platform;
  platform.message_box = &fake_box;
  WindowState* opened = test::open_test_main_window(platform);
  ASSERT_TRUE(opened);
  WindowState& s = *opened;
  ASSERT_TRUE(with_main_window([&](MainWindow& w) {
    set_window_targets(w, std::vector<Target>{file}, false);
    start_window_scan(w, true);
  }));
  ASSERT_TRUE(wait([&] { return !scan_running(s) && s.summary; }));
  const auto row = std::find_if(s.rows.begin(), s.rows.end(),
                                [&](const HolderRow& r) { return r.holder.pid == program->pid(); });
  ASSERT_NE(row, s.rows.end());
  const std::size_t index = static_cast<std::size_t>(row - s.rows.begin());
  const auto kinds = row_button_kinds(*row);
  ASSERT_EQ(kinds.size(), 2u);
  EXPECT_EQ(kinds[0].first, HitKind::RowClose);
  EXPECT_EQ(kinds[1].first, HitKind::RowReleaseFile);
  const Layout layout = layout_view(s, ViewSize{880, 640, 1.0f}, fixed_metrics(), true);
  const std::vector<Hit> order = focus_order(layout, s);
  const auto at = [&](HitKind k) { return std::find(order.begin(), order.end(), Hit{k, index}) - order.begin(); };
  EXPECT_EQ(at(HitKind::RowReleaseFile), at(HitKind::RowClose) + 1);
  const auto button = std::find_if(layout.rows_buttons.begin(), layout.rows_buttons.end(),
                                   [&](const ViewElement& e) { return e.hit == Hit{HitKind::RowReleaseFile, index}; });
  ASSERT_NE(button, layout.rows_buttons.end());
  EXPECT_EQ(button->label, localized(msg::kReleaseFileOnly));

  const std::uint64_t searched = s.scan_id;
  g_asked.clear();
  g_answer = IDNO;
  EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{HitKind::RowReleaseFile, index}); }));
  ::SendMessageW(s.window, WM_NULL, 0, 0);
  EXPECT_EQ(s.rows[index].action.kind, ActionKind::Idle);  // No: nothing done
  g_answer = IDYES;
  EXPECT_TRUE(with_main_window([&](MainWindow& w) { click_row_remedy(w, Hit{HitKind::RowReleaseFile, index}); }));
  ::SendMessageW(s.window, WM_NULL, 0, 0);
  ASSERT_EQ(g_asked.size(), 2u);
  const std::string title[] = {s.rows[index].holder.title};
  EXPECT_EQ(g_asked[1], fill_placeholders(localized(msg::kConfirmReleaseFile), title));
  EXPECT_EQ(g_flags, confirm_flags(ConfirmKind::Warning));
  EXPECT_EQ(s.rows[index].action.kind, ActionKind::Releasing);
  EXPECT_TRUE(wait([&] { return s.notice.value_or("") == localized(msg::kStateReleased); }));
  ASSERT_TRUE(wait([&] { return s.scan_id != searched && !scan_running(s) && s.summary; }));  // searched again
  EXPECT_EQ(::WaitForSingleObject(program->process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(std::none_of(s.rows.begin(), s.rows.end(),
                           [&](const HolderRow& r) { return r.holder.pid == program->pid(); }));
  EXPECT_TRUE(::DeleteFileW(file.c_str())) << "error " << ::GetLastError();
  g_answer = IDNO;
  test::close_test_main_window(s.window);
}

}  // namespace
}  // namespace tw
