#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "app/scan/scan_job.h"
#include "app/scan/search.h"
#include "app/system/messages.h"
#include "common/text.h"
#include "procs/process_facts.h"
#include "support/fake_rm.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::HolderProcess;
using test::TempDir;

Holder holder(std::uint32_t pid, const char* title, HolderKind kind) {
  Holder h;
  h.pid = pid;
  h.title = title;
  h.kind = kind;
  return h;
}

TEST(SortHolders, ProgramsThenExplorerThenTheRestByLowerCasedTitle) {
  std::vector<Holder> hs{holder(1, "Beta", HolderKind::WindowsComponent), holder(2, "b", HolderKind::Program),
                         holder(3, "Explorer", HolderKind::FileExplorer), holder(4, "Alpha", HolderKind::Service),
                         holder(5, "A", HolderKind::Program), holder(6, "same", HolderKind::Program),
                         holder(7, "SAME", HolderKind::Program), holder(8, "\xC3\x84rger", HolderKind::Program),
                         holder(9, "ana", HolderKind::NetworkOpen)};
  sort_holders(hs);
  std::vector<std::uint32_t> pids;
  for (const Holder& h : hs) pids.push_back(h.pid);
  // "a" < "b" < "same" (6 before 7: equal keys keep pid order) < "ärger" (bytes above ASCII).
  EXPECT_EQ(pids, (std::vector<std::uint32_t>{5, 2, 6, 7, 8, 3, 9, 4, 1}));
}

struct FakeClock {
  static inline ProgressPoster::Clock::time_point now{};
  static ProgressPoster::Clock::time_point get() { return now; }
};

// A message-only window to receive what the scan posts.
class MessageWindow {
 public:
  MessageWindow() : hwnd_(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
  ~MessageWindow() { ::DestroyWindow(hwnd_); }
  HWND get() const { return hwnd_; }

  // Messages of one kind waiting in the queue, removed.
  int drain(UINT message) const {
    int n = 0;
    MSG msg;
    while (::PeekMessageW(&msg, hwnd_, message, message, PM_REMOVE)) ++n;
    return n;
  }

 private:
  HWND hwnd_;
};

TEST(ProgressPoster, PassesOneOfferPer100Milliseconds) {
  using namespace std::chrono_literals;
  MessageWindow window;
  ASSERT_TRUE(window.get());
  while (take_scan_progress()) {
  }
  FakeClock::now = ProgressPoster::Clock::time_point(10s);
  ProgressPoster poster(window.get(), 42, &FakeClock::get);

  poster.offer(ScanProgress{500, 0.0f, ScanPhase::Listing});  // the first goes out at once
  FakeClock::now += 99ms;
  poster.offer(ScanProgress{1000, 0.0f, ScanPhase::Listing});  // too soon: dropped
  EXPECT_EQ(window.drain(kMsgScanProgress), 1);
  auto taken = take_scan_progress();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->scan_id, 42u);
  EXPECT_EQ(taken->progress.files, 500u);
  EXPECT_FALSE(take_scan_progress());  // taken once only

  FakeClock::now += 1ms;
  poster.offer(ScanProgress{1200, 0.5f, ScanPhase::AskingWindows});
  EXPECT_EQ(window.drain(kMsgScanProgress), 1);
  taken = take_scan_progress();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->progress.phase, ScanPhase::AskingWindows);
  EXPECT_EQ(taken->progress.fraction, 0.5f);
}

TEST(SearchTargets, DiagnosesEveryTargetWhenNothingHoldsThem) {
  TempDir dir;
  ASSERT_TRUE(test::write_file(dir / L"free.txt"));
  ASSERT_TRUE(test::write_file(dir / L"ro.txt"));
  ASSERT_TRUE(test::set_read_only(dir / L"ro.txt"));
  ASSERT_TRUE(test::make_dir(dir / L"folder"));
  ASSERT_TRUE(test::write_file(dir / L"folder\\a.txt"));
  ASSERT_TRUE(test::write_file(dir / L"folder\\b.txt"));
  ASSERT_TRUE(test::set_read_only(dir / L"folder\\a.txt"));
  ASSERT_TRUE(test::set_read_only(dir / L"folder\\b.txt"));
  ASSERT_TRUE(test::write_file(dir / L"busy.txt"));
  // A long path, reachable only through the \\?\ form.
  std::wstring deep = L"\\\\?\\" + dir.path();
  for (int i = 0; deep.size() < 300; ++i) {
    deep += L"\\" + std::wstring(40, static_cast<wchar_t>(L'a' + i));
    ASSERT_TRUE(test::make_dir(deep));
  }
  ASSERT_TRUE(test::write_file(deep + L"\\long.txt"));

  // Held without delete sharing by a program no search here can see (no deep search).
  auto holder = HolderProcess::start({L"--share", L"rw", L"--open", dir / L"busy.txt"});
  ASSERT_TRUE(holder);

  ScanApi platform;
  platform.process_list = [] { return std::vector<ProcessEntry>{}; };  // keep the helper unseen
  const std::vector<Target> targets{dir / L"gone.txt", dir / L"free.txt", dir / L"ro.txt", dir / L"folder",
                                    dir / L"busy.txt", deep + L"\\long.txt"};
  const ScanResult r = search_targets(targets, false, {}, platform);
  ASSERT_TRUE(r.holders.empty());
  ASSERT_EQ(r.diagnoses.size(), targets.size());
  const DiagnosisKind expected[] = {DiagnosisKind::Gone,     DiagnosisKind::LooksDeletable, DiagnosisKind::ReadOnly,
                                    DiagnosisKind::ReadOnly, DiagnosisKind::InUseUnseen,    DiagnosisKind::PathTooLong};
  for (std::size_t i = 0; i < targets.size(); ++i) {
    EXPECT_EQ(r.diagnoses[i].target, targets[i]);
    EXPECT_EQ(r.diagnoses[i].kind, expected[i]) << i;
  }
  EXPECT_EQ(r.diagnoses[2].read_only, 1u);
  EXPECT_EQ(r.diagnoses[3].read_only, 2u);
  EXPECT_EQ(r.files_checked, 6u);  // five file targets that exist and the folder's two
  EXPECT_EQ(r.folders, 1u);
  EXPECT_FALSE(r.deep);
}

TEST(SearchTargets, AsksTheRestartManagerBatchByBatch) {
  TempDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"many"));
  for (int i = 0; i < 600; ++i) ASSERT_TRUE(test::write_file(dir / (L"many\\f" + std::to_wstring(i))));
  auto holder = HolderProcess::start({});
  ASSERT_TRUE(holder);

  // The real helper's identity, reported for one file in the second batch.
  const FileListing listing = build_file_list({dir / L"many"}, {});
  ASSERT_EQ(listing.files.size(), 600u);
  const std::wstring held = listing.files[300];
  test::FakeRm rm;
  test::FakeProcess p = test::fake_program(holder->pid(), L"Busy Program", {held});
  const std::uint64_t started = creation_time(holder->pid()).value_or(0);
  p.info.Process.ProcessStartTime = FILETIME{static_cast<DWORD>(started), static_cast<DWORD>(started >> 32)};
  rm.processes.push_back(p);
  const RmApi api = test::FakeRm::api();
  ScanApi platform;
  platform.rm = api;

  std::vector<ScanProgress> offers;
  const ScanResult r = search_targets({dir / L"many"}, false, [&](const ScanProgress& o) { offers.push_back(o); }, platform);
  // Listing at 500 files, then one offer before each of the three batches (256, 256, 88).
  ASSERT_EQ(offers.size(), 4u);
  EXPECT_EQ(offers[0].phase, ScanPhase::Listing);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(offers[1 + i].phase, ScanPhase::AskingWindows);
    EXPECT_EQ(offers[1 + i].files, 600u);
    EXPECT_FLOAT_EQ(offers[1 + i].fraction, static_cast<float>(i) / 3.0f);
  }
  ASSERT_EQ(r.holders.size(), 1u);
  EXPECT_EQ(r.holders[0].pid, holder->pid());
  EXPECT_EQ(r.holders[0].title, "Busy Program");
  EXPECT_EQ(r.holders[0].files, (std::vector<std::wstring>{held}));
  EXPECT_FALSE(r.holders[0].unattributed);
  EXPECT_TRUE(r.diagnoses.empty());
  EXPECT_EQ(rm.sessions_opened, rm.sessions_ended);
  EXPECT_EQ(rm.registrations.front().size(), 256u);
}

// Stopped at some point of a real scan: it ends at once with what it found up to then, and,
// having not looked everywhere, diagnoses nothing (no "looks deletable").
TEST(SearchTargets, StoppedEarlyEndsAtOnceWithWhatItFound) {
  TempDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"many"));
  for (int i = 0; i < 1200; ++i) ASSERT_TRUE(test::write_file(dir / (L"many\\f" + std::to_wstring(i))));
  auto holder = HolderProcess::start({});
  ASSERT_TRUE(holder);
  const FileListing listing = build_file_list({dir / L"many"}, {});
  ASSERT_EQ(listing.files.size(), 1200u);

  struct Case {
    const char* name;
    ScanPhase phase;       // Stop comes with this phase's offer number `offer` (from 1); Taken: never
    int offer;
    bool deep;
    bool reported;         // the Restart Manager names the helper, for a file of the first batch
    std::uint64_t files_checked;
    bool found;            // the helper is among the holders
    bool stopped;
    std::size_t diagnoses;
    bool later_batches;    // the Restart Manager was asked about files after the first batch
  };
  const Case cases[] = {
      {"while listing", ScanPhase::Listing, 1, false, false, 500, false, true, 0, false},
      {"after the first batch", ScanPhase::AskingWindows, 2, false, true, 1200, true, true, 0, false},
      {"as the deep search starts", ScanPhase::DeepSearching, 1, true, true, 1200, true, true, 0, true},
      {"never, nothing held", ScanPhase::Taken, 0, false, false, 1200, false, false, 1, true},
  };
  for (const Case& c : cases) {
    test::FakeRm rm;
    if (c.reported) {
      test::FakeProcess p = test::fake_program(holder->pid(), L"Busy Program", {listing.files[10]});
      const std::uint64_t started = creation_time(holder->pid()).value_or(0);
      p.info.Process.ProcessStartTime = FILETIME{static_cast<DWORD>(started), static_cast<DWORD>(started >> 32)};
      rm.processes.push_back(p);
    }
    ScanApi platform;
    platform.rm = test::FakeRm::api();
    std::atomic<bool> stop{false};
    int offers = 0;
    std::chrono::steady_clock::time_point stopped_at{};
    const auto progress = [&](const ScanProgress& p) {
      if (p.phase != c.phase || ++offers != c.offer) return;
      stop = true;
      stopped_at = std::chrono::steady_clock::now();
    };
    const ScanResult r = search_targets({dir / L"many"}, c.deep, progress, platform, &stop);
    if (c.stopped) {
      EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, std::chrono::milliseconds(500)) << c.name;
    }
    EXPECT_EQ(r.stopped, c.stopped) << c.name;
    EXPECT_EQ(r.files_checked, c.files_checked) << c.name;
    EXPECT_EQ(r.diagnoses.size(), c.diagnoses) << c.name;
    EXPECT_EQ(std::any_of(r.holders.begin(), r.holders.end(), [&](const Holder& h) { return h.pid == holder->pid(); }),
              c.found)
        << c.name;
    // No batch after the stop was asked about.
    const bool later = std::any_of(rm.registrations.begin(), rm.registrations.end(), [&](const auto& files) {
      return std::find(files.begin(), files.end(), listing.files[256]) != files.end();
    });
    EXPECT_EQ(later, c.later_batches) << c.name;
  }
}

TEST(Diagnosis, RefusalsOtherThanSharingMeanNoPermission) {
  TargetFacts facts;
  facts.exists = true;
  facts.length = 10;
  facts.delete_error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(decide_diagnosis(L"x", facts, 0).kind, DiagnosisKind::NoPermission);
  facts.delete_error = ERROR_SHARING_VIOLATION;
  EXPECT_EQ(decide_diagnosis(L"x", facts, 0).kind, DiagnosisKind::InUseUnseen);
  // A read-only link is not a read-only file; a read-only folder counts what is inside.
  facts.delete_error.reset();
  facts.attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT;
  facts.reparse_tag = 0xA000000C;
  EXPECT_EQ(decide_diagnosis(L"x", facts, 0).kind, DiagnosisKind::LooksDeletable);
  facts.attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
  EXPECT_EQ(decide_diagnosis(L"x", facts, 0).kind, DiagnosisKind::LooksDeletable);
  EXPECT_EQ(decide_diagnosis(L"x", facts, 4).read_only, 4u);
}

TEST(SearchTargets, FindsProgramsStartedFromInsideATargetAndDeepHolders) {
  TempDir dir;
  const std::wstring work = dir / L"Work";
  ASSERT_TRUE(test::make_dir(work));
  ASSERT_TRUE(test::make_dir(work + L"\\tools"));
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_holder.exe").c_str(), (work + L"\\tools\\app.exe").c_str(), TRUE));
  ASSERT_TRUE(test::make_dir(dir / L"Other"));

  // A copy of the helper run from inside the target, holding nothing there.
  auto inside = HolderProcess::start_program(work + L"\\tools\\app.exe", {L"--cwd", dir / L"Other"});
  // A command prompt sitting in the target: only the deep search sees it.
  auto prompt = HolderProcess::start({L"--cwd", work});
  ASSERT_TRUE(inside);
  ASSERT_TRUE(prompt);

  // Spelled as the user might, in other letter case.
  const std::wstring spelled = dir / L"WORK";
  ScanResult r = search_targets({spelled}, false, {});
  auto find = [&](DWORD pid) {
    return std::find_if(r.holders.begin(), r.holders.end(), [&](const Holder& h) { return h.pid == pid; });
  };
  ASSERT_NE(find(inside->pid()), r.holders.end());
  EXPECT_EQ(find(inside->pid())->files, (std::vector<std::wstring>{spelled + L"\\tools\\app.exe"}));
  EXPECT_EQ(find(prompt->pid()), r.holders.end());
  EXPECT_TRUE(r.diagnoses.empty());

  std::vector<ScanProgress> offers;
  r = search_targets({spelled}, true, [&](const ScanProgress& p) { offers.push_back(p); });
  EXPECT_TRUE(r.deep);
  ASSERT_NE(find(prompt->pid()), r.holders.end());
  EXPECT_EQ(find(prompt->pid())->files, (std::vector<std::wstring>{spelled}));
  EXPECT_NE(find(inside->pid()), r.holders.end());
  EXPECT_TRUE(std::any_of(offers.begin(), offers.end(), [](const ScanProgress& p) {
    return p.phase == ScanPhase::DeepSearching && p.fraction == 1.0f;
  }));
}

// Files held only in memory: the ordinary search walks the processes' memory when a target
// holds a program or a DLL, the deep search always.
TEST(SearchTargets, FindsLoadedAndMappedFilesWhereProgramFilesAreOrWhenDeep) {
  TempDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"Plugins"));
  ASSERT_TRUE(test::make_dir(dir / L"Data"));
  const std::wstring plugin = dir / L"Plugins\\plugin.dll", cache = dir / L"Plugins\\cache.bin",
                     data = dir / L"Data\\data.bin";
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_planted.dll").c_str(), plugin.c_str(), FALSE));
  ASSERT_TRUE(test::write_file(cache, "cache"));
  ASSERT_TRUE(test::write_file(data, "data"));
  auto loads = HolderProcess::start({L"--load", plugin});
  auto maps_cache = HolderProcess::start({L"--map", cache});
  auto maps_data = HolderProcess::start({L"--map", data});
  ASSERT_TRUE(loads && maps_cache && maps_data);

  struct Found {
    DWORD pid;
    std::wstring file;
    HoldWays how;
  };
  struct Case {
    std::wstring target;
    bool deep;
    std::vector<Found> found;
  };
  const Case cases[] = {
      {dir / L"Plugins", false, {{loads->pid(), plugin, kHeldLoaded}, {maps_cache->pid(), cache, kHeldMapped}}},
      {dir / L"Data", false, {}},
      {dir / L"Data", true, {{maps_data->pid(), data, kHeldMapped}}},
  };
  const std::vector<DWORD> helpers{loads->pid(), maps_cache->pid(), maps_data->pid()};
  for (const Case& c : cases) {
    const ScanResult r = search_targets({c.target}, c.deep, {});
    std::vector<Found> found;
    for (const Holder& h : r.holders) {
      if (std::find(helpers.begin(), helpers.end(), h.pid) == helpers.end()) continue;
      for (std::size_t i = 0; i < h.files.size(); ++i) found.push_back({h.pid, h.files[i], held_ways(h, i)});
    }
    ASSERT_EQ(found.size(), c.found.size()) << testing::PrintToString(c.target) << " deep " << c.deep;
    for (const Found& f : c.found) {
      EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](const Found& g) {
        return g.pid == f.pid && g.file == f.file && g.how == f.how;
      })) << testing::PrintToString(f.file) << " deep " << c.deep;
    }
  }
}

std::atomic<int> listings{0};
FileListing counted_listing(const std::vector<Target>& targets, const ProgressSink& progress, const FileIdentityApi& ids,
                            StopFlag stop) {
  ++listings;
  return build_file_list(targets, progress, ids, stop);
}

// Drives V: and W: of the test prefix are one folder of 100,000 files (made by the fixtures).
// Wine gives each letter a volume of its own and names every handle there by V:, so W: finds
// them through the letter's resolved spelling. Wine's mount manager learns of letters when it
// starts, so a letter the fixtures made meanwhile has no volume name until the next run; the
// search then matches the drive by its root alone.
TEST(DriveSearch, FindsWhatIsOpenOnTheDriveWithoutListingItsFiles) {
  auto file = HolderProcess::start({L"--open", L"W:\\deep\\in\\side\\held.txt"});
  auto folder = HolderProcess::start({L"--cwd", L"V:\\deep\\in"});
  ASSERT_TRUE(file);
  ASSERT_TRUE(folder);
  wchar_t volume[MAX_PATH] = {};
  const bool named = ::GetVolumeNameForVolumeMountPointW(L"V:\\", volume, MAX_PATH);
  ScanApi platform;
  platform.list_files = &counted_listing;

  struct Case {
    std::wstring target;
    bool drive;
    std::wstring spelled;  // how the held file is named
  };
  const Case cases[] = {
      {L"V:\\", true, L"V:\\deep\\in\\side\\held.txt"},
      {L"W:\\", true, L"W:\\deep\\in\\side\\held.txt"},
      {L"\\\\?\\V:\\", true, L"\\\\?\\V:\\deep\\in\\side\\held.txt"},
      {named ? volume : L"V:\\", true, L"V:\\deep\\in\\side\\held.txt"},
      {L"V:\\deep", false, L"V:\\deep\\in\\side\\held.txt"},  // a folder on the drive is listed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << to_utf8(c.target));
    listings = 0;
    const ScanResult r = search_targets({c.target}, false, {}, platform);
    EXPECT_EQ(r.drive, c.drive);
    EXPECT_EQ(r.deep, c.drive);
    EXPECT_EQ(listings, c.drive ? 0 : 1);
    if (!c.drive) continue;  // without --deep a folder's holders are the Restart Manager's, not Wine's
    EXPECT_EQ(r.files_checked, 0u);
    const auto holder = [&](DWORD pid) {
      const auto h = std::find_if(r.holders.begin(), r.holders.end(), [&](const Holder& x) { return x.pid == pid; });
      return h == r.holders.end() ? std::vector<std::wstring>{} : h->files;
    };
    EXPECT_EQ(holder(file->pid()), std::vector<std::wstring>{c.spelled});
    const std::vector<std::wstring> cwd = holder(folder->pid());
    EXPECT_TRUE(std::any_of(cwd.begin(), cwd.end(), [](const std::wstring& f) { return f.ends_with(L"deep\\in"); }));
  }
}

TEST(RunScan, PostsToTheWindowAndTagsResultsWithTheirScan) {
  MessageWindow window;
  ASSERT_TRUE(window.get());
  TempDir dir;
  ASSERT_TRUE(test::write_file(dir / L"a.txt"));
  while (take_scan_result()) {
  }

  // Two scans in quick succession, the way a user who searches again starts them.
  ASSERT_TRUE(start_scan(ScanRequest{{dir / L"a.txt"}, 1, window.get(), false, nullptr, {}}));
  ASSERT_TRUE(start_scan(ScanRequest{{dir / L"a.txt", dir / L"b.txt"}, 2, window.get(), false, nullptr, {}}));

  // What the window does: take whatever the slot holds on each message, keep only scan 2's.
  std::optional<ScanResult> current;
  int finished = 0;
  const DWORD until = ::GetTickCount() + 60'000;
  while (finished < 2 && ::GetTickCount() < until) {
    MSG msg;
    if (!::PeekMessageW(&msg, window.get(), kMsgScanFinished, kMsgScanFinished, PM_REMOVE)) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
      continue;
    }
    ++finished;
    if (auto taken = take_scan_result(); taken && taken->scan_id == 2) current = std::move(taken->result);
  }
  EXPECT_EQ(finished, 2);
  ASSERT_TRUE(current);
  EXPECT_EQ(current->diagnoses.size(), 2u);
  EXPECT_EQ(current->diagnoses[1].kind, DiagnosisKind::Gone);
}

TEST(ResultSlot, ALateStaleResultNeverDestroysTheCurrentOne) {
  while (take_scan_result()) {
  }
  ScanResult current;
  current.files_checked = 2;
  store_scan_result(2, std::move(current));
  store_scan_result(1, ScanResult{});  // the superseded scan finishes after the new one
  auto taken = take_scan_result();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->scan_id, 2u);
  EXPECT_EQ(taken->result.files_checked, 2u);
  EXPECT_FALSE(take_scan_result());
  // Once taken, anything may fill the slot again.
  store_scan_result(1, ScanResult{});
  EXPECT_EQ(take_scan_result()->scan_id, 1u);
}

}  // namespace
}  // namespace tw
