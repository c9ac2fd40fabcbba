#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rm/rm_query.h"
#include "support/fake_rm.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::FakeProcess;
using test::FakeRm;
using test::fake_program;

std::vector<std::wstring> numbered_files(std::size_t count, std::wstring_view folder = L"C:\\Data") {
  std::vector<std::wstring> files;
  for (std::size_t i = 0; i < count; ++i) files.push_back(std::wstring(folder) + L"\\f" + std::to_wstring(i) + L".txt");
  return files;
}

// Findings as "pid@index" (the file's index in `files`) or "pid@?" when no file was worked out.
std::vector<std::string> attribution(const std::vector<RmFinding>& findings, const std::vector<std::wstring>& files) {
  std::vector<std::string> out;
  for (const RmFinding& f : findings) {
    std::string where = "?";
    if (f.file) {
      where = "not in the list";
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i] == *f.file) where = std::to_string(i);
      }
    }
    out.push_back(std::to_string(f.pid) + "@" + where);
  }
  return out;
}

// Every query ends its session exactly once, and before any half is asked.
::testing::AssertionResult every_session_ended(const FakeRm& rm) {
  if (rm.open_sessions() != 0) return ::testing::AssertionFailure() << rm.open_sessions() << " sessions left open";
  if (rm.end_calls != rm.start_calls) {
    return ::testing::AssertionFailure() << rm.start_calls << " RmStartSession calls but " << rm.end_calls
                                         << " RmEndSession calls";
  }
  if (rm.most_open > 1) return ::testing::AssertionFailure() << rm.most_open << " sessions were open at once";
  if (rm.protocol_errors != 0) return ::testing::AssertionFailure() << rm.protocol_errors << " malformed calls";
  return ::testing::AssertionSuccess();
}

std::vector<RmFinding> query(const std::vector<std::wstring>& files, std::uint32_t& budget) {
  std::vector<RmFinding> findings;
  query_holders(files, budget, findings, FakeRm::api());
  return findings;
}

TEST(QueryHolders, NarrowsOneHeldFileOfAFullBatchDownToThatFile) {
  FakeRm rm;
  const auto files = numbered_files(kRmBatchFiles);
  rm.processes = {fake_program(7, L"Editor", {files[137]})};
  std::uint32_t budget = kRmScanSplitBudget;
  const auto findings = query(files, budget);
  EXPECT_EQ(attribution(findings, files), std::vector<std::string>{"7@137"});
  // Eight levels of halving, both halves asked at each.
  EXPECT_EQ(budget, kRmScanSplitBudget - 8 * kRmSplitCost);
  EXPECT_EQ(rm.sessions_opened, 1u + 2 * 8);
  EXPECT_TRUE(every_session_ended(rm));
}

TEST(QueryHolders, AttributesEveryProcessToItsOwnFilesInListOrder) {
  FakeRm rm;
  const auto files = numbered_files(kRmBatchFiles);
  // The Restart Manager names B first; the findings follow the file list instead.
  rm.processes = {fake_program(22, L"B", {files[200]}), fake_program(11, L"A", {files[3]}),
                  fake_program(33, L"C", {files[100], files[130]})};
  std::uint32_t budget = kRmScanSplitBudget;
  const auto findings = query(files, budget);
  EXPECT_EQ(attribution(findings, files), (std::vector<std::string>{"11@3", "33@100", "33@130", "22@200"}));
  // Root, two halves, then six levels down to each of the four quarter-batches' files:
  // only slices with users are split.
  EXPECT_EQ(budget, kRmScanSplitBudget - (1 + 2 + 4 * 6) * kRmSplitCost);
  EXPECT_TRUE(every_session_ended(rm));
}

TEST(QueryHolders, SplitsAtTheSmallerFirstHalfAndRegistersFilesInListOrder) {
  FakeRm rm;
  const auto files = numbered_files(5);
  rm.processes = {fake_program(7, L"Editor", {files[2]})};
  std::uint32_t budget = kRmScanSplitBudget;
  const auto findings = query(files, budget);
  EXPECT_EQ(attribution(findings, files), std::vector<std::string>{"7@2"});
  const std::vector<std::vector<std::wstring>> expected{
      files, {files[0], files[1]}, {files[2], files[3], files[4]}, {files[2]}, {files[3], files[4]}};
  EXPECT_EQ(rm.registrations, expected);
  EXPECT_TRUE(every_session_ended(rm));
}

TEST(QueryHolders, SpendsTheSharedBudgetDepthFirstThenAppendsWithoutAFile) {
  FakeRm rm;
  const auto files = numbered_files(kRmBatchFiles);
  rm.processes = {fake_program(11, L"A", {files[3]}), fake_program(22, L"B", {files[200]})};
  // Enough for the root and the seven levels below it on the first half's side only.
  std::uint32_t budget = 8 * kRmSplitCost;
  auto findings = query(files, budget);
  EXPECT_EQ(attribution(findings, files), (std::vector<std::string>{"11@3", "22@?"}));
  EXPECT_EQ(budget, 0u);

  // The next batch of the same scan gets nothing left: one session, its users unattributed.
  const auto next = numbered_files(kRmBatchFiles, L"D:\\More");
  rm.processes.push_back(fake_program(44, L"D", {next[9]}));
  rm.processes.push_back(fake_program(55, L"E", {next[250]}));
  const std::uint32_t sessions_before = rm.sessions_opened;
  query_holders(next, budget, findings, FakeRm::api());
  EXPECT_EQ(rm.sessions_opened, sessions_before + 1);
  ASSERT_EQ(findings.size(), 4u);
  EXPECT_EQ(findings[2].pid, 44u);
  EXPECT_EQ(findings[3].pid, 55u);
  EXPECT_FALSE(findings[2].file || findings[3].file);
  EXPECT_TRUE(every_session_ended(rm));
}

TEST(QueryHolders, ABudgetOfOneUnitMakesNoSplit) {
  FakeRm rm;
  const auto files = numbered_files(8);
  rm.processes = {fake_program(3, L"C", {files[7]}), fake_program(1, L"A", {files[0]}),
                  fake_program(2, L"B", {files[4], files[5]})};
  std::uint32_t budget = 1;
  const auto findings = query(files, budget);
  // As the Restart Manager ordered them.
  EXPECT_EQ(attribution(findings, files), (std::vector<std::string>{"3@?", "1@?", "2@?"}));
  EXPECT_EQ(budget, 1u);
  EXPECT_EQ(rm.sessions_opened, 1u);
  EXPECT_TRUE(every_session_ended(rm));
}

TEST(QueryHolders, AUserTheHalvesMissIsKeptWithoutAFile) {
  const auto files = numbered_files(4);
  {
    SCOPED_TRACE("registering the single file fails");
    FakeRm rm;
    rm.processes = {fake_program(1, L"A", {files[0]}), fake_program(2, L"B", {files[1]})};
    rm.refuse_alone = files[1];
    std::uint32_t budget = kRmScanSplitBudget;
    EXPECT_EQ(attribution(query(files, budget), files), (std::vector<std::string>{"1@0", "2@?"}));
    EXPECT_TRUE(every_session_ended(rm));
  }
  {
    SCOPED_TRACE("the first half's session cannot be started; the second half still is asked");
    FakeRm rm;
    rm.processes = {fake_program(1, L"A", {files[0]}), fake_program(2, L"B", {files[3]})};
    rm.fail_start_call = 2;
    std::uint32_t budget = kRmScanSplitBudget;
    EXPECT_EQ(attribution(query(files, budget), files), (std::vector<std::string>{"2@3", "1@?"}));
    EXPECT_TRUE(every_session_ended(rm));
  }
  {
    SCOPED_TRACE("the process exits after the whole slice was asked");
    FakeRm rm;
    rm.processes = {fake_program(1, L"A", {files[2]})};
    rm.before_list = [](FakeRm& fake, std::uint32_t call) {
      if (call == 3) fake.processes.clear();  // after the root's two calls
    };
    std::uint32_t budget = kRmScanSplitBudget;
    EXPECT_EQ(attribution(query(files, budget), files), std::vector<std::string>{"1@?"});
    EXPECT_TRUE(every_session_ended(rm));
  }
  {
    SCOPED_TRACE("an earlier batch's finding for the same process does not count");
    FakeRm rm;
    rm.processes = {fake_program(1, L"A", {files[2]})};
    rm.refuse_alone = files[2];
    std::vector<RmFinding> findings(1);
    findings[0].pid = 1;
    findings[0].file = L"C:\\Earlier\\batch.txt";
    std::uint32_t budget = kRmScanSplitBudget;
    query_holders(files, budget, findings, FakeRm::api());
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[1].pid, 1u);
    EXPECT_FALSE(findings[1].file);
    EXPECT_TRUE(every_session_ended(rm));
  }
}

TEST(QueryHolders, FailuresContributeNothingAndEndTheSession) {
  const auto files = numbered_files(16);
  const auto held = [&] { return std::vector<FakeProcess>{fake_program(1, L"A", {files[5]})}; };
  {
    SCOPED_TRACE("RmStartSession fails");
    FakeRm rm;
    rm.processes = held();
    // Session handles start at 0: ending "whatever the failed start left" must not end this.
    const DWORD foreign = rm.open_foreign_session();
    rm.fail_start_call = 1;
    std::uint32_t budget = kRmScanSplitBudget;
    EXPECT_TRUE(query(files, budget).empty());
    EXPECT_EQ(rm.end_calls, 1u);
    EXPECT_TRUE(rm.is_open(foreign));
    EXPECT_EQ(rm.register_calls, 0u);
    EXPECT_EQ(budget, kRmScanSplitBudget);
  }
  for (const bool fail_register : {true, false}) {
    SCOPED_TRACE(fail_register ? "RmRegisterResources fails" : "RmGetList fails");
    FakeRm rm;
    rm.processes = held();
    (fail_register ? rm.fail_register_call : rm.fail_list_call) = 1;
    std::uint32_t budget = kRmScanSplitBudget;
    EXPECT_TRUE(query(files, budget).empty());
    EXPECT_EQ(budget, kRmScanSplitBudget);
    EXPECT_EQ(rm.sessions_opened, 1u);
    EXPECT_TRUE(every_session_ended(rm));
  }
  {
    SCOPED_TRACE("an empty slice asks nothing");
    FakeRm rm;
    std::uint32_t budget = kRmScanSplitBudget;
    EXPECT_TRUE(query({}, budget).empty());
    EXPECT_EQ(rm.start_calls + rm.end_calls, 0u);
    EXPECT_EQ(budget, kRmScanSplitBudget);
  }
}

TEST(QueryHolders, GrowsTheListWithFourSpareEntriesAndGivesUpAfterEightCalls) {
  const auto files = numbered_files(64);
  // Every RmGetList call after the first finds `added` more processes than the one before.
  const auto changing = [&](FakeRm& rm, std::uint32_t added) {
    rm.processes = {fake_program(1, L"A", {files[0]}), fake_program(2, L"B", {files[1]})};
    rm.before_list = [&files, added](FakeRm& fake, std::uint32_t call) {
      if (call == 1) return;
      for (std::uint32_t i = 0; i < added; ++i) {
        const auto pid = static_cast<DWORD>(fake.processes.size() + 1);
        fake.processes.push_back(fake_program(pid, L"New", {files[pid]}));
      }
    };
  };
  {
    SCOPED_TRACE("four new processes fit in the spare entries");
    FakeRm rm;
    changing(rm, 4);
    std::uint32_t budget = 0;
    EXPECT_EQ(query(files, budget).size(), 6u);
    EXPECT_EQ(rm.list_capacities, (std::vector<UINT>{0, 6}));
    EXPECT_TRUE(every_session_ended(rm));
  }
  {
    SCOPED_TRACE("five new processes on every call");
    FakeRm rm;
    changing(rm, 5);
    std::uint32_t budget = kRmScanSplitBudget;
    EXPECT_TRUE(query(files, budget).empty());
    EXPECT_EQ(rm.list_capacities, (std::vector<UINT>{0, 6, 11, 16, 21, 26, 31, 36}));
    EXPECT_EQ(budget, kRmScanSplitBudget);
    EXPECT_TRUE(every_session_ended(rm));
  }
  {
    SCOPED_TRACE("a count larger than the array is not read past it");
    FakeRm rm;
    rm.processes = {fake_program(1, L"A", {files[0]}), fake_program(2, L"B", {files[1]})};
    rm.overstate_count = 100;
    std::uint32_t budget = 0;
    const auto findings = query(files, budget);
    EXPECT_EQ(findings.size(), 6u);  // the array's size, whatever the count claims
    EXPECT_TRUE(every_session_ended(rm));
  }
}

TEST(QueryHolders, ConvertsTheRestartManagersEntries) {
  FakeRm rm;
  const std::vector<std::wstring> files{L"C:\\Data\\\xD55C\xAE00.txt"};

  // Fields without a terminating NUL are read to their end and no further.
  FakeProcess service = fake_program(4242, L"", files);
  std::fill(std::begin(service.info.strAppName), std::end(service.info.strAppName), L'W');
  std::fill(std::begin(service.info.strServiceShortName), std::end(service.info.strServiceShortName), L'S');
  service.info.ApplicationType = RmService;
  service.info.Process.ProcessStartTime = FILETIME{0x89ABCDEFu, 0x01234567u};
  service.info.TSSessionId = 0;

  // Text ends at the first NUL; an unpaired surrogate becomes U+FFFD.
  FakeProcess critical = fake_program(8, L"", files);
  const wchar_t name[] = L"\xD55C\xAE00 \xD800x\0junk";
  std::copy(std::begin(name), std::end(name), critical.info.strAppName);
  critical.info.ApplicationType = RmCritical;
  critical.info.TSSessionId = 3;

  FakeProcess explorer = fake_program(99, L"Windows Explorer", files);
  explorer.info.ApplicationType = RmExplorer;

  rm.processes = {service, critical, explorer};
  std::uint32_t budget = kRmScanSplitBudget;
  const auto findings = query(files, budget);
  ASSERT_EQ(findings.size(), 3u);

  EXPECT_EQ(findings[0].file, files[0]);
  EXPECT_EQ(findings[0].app_name, std::string(256, 'W'));
  EXPECT_EQ(findings[0].service_name, std::string(64, 'S'));
  EXPECT_EQ(findings[0].start_time, 0x0123456789ABCDEFull);
  EXPECT_EQ(findings[0].pid, 4242u);
  EXPECT_EQ(findings[0].session_id, 0u);
  EXPECT_TRUE(findings[0].is_service);
  EXPECT_FALSE(findings[0].is_critical);

  EXPECT_EQ(findings[1].app_name, "\xED\x95\x9C\xEA\xB8\x80 \xEF\xBF\xBDx");
  EXPECT_EQ(findings[1].service_name, "");
  EXPECT_EQ(findings[1].session_id, 3u);
  EXPECT_FALSE(findings[1].is_service);
  EXPECT_TRUE(findings[1].is_critical);

  EXPECT_EQ(findings[2].app_name, "Windows Explorer");
  EXPECT_FALSE(findings[2].is_service || findings[2].is_critical);
  EXPECT_TRUE(every_session_ended(rm));
}

// Wine's Restart Manager names no process; the real calls must still go through cleanly.
TEST(QueryHolders, RealRestartManagerRunsOnRealFiles) {
  test::TempDir dir;
  std::vector<std::wstring> files;
  for (const wchar_t* name : {L"a.txt", L"b.txt", L"\xD55C\xAE00.txt"}) {
    files.push_back(dir / name);
    ASSERT_TRUE(test::write_file(files.back(), "x"));
  }
  std::uint32_t budget = kRmScanSplitBudget;
  std::vector<RmFinding> findings;
  query_holders(files, budget, findings);
  EXPECT_TRUE(findings.empty());
  EXPECT_EQ(budget, kRmScanSplitBudget);
}

}  // namespace
}  // namespace tw
