#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>

#include "discovery/deep_search.h"
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

// No handle of this process is left on the file: it can be opened for deletion.
bool free_to_delete(const std::wstring& path) {
  return static_cast<bool>(UniqueHandle(::CreateFileW(path.c_str(), DELETE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                      OPEN_EXISTING, 0, nullptr)));
}

// A name query that hangs cannot be made on demand, so this one hangs on purpose for files
// called block*, until the test lets go.
struct Blocking {
  static inline HANDLE release = nullptr;
  static inline std::atomic<int> inside{0};
  static inline std::mutex mutex;
  static inline std::set<DWORD> threads;

  static std::optional<std::wstring> name(HANDLE h) {
    std::optional<std::wstring> n = name_of_disk_handle(h);
    if (n && n->find(L"\\block") != std::wstring::npos) {
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

// The real handle table, with one process's handles given other rights: those of a handle
// whose name query may hang (a synchronous pipe, say), or ones that never do.
struct GivenRights {
  static inline QuerySystemInformationFn real = nullptr;
  static inline std::uint64_t pid = 0;
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
      if (owner == pid) std::memcpy(bytes + 16 + 40 * i + 24, &access, 4);
    }
    return status;
  }
};

// A helper holding found.txt, then ten block*.txt files whose name queries hang until the
// test lets go, its handles shown with the rights the test gives them.
class HangingHolder : public testing::Test {
 protected:
  void start(std::uint32_t access) {
    std::vector<std::wstring> args{L"--open", dir / L"found.txt"};
    ASSERT_TRUE(test::write_file(dir / L"found.txt"));
    for (int i = 0; i < 10; ++i) {
      const std::wstring name = block(i);
      ASSERT_TRUE(test::write_file(name));
      args.insert(args.end(), {L"--open", name});
    }
    holder = HolderProcess::start(args);
    ASSERT_TRUE(holder);
    Blocking::release = release.get();
    GivenRights::real = api.query_system_information;
    GivenRights::pid = holder->pid();
    GivenRights::access = access;
    api.query_system_information = &GivenRights::query;
    api.name_handle = &Blocking::name;
  }
  // The abandoned threads come back to find nobody waiting, and end.
  void let_queries_return() {
    ::SetEvent(release.get());
    for (int i = 0; i < 200 && Blocking::inside.load() > 0; ++i) ::Sleep(10);
  }
  void TearDown() override {
    let_queries_return();
    Blocking::release = nullptr;
  }
  std::wstring block(int i) const { return dir / (L"block" + std::to_wstring(i) + L".txt"); }

  TempDir dir;
  std::optional<HolderProcess> holder;
  UniqueHandle release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  DeepSearchApi api;
};

TEST_F(HangingHolder, GivesUpAfterEightHangingQueriesAndKeepsWhatItFound) {
  // Rights whose queries are not expected to hang: each hang counts towards giving up.
  ASSERT_NO_FATAL_FAILURE(start(0x00100001));

  const auto started = std::chrono::steady_clock::now();
  const DeepSearchResult r = deep_search({path_key(std::wstring_view(dir.path()))}, 0, kNoProgress, api, kDeadline);
  const auto elapsed = std::chrono::steady_clock::now() - started;

  EXPECT_TRUE(r.gave_up);
  EXPECT_TRUE(has_record(r, holder->pid(), dir / L"found.txt"));  // found before the hang
  EXPECT_FALSE(has_record(r, holder->pid(), dir / L"block0.txt"));
  EXPECT_GE(elapsed, 8 * kDeadline);
  {
    std::lock_guard lock(Blocking::mutex);
    EXPECT_EQ(Blocking::threads.size(), 8u);  // each hang cost one thread, and a new one took over
  }
  EXPECT_EQ(Blocking::inside.load(), 8);
  // Still hanging, but no copy of the holder's handles is left open by the search.
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(free_to_delete(block(i))) << i;
  let_queries_return();
  EXPECT_EQ(Blocking::inside.load(), 0);
}

TEST_F(HangingHolder, AfterOneHangingHandleSkipsTheRestOfThatProcesssRiskyOnes) {
  for (const std::uint32_t access : {0x0012019Fu, 0x00120189u, 0x00120089u, 0x001A019Fu}) {
    EXPECT_TRUE(name_query_may_hang(access)) << access;
  }
  for (const std::uint32_t access : {0x00120196u, 0x0012019Eu, 0x00100020u, 0u}) EXPECT_FALSE(name_query_may_hang(access));
  ASSERT_NO_FATAL_FAILURE(start(0x0012019F));  // read and write: a file, or a synchronous pipe

  const auto started = std::chrono::steady_clock::now();
  const DeepSearchResult r = deep_search({path_key(std::wstring_view(dir.path()))}, 0, kNoProgress, api, kDeadline);
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_FALSE(r.gave_up);
  EXPECT_TRUE(has_record(r, holder->pid(), dir / L"found.txt"));  // asked before anything hung
  EXPECT_EQ(r.unexamined, 10u);  // the one that hung, and the nine never asked
  EXPECT_LT(elapsed, 4 * kDeadline);
  // The query still hangs, yet the copy of the holder's handle is already closed.
  EXPECT_EQ(Blocking::inside.load(), 1);
  EXPECT_TRUE(free_to_delete(block(0)));
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
