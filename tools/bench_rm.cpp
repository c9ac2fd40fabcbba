// Restart Manager work: how many sessions and RmGetList calls the query makes for a full file
// list, against the least any halving search could make, and the time spent in our own code.
//
//   bench_rm [ROUNDS]     (default 5)
//
// 50,000 made-up paths are cut into batches of 256 and asked with one split budget, as a scan
// does; 1, 10 and 100 processes each hold one file spread over the list. The stand-in Restart
// Manager of the tests answers, so the figures do not depend on what the machine runs. Each
// case runs ROUNDS times; the time shown is the best round.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "rm/rm_query.h"
#include "support/fake_rm.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFiles = 50'000;

struct Round {
  std::uint32_t sessions = 0;
  std::uint32_t list_calls = 0;
  std::uint32_t splits = 0;
  std::size_t batches = 0;
  std::size_t attributed = 0;
  std::size_t unattributed = 0;
  double total_s = 0;
  double inside_s = 0;
};

Round run_case(const std::vector<std::wstring>& files, std::size_t holders) {
  tw::test::FakeRm rm;
  for (std::size_t h = 0; h < holders; ++h) {
    // The middle of each of `holders` equal stretches of the list.
    const std::size_t index = (2 * h + 1) * files.size() / (2 * holders);
    rm.processes.push_back(tw::test::fake_program(static_cast<DWORD>(1000 + 4 * h), L"Holder", {files[index]}));
  }

  Round r;
  std::uint32_t budget = tw::kRmScanSplitBudget;
  std::vector<tw::RmFinding> findings;
  const std::span<const std::wstring> all(files);
  const auto t0 = Clock::now();
  for (std::size_t first = 0; first < all.size(); first += tw::kRmBatchFiles) {
    tw::query_holders(all.subspan(first, std::min(tw::kRmBatchFiles, all.size() - first)), budget, findings,
                      tw::test::FakeRm::api());
    ++r.batches;
  }
  r.total_s = std::chrono::duration<double>(Clock::now() - t0).count();
  r.inside_s = std::chrono::duration<double>(rm.time_inside).count();
  r.sessions = rm.sessions_opened;
  r.list_calls = rm.list_calls;
  r.splits = (tw::kRmScanSplitBudget - budget) / tw::kRmSplitCost;
  for (const tw::RmFinding& f : findings) ++(f.file ? r.attributed : r.unattributed);
  if (rm.open_sessions() != 0 || rm.end_calls != rm.start_calls || rm.protocol_errors != 0) {
    std::printf("the stand-in saw sessions left open or malformed calls\n");
    std::exit(1);
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::wstring> files;
  files.reserve(kFiles);
  for (std::size_t i = 0; i < kFiles; ++i) {
    files.push_back(L"C:\\Users\\Someone\\Projects\\folder" + std::to_wstring(i / 250) + L"\\file" +
                    std::to_wstring(i) + L".txt");
  }
  std::printf("Restart Manager work: %zu files in batches of %zu, split budget %u, best of %d rounds\n", kFiles,
              tw::kRmBatchFiles, tw::kRmScanSplitBudget, rounds);

  for (const std::size_t holders : {std::size_t{1}, std::size_t{10}, std::size_t{100}}) {
    Round best = run_case(files, holders);
    for (int i = 1; i < rounds; ++i) {
      const Round r = run_case(files, holders);
      if (r.total_s - r.inside_s < best.total_s - best.inside_s) best = r;
    }
    // Every batch needs its own session, and every split asks two halves.
    const std::size_t lower_bound = best.batches + 2 * std::size_t{best.splits};
    std::printf("%zu holding process%s:\n", holders, holders == 1 ? "" : "es");
    std::printf("  sessions opened %u, RmGetList calls %u; lower bound %zu sessions (%zu batches + 2 x %u splits)\n",
                best.sessions, best.list_calls, lower_bound, best.batches, best.splits);
    std::printf("  findings: %zu with a file, %zu without\n", best.attributed, best.unattributed);
    std::printf("  time outside the stand-in %.3f ms (total %.3f ms, inside %.3f ms)\n",
                (best.total_s - best.inside_s) * 1e3, best.total_s * 1e3, best.inside_s * 1e3);
    std::printf("  ratio sessions / lower bound: %.3f\n",
                static_cast<double>(best.sessions) / static_cast<double>(lower_bound));
  }
  return 0;
}
