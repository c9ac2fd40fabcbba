#include <gtest/gtest.h>

#include <windows.h>

#include <map>

#include "procs/holders.h"

namespace tw {
namespace {

// A made-up system for finish_holders: what each process identifier answers now.
struct FakeProcess {
  std::optional<std::uint64_t> created;
  std::optional<std::wstring> image;
  std::optional<std::uint32_t> session = 1;
  std::vector<ProcessWindow> windows;
};

std::map<std::uint32_t, FakeProcess> g_processes;
std::map<std::wstring, std::string> g_descriptions;
std::vector<std::uint32_t> g_windows_asked;

const ProcessApi kFakeFacts{
    [](std::uint32_t pid) { return g_processes[pid].created; },
    [](std::uint32_t pid) { return g_processes[pid].image; },
    [](std::uint32_t pid) { return g_processes[pid].session; },
    [](const std::wstring& path) -> std::optional<std::string> {
      const auto it = g_descriptions.find(path);
      if (it == g_descriptions.end()) return std::nullopt;
      return it->second;
    },
    [](std::uint32_t pid) {
      g_windows_asked.push_back(pid);
      return g_processes[pid].windows;
    },
    [](std::uint32_t) -> std::optional<bool> { return false; },
};

class FinishHolders : public ::testing::Test {
 protected:
  FinishHolders() {
    g_processes.clear();
    g_descriptions.clear();
    g_windows_asked.clear();
  }
};

RmFinding finding(std::uint32_t pid, std::string app_name, std::optional<std::wstring> file = std::nullopt) {
  RmFinding f;
  f.pid = pid;
  f.app_name = std::move(app_name);
  f.file = std::move(file);
  f.session_id = 1;
  return f;
}

TEST(PendingHolders, FindingsOfOneProcessMerge) {
  PendingHolders pending;
  add_held_path(pending, 40, L"D:\\exe\\x.exe");  // known first from elsewhere, without a name
  RmFinding a = finding(40, "", L"D:\\a.txt");
  a.service_name = "Spooler";
  a.start_time = 111;
  a.session_id = 2;
  a.is_critical = true;
  add_rm_finding(pending, a);
  RmFinding b = finding(40, "Second Name");  // a whole batch, not narrowed to a file
  b.service_name = "Audio";
  b.start_time = 222;
  b.is_service = true;
  add_rm_finding(pending, b);
  a.app_name = "Third Name";
  add_rm_finding(pending, a);

  const PendingHolder& p = pending.at(40);
  EXPECT_EQ(p.name, "Second Name");  // the first that was not blank
  EXPECT_EQ(p.services, (std::vector<std::string>{"Spooler", "Audio"}));
  EXPECT_EQ(p.files, (std::vector<std::wstring>{L"D:\\exe\\x.exe", L"D:\\a.txt", L"D:\\a.txt"}));
  EXPECT_EQ(p.rm_start_time, 111u);  // the last finding's
  EXPECT_EQ(p.session, 2u);
  EXPECT_TRUE(p.is_service && p.is_critical && p.unattributed);
}

TEST_F(FinishHolders, KeepsOnlyTheProcessesThatWereSeen) {
  PendingHolders pending;
  RmFinding f = finding(100, "Same");
  f.start_time = 5000;
  g_processes[100].created = 5000;
  add_rm_finding(pending, f);
  f.pid = 104;  // exited; a newer process took its identifier
  g_processes[104].created = 7000;
  add_rm_finding(pending, f);
  f.pid = 108;  // cannot be opened: the report stands
  add_rm_finding(pending, f);
  add_held_path(pending, 112, L"D:\\x");  // found by other means: whatever runs now
  g_processes[112].created = 8000;
  add_held_path(pending, 116, L"D:\\y");
  add_held_path(pending, ::GetCurrentProcessId(), L"D:\\mine");  // this program itself

  const std::vector<Holder> holders = finish_holders(pending, kFakeFacts);
  std::vector<std::pair<std::uint32_t, std::uint64_t>> identities;
  for (const Holder& h : holders) identities.emplace_back(h.pid, h.start_time);
  EXPECT_EQ(identities, (std::vector<std::pair<std::uint32_t, std::uint64_t>>{
                            {100, 5000}, {108, 5000}, {112, 8000}, {116, 0}}));
  EXPECT_EQ(g_windows_asked, (std::vector<std::uint32_t>{100, 108, 112, 116}));
}

TEST_F(FinishHolders, NamesComeFromTheRestartManagerTheDescriptionOrTheFile) {
  for (std::uint32_t pid : {200u, 204u}) g_processes[pid].image = L"C:\\Apps\\Notepad.exe";
  g_processes[208].image = L"C:\\Apps\\tool.exe";  // no description
  for (std::uint32_t pid : {216u, 220u}) g_processes[pid].image = L"C:\\Apps\\\x00C4pp.exe";
  g_processes[224].image = L"C:\\Odd\\\xD800.exe";
  g_processes[228].image = L"C:\\Odd\\";
  g_descriptions[L"C:\\Apps\\Notepad.exe"] = "Notepad";
  g_descriptions[L"C:\\Apps\\\x00C4pp.exe"] = "App";

  PendingHolders pending;
  add_rm_finding(pending, finding(200, "NOTEPAD.EXE"));     // just the file name again
  add_rm_finding(pending, finding(204, "Notepad Deluxe"));  // a name of its own
  add_rm_finding(pending, finding(208, ""));
  add_rm_finding(pending, finding(212, "Locked Away"));        // image path unreadable
  add_rm_finding(pending, finding(216, "\xC3\x84PP.EXE"));     // ÄPP.EXE: equal once A-Z fold
  add_rm_finding(pending, finding(220, "\xC3\xA4PP.EXE"));     // äPP.EXE: not
  add_rm_finding(pending, finding(224, ""));
  add_rm_finding(pending, finding(228, "From RM"));
  add_held_path(pending, 232, L"D:\\x");  // nothing known at all

  std::vector<std::pair<std::string, std::string>> names;  // (exe_name, title)
  for (const Holder& h : finish_holders(pending, kFakeFacts)) names.emplace_back(h.exe_name, h.title);
  EXPECT_EQ(names, (std::vector<std::pair<std::string, std::string>>{
                       {"Notepad.exe", "Notepad"},
                       {"Notepad.exe", "Notepad Deluxe"},
                       {"tool.exe", "tool.exe"},
                       {"Locked Away", "Locked Away"},
                       {"\xC3\x84pp.exe", "App"},
                       {"\xC3\x84pp.exe", "\xC3\xA4PP.EXE"},
                       {"\xEF\xBF\xBD.exe", "\xEF\xBF\xBD.exe"},
                       {"From RM", "From RM"},  // the image path has no last component
                       {"", ""},
                   }));
}

TEST_F(FinishHolders, CriticalMakesProgramsPartOfWindowsAndSessionsComeFromTheReportFirst) {
  wchar_t root[MAX_PATH] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH), 0u);
  g_processes[300].image = L"D:\\Apps\\editor.exe";
  g_processes[304].image = std::wstring(root) + L"\\explorer.exe";
  for (std::uint32_t pid : {308u, 312u}) g_processes[pid].session = 0;

  PendingHolders pending;
  RmFinding critical = finding(300, "Editor");
  critical.is_critical = true;
  add_rm_finding(pending, critical);
  critical.pid = 304;  // the shell stays the shell
  add_rm_finding(pending, critical);
  add_held_path(pending, 308, L"D:\\x");       // session asked of the system: 0
  add_rm_finding(pending, finding(312, "A"));  // the Restart Manager's session (1) wins

  std::vector<HolderKind> kinds;
  for (const Holder& h : finish_holders(pending, kFakeFacts)) kinds.push_back(h.kind);
  EXPECT_EQ(kinds, (std::vector<HolderKind>{HolderKind::WindowsComponent, HolderKind::FileExplorer,
                                            HolderKind::Service, HolderKind::Program}));
}

TEST_F(FinishHolders, WindowTitleIsTheFirstThatSaysSomethingNew) {
  g_processes[400].image = L"C:\\Apps\\word.exe";
  g_descriptions[L"C:\\Apps\\word.exe"] = "Word";
  PendingHolders pending;
  add_held_path(pending, 400, L"D:\\x");
  struct Case {
    std::vector<std::string> titles;
    std::string window_title;
    bool has_window;
  };
  const Case cases[] = {
      {{}, "", false},
      {{""}, "", true},
      {{"Word"}, "", true},  // titled like the row itself
      {{" \t", "Word", "  Report.docx  ", "Other"}, "  Report.docx  ", true},
      {{"word"}, "word", true},  // compared byte for byte
  };
  for (const Case& c : cases) {
    g_processes[400].windows.clear();
    for (const std::string& t : c.titles) g_processes[400].windows.push_back({nullptr, t});
    const std::vector<Holder> h = finish_holders(pending, kFakeFacts);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h[0].window_title, c.window_title);
    EXPECT_EQ(h[0].has_window, c.has_window);
  }
}

TEST_F(FinishHolders, FilesAreSortedByComponentsWithoutRepeatsAndKeepEveryWayTheyAreHeld) {
  const std::pair<const wchar_t*, HoldWays> found[] = {
      {L"D:\\b\\x", kHeldOpen},   {L"D:\\a b", kHeldLoaded}, {L"D:\\a\\z", kHeldOpen}, {L"D:\\a", kHeldMapped},
      {L"D:\\a\\z", kHeldMapped}, {L"D:\\A", kHeldOpen},     {L"D:\\a\\z", kHeldOpen},
  };
  PendingHolders pending;
  for (const auto& [path, how] : found) add_held_path(pending, 500, path, how);
  const std::vector<Holder> h = finish_holders(pending, kFakeFacts);
  ASSERT_EQ(h.size(), 1u);
  // "a b" sorts after everything inside "a", though a space sorts before a backslash.
  EXPECT_EQ(h[0].files, (std::vector<std::wstring>{L"D:\\A", L"D:\\a", L"D:\\a\\z", L"D:\\a b", L"D:\\b\\x"}));
  // A file held open and mapped as well is one entry with both ways.
  EXPECT_EQ(h[0].ways, (std::vector<HoldWays>{kHeldOpen, kHeldMapped, kHeldOpen | kHeldMapped, kHeldLoaded, kHeldOpen}));
  EXPECT_EQ(held_ways(h[0], 4), kHeldOpen);
  EXPECT_EQ(held_ways(Holder{}, 0), kHeldOpen);  // a holder made without ways holds its files open
}

}  // namespace
}  // namespace tw
