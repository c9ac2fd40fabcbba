#include "app/system/account.h"
#include "app/remedies/target_remedies.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>

#include "app/language/catalogue.h"
#include "app/remedies/delete_on_restart.h"
#include "app/window/message_boxes.h"
#include "app/remedies/protected_paths.h"
#include "app/window/window_startup.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/thread.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

constexpr std::size_t kListedInConfirmation = 5;

// What a delete-on-restart worker is given, copied at the click.
struct DeleteJob {
  std::vector<Target> targets;
  HWND window = nullptr;
  std::uint64_t scan_id = 0;
};

std::vector<Target> current_targets() {
  std::vector<Target> targets;
  with_main_window([&](MainWindow& w) { targets = w.state.targets; });
  return targets;
}

// Moves one target; true when it is gone.
bool recycle_one(HWND owner, const Target& target) {
  // The shell expands patterns and reads names loosely, so it is given only the one resolved
  // path of a target that exists, spelled so that it names exactly that.
  const auto resolved = resolve_target(target);
  if (!resolved) return false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(exact_path(*resolved).c_str(), GetFileExInfoStandard, &data)) {
    // Gone already. Any other reason to be unreadable is no proof of that.
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  // A name only the verbatim spelling reaches ("trail.", "con") is beyond the shell's reach;
  // it stays, and deleting at restart can take it.
  if (!plain_spelling_is_exact(*resolved)) return false;
  std::wstring from = *resolved;
  from.append(2, L'\0');  // a list of one name, ended by an empty one
  SHFILEOPSTRUCTW op{};
  op.hwnd = owner;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
  op.fAnyOperationsAborted = FALSE;
  return ::SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}

// The button's action, run once the state is free: the refusal or the confirmation box,
// the moves, then the window's new state.
void move_to_recycle_bin(HWND owner, const WindowPlatform& platform) {
  const std::vector<Target> targets = current_targets();
  if (targets.empty()) return;
  if (const auto refusal = protected_refusal(targets)) {
    static_cast<void>(confirm(owner, *refusal, ConfirmKind::Information, platform.message_box));
    return;
  }
  if (!confirm(owner, recycle_confirmation_text(targets), ConfirmKind::Question, platform.message_box)) return;
  // The box let messages through: move only what the user saw.
  if (current_targets() != targets) return;
  std::vector<Target> left_over = recycle_targets(owner, targets);
  with_main_window([&](MainWindow& w) {
    show_notice(w, apply_recycle_outcome(w.state, targets, std::move(left_over)));
  });
}

// Runs the helper elevated and waits for it; true when it scheduled everything.
bool run_elevated_helper(HWND window, const std::vector<Target>& targets) {
  const std::wstring exe = own_executable_path();
  if (exe.empty()) return false;
  const std::wstring parameters = delete_helper_parameters(targets);
  // The shell may use COM for the elevation prompt.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = window;
  info.lpVerb = L"runas";
  info.lpFile = exe.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  const BOOL started = ::ShellExecuteExW(&info);
  UniqueHandle process(started ? info.hProcess : nullptr);
  if (SUCCEEDED(com)) ::CoUninitialize();
  if (!process) return false;  // declined, or nothing started
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD status = kHelperFailed;
  if (!::GetExitCodeProcess(process.get(), &status)) status = kHelperFailed;
  return status == kHelperSucceeded;
}

void run_delete_job(const DeleteJob& job) {
  // An elevated window can register the deletions itself.
  const bool scheduled =
      process_is_elevated() ? schedule_delete_on_reboot(job.targets) : run_elevated_helper(job.window, job.targets);
  const std::uint8_t result = scheduled ? 1 : 0;
  report_remedy_outcome(job.window, RemedyOutcome{job.scan_id, RemedyKind::DeleteOnRestart, result, 0});
}

// The button's action, run once the state is free.
void request_delete_on_restart(HWND owner, const WindowPlatform& platform) {
  const std::vector<Target> targets = current_targets();
  if (targets.empty()) return;
  if (const auto refusal = protected_refusal(targets)) {
    static_cast<void>(confirm(owner, *refusal, ConfirmKind::Information, platform.message_box));
    return;
  }
  if (!confirm(owner, localized(msg::kConfirmDeleteOnRestart), ConfirmKind::Warning, platform.message_box)) return;
  with_main_window([&](MainWindow& w) {
    WindowState& s = w.state;
    // The box let messages through: schedule only what the user saw, and only once.
    if (s.targets != targets || s.delete_scheduling) return;
    s.delete_scheduling = true;
    DeleteJob job{targets, s.window, s.scan_id};
    // Without a worker nothing would ever clear the flag: fail the request at once.
    if (!start_detached_thread([job] { run_delete_job(job); })) {
      report_remedy_outcome(s.window, RemedyOutcome{s.scan_id, RemedyKind::DeleteOnRestart, 0, 0});
    }
    ::InvalidateRect(s.window, nullptr, FALSE);
  });
}

}  // namespace

void click_target_remedy(MainWindow& w, const Hit& hit) {
  const WindowState& s = w.state;
  if (s.targets.empty()) return;
  if (hit.kind == HitKind::RecycleBin) {
    defer_while_free(&move_to_recycle_bin);
  } else if (hit.kind == HitKind::DeleteOnRestart && !s.delete_scheduling) {
    defer_while_free(&request_delete_on_restart);
  }
}

void finish_delete_on_restart(MainWindow& w, const RemedyOutcome& outcome) {
  if (apply_delete_outcome(w.state, outcome)) {
    defer_while_free([](HWND owner, const WindowPlatform& platform) {
      static_cast<void>(confirm(owner, localized(msg::kScheduled), ConfirmKind::Information, platform.message_box));
    });
  } else {
    show_notice(w, std::string(localized(msg::kCouldNotSchedule)));
  }
}

std::optional<std::string> protected_refusal(const std::vector<Target>& targets) {
  const ProtectedSet protected_set = load_protected_set();
  const auto found = std::find_if(targets.begin(), targets.end(),
                                  [&](const Target& t) { return is_protected(protected_set, t); });
  if (found == targets.end()) return std::nullopt;
  const std::string path = to_utf8(*found);
  return fill_placeholders(localized(msg::kProtectedFolder), std::span(&path, 1));
}

std::string recycle_confirmation_text(const std::vector<Target>& targets) {
  std::string text(localized(msg::kConfirmRecycle));
  text += "\n";
  for (std::size_t i = 0; i < targets.size() && i < kListedInConfirmation; ++i) {
    text += "\n";
    text += to_utf8(targets[i]);
  }
  if (targets.size() > kListedInConfirmation) {
    const std::string more = std::to_string(targets.size() - kListedInConfirmation);
    text += "\n";
    text += fill_placeholders(localized(msg::kAndMore), std::span(&more, 1));
  }
  return text;
}

std::vector<Target> recycle_targets(HWND owner, const std::vector<Target>& targets) {
  std::vector<Target> left_over;
  for (const Target& target : targets) {
    if (!recycle_one(owner, target)) left_over.push_back(target);
  }
  return left_over;
}

std::string apply_recycle_outcome(WindowState& s, const std::vector<Target>& moved, std::vector<Target> left_over) {
  const bool all_moved = left_over.empty();
  if (s.targets == moved) {
    if (all_moved) {
      ++s.scan_id;  // outcomes of remedies still running no longer apply
      s.targets.clear();
      s.rows.clear();
      s.summary.reset();
    } else {
      s.recycle_failed = true;
      s.targets = std::move(left_over);
    }
  }
  return std::string(localized(all_moved ? msg::kMovedToRecycleBin : msg::kStillCantDelete));
}

bool apply_delete_outcome(WindowState& s, const RemedyOutcome& outcome) {
  s.delete_scheduling = false;
  if (outcome.result == 0) return false;
  s.delete_scheduled = true;
  return true;
}

}  // namespace tw
