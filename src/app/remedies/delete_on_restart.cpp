// Deletion at the next restart, in this order: the walk of the targets' entries (contents
// before their folder, against one budget); what a drive or volume refuses, with VolumeApi's
// real calls; planning and scheduling; the elevated helper's parameters, running it from a job
// and waiting for it, and what a refusal says; and the helper's own side.

#include "app/remedies/delete_on_restart.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <tlhelp32.h>
#include <winioctl.h>

#include <algorithm>
#include <mutex>
#include <span>
#include <thread>
#include <utility>

#include "app/language/catalogue.h"
#include "app/remedies/elevated_helper.h"
#include "app/remedies/pending_renames.h"
#include "app/remedies/protected_paths.h"
#include "app/remedies/remedy_queue.h"
#include "app/system/account.h"
#include "app/system/startup.h"
#include "common/cmdline.h"
#include "common/handles.h"
#include "common/thread.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/file_identity.h"
#include "discovery/file_list.h"
#include "discovery/folder_reader.h"
#include "discovery/path_spelling.h"
#include "discovery/paths.h"
#include "discovery/volumes.h"

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

bool stopped(const DeleteControl& control) {
  return control.stop != nullptr && control.stop->load(std::memory_order_relaxed);
}

DeletePlan refused(DeleteRefusal why, std::wstring at) {
  DeletePlan plan;
  plan.refusal = why;
  plan.at = std::move(at);
  return plan;
}

// A refusal for what a drive or volume root is.
DeleteRefusal drive_refusal(const VolumeApi& api, const std::wstring& root) {
  switch (api.drive_type(root.c_str())) {
    case DRIVE_REMOTE:
      return DeleteRefusal::Network;
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
      return DeleteRefusal::Removable;
    default:
      break;
  }
  return api.hot_pluggable(root) ? DeleteRefusal::Removable : DeleteRefusal::None;
}

// One walk of a request: every entry of every target, against one budget of entries.
struct Walk {
  const ProtectedSet* protect = nullptr;  // none: nothing inside is checked
  const DeleteControl* control = nullptr;
  std::size_t cap = kScheduleCap;
  DeletePlan plan;
  FileIdentityApi ids;

  bool add(std::wstring entry, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY) plan.read_only.push_back(entry);
    plan.entries.push_back(std::move(entry));
    if (plan.entries.size() % 1024 == 0 && control->found) control->found(plan.entries.size());
    return plan.entries.size() <= cap;
  }
  // A folder found inside, linked or not: refused when it is, or leads to, a protected one.
  bool leads_to_protected(const std::wstring& entry, DWORD attributes) const {
    return protect != nullptr && (attributes & FILE_ATTRIBUTE_DIRECTORY) && is_protected(*protect, entry);
  }
  DeleteRefusal walk(const std::wstring& path);
};

DeleteRefusal Walk::walk(const std::wstring& path) {
  const auto info = attributes_and_tag(path, Links::Own);
  if (!info) return DeleteRefusal::Missing;
  if (!is_real_folder(info->FileAttributes, info->ReparseTag)) {
    return add(path, info->FileAttributes) ? DeleteRefusal::None : DeleteRefusal::TooMany;
  }
  std::vector<std::wstring> folders{path};
  std::vector<DWORD> folder_attributes{info->FileAttributes};
  std::vector<std::uint64_t> volumes{0};  // of each folder, as FolderVisits learns them
  // A folder met again is a link in disguise (a symbolic link on a network share): it is
  // deleted as the link it is, and what it leads to is left alone.
  FolderVisits visits(ids);
  static_cast<void>(visits.enter(path, volumes[0]));
  for (std::size_t next = 0; next < folders.size(); ++next) {
    if (stopped(*control)) return DeleteRefusal::Stopped;
    FolderReader reader(folders[next]);
    if (!reader.is_open()) return DeleteRefusal::Unreadable;
    while (const auto found = reader.next()) {
      std::wstring entry = join_entry(folders[next], found->name);
      if (leads_to_protected(entry, found->attributes)) {
        plan.at = std::move(entry);
        return DeleteRefusal::Protected;
      }
      // A reparse point that is entered may lead to another volume.
      std::uint64_t volume = (found->attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? 0 : volumes[next];
      if (is_real_folder(found->attributes, found->reparse_tag) && visits.enter(entry, volume)) {
        folders.push_back(std::move(entry));
        folder_attributes.push_back(found->attributes);
        volumes.push_back(volume);
      } else if (!add(std::move(entry), found->attributes)) {
        return DeleteRefusal::TooMany;
      }
      if (plan.entries.size() + folders.size() > cap) return DeleteRefusal::TooMany;
    }
    if (reader.failed()) return DeleteRefusal::Unreadable;  // the listing broke off
  }
  for (std::size_t i = folders.size(); i-- > 0;) {
    if (!add(std::move(folders[i]), folder_attributes[i])) return DeleteRefusal::TooMany;
  }
  return DeleteRefusal::None;
}

}  // namespace

std::optional<std::wstring> VolumeApi::real_dos_device(const std::wstring& letter) {
  std::wstring device(1024, L'\0');
  const DWORD length = ::QueryDosDeviceW(letter.c_str(), device.data(), static_cast<DWORD>(device.size()));
  if (length == 0) return std::nullopt;
  device.resize(::wcsnlen(device.c_str(), length));  // the first of its strings
  return device;
}

std::optional<std::wstring> VolumeApi::real_volume_root(const std::wstring& path) {
  std::wstring root(path.size() + 2, L'\0');
  if (!::GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) return std::nullopt;
  root.resize(::wcsnlen(root.c_str(), root.size()));
  return root;
}

namespace {

// "\\?\Volume{...}\" of a volume root; empty when it has none.
std::wstring volume_name(const std::wstring& root) { return volume_name_of(root).value_or(std::wstring()); }

std::wstring windows_volume_name() {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const auto root = VolumeApi::real_volume_root(windows);
  return root ? volume_name(*root) : std::wstring();
}

}  // namespace

bool VolumeApi::real_hot_pluggable(const std::wstring& root) {
  // The disk behind the volume answers for itself; a volume that does not say is taken as
  // fixed. The one Windows starts from is there whenever Windows starts, whatever its bus.
  const std::wstring volume = volume_name(root);
  if (volume.empty() || volume == windows_volume_name()) return false;
  std::wstring device(volume);
  if (!device.empty() && device.back() == L'\\') device.pop_back();
  const UniqueHandle handle(::CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  if (!handle) return false;
  STORAGE_HOTPLUG_INFO info{};
  DWORD got = 0;
  if (!::DeviceIoControl(handle.get(), IOCTL_STORAGE_GET_HOTPLUG_INFO, nullptr, 0, &info, sizeof info, &got, nullptr)) {
    return false;
  }
  return info.MediaRemovable || info.DeviceHotplug;
}

DeleteRefusal volume_refusal(std::wstring_view target, const VolumeApi& api) {
  if (is_share_path(target)) return DeleteRefusal::Network;
  const std::wstring letter = drive_of(target);
  if (!letter.empty()) {
    // subst letters name a folder ("\??\C:\Work"); they belong to one logon.
    if (const auto device = api.dos_device(letter); device && device->starts_with(L"\\??\\")) {
      return DeleteRefusal::Substituted;
    }
    if (const DeleteRefusal why = drive_refusal(api, letter + L"\\"); why != DeleteRefusal::None) return why;
  }
  // Another volume may be mounted in a folder of the drive.
  const auto root = api.volume_root(std::wstring(target));
  if (!root || (!letter.empty() && path_key(std::wstring_view(*root)) == path_key(std::wstring_view(letter + L"\\")))) {
    return DeleteRefusal::None;
  }
  return drive_refusal(api, *root);
}

DeletePlan plan_deletion(const std::vector<Target>& targets, const DeleteControl& control, const VolumeApi& volumes,
                         std::size_t cap) {
  if (targets.empty()) return refused(DeleteRefusal::Empty, {});
  const ProtectedSet protected_set = load_protected_set();
  Walk walk{&protected_set, &control, cap, {}, {}};
  for (const Target& path : targets) {
    // Resolved again, so that only the spelling Windows itself reads is ever scheduled.
    const auto target = resolve_target(path);
    if (!target) return refused(DeleteRefusal::Missing, path);
    // Judged before the file is touched: a share may not answer for a long time.
    if (const DeleteRefusal why = volume_refusal(*target, volumes); why != DeleteRefusal::None) {
      return refused(why, *target);
    }
    if (is_protected(protected_set, *target)) return refused(DeleteRefusal::Protected, *target);
    if (const DeleteRefusal why = walk.walk(*target); why != DeleteRefusal::None) {
      return refused(why, walk.plan.at.empty() ? *target : walk.plan.at);
    }
    if (stopped(control)) return refused(DeleteRefusal::Stopped, {});
  }
  return std::move(walk.plan);
}

std::optional<std::vector<std::wstring>> deletion_order(const std::wstring& path, std::size_t cap,
                                                        const FileIdentityApi& ids) {
  const DeleteControl control;
  Walk walk{nullptr, &control, cap, {}, ids};
  if (walk.walk(path) != DeleteRefusal::None) return std::nullopt;
  return std::move(walk.plan.entries);
}

DeletePlan schedule_delete_on_reboot(const std::vector<Target>& paths, const DeleteControl& control,
                                     const VolumeApi& volumes) {
  DeletePlan plan = plan_deletion(paths, control, volumes);
  if (!plan) return plan;
  std::vector<std::wstring> exact;
  exact.reserve(plan.entries.size());
  // The verbatim spelling names exactly this entry, even one called "con" or "trail.".
  for (const std::wstring& entry : plan.entries) exact.push_back(exact_path(entry));
  // The last moment to stop: from here on it is one write, done or not.
  if (stopped(control)) return refused(DeleteRefusal::Stopped, {});
  if (!add_pending_deletions(exact)) return refused(DeleteRefusal::NotWritten, {});
  for (const std::wstring& entry : plan.read_only) {
    // A read-only file would survive the restart. A failure shows only then.
    const std::wstring path = exact_path(entry);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    const DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    static_cast<void>(::SetFileAttributesW(path.c_str(), cleared != 0 ? cleared : FILE_ATTRIBUTE_NORMAL));
  }
  return plan;
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

// The process that started this one (the window or the command line waiting for it), opened
// to learn when it ends; invalid when it cannot be told.
UniqueHandle open_parent() {
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return UniqueHandle();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = ::GetCurrentProcessId();
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) return UniqueHandle(::OpenProcess(SYNCHRONIZE, FALSE, entry.th32ParentProcessID));
  }
  return UniqueHandle();
}

// Runs the helper elevated and waits for it: None when it scheduled everything.
DeleteRefusal run_elevated_helper(HWND owner, const std::vector<Target>& targets, const std::wstring& exe,
                                  const DeleteControl& control) {
  const UniqueHandle process = start_elevated_helper(owner, exe, delete_helper_parameters(targets, own_user_sid()));
  if (!process) return DeleteRefusal::NoHelper;  // declined, or nothing started
  switch (wait_for_helper(process.get(), kHelperWaitMs, control)) {
    case HelperEnd::Succeeded:
      return DeleteRefusal::None;
    case HelperEnd::TimedOut:
      return DeleteRefusal::HelperTimedOut;
    case HelperEnd::Stopped:
      return DeleteRefusal::Stopped;
    case HelperEnd::Failed:
      break;
  }
  return DeleteRefusal::NoHelper;
}

// What the last request that scheduled nothing said; one request runs at a time.
std::mutex g_refusal_mutex;
std::string g_refusal_text;

void run_delete_job(const DeleteJob& job) {
  const DeletePlan plan = delete_on_reboot_now(job.targets, job.window, own_executable_path());
  {
    const std::lock_guard<std::mutex> lock(g_refusal_mutex);
    g_refusal_text = plan ? std::string() : delete_refusal_text(plan);
  }
  const std::uint8_t result = plan ? 1 : 0;
  report_remedy_outcome(job.window, RemedyOutcome{job.scan_id, RemedyKind::DeleteOnRestart, result, 0});
}

const Message* refusal_message(DeleteRefusal why) {
  switch (why) {
    case DeleteRefusal::Protected:
      return &msg::kProtectedFolder;
    case DeleteRefusal::Missing:
      return &msg::kDeleteNotFound;
    case DeleteRefusal::Unreadable:
      return &msg::kDeleteUnreadable;
    case DeleteRefusal::TooMany:
      return &msg::kDeleteTooMany;
    case DeleteRefusal::Network:
      return &msg::kDeleteNetworkDrive;
    case DeleteRefusal::Substituted:
      return &msg::kDeleteSubstDrive;
    case DeleteRefusal::Removable:
      return &msg::kDeleteRemovableDrive;
    case DeleteRefusal::Stopped:
      return &msg::kDeleteStopped;
    case DeleteRefusal::HelperTimedOut:
      return &msg::kDeleteHelperTimedOut;
    default:
      break;
  }
  return &msg::kCouldNotSchedule;
}

}  // namespace

HelperEnd wait_for_helper(HANDLE process, DWORD limit_ms, const DeleteControl& control) {
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    const ULONGLONG waited = ::GetTickCount64() - start;
    const bool stop = stopped(control);
    if (stop || waited >= limit_ms) {
      // Refused for an elevated helper; it then ends by itself before writing anything,
      // as it watches its own time and the process that waits for it.
      static_cast<void>(::TerminateProcess(process, kHelperFailed));
      static_cast<void>(::WaitForSingleObject(process, 2'000));
      DWORD status = kHelperFailed;
      // It may have finished in the meantime.
      if (::GetExitCodeProcess(process, &status) && status == kHelperSucceeded) return HelperEnd::Succeeded;
      return stop ? HelperEnd::Stopped : HelperEnd::TimedOut;
    }
    const auto slice = static_cast<DWORD>(std::min<ULONGLONG>(200, limit_ms - waited));
    if (::WaitForSingleObject(process, slice) == WAIT_OBJECT_0) break;
    if (control.waited) control.waited((::GetTickCount64() - start) / 1000);
  }
  DWORD status = kHelperFailed;
  if (!::GetExitCodeProcess(process, &status)) status = kHelperFailed;
  return status == kHelperSucceeded ? HelperEnd::Succeeded : HelperEnd::Failed;
}

DeletePlan delete_on_reboot_now(const std::vector<Target>& targets, HWND owner, const std::wstring& helper,
                                const DeleteControl& control) {
  // An elevated process can register the deletions itself.
  if (process_is_elevated()) return schedule_delete_on_reboot(targets, control);
  // Planned here first, so that a refusal is told without asking for elevation. A folder
  // this account cannot list may still be listed elevated.
  DeletePlan plan = plan_deletion(targets, control);
  if (!plan && plan.refusal != DeleteRefusal::Unreadable) return plan;
  if (const DeleteRefusal why = run_elevated_helper(owner, targets, helper, control); why != DeleteRefusal::None) {
    return refused(why, {});
  }
  plan.refusal = DeleteRefusal::None;
  return plan;
}

std::string delete_refusal_text(const DeletePlan& plan) {
  const std::string path = to_utf8(readable_path(plan.at));
  return fill_placeholders(localized(*refusal_message(plan.refusal)), std::span(&path, 1));
}

std::string take_delete_refusal_text() {
  const std::lock_guard<std::mutex> lock(g_refusal_mutex);
  return std::exchange(g_refusal_text, std::string());
}

bool start_delete_on_reboot(DeleteJob job) {
  return start_detached_thread([job = std::move(job)] { run_delete_job(job); });
}

int run_delete_on_reboot_helper(const StartupRequest& request) {
  // One argument that names no file or folder (a relative path, a pattern, a device) means
  // the helper was not started as the window starts it: nothing at all is scheduled.
  if (request.refused > 0) return kHelperFailed;
  if (runs_for_another_user(own_user_sid(), request.for_user)) set_other_account(request.for_user);
  // Gives up before writing once its requester has stopped waiting (it ended, or its time
  // is nearly up), so that a requester that waited no longer never reports wrongly.
  std::atomic<bool> stop{false};
  const UniqueHandle parent = open_parent();
  const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread watch;
  if (done) {
    watch = std::thread([&] {
      const HANDLE waits[2] = {done.get(), parent.get()};
      if (::WaitForMultipleObjects(parent ? 2 : 1, waits, FALSE, kHelperOwnLimitMs) != WAIT_OBJECT_0) stop = true;
    });
  }
  const DeletePlan plan = schedule_delete_on_reboot(request.paths, DeleteControl{&stop, {}, {}});
  if (done) {
    ::SetEvent(done.get());
    watch.join();
  }
  return plan ? kHelperSucceeded : kHelperFailed;
}

}  // namespace tw
