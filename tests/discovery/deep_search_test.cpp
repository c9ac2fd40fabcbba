#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>

#include "discovery/deep_search.h"
#include "discovery/memory_holds.h"
#include "discovery/paths.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::HolderProcess;
using test::TempDir;

const ProgressSink kNoProgress = [](const ScanProgress&) {};
constexpr std::chrono::milliseconds kDeadline{150};  // shorter than the real one, for quick tests

bool has_record(const DeepSearchResult& r, DWORD pid, const std::wstring& path) {
  return std::any_of(r.records.begin(), r.records.end(), [&](const DeepRecord& rec) {
    return rec.pid == pid && path_key(std::wstring_view(rec.path)) == path_key(std::wstring_view(path));
  });
}

TEST(DeepSearch, FindsHandlesAndCurrentFoldersOfOtherProcesses) {
  TempDir dir;
  const std::wstring target = dir / L"Target";
  ASSERT_TRUE(test::make_dir(target));
  ASSERT_TRUE(test::write_file(target + L"\\a.txt"));
  ASSERT_TRUE(test::write_file(target + L"\\mine.txt"));
  ASSERT_TRUE(test::write_file(dir / L"elsewhere.txt"));

  // Two handles to one file, and a file outside the target.
  auto files = HolderProcess::start({L"--repeat", L"2", L"--open", target + L"\\a.txt", L"--repeat", L"1",
                                     L"--share", L"none", L"--open", dir / L"elsewhere.txt"});
  // A command prompt sitting in the folder.
  auto prompt = HolderProcess::start({L"--cwd", target});
  ASSERT_TRUE(files);
  ASSERT_TRUE(prompt);
  // Our own handle inside the target is never reported.
  UniqueHandle mine(::CreateFileW((target + L"\\mine.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(mine);

  // The user spelled the target differently; its resolved key still matches.
  std::vector<ScanProgress> offers;
  const DeepSearchResult r = deep_search({resolved_key(dir / L"TARGET\\")}, 7,
                                         [&](const ScanProgress& p) { offers.push_back(p); });
  EXPECT_FALSE(r.gave_up);
  EXPECT_TRUE(has_record(r, files->pid(), target + L"\\a.txt"));
  EXPECT_TRUE(has_record(r, prompt->pid(), target));
  EXPECT_EQ(std::count_if(r.records.begin(), r.records.end(), [&](const DeepRecord& rec) { return rec.pid == files->pid(); }),
            1);
  for (const DeepRecord& rec : r.records) {
    if (rec.pid == files->pid()) {
      EXPECT_EQ(rec.handles.size(), 2u);  // one record, both handles, for closing
    }
  }
  for (const DeepRecord& rec : r.records) {
    EXPECT_NE(rec.pid, ::GetCurrentProcessId());
    EXPECT_FALSE(rec.path.starts_with(L"\\\\?\\"));
  }
  EXPECT_TRUE(std::is_sorted(r.records.begin(), r.records.end(), [](const DeepRecord& a, const DeepRecord& b) {
    return a.pid < b.pid;
  }));

  ASSERT_GE(offers.size(), 2u);
  EXPECT_EQ(offers.front().fraction, 0.0f);
  EXPECT_EQ(offers.back().fraction, 1.0f);
  for (const ScanProgress& p : offers) {
    EXPECT_EQ(p.phase, ScanPhase::DeepSearching);
    EXPECT_EQ(p.files, 7u);
  }
}

// Files held without a handle, found by walking the holders' memory; a file held both ways is
// found both ways. Without the walk, only the handle is.
TEST(DeepSearch, FindsFilesLoadedAsModulesOrMappedAsViews) {
  TempDir dir;
  const std::wstring target = dir / L"Target";
  ASSERT_TRUE(test::make_dir(target));
  const std::wstring plugin = target + L"\\plugin.dll", data = target + L"\\data.bin", both = target + L"\\both.bin";
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_planted.dll").c_str(), plugin.c_str(), FALSE));
  ASSERT_TRUE(test::write_file(data, "mapped"));
  ASSERT_TRUE(test::write_file(both, "open and mapped"));

  struct Case {
    std::vector<std::wstring> args;
    std::wstring file;
    std::vector<HoldWays> ways;          // what the search finds, by record
    std::vector<HoldWays> handles_only;  // the same without the memory walk
  };
  const Case cases[] = {
      {{L"--load", plugin}, plugin, {kHeldLoaded}, {}},
      {{L"--map", data}, data, {kHeldMapped}, {}},
      {{L"--open", both, L"--map", both}, both, {kHeldMapped, kHeldOpen}, {kHeldOpen}},
  };
  std::vector<HolderProcess> holders;
  for (const Case& c : cases) {
    std::optional<HolderProcess> h = HolderProcess::start(c.args);
    ASSERT_TRUE(h) << testing::PrintToString(c.file);
    holders.push_back(std::move(*h));
  }
  const auto ways_of = [](const DeepSearchResult& r, DWORD pid, const std::wstring& file) {
    std::vector<HoldWays> ways;
    for (const DeepRecord& rec : r.records) {
      if (rec.pid == pid && path_key(std::wstring_view(rec.path)) == path_key(std::wstring_view(file))) ways.push_back(rec.how);
    }
    return ways;
  };
  const DeepSearchResult walked = deep_search({resolved_key(target)}, 0, kNoProgress);
  DeepSearchApi handles_only;
  handles_only.walk_memory = nullptr;
  const DeepSearchResult named = deep_search({resolved_key(target)}, 0, kNoProgress, handles_only);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(ways_of(walked, holders[i].pid(), cases[i].file), cases[i].ways) << testing::PrintToString(cases[i].file);
    EXPECT_EQ(ways_of(named, holders[i].pid(), cases[i].file), cases[i].handles_only) << testing::PrintToString(cases[i].file);
  }
  for (const DeepRecord& rec : walked.records) EXPECT_NE(rec.pid, ::GetCurrentProcessId());
}

// Naming a mapped file can hang (a share that went away); the walk is then given up and the
// search ends with what it found, saying something was passed over.
struct StuckWalk {
  static inline HANDLE release = nullptr;
  static MemoryWalkResult walk(const std::vector<std::uint32_t>& pids, const KeyIndex& keys,
                               const DosDeviceTable& devices, StopFlag stop) {
    ::WaitForSingleObject(release, 30'000);
    return walk_memory_of(pids, keys, devices, stop);
  }
};

TEST(DeepSearch, GivesUpAMemoryWalkThatHangsAndKeepsTheHandlesFound) {
  TempDir dir;
  ASSERT_TRUE(test::write_file(dir / L"a.txt"));
  auto holder = HolderProcess::start({L"--open", dir / L"a.txt"});
  ASSERT_TRUE(holder);
  const UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  StuckWalk::release = release.get();
  DeepSearchApi api;
  api.walk_memory = &StuckWalk::walk;

  const auto started = std::chrono::steady_clock::now();
  const DeepSearchResult r = deep_search({path_key(std::wstring_view(dir.path()))}, 0, kNoProgress, api);
  const auto elapsed = std::chrono::steady_clock::now() - started;
  ::SetEvent(release.get());
  EXPECT_TRUE(has_record(r, holder->pid(), dir / L"a.txt"));
  EXPECT_EQ(r.unexamined, 1u);
  EXPECT_FALSE(r.gave_up);
  EXPECT_GE(elapsed, kMemoryWalkSilence);
  EXPECT_LT(elapsed, kMemoryWalkSilence + std::chrono::seconds(3));
  ::Sleep(100);  // the abandoned walk comes back to find nobody waiting
}

// No handle of this process is left on the file: it can be opened for deletion.
bool free_to_delete(const std::wstring& path) {
  return static_cast<bool>(UniqueHandle(::CreateFileW(path.c_str(), DELETE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                      OPEN_EXISTING, 0, nullptr)));
}

// A name query that hangs cannot be made on demand, so this one hangs on purpose for files
// called block* in the test's folder (or for every handle), until the test lets go.
struct Blocking {
  static inline HANDLE release = nullptr;
  static inline bool everything = false;
  static inline std::wstring folder;  // tests running beside this one have their own
  static inline std::atomic<int> inside{0};
  static inline std::mutex mutex;
  static inline std::set<DWORD> threads;

  static std::optional<std::wstring> name(HANDLE h) {
    std::optional<std::wstring> n = name_of_disk_handle(h);
    if (everything || (n && n->find(folder + L"\\block") != std::wstring::npos)) {
      {
        std::lock_guard lock(mutex);
        threads.insert(::GetCurrentThreadId());
      }
      ++inside;
      ::WaitForSingleObject(release, 30'000);
      --inside;
    }
    return n;
  }
};

// The real handle table, with some processes' handles given other rights: those of a handle
// whose name query may hang (a synchronous pipe, say), or ones that never do.
struct GivenRights {
  static inline QuerySystemInformationFn real = nullptr;
  static inline std::set<std::uint64_t> pids;
  static inline bool all = false;  // every process's
  static inline std::uint32_t access = 0;
  static LONG WINAPI query(ULONG information_class, void* buffer, ULONG size, ULONG* returned) {
    const LONG status = real(information_class, buffer, size, returned);
    if (status < 0) return status;
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::uint64_t count = 0;
    std::memcpy(&count, bytes, 8);
    for (std::uint64_t i = 0; i < count && 16 + 40 * (i + 1) <= size; ++i) {
      std::uint64_t owner = 0;
      std::memcpy(&owner, bytes + 16 + 40 * i + 8, 8);
      if (all || pids.contains(owner)) std::memcpy(bytes + 16 + 40 * i + 24, &access, 4);
    }
    return status;
  }
};

// Helpers each holding found<N>.txt, then ten block<N>-*.txt files whose name queries hang
// until the test lets go, their handles shown with the rights the test gives them; and one more
// holding later.txt, which never hangs.
class HangingHolder : public testing::Test {
 protected:
  void start(std::uint32_t access, int programs = 1) {
    for (int p = 0; p < programs; ++p) {
      std::vector<std::wstring> args{L"--open", found(p)};
      ASSERT_TRUE(test::write_file(found(p)));
      for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(test::write_file(block(p, i)));
        args.insert(args.end(), {L"--open", block(p, i)});
      }
      std::optional<HolderProcess> holder = HolderProcess::start(args);
      ASSERT_TRUE(holder);
      holders.push_back(std::move(*holder));
      GivenRights::pids.insert(holders.back().pid());
    }
    ASSERT_TRUE(test::write_file(dir / L"later.txt"));
    later = HolderProcess::start({L"--open", dir / L"later.txt"});
    ASSERT_TRUE(later);
    Blocking::release = release.get();
    Blocking::folder = dir.path();
    GivenRights::real = api.query_system_information;
    GivenRights::access = access;
    api.query_system_information = &GivenRights::query;
    api.name_handle = &Blocking::name;
    api.walk_memory = nullptr;  // these time the handles alone
  }
  // The abandoned threads come back to find nobody waiting, and end.
  void let_queries_return() {
    ::SetEvent(release.get());
    for (int i = 0; i < 200 && Blocking::inside.load() > 0; ++i) ::Sleep(10);
  }
  void TearDown() override {
    let_queries_return();
    Blocking::release = nullptr;
    Blocking::everything = false;
    Blocking::threads.clear();
    GivenRights::pids.clear();
    GivenRights::all = false;
  }
  std::wstring found(int p) const { return dir / (L"found" + std::to_wstring(p) + L".txt"); }
  std::wstring block(int p, int i) const {
    return dir / (L"block" + std::to_wstring(p) + L"-" + std::to_wstring(i) + L".txt");
  }
  DeepSearchResult search(const DeepSearchLimits& limits) {
    return deep_search({path_key(std::wstring_view(dir.path()))}, 0, kNoProgress, api, limits);
  }

  TempDir dir;
  std::vector<HolderProcess> holders;
  std::optional<HolderProcess> later;
  UniqueHandle release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  DeepSearchApi api;
};

// Rights whose queries are not expected to hang: a program that hangs has the rest of its
// handles passed over, and only hangs in many programs end the search.
struct HangCase {
  const char* what;
  int programs;
  bool everything_hangs;
  DeepSearchLimits limits;
  bool gave_up;
  std::size_t hung;          // name queries that hung, each on a thread of its own
  int later_found;           // the program that never hangs was still asked (-1: either way)
  std::uint64_t unexamined;  // ~0: not checked
};

class HangingPrograms : public HangingHolder, public testing::WithParamInterface<HangCase> {};

TEST_P(HangingPrograms, PassOverTheProgramThatHangsAndGiveUpOnlyWhenManyDo) {
  const HangCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(start(0x00100001, c.programs));
  Blocking::everything = c.everything_hangs;
  GivenRights::all = c.everything_hangs;

  const auto started = std::chrono::steady_clock::now();
  const DeepSearchResult r = search(c.limits);
  const auto elapsed = std::chrono::steady_clock::now() - started;

  EXPECT_EQ(r.gave_up, c.gave_up);
  if (c.later_found >= 0) {
    EXPECT_EQ(has_record(r, later->pid(), dir / L"later.txt"), c.later_found == 1);
  }
  if (c.unexamined != ~std::uint64_t{0}) {
    EXPECT_EQ(r.unexamined, c.unexamined);
  }
  if (!c.everything_hangs) {
    // What a hung program held before its hang is kept, whatever came after.
    EXPECT_TRUE(std::any_of(holders.begin(), holders.end(),
                            [&](const HolderProcess& h) { return has_record(r, h.pid(), found(static_cast<int>(&h - holders.data()))); }));
  }
  EXPECT_GE(elapsed, static_cast<long>(c.hung) * c.limits.name_deadline);
  {
    std::lock_guard lock(Blocking::mutex);
    EXPECT_EQ(Blocking::threads.size(), c.hung);  // each hang cost one thread, and a new one took over
  }
  EXPECT_EQ(Blocking::inside.load(), static_cast<int>(c.hung));
  // Still hanging, but no copy of the holders' handles is left open by the search.
  for (int p = 0; p < c.programs; ++p) {
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(free_to_delete(block(p, i))) << p << " " << i;
  }
  let_queries_return();
  EXPECT_EQ(Blocking::inside.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    DeepSearch, HangingPrograms,
    testing::Values(
        // Ten hanging handles in one program once ended the whole search at the eighth.
        HangCase{"one program", 1, false, {kDeadline}, false, 1, 1, 10},
        HangCase{"more programs than allowed in all", 3, false, {kDeadline, 8, 2}, true, 2, -1, ~std::uint64_t{0}},
        HangCase{"nothing answers anywhere", 1, true, {kDeadline, 3, 32}, true, 3, 0, ~std::uint64_t{0}}),
    [](const testing::TestParamInfo<HangCase>& test_case) {
      std::string name;
      for (const char* p = test_case.param.what; *p != 0; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      }
      return name;
    });

TEST_F(HangingHolder, AfterOneHangingHandleSkipsTheRestOfThatProcesssRiskyOnes) {
  for (const std::uint32_t access : {0x0012019Fu, 0x00120189u, 0x00120089u, 0x001A019Fu}) {
    EXPECT_TRUE(name_query_may_hang(access)) << access;
  }
  for (const std::uint32_t access : {0x00120196u, 0x0012019Eu, 0x00100020u, 0u}) EXPECT_FALSE(name_query_may_hang(access));
  ASSERT_NO_FATAL_FAILURE(start(0x0012019F));  // read and write: a file, or a synchronous pipe

  const auto started = std::chrono::steady_clock::now();
  const DeepSearchResult r = search({kDeadline});
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_FALSE(r.gave_up);
  EXPECT_TRUE(has_record(r, holders[0].pid(), found(0)));  // asked before anything hung
  EXPECT_EQ(r.unexamined, 10u);  // the one that hung, and the nine never asked
  EXPECT_LT(elapsed, 4 * kDeadline);
  // The query still hangs, yet the copy of the holder's handle is already closed.
  EXPECT_EQ(Blocking::inside.load(), 1);
  EXPECT_TRUE(free_to_delete(block(0, 0)));
}

// A stand-in for the system call that reports the sizes it was asked with.
struct FakeTable {
  static inline std::vector<ULONG> sizes;
  static inline std::vector<ULONG> mismatch_lengths;  // one per call to refuse; then success
  static inline std::uint64_t declared = 0;            // NumberOfHandles on success

  static LONG WINAPI query(ULONG information_class, void* buffer, ULONG size, ULONG* returned) {
    EXPECT_EQ(information_class, 0x40u);
    sizes.push_back(size);
    if (sizes.size() <= mismatch_lengths.size()) {
      *returned = mismatch_lengths[sizes.size() - 1];
      return static_cast<LONG>(0xC0000004);
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::memset(bytes, 0, 16 + 40 * 3);
    std::memcpy(bytes, &declared, 8);
    for (std::uint64_t i = 0; i < 3; ++i) {
      const std::uint64_t pid = 100 + i, handle = 4 * (i + 1);
      const std::uint16_t type = static_cast<std::uint16_t>(30 + i);
      std::memcpy(bytes + 16 + 40 * i + 8, &pid, 8);
      std::memcpy(bytes + 16 + 40 * i + 16, &handle, 8);
      std::memcpy(bytes + 16 + 40 * i + 30, &type, 2);
    }
    return 0;
  }
};

TEST(HandleTable, GrowsItsBufferAsTheSystemAsksWithinLimits) {
  constexpr ULONG MiB = 1u << 20;
  FakeTable::sizes.clear();
  FakeTable::mismatch_lengths = {10 * MiB, 0, 0xFFFFFFF0u};
  FakeTable::declared = 3;
  auto table = read_handle_table(&FakeTable::query);
  ASSERT_TRUE(table);
  // 8 MiB; the larger of size and need, plus 4 MiB; then at least 4 MiB more; capped at 1 GiB.
  EXPECT_EQ(FakeTable::sizes, (std::vector<ULONG>{8 * MiB, 14 * MiB, 18 * MiB, 1024 * MiB}));
  ASSERT_EQ(table->size(), 3u);
  EXPECT_EQ(table->at(2).pid, 102u);
  EXPECT_EQ(table->at(2).handle, 12u);
  EXPECT_EQ(table->at(2).type_index, 32);

  // A count larger than the buffer can hold is cut to what fits; a small one is believed.
  FakeTable::sizes.clear();
  FakeTable::mismatch_lengths.clear();
  FakeTable::declared = 2;
  EXPECT_EQ(read_handle_table(&FakeTable::query)->size(), 2u);
  FakeTable::declared = ~0ull;
  EXPECT_EQ(read_handle_table(&FakeTable::query)->size(), (8u * MiB - 16) / 40);

  // Twelve refusals in a row: no table.
  FakeTable::sizes.clear();
  FakeTable::mismatch_lengths.assign(12, 0);
  EXPECT_EQ(read_handle_table(&FakeTable::query), std::nullopt);
  EXPECT_EQ(FakeTable::sizes.size(), 12u);
  EXPECT_EQ(read_handle_table(nullptr), std::nullopt);

  // Without a table the deep search finds nothing and raises no flag.
  DeepSearchApi api;
  api.query_system_information = nullptr;
  const DeepSearchResult r = deep_search({"c:"}, 0, kNoProgress, api);
  EXPECT_TRUE(r.records.empty());
  EXPECT_EQ(r.inaccessible, 0u);
  EXPECT_FALSE(r.gave_up);
}

TEST(NameOfDiskHandle, NamesFilesAndNeverAsksPipes) {
  TempDir dir;
  ASSERT_TRUE(test::write_file(dir / L"n.txt"));
  UniqueHandle file(::CreateFileW((dir / L"n.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
  ASSERT_TRUE(file);
  const auto name = name_of_disk_handle(file.get());
  ASSERT_TRUE(name);
  EXPECT_EQ(path_key(std::wstring_view(*name)), path_key(dir / L"n.txt"));

  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(::CreatePipe(&read_end, &write_end, nullptr, 0));
  UniqueHandle r(read_end), w(write_end);
  EXPECT_EQ(name_of_disk_handle(r.get()), std::nullopt);
}

}  // namespace
}  // namespace tw
