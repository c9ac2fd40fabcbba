#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <functional>
#include <thread>

#include "app/language/catalogue.h"
#include "app/remedies/recycle.h"
#include "app/window/main_window.h"
#include "app/window/message_boxes.h"
#include "app/window/target_buttons.h"
#include "app/window/view.h"
#include "app/window/window_state.h"
#include "common/text.h"
#include "support/holder_process.h"
#include "support/pending_deletions.h"
#include "support/temp_dir.h"
#include "support/test_window.h"

namespace tw {
namespace {

using test::TempDir;
using test::pending_under;
using test::ScheduleDir;

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Answers "No" to every dialog box this process shows while it lives, as a user would.
class RefuseDialogs {
 public:
  RefuseDialogs()
      : thread_([this] {
          while (!stop_) {
            ::EnumWindows(&refuse, reinterpret_cast<LPARAM>(this));
            ::Sleep(50);
          }
        }) {}
  ~RefuseDialogs() {
    stop_ = true;
    thread_.join();
  }
  RefuseDialogs(const RefuseDialogs&) = delete;
  RefuseDialogs& operator=(const RefuseDialogs&) = delete;
  int refused() const { return refused_; }

 private:
  static BOOL CALLBACK refuse(HWND window, LPARAM self) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (pid == ::GetCurrentProcessId() && std::wstring_view(name) == L"#32770" && ::IsWindowVisible(window)) {
      ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
      ++reinterpret_cast<RefuseDialogs*>(self)->refused_;
    }
    return TRUE;
  }
  std::atomic<bool> stop_{false};
  std::atomic<int> refused_{0};
  std::thread thread_;
};

// A confirmation names what it acts on: how many, the first five, how many more.
TEST(RecycleBin, ConfirmationListsFivePathsThenHowManyMore) {
  const std::vector<Target> seven{L"D:\\1", L"D:\\2", L"D:\\3", L"D:\\4", L"D:\\5", L"D:\\6", L"D:\\7"};
  const std::string head = std::string(localized(msg::kConfirmRecycle)) + "\n\n";
  EXPECT_EQ(recycle_confirmation_text(seven), head + "7 items:\nD:\\1\nD:\\2\nD:\\3\nD:\\4\nD:\\5\nand 2 more");
  EXPECT_EQ(recycle_confirmation_text({seven.begin(), seven.begin() + 5}),
            head + "5 items:\nD:\\1\nD:\\2\nD:\\3\nD:\\4\nD:\\5");
  EXPECT_EQ(recycle_confirmation_text({L"D:\\{0}.txt"}), head + "D:\\{0}.txt");
  std::vector<Target> many(12'345, L"D:\\x");
  EXPECT_EQ(naming_targets("Go?", many), "Go?\n\n12,345 items:\nD:\\x\nD:\\x\nD:\\x\nD:\\x\nD:\\x\nand 12,340 more");
}

// Two files, one held without delete sharing: only the held one is left, the other really
// went, and nothing of the held one was lost. The shell offers to delete the held one for
// good instead; refusing that keeps it too. Then the rest goes and the window empties.
TEST(RecycleBin, KeepsOnlyWhatCouldNotBeMovedThenClearsTheWindow) {
  TempDir dir;
  const std::wstring loose = dir / L"loose.txt", held = dir / L"held.txt", gone = dir / L"gone.txt";
  ASSERT_TRUE(test::write_file(loose, "a"));
  ASSERT_TRUE(test::write_file(held, "b"));
  auto holder = test::HolderProcess::start({L"--share", L"none", L"--open", held});
  ASSERT_TRUE(holder);

  WindowState s;
  s.targets = {gone, loose, held};
  s.rows.push_back(HolderRow{});
  s.summary = ScanSummary{};
  s.scan_id = 7;
  const std::vector<Target> moved = s.targets;
  std::vector<Target> left_over;
  {
    RefuseDialogs refusing;
    left_over = recycle_targets(nullptr, moved);
  }
  EXPECT_EQ(left_over, std::vector<Target>{held});
  EXPECT_FALSE(exists(loose));
  EXPECT_TRUE(exists(held));

  EXPECT_EQ(apply_recycle_outcome(s, moved, left_over), localized(msg::kStillCantDelete));
  EXPECT_EQ(s.targets, std::vector<Target>{held});
  EXPECT_TRUE(s.recycle_failed);
  EXPECT_EQ(s.rows.size(), 1u);
  EXPECT_TRUE(s.summary);
  EXPECT_EQ(s.scan_id, 7u);

  // The set changed while the shell worked: it stays as it now is.
  WindowState other;
  other.targets = {L"D:\\new"};
  EXPECT_EQ(apply_recycle_outcome(other, moved, {}), localized(msg::kMovedToRecycleBin));
  EXPECT_EQ(other.targets, std::vector<Target>{L"D:\\new"});
  EXPECT_EQ(other.scan_id, 0u);

  ASSERT_EQ(holder->stop(), 0u);
  const std::vector<Target> rest = s.targets;
  left_over = recycle_targets(nullptr, rest);
  EXPECT_TRUE(left_over.empty());
  EXPECT_FALSE(exists(held));
  EXPECT_EQ(apply_recycle_outcome(s, rest, left_over), localized(msg::kMovedToRecycleBin));
  EXPECT_TRUE(s.targets.empty());
  EXPECT_TRUE(s.rows.empty());
  EXPECT_FALSE(s.summary);
  EXPECT_EQ(s.scan_id, 8u);  // outcomes of remedies started before are dropped
}

// The two buttons on a real window, with the message boxes answered by the test.
struct Box {
  std::wstring text;
  UINT flags = 0;
};
std::vector<Box> g_boxes;
int g_answer = IDNO;

int answer_box(HWND, const wchar_t* text, const wchar_t*, UINT flags) {
  g_boxes.push_back(Box{text, flags});
  return g_answer;
}

class TargetButtons : public testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    state_ = test::open_test_main_window(WindowApi{&answer_box});
    ASSERT_TRUE(state_);
    window_ = state_->window;
  }
  void TearDown() override {
    test::close_test_main_window(window_);
  }
  // A click as the window procedure makes it; what it leaves for later runs once the
  // procedure has let go of the state, as after any message.
  void click(HitKind kind) {
    with_main_window([&](MainWindow& w) { click_target_remedy(w, Hit{kind}); });
    ::SendMessageW(window_, WM_NULL, 0, 0);
  }
  // Lets the window take its messages until delete-on-restart is no longer scheduling.
  bool wait_for_outcome() {
    for (int i = 0; i < 1000 && state_->delete_scheduling; ++i) {
      test::dispatch_waiting_messages();
      ::Sleep(10);
    }
    return !state_->delete_scheduling;
  }
  HWND window_ = nullptr;
  WindowState* state_ = nullptr;
};

TEST_F(TargetButtons, DeleteOnRestartAsksSchedulesOnceAndReports) {
  ScheduleDir dir;
  const std::wstring file = dir / L"stuck.dll";
  ASSERT_TRUE(test::write_file(file));
  state_->targets = {file};

  click(HitKind::DeleteOnRestart);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, to_wide(localized(msg::kConfirmDeleteOnRestart)) + L"\n\n" + file);
  EXPECT_EQ(g_boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
  EXPECT_FALSE(state_->delete_scheduling);  // declined

  g_answer = IDYES;
  click(HitKind::DeleteOnRestart);
  EXPECT_TRUE(state_->delete_scheduling);
  click(HitKind::DeleteOnRestart);  // one request at a time: not even asked
  EXPECT_EQ(g_boxes.size(), 2u);
  ASSERT_TRUE(wait_for_outcome());
  EXPECT_TRUE(state_->delete_scheduled);
  ASSERT_EQ(g_boxes.size(), 3u);
  EXPECT_EQ(g_boxes[2].text, to_wide(localized(msg::kScheduled)));
  EXPECT_EQ(g_boxes[2].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(pending_under(dir.path()), std::vector<std::wstring>{file});

  // A failed request says why, by name, as the command line does; nothing of it was
  // scheduled; the earlier success still shows.
  state_->targets = {file, dir / L"missing"};
  click(HitKind::DeleteOnRestart);
  ASSERT_TRUE(wait_for_outcome());
  test::dispatch_waiting_messages();
  ASSERT_EQ(g_boxes.size(), 5u);
  EXPECT_EQ(g_boxes[4].text, L"It can't be found, so nothing was scheduled:\n" + dir / L"missing");
  EXPECT_EQ(pending_under(dir.path()), std::vector<std::wstring>{file});
  EXPECT_TRUE(state_->delete_scheduled);

  // A protected target is refused by name before anything is asked.
  state_->targets = {file, L"C:\\windows\\"};
  click(HitKind::DeleteOnRestart);
  ASSERT_EQ(g_boxes.size(), 6u);
  EXPECT_EQ(g_boxes[5].text, L"This is a Windows or user system folder and can't be deleted:\nC:\\windows\\");
  EXPECT_EQ(g_boxes[5].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_FALSE(state_->delete_scheduling);
}

TEST_F(TargetButtons, RecycleBinAsksThenMovesAndEmptiesTheWindow) {
  TempDir dir;
  const std::wstring file = dir / L"report.docx";
  ASSERT_TRUE(test::write_file(file, "x"));
  state_->targets = {file};
  state_->rows.push_back(HolderRow{});

  g_answer = IDNO;
  click(HitKind::RecycleBin);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
  EXPECT_NE(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);

  g_answer = IDYES;
  click(HitKind::RecycleBin);
  EXPECT_EQ(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(state_->targets.empty());
  EXPECT_TRUE(state_->rows.empty());
  EXPECT_EQ(state_->notice, std::string(localized(msg::kMovedToRecycleBin)));
}

// Another program hands paths over while the user reads a confirmation (the box's own loop
// lets WM_COPYDATA through, also from programs with fewer rights): the yes that follows was
// given for another list, so nothing is done, and the user is told.
HWND g_asked_window = nullptr;
int hand_over_then_yes(HWND, const wchar_t* text, const wchar_t*, UINT flags) {
  g_boxes.push_back(Box{text, flags});
  std::wstring planted = L"D:\\planted.txt";
  COPYDATASTRUCT data{kHandOverTag, static_cast<DWORD>(planted.size() * sizeof(wchar_t)), planted.data()};
  ::SendMessageW(g_asked_window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  return IDYES;
}

TEST_F(TargetButtons, AHandOverWhileAskingCancelsTheAnswer) {
  g_asked_window = window_;
  with_main_window([](MainWindow& w) { w.platform.message_box = &hand_over_then_yes; });
  for (const HitKind button : {HitKind::RecycleBin, HitKind::DeleteOnRestart}) {
    SCOPED_TRACE(static_cast<int>(button));
    ScheduleDir dir;
    const std::wstring file = dir / L"kept.txt";
    ASSERT_TRUE(test::write_file(file, "x"));
    state_->targets = {file};
    state_->notice.reset();
    g_boxes.clear();
    click(button);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_NE(g_boxes[0].text.find(file), std::wstring::npos);  // it named what it was about
    EXPECT_TRUE(exists(file));
    EXPECT_FALSE(state_->delete_scheduling);
    EXPECT_TRUE(pending_under(dir.path()).empty());
    EXPECT_EQ(state_->notice, std::string(localized(msg::kTargetsChangedNothingDone)));
    for (int i = 0; i < 1000 && !state_->hand_overs.empty(); ++i) {
      test::dispatch_waiting_messages();
      ::Sleep(5);
    }
  }
}

// The shell expands patterns and reads names loosely: it gets neither.
TEST_F(TargetButtons, RecycleBinGivesTheShellOnlyExactNamesOfWhatExists) {
  TempDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"Docs"));
  ASSERT_TRUE(test::write_file_exactly(dir.path(), L"trail."));
  ASSERT_TRUE(test::write_file(dir / L"trail", "not the one"));
  const std::wstring dotted = L"\\\\?\\" + dir.path() + L"\\trail.";
  g_answer = IDYES;
  state_->targets = {dotted};
  click(HitKind::RecycleBin);
  ASSERT_EQ(g_boxes.size(), 1u);  // the confirmation
  EXPECT_NE(::GetFileAttributesW(dotted.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(::GetFileAttributesW((dir / L"trail").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(state_->targets, std::vector<Target>{dotted});
  EXPECT_EQ(state_->notice, std::string(localized(msg::kStillCantDelete)));

  // A pattern names nothing that could be judged, so nothing is done with it.
  state_->targets = {dir / L"Doc*"};
  click(HitKind::RecycleBin);
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[1].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_NE(::GetFileAttributesW((dir / L"Docs").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Windows' answers about one drive, Q: (a small folder of the test prefix), as the window's
// eject seam gives them: under Wine no drive is removable and nothing can be ejected.
struct Drive {
  UINT type = DRIVE_REMOVABLE;
  bool removable = true;  // its disk's device may be taken away
  bool holds_windows = false;
  PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;  // with a name: Windows refuses
  std::wstring veto_name{};
  int ejects = 0;
};
Drive g_drive;

EjectApi drive_api() {
  EjectApi api;
  api.drive_type = [](const wchar_t* root) -> UINT {
    return std::wstring_view(root) == L"Q:\\" ? g_drive.type : UINT{DRIVE_FIXED};
  };
  api.volume_name = [](const std::wstring&) -> std::optional<std::wstring> { return std::nullopt; };
  api.windows_root = []() -> std::optional<std::wstring> { return g_drive.holds_windows ? L"Q:\\" : L"C:\\"; };
  api.storage_number = [](const std::wstring& device) -> std::optional<StorageNumber> {
    return StorageNumber{FILE_DEVICE_DISK, device == L"\\\\.\\Q:" ? 1u : 0u};
  };
  api.disk_node = [](const StorageNumber& n) -> std::optional<DEVINST> { return n.device_number == 1 ? 10u : 20u; };
  api.get_parent = [](PDEVINST, DEVINST, ULONG) -> CONFIGRET { return CR_NO_SUCH_DEVNODE; };
  api.get_status = [](PULONG status, PULONG problem, DEVINST node, ULONG) -> CONFIGRET {
    *status = DN_STARTED | (node == 10 && g_drive.removable ? DN_REMOVABLE : 0);
    *problem = 0;
    return CR_SUCCESS;
  };
  api.capabilities = [](DEVINST) -> std::optional<ULONG> { return std::nullopt; };
  api.request_eject = [](DEVINST, PPNP_VETO_TYPE veto, LPWSTR name, ULONG length, ULONG) -> CONFIGRET {
    ++g_drive.ejects;
    ::Sleep(200);  // Windows asks around first: the window goes on meanwhile
    *veto = g_drive.veto;
    if (length > g_drive.veto_name.size()) ::wcscpy(name, g_drive.veto_name.c_str());
    return g_drive.veto_name.empty() ? CR_SUCCESS : CR_REMOVE_VETOED;
  };
  api.process_name = [](std::uint32_t pid) -> std::optional<std::string> {
    return pid == 4242 ? std::optional<std::string>("writer.exe") : std::nullopt;
  };
  return api;
}

std::vector<HitKind> footer_kinds(const WindowState& s) {
  std::vector<HitKind> kinds;
  for (const ViewElement& e : layout_view(s, ViewSize{800, 600, 1}, fixed_metrics(), false).footer) kinds.push_back(e.hit.kind);
  return kinds;
}

bool wait_until(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) {
    test::dispatch_waiting_messages();
    ::Sleep(10);
  }
  return done();
}

// A drive on a removable device offers Eject instead of the Recycle Bin; Windows' refusal is
// said in words and the drive is searched again for who is in the way; once ejected the drive
// goes from the window. Never for the drive Windows is on, nor for a fixed disk.
TEST(EjectButton, OfferedForARemovableDriveSaysTheOutcomeAndSearchesAfterARefusal) {
  WindowApi api;
  api.eject = drive_api();
  WindowState* s = test::open_test_main_window(api);
  ASSERT_TRUE(s);
  const std::string refused(localized(msg::kVetoWindowsApp));
  struct Case {
    const char* name;
    const Drive& drive;
    bool offered;
    std::string notice{};  // after a click on Eject: how it begins, and whom it names
    const char* named = "";
    bool searched_again = false, targets_kept = false;
  };
  const Drive fixed{DRIVE_FIXED, false}, with_windows{DRIVE_REMOVABLE, true, true},
      vetoed{DRIVE_REMOVABLE, true, false, PNP_VetoWindowsApp, L"4242"}, removable{};
  const Case cases[] = {
      {"fixed disk", fixed, false},
      {"holds Windows", with_windows, false},
      {"refused by a program", vetoed, true, refused, "writer.exe (process 4242)", true, true},
      {"ejected", removable, true, std::string(localized(msg::kEjectSafeToRemove)), "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_drive = c.drive;
    s->notice.reset();
    with_main_window([](MainWindow& w) { set_window_targets(w, std::vector<Target>{L"Q:\\"}, false); });
    ASSERT_TRUE(wait_until([&] { return !scan_running(*s); }));
    const std::vector<HitKind> first{c.offered ? HitKind::Eject : HitKind::RecycleBin};
    EXPECT_EQ(footer_kinds(*s), first);
    if (!c.offered) continue;

    const std::uint64_t scan = s->scan_id;
    with_main_window([](MainWindow& w) { click_eject(w); });
    with_main_window([](MainWindow& w) { click_eject(w); });  // once at a time
    const auto footer = layout_view(*s, ViewSize{800, 600, 1}, fixed_metrics(), false).footer;
    ASSERT_FALSE(footer.empty());
    EXPECT_EQ(footer[0].label, localized(msg::kEjecting));
    ASSERT_TRUE(wait_until([&] { return !s->ejecting; }));
    EXPECT_EQ(g_drive.ejects, 1);
    ASSERT_TRUE(s->notice);
    EXPECT_TRUE(s->notice->starts_with(c.notice)) << *s->notice;
    EXPECT_NE(s->notice->find(c.named), std::string::npos) << *s->notice;
    EXPECT_EQ(scan_running(*s), c.searched_again);
    if (c.searched_again) {  // the view says how a drive is searched
      const std::string explained = layout_view(*s, ViewSize{800, 600, 1}, fixed_metrics(), false).explanation;
      EXPECT_NE(explained.find(localized(msg::kDriveSearchedByOpenFiles)), std::string::npos) << explained;
    }
    EXPECT_EQ(s->targets.size(), c.targets_kept ? 1u : 0u);
    EXPECT_NE(s->scan_id, scan);  // a refusal searches again, an ejection drops what was found
    ASSERT_TRUE(wait_until([&] { return !scan_running(*s); }));
  }
  test::close_test_main_window(s->window);
}

}  // namespace
}  // namespace tw
