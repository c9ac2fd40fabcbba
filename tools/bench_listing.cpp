// Listing benchmark: build_file_list against a bare FindFirstFileExW loop over the same tree.
//
//   bench_listing [FOLDERS [FILES_PER_FOLDER [ROUNDS]]]     (default 200 250 15)
//
// Makes the tree under the temporary folder, lists it ROUNDS times each way (alternating,
// so both see the same cache state), keeps each way's best round, and removes the tree.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_tree.h"
#include "common/handles.h"
#include "discovery/file_list.h"

namespace {

using Clock = std::chrono::steady_clock;

// The least a listing can do: walk the same folders, count the files, build no paths.
std::size_t bare_listing(const std::wstring& root) {
  std::size_t files = 0;
  std::vector<std::wstring> stack{root};
  WIN32_FIND_DATAW data;
  while (!stack.empty()) {
    const std::wstring folder = std::move(stack.back());
    stack.pop_back();
    tw::UniqueFind find(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) continue;
    do {
      if (data.cFileName[0] == L'.' &&
          (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0))) {
        continue;
      }
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        stack.push_back(folder + L"\\" + data.cFileName);
      } else {
        ++files;
      }
    } while (::FindNextFileW(find.get(), &data));
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  const auto [folders, per_folder, rounds] = tw::bench::tree_run(argc, argv, 15);

  const std::wstring root = tw::bench::temp_root(L"listing");

  std::printf("listing benchmark: %d folders x %d files\n", folders, per_folder);
  const auto made_at = Clock::now();
  if (!tw::bench::make_tree(root, folders, per_folder)) {
    std::printf("could not create the tree under %ls\n", root.c_str());
    tw::bench::remove_tree(root, folders, per_folder);
    return 1;
  }
  std::printf("tree made in %.1f s\n", std::chrono::duration<double>(Clock::now() - made_at).count());

  double best_ours = 1e30, best_bare = 1e30;
  std::size_t ours_files = 0, bare_files = 0;
  const std::vector<tw::Target> targets{root};
  const auto time_bare = [&] {
    const auto t0 = Clock::now();
    bare_files = bare_listing(root);
    best_bare = std::min(best_bare, std::chrono::duration<double>(Clock::now() - t0).count());
  };
  const auto time_ours = [&] {
    const auto t0 = Clock::now();
    const tw::FileListing listing = tw::build_file_list(targets, [](const tw::ScanProgress&) {});
    best_ours = std::min(best_ours, std::chrono::duration<double>(Clock::now() - t0).count());
    ours_files = listing.files.size();
  };
  time_bare();  // warm-up: fills the caches both ways then share
  for (int r = 0; r < rounds; ++r) {
    // Alternate which goes first so that neither always runs right after the other.
    if (r % 2 == 0) {
      time_bare();
      time_ours();
    } else {
      time_ours();
      time_bare();
    }
  }
  tw::bench::remove_tree(root, folders, per_folder);

  if (ours_files != bare_files) {
    std::printf("mismatch: build_file_list saw %zu files, the bare loop %zu\n", ours_files, bare_files);
    return 1;
  }
  std::printf("bare FindFirstFileExW loop: %zu files in %.3f s = %.0f files/s\n", bare_files, best_bare,
              static_cast<double>(bare_files) / best_bare);
  std::printf("build_file_list:            %zu files in %.3f s = %.0f files/s\n", ours_files, best_ours,
              static_cast<double>(ours_files) / best_ours);
  std::printf("ratio build_file_list / bare loop: %.3f (target <= 1.15)\n", best_ours / best_bare);
  return 0;
}
