#include <gtest/gtest.h>

#include <windows.h>
#include <lm.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/cli/cli.h"
#include "app/cli/cli_disconnect.h"
#include "app/language/catalogue.h"
#include "common/handles.h"
#include "common/text.h"
#include "discovery/paths.h"
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
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"help", L"find"})).verb, CliVerb::Help);

  // As Windows' own tools do, any letter case; paths and ids stay as written.
  find.paths = {L"A.txt"};
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"FIND", L"--DEEP", L"--Json", L"A.txt"})), find);
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"Wait", L"--TimeOut", L"5", L"D:\\x"})), wait);
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"END", L"--Yes", L"12", L"34:133000000000000000"})), end);
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"CLOSE", L"--ALL", L"D:\\x"})), all);
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"--VERSION"})).verb, CliVerb::Version);
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"Restart-Explorer"})).verb, CliVerb::RestartExplorer);
  CliCommand eject = command(CliVerb::Eject);
  eject.json = true;
  eject.paths = {L"e:"};
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"EJECT", L"--JSON", L"e:"})), eject);
  CliCommand disconnect = command(CliVerb::Disconnect);
  disconnect.yes = true;
  disconnect.opens = {134217741, 7};
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"Disconnect", L"134217741", L"--YES", L"7"})), disconnect);

  // Wrong: what is at fault, and which argument, for the one line that says so.
  using F = CliUsageFault;
  const struct {
    Args args;
    CliUsageFault fault;
    std::wstring argument;
  } wrong[] = {
      {{}, F::NoCommand, L""},
      {{L"finds", L"a"}, F::UnknownCommand, L"finds"},
      {{L"f\u0130nd", L"a"}, F::UnknownCommand, L"f\u0130nd"},  // only ASCII letters fold
      {{L"find"}, F::NoPaths, L""},
      {{L"find", L"--yes", L"a"}, F::UnknownOption, L"--yes"},  // not an option of find
      {{L"recycle", L"--DEEP", L"a"}, F::UnknownOption, L"--DEEP"},
      {{L"wait", L"--timeout", L"a", L"b"}, F::NeedsSeconds, L""},
      {{L"wait", L"--timeout", L"86401", L"b"}, F::NeedsSeconds, L""},
      {{L"wait", L"--timeout"}, F::NeedsSeconds, L""},
      {{L"close"}, F::NoProcessIds, L""},
      {{L"close", L"--all"}, F::NoPaths, L""},
      {{L"end", L"12", L"--all", L"D:\\x"}, F::IdsAndAll, L""},  // ids and --all at once
      {{L"end", L"12x"}, F::NotAProcessId, L"12x"},
      {{L"end", L"0"}, F::NotAProcessId, L"0"},
      {{L"end", L"-5"}, F::UnknownOption, L"-5"},
      {{L"end", L"4294967296"}, F::NotAProcessId, L"4294967296"},
      {{L"end", L"12:"}, F::NotAProcessId, L"12:"},
      {{L"end", L"12:99999999999999999999"}, F::NotAProcessId, L"12:99999999999999999999"},
      {{L"restart-explorer", L"C:\\"}, F::TakesNoPaths, L"C:\\"},
      {{L"--version", L"x"}, F::TakesNoPaths, L"x"},
      {{L"eject"}, F::NotOneDrive, L""},
      {{L"eject", L"E:", L"F:"}, F::NotOneDrive, L""},
      {{L"eject", L"E:\\Photos"}, F::NotADrive, L"E:\\Photos"},
      {{L"eject", L"--yes", L"E:"}, F::UnknownOption, L"--yes"},
      {{L"disconnect"}, F::NoOpenIds, L""},
      {{L"disconnect", L"--yes"}, F::NoOpenIds, L""},
      {{L"disconnect", L"12:5"}, F::NotAnOpenId, L"12:5"},  // an open has no start time
      {{L"disconnect", L"C:\\x"}, F::NotAnOpenId, L"C:\\x"},
      {{L"disconnect", L"--all", L"1"}, F::UnknownOption, L"--all"},
  };
  for (const auto& w : wrong) {
    std::wstring joined;
    for (const auto& a : w.args) joined += a + L" ";
    const auto parsed = parse_cli(w.args);
    ASSERT_TRUE(std::holds_alternative<CliUsageError>(parsed)) << to_utf8(joined);
    const CliUsageError& error = std::get<CliUsageError>(parsed);
    EXPECT_EQ(error.fault, w.fault) << to_utf8(joined);
    EXPECT_EQ(error.argument, w.argument) << to_utf8(joined);
    const std::string line = usage_error_text(error);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    EXPECT_NE(line.find(to_utf8(w.argument)), std::string::npos) << line;
  }
  EXPECT_EQ(usage_error_text(std::get<CliUsageError>(parse_cli({L"recycle", L"--Deep", L"a"}))),
            "Unknown option for recycle: --Deep");
}

TEST(CliArguments, WaitingBacksOffToFiveSeconds) {
  double delay = 0;
  std::vector<double> delays;
  for (int i = 0; i < 7; ++i) delays.push_back(delay = next_wait_delay(delay));
  EXPECT_EQ(delays, (std::vector<double>{1.0, 1.5, 2.25, 3.375, 5.0, 5.0, 5.0}));
  ScanResult r;
  EXPECT_EQ(search_exit_code(r, false), kExitSuccess);
  r.gave_up = true;  // the deep search could not finish: it cannot say the file is free
  EXPECT_EQ(search_exit_code(r, false), kExitSearchFailed);
  r.holders.push_back(Holder{});
  EXPECT_EQ(search_exit_code(r, false), kExitStillHeld);
}

// Only 0 lets a script go on: a file in use by something unseen, and a search that could not
// look everywhere, have statuses of their own, and JSON says the same.
TEST(CliOutput, OnlyAFreeAndWhollySearchedTargetIsSuccess) {
  const auto diagnosis = [](DiagnosisKind kind) { return Diagnosis{L"D:\\a.txt", kind, 0, false}; };
  struct Case {
    const char* name;
    ScanResult result;
    bool elevated;
    int status;
    std::vector<std::string> incomplete;
    std::string says;  // in the table
  };
  ScanResult held;
  held.holders.push_back(Holder{});
  held.truncated = true;  // held says more than incomplete
  ScanResult unseen;
  unseen.diagnoses = {diagnosis(DiagnosisKind::LooksDeletable), diagnosis(DiagnosisKind::InUseUnseen)};
  unseen.truncated = true;  // in use says more than incomplete
  ScanResult unseen_deep = unseen;
  unseen_deep.deep = true;
  ScanResult gave_up = unseen_deep;
  gave_up.gave_up = true;  // kept from before: the search failed
  ScanResult free_file;
  free_file.diagnoses = {diagnosis(DiagnosisKind::LooksDeletable)};
  ScanResult capped = free_file;
  capped.truncated = true;
  ScanResult closed_to_us = free_file;
  closed_to_us.deep = true;
  closed_to_us.inaccessible = 3;
  ScanResult passed_over = free_file;
  passed_over.deep = true;
  passed_over.unexamined = 2;
  ScanResult free_drive;
  free_drive.deep = free_drive.drive = true;
  free_drive.diagnoses = {Diagnosis{L"E:\\", DiagnosisKind::DriveNotInUse, 0, true}};
  const Case cases[] = {
      {"free drive", free_drive, true, kExitSuccess, {}, "searched for everything open on it"},
      {"free", free_file, false, kExitSuccess, {}, "It looks deletable now"},
      {"held", held, false, kExitStillHeld, {"listing_capped"}, "There are very many files"},
      {"unseen", unseen, false, kExitInUseUnseen, {"listing_capped"}, "wasn't found. Try --deep."},
      {"unseen deep", unseen_deep, false, kExitInUseUnseen, {"listing_capped"}, "in a console run as administrator"},
      {"unseen deep elevated", unseen_deep, true, kExitInUseUnseen, {"listing_capped"}, "Try delete-on-restart."},
      {"gave up", gave_up, false, kExitSearchFailed, {"listing_capped", "stopped_early"}, "stopped early"},
      {"capped", capped, false, kExitIncomplete, {"listing_capped"}, "only the first 50,000"},
      {"not opened", closed_to_us, false, kExitIncomplete, {"processes_not_opened"}, "could not be checked (3)"},
      // As administrator, only Windows' protected processes stay closed: nothing to tell.
      {"not opened elevated", closed_to_us, true, kExitSuccess, {}, "It looks deletable now"},
      {"passed over", passed_over, true, kExitIncomplete, {"handles_passed_over"}, "skipped (2)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(search_exit_code(c.result, c.elevated), c.status) << c.name;
    const std::string table = holders_table(c.result, c.elevated);
    EXPECT_NE(table.find(c.says), std::string::npos) << c.name << "\n" << table;
    EXPECT_EQ(table.find(" '"), std::string::npos) << c.name << ": a button of the window\n" << table;
    const auto doc = nlohmann::json::parse(holders_json({}, c.result, c.elevated), nullptr, false);
    EXPECT_EQ(doc["incomplete"], c.incomplete) << c.name;
    EXPECT_EQ(doc["status"] == "free", c.status == kExitSuccess) << c.name;
    EXPECT_EQ(doc["drive"], c.result.drive) << c.name;
  }
  // wait goes on while the file is held or in use, or the search failed; a gap stays a gap.
  for (const int status : {kExitSuccess, kExitIncomplete}) EXPECT_FALSE(waits_on(status)) << status;
  for (const int status : {kExitStillHeld, kExitSearchFailed, kExitInUseUnseen}) EXPECT_TRUE(waits_on(status)) << status;
}

// Names, descriptions and paths come from other programs and other systems: none of them may
// steer the console (erase a row, draw a fake one, retitle the window, reorder a line).
TEST(CliText, WhatOtherProgramsNamedIsShownWithItsControlsEscaped) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"Report\x1b[2K\x1b[1AWindows Update", "Report\\x1b[2K\\x1b[1AWindows Update"},
      {"a\r\nb\tc", "a\\x0d\\x0ab\\x09c"},
      {"\x1b]0;Administrator\x07x", "\\x1b]0;Administrator\\x07x"},
      {"del\x7f", "del\\x7f"},
      {"c1\xC2\x9B" "2J", "c1\\x9b2J"},                      // U+009B, the one-character CSI
      {"invoice\xE2\x80\xAEtxt.exe", "invoice\\u202etxt.exe"},  // right-to-left override
      {"\xE2\x81\xA6x\xE2\x81\xA9", "\\u2066x\\u2069"},        // an isolate and its end
      {"line\xE2\x80\xA8sep", "line\\u2028sep"},
      {"bad\x9B\xFF", "bad\\x9b\\xff"},                          // not UTF-8: bytes an 8-bit terminal would obey
      {"r\xC3\xA9sum\xC3\xA9 \xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C \xEF\xBF\xBD \xE2\x80\x8B", 
       "r\xC3\xA9sum\xC3\xA9 \xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C \xEF\xBF\xBD \xE2\x80\x8B"},  // kept as it is
      {"C:\\x1b\\dir", "C:\\x1b\\dir"},
  };
  for (const auto& c : cases) EXPECT_EQ(printable(c.text), c.shown) << c.shown;

  ScanResult r;
  Holder h;
  h.pid = 42;
  h.title = "Fake\x1b[2K\r\n4242  Trusted";
  h.files = {L"D:\\a.txt"};
  h.held = "a\xE2\x80\xAEtxt.exe";
  r.holders.push_back(h);
  const std::string table = holders_table(r, false);
  EXPECT_EQ(table.find_first_of("\x1b\r"), std::string::npos) << table;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 2) << table;  // the header and one row
  EXPECT_EQ(table.find("\xE2\x80\xAE"), std::string::npos) << table;
}

TEST(CliEject, TheStatusAndJsonSayWhetherItWasEjectedNotOfferedOrRefused) {
  EjectOutcome ejected;
  ejected.ejected = true;
  EjectOutcome not_removable;
  not_removable.refusal = EjectRefusal::NotRemovable;
  EjectOutcome system_drive;
  system_drive.refusal = EjectRefusal::SystemDrive;
  EjectOutcome vetoed;
  vetoed.result = CR_REMOVE_VETOED;
  vetoed.veto_type = PNP_VetoWindowsApp;
  vetoed.veto_name = L"4120";
  vetoed.vetoer_kind = VetoerKind::Program;
  vetoed.vetoer = "WINWORD.EXE (process 4120)";
  EjectOutcome failed;
  failed.result = CR_ACCESS_DENIED;
  const nlohmann::json null;
  const struct {
    const char* name;
    const EjectOutcome& outcome;
    int status;
    nlohmann::json refusal, veto_type, veto_name, vetoer;
    std::string text;
  } cases[] = {
      {"ejected", ejected, kExitSuccess, null, null, null, null, "It is safe to remove the drive."},
      {"not removable", not_removable, kExitNotEjectable, "not_removable", null, null, null,
       "E: is not on a removable device, so it cannot be ejected."},
      {"system drive", system_drive, kExitNotEjectable, "system_drive", null, null, null,
       "E: holds Windows, so it cannot be ejected."},
      {"vetoed", vetoed, kExitStillHeld, null, "windows_app", "4120", "WINWORD.EXE (process 4120)",
       "Windows can't stop the device because a program is still using it. Program: WINWORD.EXE (process 4120)"},
      {"failed", failed, kExitStillHeld, null, "unknown", null, null, "Windows could not stop the device (error 51)."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(eject_exit_code(c.outcome), c.status) << c.name;
    const auto doc = nlohmann::json::parse(eject_json(L"E:\\", c.outcome));
    EXPECT_EQ(doc["drive"], "E:\\") << c.name;
    EXPECT_EQ(doc["ejected"], c.status == kExitSuccess) << c.name;
    EXPECT_EQ(doc["refusal"], c.refusal) << c.name;
    EXPECT_EQ(doc["veto_type"], c.veto_type) << c.name;
    EXPECT_EQ(doc["veto_name"], c.veto_name) << c.name;
    EXPECT_EQ(doc["vetoer"], c.vetoer) << c.name;
    EXPECT_EQ(doc["text"], c.text) << c.name;
  }
}

// The table says how each holder holds its first file as the window does; JSON keeps "holds" as
// it was and names every file's ways in fixed words.
TEST(CliOutput, SaysHowEachFileIsHeldInTheTableAndInJson) {
  using Ways = std::vector<std::string>;
  const struct {
    std::vector<HoldWays> ways;  // as recorded: may be shorter than the files, or empty
    std::string column;
    std::vector<Ways> how;
  } cases[] = {
      {{}, "a.dll and 1 more", {{"open"}, {"open"}}},
      {{kHeldLoaded, kHeldOpen | kHeldMapped}, "a.dll (loaded) and 1 more", {{"loaded"}, {"open", "mapped"}}},
      {{kHeldOpen | kHeldLoaded | kHeldMapped}, "a.dll (open, loaded, mapped into memory) and 1 more",
       {{"open", "loaded", "mapped"}, {"open"}}},
  };
  for (const auto& c : cases) {
    ScanResult r;
    Holder h;
    h.pid = 42;
    h.files = {L"D:\\a.dll", L"D:\\b.dat"};
    h.held = "a.dll";
    h.ways = c.ways;
    r.holders.push_back(h);
    const std::string table = holders_table(r, false);
    EXPECT_NE(table.find("  " + c.column + "\n"), std::string::npos) << table;
    const auto doc = nlohmann::json::parse(holders_json({}, r, false), nullptr, false);
    const auto& holder = doc["holders"][0];
    EXPECT_EQ(holder["holds"], (Ways{"D:\\a.dll", "D:\\b.dat"})) << c.column;
    ASSERT_EQ(holder["held"].size(), 2u) << c.column;
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(holder["held"][i]["path"], holder["holds"][i]) << c.column;
      EXPECT_EQ(holder["held"][i]["how"], c.how[i]) << c.column << " " << i;
    }
  }
}

// What a script sees: the exit status, and standard output and error apart.
struct CliRun {
  std::optional<DWORD> exit;
  std::string out, err;
};


// tarnwick-cli's exit status with these standard output and error, and no console to ask at.
std::optional<DWORD> run_cli_with(const Args& arguments, HANDLE out, HANDLE err, DWORD timeout_ms) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueHandle in(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr));
  auto started = test::start_process(test::program_dir() + L"\\tarnwick-cli.exe", arguments, nullptr,
                                     test::StandardHandles{in.get(), out, err});
  if (!started) return std::nullopt;
  const UniqueHandle process = std::move(started->process);
  if (::WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 9);
    ::WaitForSingleObject(process.get(), 5'000);
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

// tarnwick-cli with its output in files.
CliRun run_cli(const Args& arguments, DWORD timeout_ms = 60'000) {
  const test::TempDir dir;
  const std::wstring out = dir / L"out.txt", err = dir / L"err.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  CliRun run;
  {
    UniqueHandle o(::CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    UniqueHandle e(::CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    run.exit = run_cli_with(arguments, o.get(), e.get(), timeout_ms);
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
  ASSERT_EQ(h["held"].size(), 1u);
  EXPECT_EQ(h["held"][0]["path"], to_utf8(file_));
  EXPECT_EQ(h["held"][0]["how"], std::vector<std::string>{"open"});
  EXPECT_EQ(doc["targets"][0], to_utf8(file_));
  EXPECT_TRUE(doc["deep"]);

  ASSERT_TRUE(holder->stop());
  const CliRun free = run_cli({L"find", L"--deep", L"--json", file_});
  EXPECT_EQ(free.exit, 0u) << free.err;
  const auto after = nlohmann::json::parse(free.out, nullptr, false);
  EXPECT_TRUE(after["holders"].empty());
  EXPECT_EQ(after["diagnoses"][0]["kind"], "looks_deletable");
}

// A drive (V: and W: of the test prefix, one folder of 100,000 files) is searched deep without
// --deep, and both output forms say it was a drive search.
TEST(CliDrive, FindOfADriveNamesWhatIsOpenOnIt) {
  auto holder = test::HolderProcess::start({L"--open", L"V:\\d7\\f7.txt"});
  ASSERT_TRUE(holder);
  const CliRun table = run_cli({L"find", L"V:\\"});
  EXPECT_EQ(table.exit, 1u) << table.err;
  EXPECT_NE(table.out.find(std::to_string(holder->pid())), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("searched for everything open on it"), std::string::npos) << table.out;

  const CliRun json = run_cli({L"find", L"--json", L"W:"});
  EXPECT_EQ(json.exit, 1u) << json.err;
  const auto doc = nlohmann::json::parse(json.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << json.out;
  EXPECT_TRUE(doc["deep"]);
  EXPECT_TRUE(doc["drive"]);
  EXPECT_EQ(doc["files_checked"], 0);
  const auto& holders = doc["holders"];
  const auto h = std::find_if(holders.begin(), holders.end(), [&](const auto& x) { return x["pid"] == holder->pid(); });
  ASSERT_NE(h, holders.end()) << json.out;
  EXPECT_EQ((*h)["holds"], nlohmann::json::array({"W:\\d7\\f7.txt"}));
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

// Without --deep the helper is not found (Wine's Restart Manager names no one), yet the file
// cannot be deleted: neither find nor wait may call it free.
TEST_F(CliWithHolder, AFileInUseByWhatWasNotFoundIsNeverFree) {
  auto holder = test::HolderProcess::start({L"--share", L"rw", L"--open", file_});
  ASSERT_TRUE(holder);
  const CliRun found = run_cli({L"find", file_});
  EXPECT_EQ(found.exit, static_cast<DWORD>(kExitInUseUnseen)) << found.out << found.err;
  EXPECT_NE(found.out.find("Try --deep."), std::string::npos) << found.out;

  const ULONGLONG started = ::GetTickCount64();
  const CliRun waited = run_cli({L"wait", L"--json", L"--timeout", L"2", file_});
  EXPECT_EQ(waited.exit, static_cast<DWORD>(kExitInUseUnseen)) << waited.out << waited.err;
  EXPECT_GE(::GetTickCount64() - started, 2'000u);  // it waited to the end
  const auto doc = nlohmann::json::parse(waited.out, nullptr, false);
  EXPECT_EQ(doc["status"], "in_use_unseen") << waited.out;
  EXPECT_EQ(doc["diagnoses"][0]["kind"], "in_use_unseen") << waited.out;

  const CliRun closed = run_cli({L"close", L"--all", file_});  // no one to close is not "done"
  EXPECT_EQ(closed.exit, static_cast<DWORD>(kExitInUseUnseen)) << closed.out << closed.err;
  EXPECT_TRUE(alive(*holder));
  EXPECT_EQ(run_cli({L"FIND", L"--Deep", file_}).exit, static_cast<DWORD>(kExitStillHeld));
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

// unlock: ids first, then paths; without --yes nothing is done; with it the holder's handles on
// the file are closed, the program keeps running, the file deletes, and JSON says so per handle.
TEST_F(CliWithHolder, UnlockNeedsYesAndClosesOnlyTheHandlesOfTheProgramNamed) {
  CliCommand named = command(CliVerb::Unlock);
  named.yes = true;
  named.processes = {{12, std::nullopt}, {34, 133'000'000'000'000'000u}};
  named.paths = {L"D:\\x", L"56"};  // after the first path, numbers are paths
  EXPECT_EQ(std::get<CliCommand>(parse_cli({L"Unlock", L"--yes", L"12", L"34:133000000000000000", L"D:\\x", L"56"})),
            named);
  const struct {
    Args args;
    CliUsageFault fault;
  } wrong[] = {{{L"unlock", L"12"}, CliUsageFault::NoPaths},
               {{L"unlock", L"D:\\x"}, CliUsageFault::NoProcessIds},
               {{L"unlock", L"--all", L"--deep", L"D:\\x"}, CliUsageFault::UnknownOption}};
  for (const auto& w : wrong) EXPECT_EQ(std::get<CliUsageError>(parse_cli(w.args)).fault, w.fault);

  auto holder = test::HolderProcess::start({L"--share", L"r", L"--open", file_});
  ASSERT_TRUE(holder);
  const std::wstring pid = std::to_wstring(holder->pid());
  const std::uint64_t start = creation_time(holder->pid()).value_or(0);
  const CliRun unasked = run_cli({L"unlock", pid, file_});  // no console to ask at, no --yes
  EXPECT_EQ(unasked.exit, 1u);
  EXPECT_NE(unasked.err.find("--yes"), std::string::npos) << unasked.err;
  const CliRun other = run_cli({L"unlock", L"--yes", pid + L":" + std::to_wstring(start + 1), file_});
  EXPECT_EQ(other.exit, 1u);  // another process under this id: never touched
  EXPECT_FALSE(::DeleteFileW(file_.c_str()));

  const CliRun done = run_cli({L"unlock", L"--all", L"--yes", L"--json", file_});
  EXPECT_EQ(done.exit, 0u) << done.err;
  const auto doc = nlohmann::json::parse(done.out, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << done.out;
  ASSERT_EQ(doc["handles"].size(), 1u) << done.out;
  EXPECT_EQ(doc["handles"][0]["pid"], holder->pid());
  EXPECT_EQ(doc["handles"][0]["outcome"], "closed");
  EXPECT_TRUE(doc["handles"][0]["handle"].is_number());
  EXPECT_EQ(path_key(std::string_view(doc["handles"][0]["path"].get<std::string>())), path_key(std::wstring_view(file_)));
  EXPECT_TRUE(doc["after"]["holders"].empty()) << done.out;
  EXPECT_TRUE(alive(*holder));
  // Nothing left to release: the same document, with no handles, and what the search found.
  const CliRun free = run_cli({L"unlock", L"--all", L"--yes", L"--json", file_});
  EXPECT_EQ(free.exit, 0u) << free.err;
  const auto none = nlohmann::json::parse(free.out, nullptr, false);
  ASSERT_TRUE(none.is_object()) << free.out;
  EXPECT_TRUE(none["handles"].empty());
  EXPECT_EQ(none["after"]["status"], "free") << free.out;
  EXPECT_TRUE(::DeleteFileW(file_.c_str())) << "error " << ::GetLastError();
}

// A DLL kept loaded and a file kept mapped with every handle closed hold their files without a
// handle: the deep search names them and how, the ordinary one only where a program image is
// among the targets, and once the holder is forced to quit the file deletes.
TEST_F(CliWithHolder, LoadedAndMappedFilesAreFoundSaidAndFreedByForceQuit) {
  const std::wstring plugin = dir_ / L"plug-in \xBCF4\xACE0.dll";
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_planted.dll").c_str(), plugin.c_str(), FALSE));
  const struct {
    const wchar_t* option;
    const std::wstring& file;
    const char* how;
    const char* words;
    bool ordinary_finds;
  } cases[] = {
      {L"--load", plugin, "loaded", "(loaded)", true},
      {L"--map", file_, "mapped", "(mapped into memory)", false},
  };
  for (const auto& c : cases) {
    auto holder = test::HolderProcess::start({c.option, c.file});
    ASSERT_TRUE(holder) << c.how;
    const CliRun ordinary = run_cli({L"find", c.file});
    EXPECT_EQ(ordinary.exit == 1u, c.ordinary_finds) << c.how << ": " << ordinary.out << ordinary.err;

    const CliRun table = run_cli({L"find", L"--deep", c.file});
    EXPECT_EQ(table.exit, 1u) << table.err;
    EXPECT_NE(table.out.find(c.words), std::string::npos) << table.out;
    const CliRun json = run_cli({L"find", L"--deep", L"--json", c.file});
    const auto doc = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << json.out;
    ASSERT_EQ(doc["holders"].size(), 1u) << json.out;
    EXPECT_EQ(doc["holders"][0]["pid"], holder->pid());
    EXPECT_EQ(doc["holders"][0]["held"][0]["how"], std::vector<std::string>{c.how}) << json.out;

    const CliRun ended = run_cli({L"end", L"--all", L"--yes", L"--deep", c.file});
    EXPECT_EQ(ended.exit, 0u) << ended.out << ended.err;
    EXPECT_EQ(::WaitForSingleObject(holder->process(), 5'000), WAIT_OBJECT_0) << c.how;
    EXPECT_TRUE(::DeleteFileW(c.file.c_str())) << c.how << ": error " << ::GetLastError();
  }
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

  // Bad usage is one line that says what is wrong, and where help is. A search for a path that
  // is not there is bad usage too: "nothing holds it" would let a script go on.
  const test::TempDir dir;
  const std::wstring missing = dir / L"missing.txt";
  const std::string help_line = "Run 'tarnwick-cli help' for help.\n";
  const std::string no_such = to_utf8(missing) + ": no such file or folder\n" + help_line;
  const struct {
    Args args;
    std::string err;
  } usage[] = {
      {{L"finds"}, "Unknown command: finds\n" + help_line},
      {{L"find", L"--yes", missing}, "Unknown option for find: --yes\n" + help_line},
      {{L"find", missing}, no_such},
      {{L"Wait", L"--timeout", L"60", missing}, no_such},
      {{L"end", L"--all", L"--yes", missing}, no_such},
  };
  for (const auto& u : usage) {
    const CliRun run = run_cli(u.args, 20'000);
    EXPECT_EQ(run.exit, 2u) << to_utf8(u.args[0]);
    EXPECT_EQ(run.err, u.err);
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  const CliRun help = run_cli({L"--help"});
  EXPECT_EQ(help.exit, 0u);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
}

// Under Wine no drive is removable: the refusals run for real, Windows' answers through the seam.
TEST(Cli, EjectRefusesWhatCannotBeEjectedWithItsOwnStatus) {
  const struct {
    Args args;
    DWORD status;
    std::string err;
  } cases[] = {
      {{L"eject", L"c:"}, 7, "C: holds Windows, so it cannot be ejected.\n"},
      {{L"eject", L"Z:\\"}, 7, "Z: is not on a removable device, so it cannot be ejected.\n"},
      {{L"eject", L"B:"}, 7, "B: is not a drive.\n"},
      {{L"eject", L"B:\\x"}, 2, "Not a drive letter: B:\\x\nRun 'tarnwick-cli help' for help.\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = run_cli(c.args, 20'000);
    EXPECT_EQ(run.exit, c.status) << to_utf8(c.args[1]);
    EXPECT_EQ(run.err, c.err);
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  const CliRun json = run_cli({L"Eject", L"--json", L"z:"}, 20'000);
  EXPECT_EQ(json.exit, 7u);
  const auto doc = nlohmann::json::parse(json.out, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << json.out;
  EXPECT_EQ(doc["drive"], "Z:\\");
  EXPECT_EQ(doc["ejected"], false);
  EXPECT_EQ(doc["refusal"], "not_removable");
}

TEST(Cli, RecyclesOnlyWithYes) {
  const test::TempDir dir;
  const std::wstring file = dir / L"old.txt";
  ASSERT_TRUE(test::write_file(file, "x"));
  EXPECT_EQ(run_cli({L"recycle", file}).exit, 1u);  // nobody to ask
  EXPECT_NE(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

// By id, a process is refused for what it is, as when a search found it; an id that names no
// running process is a failure, not a success.
TEST(Cli, ProcessesNamedByIdAreRefusedAsASearchWouldAndMissingOnesFail) {
  const test::TempDir dir;
  const std::wstring windows_part = dir / L"svchost.exe";  // a part of Windows, by its name
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_holder.exe").c_str(), windows_part.c_str(), TRUE));
  auto component = test::HolderProcess::start_program(windows_part, {L"--window", L"Host"});
  ASSERT_TRUE(component);
  auto exited = test::HolderProcess::start({});
  ASSERT_TRUE(exited);
  ASSERT_EQ(exited->stop(), 0u);  // gone, though this test still holds a handle to it
  const std::wstring part = std::to_wstring(component->pid()), gone = std::to_wstring(exited->pid());
  const std::string refused(localized(msg::kPartOfWindowsCantEnd));

  const struct {
    Args args;
    std::string err;
  } cases[] = {
      {{L"close", part}, refused},
      {{L"end", L"--yes", part}, refused},
      {{L"end", L"--yes", gone}, "not running"},
      {{L"close", gone}, "not running"},
      {{L"end", L"--yes", L"4000000000"}, "not running"},
  };
  for (const auto& c : cases) {
    const CliRun run = run_cli(c.args);
    EXPECT_EQ(run.exit, 1u) << to_utf8(c.args[0] + L" " + c.args.back()) << run.out << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_TRUE(alive(*component));
  }
  EXPECT_EQ(component->stop(), 0u);
}

// Recycling says what happened to each path: moved only when it is really gone.
TEST(Cli, RecyclingReportsEachPathThatWasNotMoved) {
  const test::TempDir dir;
  const std::wstring one = dir / L"one.txt", two = dir / L"two.txt", missing = dir / L"missing.txt";
  ASSERT_TRUE(test::write_file(one, "1"));
  ASSERT_TRUE(test::write_file(two, "2"));

  const CliRun nothing = run_cli({L"recycle", L"--yes", missing});
  EXPECT_EQ(nothing.exit, 1u) << nothing.out << nothing.err;
  EXPECT_NE(nothing.err.find(to_utf8(missing) + ": no such file or folder"), std::string::npos) << nothing.err;
  EXPECT_EQ(nothing.out.find("Moved"), std::string::npos) << nothing.out;

  const CliRun partly = run_cli({L"recycle", L"--yes", one, missing});
  EXPECT_EQ(partly.exit, 1u) << partly.out << partly.err;
  EXPECT_EQ(::GetFileAttributesW(one.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(partly.out, to_utf8(one) + ": Moved to the Recycle Bin\n");
  EXPECT_NE(partly.err.find(to_utf8(missing)), std::string::npos) << partly.err;

  const CliRun all = run_cli({L"recycle", L"--yes", two});
  EXPECT_EQ(all.exit, 0u) << all.out << all.err;
  EXPECT_EQ(all.out, "Moved to the Recycle Bin\n");
  EXPECT_EQ(::GetFileAttributesW(two.c_str()), INVALID_FILE_ATTRIBUTES);
}

// What stop-service refuses before asking anything, and that it never stops without a yes.
TEST(Cli, StopServiceRefusesUnknownAndProtectedNamesAndAsksFirst) {
  const struct {
    Args args;
    DWORD status;
    std::string err;
  } cases[] = {
      {{L"stop-service", L"--yes", L"TarnwickNoSuchService"}, 1,
       "TarnwickNoSuchService: Windows refused: there is no such service\n"},
      {{L"stop-service", L"--yes", L"--", L"--json"}, 1, "--json: Windows refused: there is no such service\n"},
      {{L"stop-service", L"--yes", L"rpcss"}, 1, "rpcss: This is a core part of Windows and is not stopped from here\n"},
      {{L"Stop-Service", L"MSIServer"}, 1, "Not done: without a console to ask at, add --yes.\n"},
      {{L"stop-service"}, 2, "Give the name of at least one service to stop.\nRun 'tarnwick-cli help' for help.\n"},
      {{L"stop-service", L"--all", L"x"}, 2, "Unknown option for stop-service: --all\nRun 'tarnwick-cli help' for help.\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = run_cli(c.args, 20'000);
    EXPECT_EQ(run.exit, c.status) << to_utf8(c.args.back());
    EXPECT_EQ(run.err, c.err);
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

// A script that did not get the answer must not read success from the status.
TEST(Cli, AnAnswerThatCouldNotBeWrittenIsAFailure) {
  const test::TempDir dir;
  const std::wstring free_file = dir / L"free.txt", read_only = dir / L"out.txt";
  ASSERT_TRUE(test::write_file(free_file, "x"));
  ASSERT_TRUE(test::write_file(read_only));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  // A pipe nobody reads any more, and a handle the output cannot be written through (as a full
  // disk refuses it).
  const auto closed_pipe = [&] {
    HANDLE read = nullptr, write = nullptr;
    EXPECT_TRUE(::CreatePipe(&read, &write, &inherit, 0));
    ::CloseHandle(read);
    return UniqueHandle(write);
  };
  const auto unwritable = [&] {
    return UniqueHandle(::CreateFileW(read_only.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      OPEN_EXISTING, 0, nullptr));
  };
  const Args commands[] = {{L"--version"}, {L"find", L"--json", free_file}, {L"find", free_file}};
  for (const Args& args : commands) {
    const UniqueHandle outs[] = {closed_pipe(), unwritable()};
    for (const UniqueHandle& out : outs) {
      UniqueHandle err(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
      EXPECT_EQ(run_cli_with(args, out.get(), err.get(), 60'000), std::optional<DWORD>(kExitOutputFailed))
          << to_utf8(args.back());
    }
  }
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// The stand-in server for disconnect; Wine runs none.
struct OpenServer {
  static inline NetAnswer answer = NetAnswer::Listed;
  static inline std::vector<std::uint32_t> closed;
  static NetworkOpenList list(const std::wstring&) {
    if (answer != NetAnswer::Listed) return {answer, {}};
    return {answer,
            {{7, 3, 1, L"C:\\Data\\q1.xlsx", "ana"}, {8, 1, 0, L"C:\\Data\\b.txt", "bo"}, {10, 1, 0, L"C:\\Data\\c", "cy"}}};
  }
  static std::uint32_t close(std::uint32_t id) {
    closed.push_back(id);
    return id == 7 ? NERR_Success : id == 8 ? NERR_FileIdNotFound : ERROR_ACCESS_DENIED;
  }
};

// Each id is closed only after a yes, and says what came of it; ids the server does not list,
// and a server that lists nothing to this account, close nothing.
TEST(CliDisconnect, EachOpenIsClosedOnlyAfterAYesAndSaysWhatCameOfIt) {
  NetworkOpensApi api;
  api.file_opens = &OpenServer::list;
  api.close_open = &OpenServer::close;
  const struct {
    const char* what;
    NetAnswer answer;
    std::vector<std::uint32_t> ids;
    bool yes;
    std::string out, err;
    int code;
    std::vector<std::uint32_t> closed;
  } cases[] = {
      {"closed", NetAnswer::Listed, {7}, true, "7 ana: Disconnected\n", "", 0, {7}},
      {"gone meanwhile", NetAnswer::Listed, {8}, true, "8 bo: It was no longer open\n", "", 0, {8}},
      {"refused", NetAnswer::Listed, {10}, true, "",
       "10 cy: No permission to disconnect it. Try again in a console run as administrator.\n", 1, {10}},
      {"not listed", NetAnswer::Listed, {9, 7}, true, "7 ana: Disconnected\n", "9: not open over the network\n", 1, {7}},
      {"no yes", NetAnswer::Listed, {7}, false, "", "", 1, {}},
      {"not an administrator", NetAnswer::AccessDenied, {7}, true, "",
       "No permission to disconnect it. Try again in a console run as administrator.\n", 1, {}},
      {"no server", NetAnswer::NoServer, {7}, true, "", "Could not disconnect it\n", 1, {}},
  };
  for (const auto& c : cases) {
    OpenServer::answer = c.answer;
    OpenServer::closed.clear();
    std::vector<std::string> asked;
    const DisconnectRun run = disconnect_opens(
        c.ids, [&](const std::string& q) { asked.push_back(q); return c.yes; }, false, api);
    EXPECT_EQ(run.out, c.out) << c.what;
    EXPECT_EQ(run.err, c.err) << c.what;
    EXPECT_EQ(run.code, c.code) << c.what;
    EXPECT_EQ(OpenServer::closed, c.closed) << c.what;
    for (const std::string& q : asked) EXPECT_NE(q.find("C:\\Data\\"), std::string::npos) << q;
  }
}

// An open by another computer in the table and in JSON; when only an administrator could list
// such opens, nothing found is no success.
TEST(CliOutput, NamesOpensByOtherComputersAndWhenTheyCouldNotBeListed) {
  ScanResult r;
  Holder h;
  h.kind = HolderKind::NetworkOpen;
  h.pid = 134217741;
  h.title = "ana";
  h.files = {L"C:\\Data\\q1.xlsx"};
  h.held = "q1.xlsx";
  h.remote = RemoteOpener{"ana", "LAPTOP-7", 3, 1};
  r.holders = {h};
  const std::string table = holders_table(r, true);
  EXPECT_NE(table.find("134217741  Opened over the network by ana  network"), std::string::npos) << table;
  const auto doc = nlohmann::json::parse(holders_json({L"C:\\Data"}, r, true));
  const auto& j = doc["holders"][0];
  EXPECT_EQ(j["kind"], "network");
  EXPECT_EQ(j["id"], 134217741);
  EXPECT_EQ(j["user"], "ana");
  EXPECT_EQ(j["computer"], "LAPTOP-7");
  EXPECT_EQ(j["path"], "C:\\Data\\q1.xlsx");
  EXPECT_EQ(j["permissions"], nlohmann::json({"read", "write"}));
  EXPECT_EQ(j["locks"], 1);

  ScanResult unseen;
  unseen.network_unseen = true;
  Diagnosis d{L"C:\\Data\\q1.xlsx", DiagnosisKind::LooksDeletable};
  d.shared = true;
  unseen.diagnoses = {d};
  EXPECT_EQ(search_exit_code(unseen, false), kExitIncomplete);
  EXPECT_EQ(search_exit_code(unseen, true), kExitSuccess);  // elevated, the server would have listed them
  const auto doc2 = nlohmann::json::parse(holders_json({L"C:\\Data\\q1.xlsx"}, unseen, false));
  EXPECT_EQ(doc2["incomplete"], nlohmann::json({"network_opens_not_listed"}));
  EXPECT_EQ(doc2["diagnoses"][0]["text"],
            "Other computers may have it open over the network. A console run as administrator shows them.");
}

}  // namespace
}  // namespace tw
