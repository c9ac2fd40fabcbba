// Deep search benchmark: deep_search against a bare single-threaded loop over the same
// handles (DuplicateHandle, GetFileType, GetFinalPathNameByHandleW, CloseHandle); and the deep
// search with its walk of every process's memory (modules and mapped views) against the same
// search without it, with the walk's own cost per process.
//
//   bench_deep_search [FILES [HANDLES_PER_FILE [ROUNDS]]]     (default 2000 10 5)
//
// A helper process holds HANDLES_PER_FILE handles to each of FILES files in a target folder.
// Both ways read the handle table themselves; each way's best round counts.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "discovery/deep_search.h"
#include "discovery/memory_holds.h"
#include "discovery/paths.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

// What every handle costs at the least: the same calls, in one thread, no deadline.
std::size_t bare_loop(std::size_t& named) {
  const auto candidates = tw::file_handles_of_others(&tw::nt_query_system_information);
  if (!candidates) return 0;
  std::unordered_map<std::uint64_t, tw::UniqueHandle> processes;
  named = 0;
  for (const tw::HandleEntry& c : *candidates) {
    auto [slot, inserted] = processes.try_emplace(c.pid);
    if (inserted) slot->second.reset(::OpenProcess(PROCESS_DUP_HANDLE, FALSE, static_cast<DWORD>(c.pid)));
    if (!slot->second) continue;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(slot->second.get(), reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(c.handle)),
                           ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      continue;
    }
    if (::GetFileType(copy) == FILE_TYPE_DISK && tw::final_path_name(copy)) ++named;
    ::CloseHandle(copy);
  }
  return candidates->size();
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int per_file = argc > 2 ? std::atoi(argv[2]) : 10;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

  tw::test::TempDir dir;
  const std::wstring target = dir / L"held";
  if (!tw::test::make_dir(target)) return 1;
  for (int i = 0; i < files; ++i) {
    if (!tw::test::write_file(target + L"\\file" + std::to_wstring(i) + L".dat")) return 1;
  }
  auto holder = tw::test::HolderProcess::start({L"--repeat", std::to_wstring(per_file), L"--open-dir", target,
                                                L"--timeout", L"600000"});
  if (!holder) {
    std::printf("the helper could not hold the files\n");
    return 1;
  }
  std::printf("deep search benchmark: a helper holds %d handles to %d files\n", files * per_file, files);

  const std::vector<std::string> keys{tw::resolved_key(target)};
  double best_deep = 1e30, best_bare = 1e30, best_handles_only = 1e30, best_walk = 1e30;
  std::size_t deep_handles = 0, bare_handles = 0, named = 0, records = 0, walked = 0;
  tw::DeepSearchApi handles_only;
  handles_only.walk_memory = nullptr;
  const tw::KeyIndex key_index(keys);
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    bare_handles = bare_loop(named);
    best_bare = std::min(best_bare, std::chrono::duration<double>(Clock::now() - t0).count());

    // With and without the memory walk, in turn first, so that neither gains from coming second.
    std::size_t offers = 0;
    const auto time_deep = [&](const tw::DeepSearchApi& api, double& best) {
      const auto start = Clock::now();
      tw::DeepSearchResult result = tw::deep_search(keys, 0, [&](const tw::ScanProgress&) { ++offers; }, api);
      const double took = std::chrono::duration<double>(Clock::now() - start).count();
      best = std::min(best, took);
      return result;
    };
    if (r % 2 == 1) time_deep(handles_only, best_handles_only);
    const tw::DeepSearchResult result = time_deep(tw::DeepSearchApi{}, best_deep);
    if (r % 2 == 0) time_deep(handles_only, best_handles_only);
    records = result.records.size();
    deep_handles = tw::file_handles_of_others(&tw::nt_query_system_information)->size();
    if (result.gave_up) std::printf("round %d: the deep search gave up\n", r);

    // The walk alone, as the search does it: list, read the drive letters, walk.
    t0 = Clock::now();
    const std::vector<std::uint32_t> pids = tw::running_process_ids();
    static_cast<void>(tw::walk_memory_of(pids, key_index, tw::read_dos_devices(), nullptr));
    best_walk = std::min(best_walk, std::chrono::duration<double>(Clock::now() - t0).count());
    walked = pids.size();
  }

  std::printf("file handles of other processes: %zu (bare loop named %zu); deep search records: %zu\n", bare_handles,
              named, records);
  std::printf("bare loop:   %.3f s = %.0f handles/s\n", best_bare, static_cast<double>(bare_handles) / best_bare);
  std::printf("deep_search: %.3f s = %.0f handles/s\n", best_deep, static_cast<double>(deep_handles) / best_deep);
  std::printf("ratio deep_search / bare loop: %.3f (target <= 1.5)\n", best_deep / best_bare);
  std::printf("deep_search without the memory walk: %.3f s\n", best_handles_only);
  std::printf("memory walk alone: %.4f s for %zu processes = %.2f ms per process\n", best_walk, walked,
              1000.0 * best_walk / static_cast<double>(std::max<std::size_t>(walked, 1)));
  std::printf("ratio deep_search with / without the memory walk: %.3f (target <= 1.3)\n", best_deep / best_handles_only);
  return 0;
}
