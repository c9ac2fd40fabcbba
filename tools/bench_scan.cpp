// Whole-scan benchmark: search_targets on a folder of 50,000 files that nothing holds (no
// deep search) against the listing alone.
//
//   bench_scan [FOLDERS [FILES_PER_FOLDER [ROUNDS]]]     (default 200 250 5)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/scan/search.h"
#include "bench_tree.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const auto [folders, per_folder, rounds] = tw::bench::tree_run(argc, argv, 5);

  const std::wstring root = tw::bench::temp_root(L"scan");
  std::printf("whole-scan benchmark: %d folders x %d files, nothing held, no deep search\n", folders, per_folder);
  if (!tw::bench::make_tree(root, folders, per_folder)) {
    std::printf("could not create the tree\n");
    tw::bench::remove_tree(root, folders, per_folder);
    return 1;
  }

  const std::vector<tw::Target> targets{root};
  double best_scan = 1e30, best_listing = 1e30;
  std::uint64_t checked = 0;
  std::size_t diagnoses = 0;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    const tw::FileListing listing = tw::build_file_list(targets, {});
    best_listing = std::min(best_listing, std::chrono::duration<double>(Clock::now() - t0).count());

    t0 = Clock::now();
    const tw::ScanResult result = tw::search_targets(targets, false, {});
    best_scan = std::min(best_scan, std::chrono::duration<double>(Clock::now() - t0).count());
    checked = result.files_checked;
    diagnoses = result.diagnoses.size();
    if (listing.files.size() != checked) std::printf("round %d: the listing and the scan disagree\n", r);
  }
  tw::bench::remove_tree(root, folders, per_folder);

  std::printf("listing alone:  %.3f s\n", best_listing);
  std::printf("search_targets: %.3f s (%llu files checked, %zu diagnoses)\n", best_scan,
              static_cast<unsigned long long>(checked), diagnoses);
  std::printf("ratio search_targets / listing: %.3f\n", best_scan / best_listing);
  return 0;
}
