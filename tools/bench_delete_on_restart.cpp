// Delete-on-restart benchmark: schedule_delete_on_reboot on a folder of 2,000 files and on
// one of 20,000, per file, in a throwaway pending list (the one there is put back at the end).
// The baseline is the small folder; registering each entry with its own MoveFileExW call is
// timed too, for comparison. Needs an elevated process (under Wine every process is).
//
//   bench_delete_on_restart [ROUNDS [--each-call-large]]     (default 3)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/remedies/delete_on_restart.h"
#include "bench_tree.h"

namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPending[] = L"PendingFileRenameOperations";

// The pending list as it was, put back whatever happens in between.
struct SavedPending {
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> data;
  SavedPending() {
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY, &type, nullptr, &bytes) != ERROR_SUCCESS) {
      return;
    }
    data.resize(bytes);
    present = ::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY, &type, data.data(), &bytes) ==
              ERROR_SUCCESS;
    data.resize(bytes);
  }
  ~SavedPending() {
    clear();
    if (present) {
      ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, type, data.data(), static_cast<DWORD>(data.size()));
    }
  }
  static void clear() { ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending); }
};

using Clock = std::chrono::steady_clock;

// Best time of `rounds` schedules of the folder, each into an empty pending list.
double best_schedule(const std::wstring& root, int rounds, std::size_t& entries) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    SavedPending::clear();
    const auto t0 = Clock::now();
    const tw::DeletePlan plan = tw::schedule_delete_on_reboot({root});
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    if (!plan) std::printf("round %d: not scheduled (refusal %d)\n", r, static_cast<int>(plan.refusal));
    entries = plan.entries.size();
  }
  return best;
}

// One MoveFileExW call per entry, as the program registered them before.
double each_call(const std::wstring& root) {
  const auto order = tw::deletion_order(root);
  if (!order) return 0;
  SavedPending::clear();
  const auto t0 = Clock::now();
  for (const std::wstring& entry : *order) ::MoveFileExW(entry.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const bool each_call_large = argc > 2 && std::strcmp(argv[2], "--each-call-large") == 0;
  const SavedPending saved;
  const std::wstring small = tw::bench::temp_root(L"dor-small"), large = tw::bench::temp_root(L"dor-large");
  std::printf("delete-on-restart benchmark: 8 and 80 folders of 250 files, best of %d\n", rounds);
  if (!tw::bench::make_tree(small, 8, 250) || !tw::bench::make_tree(large, 80, 250)) {
    std::printf("could not create the trees\n");
    tw::bench::remove_tree(small, 8, 250);
    tw::bench::remove_tree(large, 80, 250);
    return 1;
  }
  std::size_t small_entries = 0, large_entries = 0;
  const double small_s = best_schedule(small, rounds, small_entries);
  const double large_s = best_schedule(large, rounds, large_entries);
  const double small_each = each_call(small);
  const double large_each = each_call_large ? each_call(large) : 0;
  tw::bench::remove_tree(small, 8, 250);
  tw::bench::remove_tree(large, 80, 250);

  const double small_per = small_s / static_cast<double>(small_entries);
  const double large_per = large_s / static_cast<double>(large_entries);
  std::printf("schedule_delete_on_reboot, %zu entries:  %.3f s (%.1f us per entry)\n", small_entries, small_s,
              small_per * 1e6);
  std::printf("schedule_delete_on_reboot, %zu entries: %.3f s (%.1f us per entry)\n", large_entries, large_s,
              large_per * 1e6);
  std::printf("one MoveFileExW per entry, %zu entries:  %.3f s\n", small_entries, small_each);
  if (each_call_large) std::printf("one MoveFileExW per entry, %zu entries: %.3f s\n", large_entries, large_each);
  std::printf("ratio per entry, large / small: %.3f (target at most 2)\n", large_per / small_per);
  return 0;
}
