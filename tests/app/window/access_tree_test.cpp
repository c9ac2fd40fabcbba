#include <gtest/gtest.h>

#include <algorithm>

#include "app/window/access_tree.h"

namespace tw {
namespace {

HolderRow row(std::uint32_t pid, const char* title, HolderKind kind = HolderKind::Program,
              ActionKind action = ActionKind::Idle) {
  Holder h;
  h.pid = pid;
  h.start_time = 1000 + pid;
  h.title = title;
  h.exe_name = std::string(title) + ".exe";
  h.kind = kind;
  h.has_window = true;
  return HolderRow{h, ActionState{action, {}}};
}

WindowState holding(std::vector<HolderRow> rows) {
  WindowState s;
  s.targets = {L"D:\\Work\\a.txt"};
  s.summary = ScanSummary{};
  s.summary->files_checked = 1;
  s.elevated = true;
  s.rows = std::move(rows);
  return s;
}

std::vector<AccessNode> tree(const WindowState& s, ViewSize size = {880, 640, 1.0f}) {
  return access_tree(layout_view(s, size, fixed_metrics(), true, RowsLaidOut::All), s);
}

const AccessNode* by_id(const std::vector<AccessNode>& nodes, std::string_view id) {
  for (const AccessNode& n : nodes) {
    if (n.id == id) return &n;
  }
  return nullptr;
}

// What a screen reader hears, in order, with the parent of each.
TEST(AccessTree, ReadsTheWindowInOrderWithRowsAsAList) {
  WindowState s = holding({row(10, "Word"), row(11, "Photos", HolderKind::Program, ActionKind::Closing)});
  s.notice = "Moved to the Recycle Bin";
  const std::vector<AccessNode> nodes = tree(s);
  std::vector<std::string> outline;
  for (const AccessNode& n : nodes) {
    outline.push_back((n.parent == kTopLevel ? "" : nodes[n.parent].id + " > ") + n.id + ": " + n.name);
  }
  EXPECT_EQ(outline, (std::vector<std::string>{
                         "header/deep: Deep search",
                         "header/add: Add files or a folder",
                         "header/rescan: Search again",
                         "header/menu: Settings menu",
                         "card: D:\\Work\\a.txt, File",
                         "headline: 2 programs are holding it",
                         "explanation: 'Close' asks the program to close its windows. If something is unsaved, the "
                         "program will ask you.",
                         "holders: 2 programs are holding it",
                         "holders > row/10/1010: Word, Word.exe \xC2\xB7 PID 10",
                         "row/10/1010 > row/10/1010/close: Close",
                         "holders > row/11/1011: Photos, Closing, Photos.exe \xC2\xB7 PID 11",
                         "hint/0: If it still won't delete, click 'Deep search'. It also finds things Windows doesn't "
                         "report, like a command prompt that has the folder open.",
                         "footer/recycle: Move to Recycle Bin",
                         "notice: Moved to the Recycle Bin",
                     }));
  const AccessNode& close = *by_id(nodes, "row/10/1010/close");
  EXPECT_EQ(close.role, AccessRole::Button);
  EXPECT_EQ(close.hit, (Hit{HitKind::RowClose, 0}));
  EXPECT_EQ(by_id(nodes, "holders")->role, AccessRole::List);
  EXPECT_EQ(by_id(nodes, "row/10/1010")->role, AccessRole::ListItem);
  EXPECT_TRUE(by_id(nodes, "headline")->live);
  EXPECT_TRUE(by_id(nodes, "notice")->live);
  EXPECT_FALSE(by_id(nodes, "card")->live);

  // A file another computer opened is read by who opened it, its button by its label.
  HolderRow remote = row(134217741, "ana", HolderKind::NetworkOpen);
  remote.holder.start_time = 0;
  remote.holder.remote.user = "ana";
  const std::vector<AccessNode> with_open = tree(holding({remote}));
  const AccessNode* button = by_id(with_open, "row/134217741/0/disconnect");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->role, AccessRole::Button);
  EXPECT_EQ(button->name, "Disconnect");
  EXPECT_EQ(button->hit, (Hit{HitKind::RowDisconnect, 0}));
  EXPECT_EQ(by_id(with_open, "row/134217741/0")->name.rfind("Opened over the network by ana, ", 0), 0u);
}

// Boxes are where the view draws; rows scrolled away are still there, marked off screen.
TEST(AccessTree, EveryRowIsThereInViewOrNot) {
  std::vector<HolderRow> rows;
  for (std::uint32_t pid = 100; pid < 160; ++pid) rows.push_back(row(pid, "P"));
  WindowState s = holding(std::move(rows));
  s.scroll = 500.0f;
  const Layout in_view = layout_view(s, ViewSize{880, 640, 1.0f}, fixed_metrics(), true);
  const std::vector<AccessNode> nodes = tree(s);
  std::size_t items = 0, offscreen = 0;
  for (const AccessNode& n : nodes) {
    if (n.role != AccessRole::ListItem) continue;
    ++items;
    if (n.offscreen) ++offscreen;
  }
  EXPECT_EQ(items, 60u);
  EXPECT_GT(offscreen, 50u);
  EXPECT_LT(offscreen, 60u);
  // A row in view: the same box as painting and the focus use.
  const RowLayout& shown = in_view.rows.at(1);
  const AccessNode& node = *by_id(nodes, "row/" + std::to_string(100 + shown.index) + "/" +
                                              std::to_string(1100 + shown.index));
  EXPECT_FALSE(node.offscreen);
  EXPECT_EQ(*node.box, *element_box(in_view, s, Hit{HitKind::Row, shown.index}));
  EXPECT_TRUE(by_id(nodes, "card")->offscreen);  // scrolled up under the header
  EXPECT_FALSE(by_id(nodes, "header/menu")->offscreen);
}

// A row keeps its id through a rescan that moves it, so a client's element follows it; one
// that went is gone from the tree.
TEST(AccessTree, IdsFollowTheirProgramAndFocusFindsItsNode) {
  WindowState s = holding({row(10, "Word"), row(11, "Photos")});
  set_focus(s, Hit{HitKind::RowClose, 1});
  std::vector<AccessNode> before = tree(s);
  ASSERT_TRUE(focused_node(before, s));
  EXPECT_EQ(before[*focused_node(before, s)].id, "row/11/1011/close");

  const auto elements = [](const WindowState& state) {
    return focus_ids(state, focus_order(layout_view(state, {880, 640, 1.0f}, fixed_metrics(), true), state));
  };
  refocus_rows(s, elements(s));
  s.rows = {row(11, "Photos"), row(12, "Paint")};
  refocus_rows(s, elements(s));
  const std::vector<AccessNode> after = tree(s);
  EXPECT_EQ(after[*focused_node(after, s)].id, "row/11/1011/close");
  EXPECT_FALSE(by_id(after, "row/10/1010"));
  EXPECT_EQ(by_id(after, "row/11/1011")->hit, (Hit{HitKind::Row, 0}));

  s.focus.reset();
  EXPECT_FALSE(focused_node(after, s));
}

// The end of a search and a notice are said aloud once, when their text changes.
TEST(AccessTree, OnlyNewTextInLiveNodesIsAnnounced) {
  WindowState s = holding({});
  s.progress = ScanProgress{5, 0.0f, ScanPhase::AskingWindows};
  s.tick = 1;
  const std::vector<AccessNode> searching = tree(s);
  s.tick = 2;  // the dots move: nothing new to say
  EXPECT_TRUE(changed_live_nodes(searching, tree(s)).empty());
  // Stop is a button like the others, and stopping is said aloud.
  const auto stop = std::find_if(searching.begin(), searching.end(), [](const AccessNode& n) { return n.id == "status/stop"; });
  ASSERT_NE(stop, searching.end());
  EXPECT_EQ(stop->role, AccessRole::Button);
  EXPECT_EQ(stop->name, "Stop");
  EXPECT_EQ(stop->hit, Hit{HitKind::StopSearch});
  s.stopping = true;
  const std::vector<AccessNode> stopping = tree(s);
  const std::vector<std::size_t> told = changed_live_nodes(searching, stopping);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(stopping[told[0]].name, "Stopping");
  s.stopping = false;

  s.progress.phase = ScanPhase::Taken;
  s.rows = {row(10, "Word")};
  const std::vector<AccessNode> found = tree(s);
  const std::vector<std::size_t> said = changed_live_nodes(searching, found);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(found[said[0]].name, "1 program is holding it");

  s.notice = "Closed";
  const std::vector<AccessNode> noticed = tree(s);
  const std::vector<std::size_t> notice = changed_live_nodes(found, noticed);
  ASSERT_EQ(notice.size(), 1u);
  EXPECT_EQ(noticed[notice[0]].id, "notice");
  EXPECT_TRUE(changed_live_nodes(noticed, noticed).empty());
}

TEST(AccessTree, TheEmptyViewReadsItsInvitationAndItsButtons) {
  WindowState s;
  const std::vector<AccessNode> nodes = tree(s);
  std::vector<std::string> ids;
  for (const AccessNode& n : nodes) ids.push_back(n.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"header/add", "header/menu", "empty/title", "empty/tagline", "empty/files",
                                           "empty/folder", "empty/tip"}));
  EXPECT_EQ(by_id(nodes, "empty/files")->name, "Choose files");
  EXPECT_EQ(by_id(nodes, "empty/title")->name, "Drop a file or folder that won't delete here");
}

}  // namespace
}  // namespace tw
