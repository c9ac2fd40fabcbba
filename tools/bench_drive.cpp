// Drive search benchmark: search_targets on a drive letter whose tree holds a million files,
// against the deep search of a folder of 10 files, on the same handle table.
//
//   bench_drive [DRIVE [ROUNDS]]     (default Y: 5)
//
// scripts/bench makes the drive's tree once on the Linux side (tools/make_drive_tree.sh) and
// links the letter into the prefix; DRIVE\.complete holds its file count. A helper holds
// 1,000 handles to the folder's files and one file on the drive. Each way's best round counts.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/scan/search.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

std::wstring widen(const char* text) {
  std::wstring out;
  for (const char* p = text; *p != '\0'; ++p) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
  return out;
}

double seconds_of(const std::vector<tw::Target>& targets, bool deep, tw::ScanResult& result) {
  const auto t0 = Clock::now();
  result = tw::search_targets(targets, deep, {});
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::wstring drive = (argc > 1 ? widen(argv[1]) : std::wstring(L"Y:")) + L"\\";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const long long files_on_drive = std::atoll(tw::test::read_file(drive + L".complete").c_str());
  if (files_on_drive == 0) {
    std::printf("drive %ls has no tree: run scripts/bench bench_drive\n", drive.c_str());
    return 1;
  }

  tw::test::TempDir dir;
  const std::wstring folder = dir / L"ten";
  if (!tw::test::make_dir(folder)) return 1;
  for (int i = 0; i < 10; ++i) {
    if (!tw::test::write_file(folder + L"\\file" + std::to_wstring(i) + L".dat")) return 1;
  }
  auto holder = tw::test::HolderProcess::start({L"--repeat", L"100", L"--open-dir", folder, L"--open",
                                                drive + L"d7\\f7.txt", L"--timeout", L"600000"});
  if (!holder) {
    std::printf("the helper could not hold the files\n");
    return 1;
  }
  std::printf("drive search benchmark: %ls holds %lld files; a helper holds 1,000 handles to 10 files and one on it\n",
              drive.c_str(), files_on_drive);

  double best_folder = 1e30, best_drive = 1e30;
  tw::ScanResult folder_result, drive_result;
  for (int r = 0; r < rounds; ++r) {
    best_folder = std::min(best_folder, seconds_of({folder}, true, folder_result));
    best_drive = std::min(best_drive, seconds_of({drive}, false, drive_result));
  }
  std::printf("folder of 10, deep: %.3f s, %zu holders, %llu files listed\n", best_folder, folder_result.holders.size(),
              static_cast<unsigned long long>(folder_result.files_checked));
  std::printf("drive, %s: %.3f s, %zu holders, %llu files listed\n", drive_result.drive ? "a drive search" : "NOT a drive",
              best_drive, drive_result.holders.size(), static_cast<unsigned long long>(drive_result.files_checked));
  std::printf("ratio drive / folder of 10: %.3f (target <= 1.1)\n", best_drive / best_folder);
  return drive_result.drive && !drive_result.holders.empty() ? 0 : 1;
}
