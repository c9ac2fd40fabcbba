#include <gtest/gtest.h>

#include <algorithm>

#include "app/language/catalogue.h"
#include "app/scan/diagnosis.h"
#include "app/window/view.h"

namespace tw {
namespace {

const ViewSize k600{600, 460, 1.0f};

Holder holder(std::uint32_t pid, HolderKind kind, bool has_window = true) {
  Holder h;
  h.pid = pid;
  h.title = "Program " + std::to_string(pid);
  h.exe_name = "p.exe";
  h.kind = kind;
  h.has_window = has_window;
  return h;
}

// A finished scan that found these holders.
WindowState finished(std::vector<HolderRow> rows, std::vector<Target> targets = {L"D:\\Work\\a.txt"}) {
  WindowState s;
  s.targets = std::move(targets);
  s.rows = std::move(rows);
  s.summary = ScanSummary{};
  s.summary->files_checked = 1;
  return s;
}

Layout lay(const WindowState& s, ViewSize size = k600) { return layout_view(s, size, fixed_metrics(), true); }

std::vector<HitKind> kinds(const std::vector<ViewElement>& elements) {
  std::vector<HitKind> out;
  for (const ViewElement& e : elements) out.push_back(e.hit.kind);
  return out;
}

TEST(View, CentresTheColumnAndListsThreeTargetsAtMost) {
  WindowState s = finished({}, {L"D:\\a", L"D:\\b", L"D:\\c", L"D:\\d"});
  Layout l = lay(s);
  EXPECT_EQ(l.column_width, 552.0f);
  EXPECT_EQ(l.column_left, 24.0f);
  EXPECT_EQ(l.card_lines, (std::vector<std::string>{"D:\\a", "D:\\b", "D:\\c", "and 1 more"}));
  EXPECT_EQ(l.card.height, 4 * 24 + 18 + 22 + 14.0f);
  l = lay(s, ViewSize{1200, 800, 1.0f});
  EXPECT_EQ(l.column_width, 900.0f);
  EXPECT_EQ(l.column_left, 150.0f);
  l = lay(s, ViewSize{1800, 1200, 1.5f});
  EXPECT_EQ(l.header_height, 78.0f);
  EXPECT_EQ(l.column_width, 1350.0f);
}

TEST(View, RowButtonsFollowKindStateAndWindow) {
  WindowState s = finished({{holder(10, HolderKind::Program), {ActionKind::Closing, {}}},
                            {holder(11, HolderKind::Program), {ActionKind::NotClosed, {}}},
                            {holder(12, HolderKind::Program, false), {}},
                            {holder(13, HolderKind::FileExplorer), {ActionKind::Failed, "Could not restart File Explorer"}},
                            {holder(14, HolderKind::Service), {}}});
  const Layout l = lay(s, ViewSize{600, 900, 1.0f});  // tall enough for every row
  ASSERT_EQ(l.rows.size(), 5u);
  EXPECT_EQ(l.rows[0].button_count, 0u);  // busy
  EXPECT_EQ(l.rows[0].pill, "Closing.");
  ASSERT_EQ(l.rows[1].button_count, 2u);
  const ViewElement& close = l.rows_buttons[l.rows[1].first_button + 1];  // added right to left
  const ViewElement& force = l.rows_buttons[l.rows[1].first_button];
  EXPECT_EQ(close.hit.kind, HitKind::RowClose);
  EXPECT_EQ(close.style, ButtonStyle::Secondary);
  EXPECT_EQ(force.hit.kind, HitKind::RowForceQuit);
  EXPECT_EQ(force.style, ButtonStyle::Danger);
  EXPECT_LT(close.box.x, force.box.x);
  EXPECT_EQ(l.rows[1].note, "It may be asking you to save. Check it, or click 'Force quit'.");
  EXPECT_EQ(l.rows_buttons[l.rows[2].first_button].hit.kind, HitKind::RowForceQuit);
  EXPECT_EQ(l.rows[2].note, "No window (a command prompt, background task, etc.)");
  EXPECT_EQ(l.rows_buttons[l.rows[3].first_button].hit.kind, HitKind::RowRestartExplorer);
  EXPECT_EQ(l.rows[3].note, "Could not restart File Explorer");
  EXPECT_EQ(l.rows[4].button_count, 0u);
  EXPECT_EQ(l.headline, "5 programs are holding it");
}

// The explanation names only the buttons the rows show, and says to wait while a remedy runs
// with none shown; every language has each of its sentences.
TEST(View, TheExplanationNamesOnlyTheButtonsShown) {
  const auto row = [](HolderKind kind, ActionKind action, bool window = true) {
    return HolderRow{holder(10, kind, window), {action, {}}};
  };
  const Message *close = &msg::kCloseExplained, *force = &msg::kForceQuitExplained,
                *restart = &msg::kRestartExplorerExplained, *wait = &msg::kWaitingForProgram;
  struct Case {
    std::vector<HolderRow> rows;
    std::vector<const Message*> lines;
  } cases[] = {
      {{row(HolderKind::Program, ActionKind::Idle)}, {close}},
      {{row(HolderKind::Program, ActionKind::Idle, false)}, {force}},  // no window: Force quit only
      {{row(HolderKind::Program, ActionKind::NotClosed)}, {close, force}},
      {{row(HolderKind::Program, ActionKind::Failed, false), row(HolderKind::Service, ActionKind::Idle)}, {force}},
      {{row(HolderKind::FileExplorer, ActionKind::Idle)}, {restart}},
      {{row(HolderKind::FileExplorer, ActionKind::Failed), row(HolderKind::Program, ActionKind::Closed),
        row(HolderKind::Program, ActionKind::Idle, false)},
       {force, restart}},
      {{row(HolderKind::FileExplorer, ActionKind::Idle), row(HolderKind::Program, ActionKind::NotClosed)},
       {close, force, restart}},
      {{row(HolderKind::Program, ActionKind::Closing)}, {wait}},
      {{row(HolderKind::Program, ActionKind::Ending), row(HolderKind::WindowsComponent, ActionKind::Idle)}, {wait}},
      {{row(HolderKind::FileExplorer, ActionKind::Restarting), row(HolderKind::Program, ActionKind::Closed)}, {wait}},
      {{row(HolderKind::Program, ActionKind::Closing), row(HolderKind::Program, ActionKind::Idle, false)}, {force}},
  };
  for (const Case& c : cases) {
    std::string expected;
    for (const Message* m : c.lines) {
      if (!expected.empty()) expected += '\n';
      expected += m->en;
    }
    EXPECT_EQ(lay(finished(c.rows)).explanation, expected);
  }
  for (const std::string_view code : {"ja", "zh-Hans", "zh-Hant", "es", "fr", "de", "pt", "ru"}) {
    const TranslationTable table = parse_translation(translation_document(code));
    for (const Message* m : {close, force, restart, wait}) {
      EXPECT_NE(localized_in(*m, code, table), m->en) << code << ": " << m->en;
    }
  }
}

// A file another computer opened: named by who opened it and from where, with Disconnect as its
// only button, reached by the keyboard after the row, and explained.
TEST(View, AnOpenByAnotherComputerIsNamedByItsUserAndOffersDisconnect) {
  const auto open = [](std::uint32_t id, const char* user, const char* computer, ActionKind action) {
    Holder h;
    h.kind = HolderKind::NetworkOpen;
    h.pid = id;
    h.title = user;
    h.remote = RemoteOpener{user, computer, 1, 0};
    h.files = {L"D:\\Work\\a.txt"};
    h.held = "a.txt";
    return HolderRow{h, {action, {}}};
  };
  WindowState s = finished({{holder(10, HolderKind::Program), {}}, open(134217741, "ana", "LAPTOP-7", ActionKind::Idle),
                            open(134217745, "bo", "", ActionKind::Disconnecting),
                            open(134217749, "cy", "", ActionKind::Disconnected)});
  s.summary->network_unseen = true;  // another share could not be listed
  const Layout l = lay(s, ViewSize{600, 900, 1.0f});
  ASSERT_EQ(l.rows.size(), 4u);
  EXPECT_EQ(l.rows[1].title, "Opened over the network by ana");
  EXPECT_EQ(l.rows[1].note, "From LAPTOP-7, through a shared folder");
  EXPECT_EQ(l.rows[1].details, "Holding: a.txt");
  ASSERT_EQ(l.rows[1].button_count, 1u);
  const ViewElement& disconnect = l.rows_buttons[l.rows[1].first_button];
  EXPECT_EQ(disconnect.hit, (Hit{HitKind::RowDisconnect, 1}));
  EXPECT_EQ(disconnect.label, "Disconnect");
  EXPECT_EQ(disconnect.style, ButtonStyle::Danger);
  EXPECT_EQ(l.rows[2].note, "From another computer, through a shared folder");
  EXPECT_EQ(l.rows[2].pill, "Disconnecting.");
  EXPECT_EQ(l.rows[2].button_count, 0u);
  EXPECT_EQ(l.rows[3].pill, "Disconnected");
  EXPECT_EQ(l.headline, msg::kOneProgramHolding.en);  // opens by other computers are no programs
  WindowState only_opens = finished({open(134217741, "ana", "LAPTOP-7", ActionKind::Idle)});
  EXPECT_EQ(lay(only_opens, ViewSize{600, 900, 1.0f}).headline, msg::kOtherComputersHaveItOpen.en);
  EXPECT_EQ(l.explanation, std::string(msg::kCloseExplained.en) + "\n" + msg::kDisconnectExplained.en);
  const auto hinted = [](const Layout& layout) {
    return std::any_of(layout.hints.begin(), layout.hints.end(),
                       [](const HintLayout& h) { return h.text == msg::kDiagnosisSharedTryAdmin.en; });
  };
  EXPECT_TRUE(hinted(l));
  const std::vector<Hit> order = focus_order(l, s);
  const auto at = std::find(order.begin(), order.end(), Hit{HitKind::Row, 1});
  ASSERT_NE(at, order.end());
  EXPECT_EQ(*(at + 1), (Hit{HitKind::RowDisconnect, 1}));
  EXPECT_EQ(*(at + 2), (Hit{HitKind::Row, 2}));
  s.elevated = true;  // an administrator's search listed every share: nothing to hint at
  const Layout elevated = lay(s, ViewSize{600, 900, 1.0f});
  EXPECT_FALSE(hinted(elevated));
}

// Every state the window can be in, read as a keyboard user tabs through it.
TEST(View, FocusOrderIsTheReadingOrderInEveryState) {
  using K = HitKind;
  const auto scanning = [] {
    WindowState s;
    s.targets = {L"D:\\Work"};
    s.progress = ScanProgress{10, 0.0f, ScanPhase::Listing};
    return s;
  };
  const auto stuck = [] {
    WindowState s = finished({{holder(4, HolderKind::WindowsComponent), {}}, {holder(5, HolderKind::Service), {}}});
    s.elevated = true;
    s.deep = true;
    return s;
  };
  const auto released = [] {
    WindowState s = finished({{holder(10, HolderKind::Program), {ActionKind::Closed, {}}}});
    s.notice = "Closed";
    return s;
  };
  const auto diagnoses = [] {
    WindowState s = finished({});
    s.summary->diagnoses = {Diagnosis{L"D:\\Work\\a.txt", DiagnosisKind::InUseUnseen}};
    return s;
  };
  struct Case {
    const char* name;
    WindowState state;
    std::vector<Hit> order;
  };
  const Case cases[] = {
      {"empty", WindowState{}, {{K::AddButton}, {K::MenuButton}, {K::ChooseFiles}, {K::ChooseFolder}}},
      {"scanning", scanning(), {{K::AddButton}, {K::Rescan}, {K::MenuButton}, {K::StopSearch}}},
      {"mixed",
       finished({{holder(10, HolderKind::Program), {}},
                 {holder(11, HolderKind::Program), {ActionKind::NotClosed, {}}},
                 {holder(12, HolderKind::FileExplorer), {}},
                 {holder(13, HolderKind::Program), {ActionKind::Ending, {}}}}),
       {{K::SearchAsAdmin},
        {K::DeepSearch},
        {K::AddButton},
        {K::Rescan},
        {K::MenuButton},
        {K::Row, 0},
        {K::RowClose, 0},
        {K::Row, 1},
        {K::RowClose, 1},
        {K::RowForceQuit, 1},
        {K::Row, 2},
        {K::RowRestartExplorer, 2},
        {K::Row, 3},  // busy: the row can be read, not clicked
        {K::RecycleBin}}},
      {"windows", stuck(),
       {{K::AddButton}, {K::Rescan}, {K::MenuButton}, {K::Row, 0}, {K::Row, 1}, {K::DeleteOnRestart}, {K::RecycleBin}}},
      {"released", released(),
       {{K::SearchAsAdmin}, {K::DeepSearch}, {K::AddButton}, {K::Rescan}, {K::MenuButton}, {K::Row, 0}, {K::RecycleBin}}},
      {"diagnoses", diagnoses(),
       {{K::SearchAsAdmin}, {K::DeepSearch}, {K::AddButton}, {K::Rescan}, {K::MenuButton}, {K::DeleteOnRestart},
        {K::RecycleBin}}},
  };
  for (const Case& c : cases) {
    const Layout l = lay(c.state, ViewSize{880, 640, 1.0f});
    const std::vector<Hit> order = focus_order(l, c.state);
    EXPECT_EQ(order, c.order) << c.name;
    // Each is where the view draws it, inside the window.
    for (const Hit& hit : order) {
      const std::optional<RectF> box = element_box(l, c.state, hit);
      ASSERT_TRUE(box) << c.name << " " << static_cast<int>(hit.kind);
      EXPECT_GE(box->x, 0.0f);
      EXPECT_LE(box->x + box->width, 880.0f);
      if (hit.kind != K::Row) {
        EXPECT_EQ(hit_test(l, c.state, PointF{box->x + 3, box->y + 3}), hit) << c.name;
      }
    }
  }
}

TEST(View, TheFocusRingIsDrawnOnlyAfterKeyboardUseInAFocusedWindow) {
  WindowState s = finished({{holder(10, HolderKind::Program), {}}});
  set_focus(s, Hit{HitKind::RowClose, 0});
  EXPECT_FALSE(lay(s).focus_ring);
  s.focus_cues = true;
  EXPECT_FALSE(lay(s).focus_ring);  // another window has the keyboard
  s.has_focus = true;
  const Layout l = lay(s);
  ASSERT_TRUE(l.focus_ring);
  EXPECT_EQ(*l.focus_ring, *element_box(l, s, Hit{HitKind::RowClose, 0}));
  s.rows[0].action.kind = ActionKind::Closed;  // its button went
  EXPECT_FALSE(lay(s).focus_ring);
}

TEST(View, HighContrastTakesEveryColourFromTheSystem) {
  const SystemColors black{0x000000, 0xFFFFFF, 0x1AEBFF, 0x000000, 0x000000, 0xFFFFFF, 0x3FF23F, 0xFFFF00};
  const Palette p = palette(false, black);
  EXPECT_TRUE(p.outlines);
  for (const Color c : {p.background, p.band, p.card}) EXPECT_EQ(c, rgb(0x000000));
  for (const Color c : {p.text, p.muted, p.border, p.warning, p.danger, p.success, p.focus}) EXPECT_EQ(c, rgb(0xFFFFFF));
  EXPECT_EQ(p.accent, rgb(0x1AEBFF));
  EXPECT_EQ(p.on_accent, rgb(0x000000));
  EXPECT_EQ(palette(true, black).background, p.background);  // dark mode does not matter then
  EXPECT_FALSE(palette(true).outlines);
}

TEST(View, OnlyWindowsHoldersOfferDeleteOnRestart) {
  WindowState s = finished({{holder(4, HolderKind::WindowsComponent), {}}, {holder(900, HolderKind::Service), {}}});
  s.rows[1].holder.services = {"Spooler", "wuauserv"};
  const Layout l = lay(s);
  EXPECT_EQ(l.headline, "A part of Windows is holding it");
  EXPECT_EQ(kinds(l.footer), (std::vector<HitKind>{HitKind::RecycleBin, HitKind::DeleteOnRestart}));
  EXPECT_EQ(l.footer[0].style, ButtonStyle::Secondary);
  EXPECT_EQ(l.rows[1].note, "A Windows service, can't be ended \xE2\x86\x92 restart the PC, then delete it (Spooler, wuauserv)");

  // Everything released: the Recycle Bin is the thing to do, and nothing needs a restart.
  WindowState done = finished({{holder(20, HolderKind::Program), {ActionKind::Closed, {}}}});
  const Layout d = lay(done);
  EXPECT_EQ(d.headline, "All released");
  EXPECT_EQ(kinds(d.footer), (std::vector<HitKind>{HitKind::RecycleBin}));
  EXPECT_EQ(d.footer[0].style, ButtonStyle::Primary);

  // Every target gone: no footer at all.
  WindowState gone = finished({});
  gone.summary->diagnoses = {Diagnosis{L"D:\\Work\\a.txt", DiagnosisKind::Gone, 0}};
  EXPECT_TRUE(lay(gone).footer.empty());
  EXPECT_EQ(lay(gone).summary, "Not found");
}

TEST(View, HitTestingFindsOnlyControlsAndFollowsTheScroll) {
  WindowState s = finished({});
  for (std::uint32_t i = 0; i < 8; ++i) s.rows.push_back({holder(100 + i, HolderKind::Program), {}});
  Layout l = lay(s);
  const float max = max_scroll(l, s);
  EXPECT_EQ(max, l.content_height - (460 - l.footer_height));
  ASSERT_GT(max, 0.0f);

  // Between the header's buttons, and on a row's empty space: nothing.
  const RectF menu = l.header[0].box, rescan = l.header[1].box;
  EXPECT_EQ(hit_test(l, s, PointF{menu.x + 1, menu.y + 1}).kind, HitKind::MenuButton);
  EXPECT_EQ(hit_test(l, s, PointF{rescan.x + rescan.width + 2, menu.y + 5}).kind, HitKind::Nothing);
  const RectF row = l.rows[0].box;
  EXPECT_EQ(hit_test(l, s, PointF{row.x + 30, row.y + 30}).kind, HitKind::Nothing);

  // The third row's Close button, scrolled up by 100 pixels.
  s.scroll = 100;
  l = lay(s);
  const ViewElement& close = l.rows_buttons[l.rows[2].first_button];
  const Hit hit = hit_test(l, s, PointF{close.box.x + 2, close.box.y - 100 + 2});
  EXPECT_EQ(hit.kind, HitKind::RowClose);
  EXPECT_EQ(hit.row, 2u);
  // Under the footer band nothing in the rows is reachable.
  EXPECT_EQ(hit_test(l, s, PointF{close.box.x + 2, 460 - 5}).kind, HitKind::Nothing);
}

TEST(View, NoticeStaysAboveTheFooterAndInsideTheWindow) {
  WindowState s = finished({});
  s.notice = std::string(400, 'x');
  TextMetrics wide = fixed_metrics();
  wide.line_width = [](std::string_view text, FontRole) { return static_cast<float>(text.size()) * 7.0f; };
  const Layout l = layout_view(s, k600, wide, true);
  ASSERT_TRUE(l.notice_box);
  EXPECT_EQ(l.notice_box->width, 600 - 32.0f);
  EXPECT_EQ(l.notice_box->y + 58, 460 - l.footer_height);
}

TEST(View, ShowsHeldFilesAndHintsInTheUsersTerms) {
  const std::vector<Target> targets{L"D:\\Work", L"E:\\x.txt"};
  EXPECT_EQ(display_form(L"D:\\Work\\sub\\report.docx", targets), "sub\\report.docx");
  EXPECT_EQ(display_form(L"E:\\x.txt", targets), "x.txt");
  EXPECT_EQ(display_form(L"F:\\other.txt", targets), "F:\\other.txt");

  WindowState s = finished({{holder(7, HolderKind::Program), {}}}, targets);
  s.rows[0].holder.files = {L"D:\\Work\\a.txt", L"D:\\Work\\b.txt", L"E:\\x.txt"};
  s.rows[0].holder.held = "a.txt";  // as the search names the first one
  s.summary->truncated = true;
  const Layout l = lay(s);
  EXPECT_EQ(l.rows[0].details, "p.exe \xC2\xB7 PID 7 \xC2\xB7 Holding: a.txt and 2 more");
  s.rows[0].holder.ways = {kHeldMapped, kHeldOpen, kHeldOpen};
  EXPECT_EQ(lay(s).rows[0].details, "p.exe \xC2\xB7 PID 7 \xC2\xB7 Holding: a.txt (mapped into memory) and 2 more");
  ASSERT_EQ(l.hints.size(), 2u);
  EXPECT_EQ(l.hints[0].text, "There are very many files, so only the first 50,000 were checked.");

  WindowState none = finished({}, targets);
  none.summary->deep = true;
  none.summary->diagnoses = {Diagnosis{L"D:\\Work", DiagnosisKind::InUseUnseen, 0},
                             Diagnosis{L"E:\\x.txt", DiagnosisKind::LooksDeletable, 0}};
  const Layout n = lay(none);
  EXPECT_EQ(n.headline, "No program is holding it right now");
  EXPECT_EQ(n.explanation, "Even a deep search found no program holding it.");
  ASSERT_EQ(n.hints.size(), 2u);
  EXPECT_EQ(n.hints[0].text, "Work \xE2\x80\x94 Something is using it but wasn't found. Try 'Search as administrator'.");
  // Handles the deep search left alone are worth a word only when it found nothing.
  none.summary->unexamined = 1200;
  EXPECT_EQ(lay(none).hints.back().text, "Open items that could stall the search were skipped (1,200). One of them may be holding it.");
  s.summary->deep = true;
  s.summary->unexamined = 1200;
  EXPECT_EQ(lay(s).hints.size(), 1u);
}

// Thousands of rows or targets cost no more to lay out than the few in view.
TEST(View, LaysOutOnlyTheRowsInViewAndFewDiagnoses) {
  std::vector<HolderRow> many;
  for (std::uint32_t pid = 100; pid < 1100; ++pid) many.push_back({holder(pid, HolderKind::Program), {}});
  WindowState s = finished(std::move(many));
  Layout l = lay(s);
  ASSERT_FALSE(l.rows.empty());
  EXPECT_LE(l.rows.size(), 5u);
  EXPECT_EQ(l.rows.front().index, 0u);
  const float pitch = 94.0f;
  const float end_of_rows = l.rows.front().box.y + 1000 * pitch;
  EXPECT_GE(l.content_height, end_of_rows);  // the scroll range still covers every row
  const float range = max_scroll(l, s);

  // Scrolled to the end: the last rows, where the first ones were, and they answer clicks.
  s.scroll = range;
  l = lay(s);
  ASSERT_FALSE(l.rows.empty());
  EXPECT_EQ(l.rows.back().index, 999u);
  EXPECT_FLOAT_EQ(l.rows.back().box.y, l.rows.front().box.y + static_cast<float>(999 - l.rows.front().index) * pitch);
  const ViewElement& close = l.rows_buttons[l.rows.back().first_button];
  const Hit hit = hit_test(l, s, PointF{close.box.x + 2, close.box.y - s.scroll + 2});
  EXPECT_EQ(hit.kind, HitKind::RowClose);
  EXPECT_EQ(hit.row, 999u);
  EXPECT_FLOAT_EQ(max_scroll(l, s), range);

  WindowState none = finished({});
  for (int i = 0; i < 20'000; ++i) none.summary->diagnoses.push_back(Diagnosis{L"D:\\t" + std::to_wstring(i)});
  none.targets.assign(20'000, L"D:\\t");
  l = lay(none);
  ASSERT_EQ(l.hints.size(), kListedDiagnoses + 1);
  EXPECT_EQ(l.hints[0].text, "t0 \xE2\x80\x94 It looks deletable now. Try deleting it again.");
  EXPECT_EQ(l.hints[kListedDiagnoses].text, "and 19,950 more");
}

TEST(View, ProgressFollowsThePhase) {
  WindowState s = finished({});
  s.summary.reset();
  s.progress = ScanProgress{12345, 0.5f, ScanPhase::AskingWindows};
  Layout l = lay(s);
  EXPECT_EQ(l.headline, "Searching.");
  EXPECT_EQ(l.explanation, "Asking Windows who is using them \xC2\xB7 12,345 files");
  EXPECT_FLOAT_EQ(*l.progress, 0.5f);
  EXPECT_TRUE(l.header.size() == 3u);  // no text buttons while searching
  s.deep = true;
  EXPECT_FLOAT_EQ(*lay(s).progress, 0.275f);
  s.progress.phase = ScanPhase::DeepSearching;
  EXPECT_FLOAT_EQ(*lay(s).progress, 0.75f);
}

// One file is counted in the singular, on the folder's card as in the read-only note.
TEST(View, OneFileIsCountedInTheSingular) {
  struct Case {
    std::uint64_t files;
    std::string card, note;
  };
  const Case cases[] = {
      {1, "Folder \xC2\xB7 1 file inside",
       "It has 1 read-only file inside. Windows will ask again when you delete it."},
      {2, "Folder \xC2\xB7 2 files inside",
       "It has 2 read-only files inside. Windows will ask again when you delete them."},
      {1200, "Folder \xC2\xB7 1,200 files inside",
       "It has 1,200 read-only files inside. Windows will ask again when you delete them."},
  };
  for (const Case& c : cases) {
    WindowState s = finished({}, {L"D:\\Work"});
    s.summary->folders = 1;
    s.summary->files_checked = c.files;
    EXPECT_EQ(lay(s).summary, c.card) << c.files;
    Diagnosis d;
    d.kind = DiagnosisKind::ReadOnly;
    d.folder = true;
    d.read_only = c.files;
    EXPECT_EQ(diagnosis_text(d, false, false), c.note) << c.files;
  }
}

// Stop shows beside the progress while a search can be stopped; a stopped search says it may
// have missed something and claims neither that nothing holds the targets nor that they can
// be deleted now.
TEST(View, StopWhileSearchingAndAStoppedResultClaimsNothing) {
  const auto searching = [](bool stopping, bool handed_over) {
    WindowState s;
    s.targets = {L"D:\\Work"};
    s.progress = ScanProgress{1200, 0.0f, ScanPhase::Listing};
    s.targets_hold_folder = true;
    s.stopping = stopping;
    if (handed_over) s.hand_overs.push_back(PendingHandOver{});
    return s;
  };
  const auto stopped = [](std::vector<HolderRow> rows) {
    WindowState s = finished(std::move(rows), {L"D:\\Work"});
    s.summary->folders = 1;
    s.summary->files_checked = 1200;
    s.summary->stopped = true;
    return s;
  };
  const std::string incomplete =
      "The search was stopped, so the results may be incomplete. Search again (\xE2\x86\xBB) to look everywhere.";
  struct Case {
    const char* name;
    WindowState state;
    bool stop_button;
    std::string headline, explanation, summary;
  };
  const Case cases[] = {
      {"searching", searching(false, false), true, "Searching.", "Listing files in the folder \xC2\xB7 1,200", "Folder"},
      {"stopping", searching(true, false), false, "Stopping.", "Listing files in the folder \xC2\xB7 1,200", "Folder"},
      {"taking in paths", searching(false, true), false, "Searching.", "Listing files in the folder \xC2\xB7 1,200",
       "Folder"},
      {"stopped, nothing found", stopped({}), false, "Search stopped", incomplete,
       "Folder \xC2\xB7 checked up to 1,200 files"},
      {"stopped, all released", stopped({{holder(10, HolderKind::Program), {ActionKind::Closed, {}}}}), false,
       "All released", incomplete, "Folder \xC2\xB7 checked up to 1,200 files"},
  };
  for (const Case& c : cases) {
    const Layout l = lay(c.state, ViewSize{880, 640, 1.0f});
    EXPECT_EQ(l.headline, c.headline) << c.name;
    EXPECT_EQ(l.explanation, c.explanation) << c.name;
    EXPECT_EQ(l.summary, c.summary) << c.name;
    for (const HintLayout& h : l.hints) EXPECT_EQ(h.text.find("deletable"), std::string::npos) << c.name;
    for (const ViewElement& e : l.footer) EXPECT_NE(e.style, ButtonStyle::Primary) << c.name;
    ASSERT_EQ(l.status_buttons.size(), c.stop_button ? 1u : 0u) << c.name;
    if (!c.stop_button) continue;
    // At the headline's end, above the progress bar, and reached like every button.
    const RectF& stop = l.status_buttons[0].box;
    EXPECT_FLOAT_EQ(stop.x + stop.width, l.column_left + l.column_width) << c.name;
    EXPECT_LE(l.headline_box.x + l.headline_box.width, stop.x) << c.name;
    EXPECT_LT(stop.y + stop.height, l.progress_track.y) << c.name;
    EXPECT_EQ(hit_test(l, c.state, PointF{stop.x + 3, stop.y + 3}), Hit{HitKind::StopSearch}) << c.name;
  }
}

}  // namespace
}  // namespace tw
