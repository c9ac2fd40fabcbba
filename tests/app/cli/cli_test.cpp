#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "app/cli/cli.h"
#include "app/language/catalogue.h"
#include "common/handles.h"
#include "common/text.h"
#include "procs/process_facts.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using Args = std::vector<std::wstring>;

CliCommand command(CliVerb verb) {
  CliCommand c;
  c.verb = verb;
  return c;
}

TEST(CliArguments, EachCommandTakesItsOwnOptionsAndNothingElse) {
  CliCommand find = command(CliVerb::Find);
  find.deep = find.json = true;
  find.paths = {L"a.txt", L"--b"};
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"find", L"--deep", L"a.txt", L"--json", L"--", L"--b"})), find);

  CliCommand wait = command(CliVerb::Wait);
  wait.timeout_seconds = 5;
  wait.paths = {L"D:\\x"};
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"wait", L"--timeout", L"5", L"D:\\x"})), wait);

  CliCommand end = command(CliVerb::End);
  end.yes = true;
  end.processes = {{12, std::nullopt}, {34, 133'000'000'000'000'000u}};
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"end", L"--yes", L"12", L"34:133000000000000000"})), end);

  CliCommand all = command(CliVerb::Close);
  all.all = true;
  all.paths = {L"D:\\x"};
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"close", L"--all", L"D:\\x"})), all);

  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"find", L"--help"})).verb, CliVerb::Help);
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"--version"})).verb, CliVerb::Version);

  // Wrong: each is a text for the user, never a command.
  const Args wrong[] = {
      {},
      {L"finds", L"a"},
      {L"find"},                         // no path
      {L"find", L"--yes", L"a"},         // not an option of find
      {L"recycle", L"--deep", L"a"},
      {L"wait", L"--timeout", L"a", L"b"},
      {L"wait", L"--timeout", L"86401", L"b"},
      {L"wait", L"--timeout"},
      {L"close"},
      {L"close", L"--all"},
      {L"end", L"12", L"--all", L"D:\\x"},  // ids and --all at once
      {L"end", L"12x"},
      {L"end", L"0"},
      {L"end", L"-5"},
      {L"end", L"4294967296"},
      {L"end", L"12:"},
      {L"end", L"12:99999999999999999999"},
      {L"restart-explorer", L"C:\\"},
  };
  for (const Args& args : wrong) {
    std::wstring joined;
    for (const auto& a : args) joined += a + L" ";
    EXPECT_TRUE(std::holds_alternative<std::string>(parse_cli(args))) << to_utf8(joined);
  }
}

TEST(CliArguments, WaitingBacksOffToFiveSeconds) {
  double delay = 0;
  std::vector<double> delays;
  for (int i = 0; i < 7; ++i) delays.push_back(delay = next_wait_delay(delay));
  EXPECT_EQ(delays, (std::vector<double>{1.0, 1.5, 2.25, 3.375, 5.0, 5.0, 5.0}));
  ScanResult r;
  EXPECT_EQ(search_exit_code(r), kExitSuccess);
  r.gave_up = true;  // the deep search could not finish: it cannot say the file is free
  EXPECT_EQ(search_exit_code(r), kExitSearchFailed);
  r.holders.push_back(Holder{});
  EXPECT_EQ(search_exit_code(r), kExitStillHeld);
}

// What a script sees: the exit status, and standard output and error apart.
struct CliRun {
  std::optional<DWORD> exit;
  std::string out, err;
};


// tarnwick-cli with its output in files and no console to ask at.
CliRun run_cli(const Args& arguments, DWORD timeout_ms = 60'000) {
  const test::TempDir dir;
  const std::wstring out = dir / L"out.txt", err = dir / L"err.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  CliRun run;
  {
    UniqueHandle o(::CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    UniqueHandle e(::CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    UniqueHandle in(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr));
    auto started = test::start_process(test::program_dir() + L"\\tarnwick-cli.exe", arguments, nullptr,
                                       test::StandardHandles{in.get(), o.get(), e.get()});
    if (!started) return run;
    const UniqueHandle process = std::move(started->process);
    if (::WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
      ::TerminateProcess(process.get(), 9);
      ::WaitForSingleObject(process.get(), 5'000);
    } else {
      DWORD code = 0;
      ::GetExitCodeProcess(process.get(), &code);
      run.exit = code;
    }
  }
  run.out = test::read_file(out);
  run.err = test::read_file(err);
  return run;
}

bool alive(const test::HolderProcess& p) { return ::WaitForSingleObject(p.process(), 0) == WAIT_TIMEOUT; }

// A file held by the helper, in a folder of its own. (Wine's Restart Manager is a stub, so
// these searches are deep ones: the handle table is real.)
class CliWithHolder : public testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_ / L"r\xE9sum\xE9 \xBCF4\xACE0\xC11C.txt";  // résumé 보고서.txt
    ASSERT_TRUE(test::write_file(file_, "x"));
  }
  test::TempDir dir_;
  std::wstring file_;
};

TEST_F(CliWithHolder, FindListsTheHolderForPeopleAndForPrograms) {
  auto holder = test::HolderProcess::start({L"--open", file_});
  ASSERT_TRUE(holder);
  const CliRun table = run_cli({L"find", L"--deep", file_});
  EXPECT_EQ(table.exit, 1u) << table.err;
  EXPECT_NE(table.out.find("PID"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find(std::to_string(holder->pid())), std::string::npos) << table.out;

  const CliRun json = run_cli({L"find", L"--deep", L"--json", file_});
  EXPECT_EQ(json.exit, 1u) << json.err;
  const auto doc = nlohmann::json::parse(json.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << json.out;
  ASSERT_EQ(doc["holders"].size(), 1u) << json.out;
  const auto& h = doc["holders"][0];
  EXPECT_EQ(h["pid"], holder->pid());
  EXPECT_EQ(h["start_time"], creation_time(holder->pid()).value_or(0));
  EXPECT_EQ(h["kind"], "program");
  EXPECT_EQ(h["name"], "tw_holder.exe");
  // Through a pipe or file: UTF-8, whatever the console's code page; the Korean name intact.
  ASSERT_EQ(h["holds"].size(), 1u);
  EXPECT_EQ(h["holds"][0], to_utf8(file_));
  EXPECT_EQ(doc["targets"][0], to_utf8(file_));
  EXPECT_TRUE(doc["deep"]);

  ASSERT_TRUE(holder->stop());
  const CliRun free = run_cli({L"find", L"--deep", L"--json", file_});
  EXPECT_EQ(free.exit, 0u) << free.err;
  const auto after = nlohmann::json::parse(free.out, nullptr, false);
  EXPECT_TRUE(after["holders"].empty());
  EXPECT_EQ(after["diagnoses"][0]["kind"], "looks_deletable");
}

// When nothing was found, the table says what the window says of handles the deep search passed
// over (one of them may be the holder) and of a search that stopped early; JSON counts them.
TEST(CliOutput, SaysWhatTheDeepSearchPassedOver) {
  const std::string skipped = fill_placeholders(localized(msg::kDeepSkippedHandles), std::vector<std::string>{"12"});
  const std::string gave_up(localized(msg::kDeepGaveUp));
  struct Case {
    bool deep;
    std::uint64_t unexamined;
    bool gave_up, says_skipped, says_gave_up;
  };
  for (const Case& c : {Case{true, 12, false, true, false}, Case{true, 12, true, true, true},
                        Case{true, 0, false, false, false}, Case{false, 12, false, false, false}}) {
    ScanResult r;
    r.deep = c.deep;
    r.unexamined = c.unexamined;
    r.gave_up = c.gave_up;
    const std::string table = holders_table(r, false);
    EXPECT_EQ(table.find(skipped) != std::string::npos, c.says_skipped) << table;
    EXPECT_EQ(table.find(gave_up) != std::string::npos, c.says_gave_up) << table;
    const auto doc = nlohmann::json::parse(holders_json({}, r, false), nullptr, false);
    EXPECT_EQ(doc["unexamined"], c.unexamined);
    EXPECT_EQ(doc["complete"], !c.gave_up);
  }
}

TEST_F(CliWithHolder, WaitEndsWhenTheFileIsLetGoOrAtItsTimeout) {
  auto holder = test::HolderProcess::start({L"--open", file_});
  ASSERT_TRUE(holder);
  const CliRun timed_out = run_cli({L"wait", L"--deep", L"--timeout", L"1", file_});
  EXPECT_EQ(timed_out.exit, 1u) << timed_out.err;
  EXPECT_NE(timed_out.out.find(std::to_string(holder->pid())), std::string::npos);  // the last holders

  std::thread let_go([&] {
    ::Sleep(2'000);
    static_cast<void>(holder->stop());
  });
  const ULONGLONG started = ::GetTickCount64();
  const CliRun released = run_cli({L"wait", L"--deep", L"--timeout", L"60", file_});
  let_go.join();
  EXPECT_EQ(released.exit, 0u) << released.err;
  EXPECT_LT(::GetTickCount64() - started, 20'000u);  // soon after, not at the timeout
}

TEST_F(CliWithHolder, EndingNeedsYesAndTheSameProcess) {
  auto holder = test::HolderProcess::start({L"--open", file_});
  ASSERT_TRUE(holder);
  const std::wstring pid = std::to_wstring(holder->pid());

  const CliRun unasked = run_cli({L"end", pid});  // no console to ask at, no --yes
  EXPECT_EQ(unasked.exit, 1u);
  EXPECT_NE(unasked.err.find("--yes"), std::string::npos) << unasked.err;
  EXPECT_TRUE(alive(*holder));

  const std::uint64_t start = creation_time(holder->pid()).value_or(0);
  const CliRun other = run_cli({L"end", L"--yes", pid + L":" + std::to_wstring(start + 1)});
  EXPECT_EQ(other.exit, 1u);  // another process under this id: never ended
  EXPECT_TRUE(alive(*holder));

  const CliRun ended = run_cli({L"end", L"--yes", pid + L":" + std::to_wstring(start)});
  EXPECT_EQ(ended.exit, 0u) << ended.err;
  EXPECT_EQ(::WaitForSingleObject(holder->process(), 5'000), WAIT_OBJECT_0);
  EXPECT_NE(ended.out.find("Closed"), std::string::npos) << ended.out;
}

TEST_F(CliWithHolder, CloseAsksAProgramToCloseItsWindows) {
  auto holder = test::HolderProcess::start({L"--open", file_, L"--window", L"Report"});
  ASSERT_TRUE(holder);
  const CliRun closed = run_cli({L"close", L"--all", L"--deep", file_});
  EXPECT_EQ(closed.exit, 0u) << closed.err << closed.out;
  EXPECT_EQ(::WaitForSingleObject(holder->process(), 5'000), WAIT_OBJECT_0);

  auto windowless = test::HolderProcess::start({L"--open", file_});
  ASSERT_TRUE(windowless);
  const CliRun not_closed = run_cli({L"close", std::to_wstring(windowless->pid())});
  EXPECT_EQ(not_closed.exit, 1u);  // nothing to ask: it still holds the file
  EXPECT_TRUE(alive(*windowless));
}

TEST(Cli, ProtectedFoldersAndBadUsageAreRefusedCalmly) {
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const CliRun refused = run_cli({L"recycle", L"--yes", windows});
  EXPECT_EQ(refused.exit, 1u);
  EXPECT_NE(refused.err.find("system folder"), std::string::npos) << refused.err;
  EXPECT_NE(::GetFileAttributesW(windows), INVALID_FILE_ATTRIBUTES);

  EXPECT_EQ(run_cli({L"recycle", L"--yes", L"C:\\*.txt"}).exit, 2u);  // names no file
  EXPECT_EQ(run_cli({L"finds"}).exit, 2u);
  const CliRun help = run_cli({L"--help"});
  EXPECT_EQ(help.exit, 0u);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
}

TEST(Cli, RecyclesOnlyWithYes) {
  const test::TempDir dir;
  const std::wstring file = dir / L"old.txt";
  ASSERT_TRUE(test::write_file(file, "x"));
  EXPECT_EQ(run_cli({L"recycle", file}).exit, 1u);  // nobody to ask
  EXPECT_NE(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace tw
