#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/language/catalogue.h"
#include "app/scan/diagnosis.h"
#include "app/scan/held_text.h"
#include "app/scan/network_search.h"
#include "app/scan/search.h"
#include "common/casemap.h"
#include "common/text.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::TempDir;

// What the stand-in server knows; Wine runs none.
struct Server {
  static inline std::vector<std::wstring> shares;
  static inline NetAnswer answer = NetAnswer::Listed;
  static inline std::vector<NetworkOpen> opens;
  static inline int listings = 0;

  static std::vector<std::wstring> shared() { return shares; }
  static NetworkOpenList list(const std::wstring& base) {
    ++listings;
    NetworkOpenList out{answer, {}};
    if (answer != NetAnswer::Listed) return out;
    // The server lists what lies under the base path, as it spelled it.
    const std::string key = path_key(std::wstring_view(base));
    for (const NetworkOpen& o : opens) {
      if (key_matches(key, path_key(std::wstring_view(o.path)))) out.opens.push_back(o);
    }
    return out;
  }
  static std::vector<NetSession> sessions() { return {{"ana", "LAPTOP-7"}, {"bo", "A"}, {"bo", "B"}}; }

  static NetworkOpensApi api() {
    listings = 0;
    NetworkOpensApi a;
    a.shared_folders = &shared;
    a.file_opens = &list;
    a.sessions = &sessions;
    return a;
  }
};

std::wstring upper(const std::wstring& path) {
  std::wstring out = path;
  std::transform(out.begin(), out.end(), out.begin(), [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - 32 : c; });
  return out;
}

// Each open inside a target is a row of its own, found whatever the share's spelling, and the
// server is asked only about shares that overlap a target.
TEST(NetworkSearch, OpensInsideTheTargetsBecomeRowsAndRefusalsMarkTheirTargets) {
  TempDir dir;
  for (const wchar_t* d : {L"Share", L"Share\\Reports", L"Share\\Other", L"Elsewhere"}) ASSERT_TRUE(test::make_dir(dir / d));
  ASSERT_TRUE(test::write_file(dir / L"Share\\Reports\\q1.xlsx", "x"));
  ASSERT_TRUE(test::write_file(dir / L"Share\\Other\\b.txt", "x"));
  const std::wstring share = dir / L"Share";
  const std::wstring shouted = upper(share);  // as someone typed it when sharing
  const std::vector<NetworkOpen> opens = {
      {7, 3, 1, shouted + L"\\REPORTS\\Q1.XLSX", "ana"},
      {8, 1, 0, shouted + L"\\OTHER\\B.TXT", "bo"},
      {9, 1, 0, shouted + L"\\REPORTS", "bo"},
      {7, 3, 1, shouted + L"\\REPORTS\\Q1.XLSX", "ana"},  // listed again under an overlapping share
  };
  struct Case {
    const char* what;
    std::vector<std::wstring> shares;
    NetAnswer answer;
    std::vector<std::wstring> targets;
    int listings;
    std::vector<std::wstring> held;  // each row's path, in order
    std::vector<bool> unseen;
    std::string first_computer;
  } const cases[] = {
      {"nothing shared", {}, NetAnswer::Listed, {dir / L"Share\\Reports"}, 0, {}, {false}, ""},
      {"a share elsewhere", {share}, NetAnswer::Listed, {dir / L"Elsewhere"}, 0, {}, {false}, ""},
      {"target in a share spelled otherwise", {shouted, share + L"\\"}, NetAnswer::Listed, {dir / L"Share\\Reports"}, 2,
       {dir / L"Share\\Reports\\Q1.XLSX", dir / L"Share\\Reports"}, {false}, "LAPTOP-7"},
      {"a share inside the target", {shouted}, NetAnswer::Listed, {dir.path()}, 1,
       {dir / L"SHARE\\REPORTS\\Q1.XLSX", dir / L"SHARE\\OTHER\\B.TXT", dir / L"SHARE\\REPORTS"}, {false}, "LAPTOP-7"},
      {"not an administrator", {share}, NetAnswer::AccessDenied, {dir / L"Share\\Reports", dir / L"Elsewhere"}, 1, {},
       {true, false}, ""},
      {"no server", {share}, NetAnswer::NoServer, {dir / L"Share"}, 1, {}, {false}, ""},
  };
  for (const Case& c : cases) {
    Server::shares = c.shares;
    Server::answer = c.answer;
    Server::opens = opens;
    const NetworkFindings found = find_network_opens(c.targets, Server::api());
    EXPECT_EQ(Server::listings, c.listings) << c.what;
    EXPECT_EQ(found.unseen, c.unseen) << c.what;
    ASSERT_EQ(found.holders.size(), c.held.size()) << c.what;
    for (std::size_t i = 0; i < c.held.size(); ++i) {
      const Holder& h = found.holders[i];
      EXPECT_EQ(h.kind, HolderKind::NetworkOpen) << c.what;
      ASSERT_EQ(h.files.size(), 1u) << c.what;
      // Spelled under the target as the user wrote it; the rest as the server gave it.
      EXPECT_EQ(path_key(std::wstring_view(h.files[0])), path_key(std::wstring_view(c.held[i]))) << c.what;
      EXPECT_EQ(h.files[0].substr(0, c.targets[0].size()), c.targets[0]) << c.what;
    }
    if (!c.held.empty()) {
      EXPECT_EQ(found.holders[0].pid, 7u) << c.what;
      EXPECT_EQ(found.holders[0].remote.user, "ana") << c.what;
      EXPECT_EQ(found.holders[0].remote.computer, c.first_computer) << c.what;
      EXPECT_EQ(found.holders[0].remote.permissions, 3u) << c.what;
      EXPECT_EQ(found.holders.back().remote.computer, "") << c.what;  // bo is on two computers
    }
  }
}

// Through the whole search: the opens are rows after the programs, named in the user's
// language; when only an administrator could list them, the diagnosis says so.
TEST(NetworkSearch, TheSearchShowsOpensAsRowsOrSaysTheyMayBeThere) {
  TempDir dir;
  ASSERT_TRUE(test::write_file(dir / L"report.docx", "x"));
  const Target target = dir / L"report.docx";
  ScanApi platform;
  platform.network = Server::api();
  Server::shares = {dir.path()};
  Server::opens = {{41, 1, 0, dir / L"report.docx", "ana"}};

  Server::answer = NetAnswer::Listed;
  const ScanResult found = search_targets({target}, false, {}, platform);
  ASSERT_EQ(found.holders.size(), 1u);
  EXPECT_EQ(found.holders[0].held, "report.docx");
  EXPECT_TRUE(found.diagnoses.empty());
  EXPECT_FALSE(found.network_unseen);
  EXPECT_EQ(shown_title(found.holders[0]), "Opened over the network by ana");

  Server::answer = NetAnswer::AccessDenied;
  const ScanResult unseen = search_targets({target}, false, {}, platform);
  EXPECT_TRUE(unseen.holders.empty());
  EXPECT_TRUE(unseen.network_unseen);
  ASSERT_EQ(unseen.diagnoses.size(), 1u);
  EXPECT_TRUE(unseen.diagnoses[0].shared);
  EXPECT_EQ(diagnosis_text(unseen.diagnoses[0], false, false), localized(msg::kDiagnosisSharedTryAdmin));
}

}  // namespace
}  // namespace tw
