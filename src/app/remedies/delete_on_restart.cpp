#include "app/remedies/delete_on_restart.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <utility>

#include "app/remedies/protected_paths.h"
#include "app/remedies/remedy_queue.h"
#include "app/system/account.h"
#include "app/system/startup.h"
#include "common/cmdline.h"
#include "common/handles.h"
#include "common/thread.h"
#include "common/win32.h"
#include "discovery/file_identity.h"
#include "discovery/file_list.h"
#include "discovery/folder_reader.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

// Only real folders are entered: a junction or directory symbolic link is deleted as the
// link it is, never with what it points to.
bool is_real_folder(DWORD attributes, DWORD reparse_tag) {
  return entry_kind(attributes, reparse_tag) == EntryKind::Folder;
}

// Every target goes in double quotes, whether it needs them or not; what is inside is
// escaped so that the helper reads back exactly this text.
std::wstring always_quoted(const std::wstring& argument) {
  std::wstring quoted = quote_argument(argument);
  if (!quoted.empty() && quoted.front() == L'"') return quoted;
  // It needed no quotes, so it holds no blank and no quote: only backslashes at its end
  // would escape the closing quote.
  std::size_t slashes = 0;
  while (slashes < quoted.size() && quoted[quoted.size() - 1 - slashes] == L'\\') ++slashes;
  quoted.append(slashes, L'\\');
  return L"\"" + quoted + L"\"";
}

}  // namespace

std::optional<std::vector<std::wstring>> deletion_order(const std::wstring& path, std::size_t cap) {
  const auto info = attributes_and_tag(path, Links::Own);
  if (!info) return std::nullopt;
  if (!is_real_folder(info->FileAttributes, info->ReparseTag)) return std::vector<std::wstring>{path};

  std::vector<std::wstring> folders{path};
  std::vector<std::uint64_t> volumes{0};  // of each folder, as FolderVisits learns them
  std::vector<std::wstring> files;
  // A folder met again is a link in disguise (a symbolic link on a network share): it is
  // deleted as the link it is, and what it leads to is left alone.
  FolderVisits visits;
  static_cast<void>(visits.enter(path, volumes[0]));
  for (std::size_t next = 0; next < folders.size(); ++next) {
    FolderReader reader(folders[next]);
    if (!reader.is_open()) return std::nullopt;
    while (const auto found = reader.next()) {
      std::wstring entry = join_entry(folders[next], found->name);
      // A reparse point that is entered may lead to another volume.
      std::uint64_t volume = (found->attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? 0 : volumes[next];
      if (is_real_folder(found->attributes, found->reparse_tag) && visits.enter(entry, volume)) {
        folders.push_back(std::move(entry));
        volumes.push_back(volume);
      } else {
        files.push_back(std::move(entry));
      }
      if (folders.size() + files.size() > cap) return std::nullopt;
    }
    if (reader.failed()) return std::nullopt;  // the listing broke off
  }
  files.insert(files.end(), folders.rbegin(), folders.rend());
  return files;
}

bool schedule_delete_on_reboot(const std::vector<Target>& paths) {
  bool result = !paths.empty();
  const ProtectedSet protected_set = load_protected_set();
  for (const Target& path : paths) {
    // Resolved again, so that only the spelling Windows itself reads is ever scheduled.
    const auto target = resolve_target(path);
    if (!target || is_protected(protected_set, *target)) {
      result = false;
      continue;
    }
    const auto order = deletion_order(*target);
    if (!order) {
      result = false;
      continue;
    }
    for (const std::wstring& entry : *order) {
      // The verbatim spelling names exactly this entry, even one called "con" or "trail.".
      const std::wstring exact = exact_path(entry);
      // A read-only file would survive the restart.
      const DWORD attributes = ::GetFileAttributesW(exact.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        const DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        // A failure shows when Windows cannot delete it; registering is still worth trying.
        static_cast<void>(::SetFileAttributesW(exact.c_str(), cleared != 0 ? cleared : FILE_ATTRIBUTE_NORMAL));
      }
      if (!::MoveFileExW(exact.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) result = false;
    }
  }
  return result;
}

std::wstring delete_helper_parameters(const std::vector<Target>& targets, const std::optional<std::wstring>& for_user) {
  std::wstring out(kOptionDeleteOnReboot);
  if (for_user) out += L" " + quote_argument(std::wstring(kOptionForUser) + *for_user);
  for (const Target& target : targets) {
    out.push_back(L' ');
    // The helper gives a bare drive its backslash back.
    out += always_quoted(std::wstring(without_trailing_backslashes(target)));
  }
  return out;
}

namespace {

// Runs the helper elevated and waits for it; true when it scheduled everything.
bool run_elevated_helper(HWND window, const std::vector<Target>& targets, const std::wstring& exe) {
  if (exe.empty()) return false;
  const std::wstring parameters = delete_helper_parameters(targets, own_user_sid());
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
  const bool scheduled = delete_on_reboot_now(job.targets, job.window, own_executable_path());
  const std::uint8_t result = scheduled ? 1 : 0;
  report_remedy_outcome(job.window, RemedyOutcome{job.scan_id, RemedyKind::DeleteOnRestart, result, 0});
}

}  // namespace

bool delete_on_reboot_now(const std::vector<Target>& targets, HWND owner, const std::wstring& helper) {
  // An elevated process can register the deletions itself.
  return process_is_elevated() ? schedule_delete_on_reboot(targets) : run_elevated_helper(owner, targets, helper);
}

bool start_delete_on_reboot(DeleteJob job) {
  return start_detached_thread([job = std::move(job)] { run_delete_job(job); });
}

int run_delete_on_reboot_helper(const StartupRequest& request) {
  // One argument that names no file or folder (a relative path, a pattern, a device) means
  // the helper was not started as the window starts it: nothing at all is scheduled.
  if (request.refused > 0) return kHelperFailed;
  if (runs_for_another_user(own_user_sid(), request.for_user)) set_other_account(request.for_user);
  return schedule_delete_on_reboot(request.paths) ? kHelperSucceeded : kHelperFailed;
}

}  // namespace tw
