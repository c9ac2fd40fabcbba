#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/system/startup.h"
#include "discovery/file_identity.h"
#include "discovery/paths.h"

namespace tw {

inline constexpr int kHelperSucceeded = 0;
inline constexpr int kHelperFailed = 1;

// A request of more than this many entries (files and folders, targets included) is not
// scheduled at all.
inline constexpr std::size_t kScheduleCap = 100'000;

// How long a requester waits for the elevated helper; the helper gives up on its own
// before, so that when the wait ends it has either finished or written nothing.
inline constexpr DWORD kHelperWaitMs = 5 * 60 * 1000;
inline constexpr DWORD kHelperOwnLimitMs = 4 * 60 * 1000;

// Why nothing of a request was scheduled.
enum class DeleteRefusal : std::uint8_t {
  None,
  Empty,        // no paths
  Protected,    // a Windows or user system folder, met as a target or anywhere inside one
  Missing,      // a path that names nothing (any more)
  Unreadable,   // a folder that could not be listed to its end
  TooMany,      // more than kScheduleCap entries
  Network,      // a share or a network drive: not there when Windows deletes at start
  Substituted,  // a subst drive letter: made per logon, not there at start
  Removable,    // another disk may have this letter at the next start
  Stopped,      // stopped before anything was written
  NotWritten,   // the pending list could not be read or written
  NoHelper,     // the elevated helper did not run (declined, or could not start) or said no
  HelperTimedOut,
};

// What a request comes to, checked in full before anything is registered.
struct DeletePlan {
  DeleteRefusal refusal = DeleteRefusal::None;
  std::wstring at;                     // the path the refusal is about
  std::vector<std::wstring> entries;   // in registration order, each as join_entry spells it
  std::vector<std::wstring> read_only; // entries whose read-only attribute goes once registered
  explicit operator bool() const { return refusal == DeleteRefusal::None; }
};

// What a request's volume is, as Windows answers (a seam: under Wine every drive is fixed).
struct VolumeApi {
  UINT (*drive_type)(const wchar_t* root) = &::GetDriveTypeW;
  // The device a drive letter ("X:") names, or nothing.
  std::optional<std::wstring> (*dos_device)(const std::wstring& letter) = &real_dos_device;
  // The root of the volume that holds a full path: "C:\", or "C:\Mount\Disk\" for one
  // mounted in a folder.
  std::optional<std::wstring> (*volume_root)(const std::wstring& path) = &real_volume_root;
  // Whether the disk of a volume root can be taken away while Windows runs.
  bool (*hot_pluggable)(const std::wstring& root) = &real_hot_pluggable;

  static std::optional<std::wstring> real_dos_device(const std::wstring& letter);
  static std::optional<std::wstring> real_volume_root(const std::wstring& path);
  static bool real_hot_pluggable(const std::wstring& root);
};

// Why a target's volume rules out deleting at restart, or None.
DeleteRefusal volume_refusal(std::wstring_view target, const VolumeApi& api = {});

// What a request is asked to keep to: stop (set from another thread) ends it with nothing
// registered; found hears the number of entries found so far, waited the seconds spent
// waiting for the elevated helper.
struct DeleteControl {
  const std::atomic<bool>* stop = nullptr;
  std::function<void(std::size_t)> found;
  std::function<void(std::uint64_t)> waited;
};

// Checks every target and walks every folder, registering nothing: the entries to register,
// or why none may be. A folder's files (and linked folders, never entered) come breadth first
// in listing order, then its folders deepest last-found first, the folder itself last. A
// folder met a second time (a loop) is taken as a link: listed, never entered again. Any
// folder met inside that is protected (by its spelling or by what it really is, whatever link
// leads there) refuses the whole request.
DeletePlan plan_deletion(const std::vector<Target>& targets, const DeleteControl& control = {},
                         const VolumeApi& volumes = {}, std::size_t cap = kScheduleCap);

// The order of one path alone, as plan_deletion walks it; nothing when it cannot be walked.
// `ids` tells folders apart (a seam: file systems whose numbers are not unique).
std::optional<std::vector<std::wstring>> deletion_order(const std::wstring& path, std::size_t cap = kScheduleCap,
                                                        const FileIdentityApi& ids = {});

// Plans the request and, only when all of it may be deleted, registers all of it in one
// write of the pending list, then clears the read-only attributes. All or nothing.
DeletePlan schedule_delete_on_reboot(const std::vector<Target>& paths, const DeleteControl& control = {},
                                     const VolumeApi& volumes = {});

// How a wait for the elevated helper ended.
enum class HelperEnd : std::uint8_t { Succeeded, Failed, TimedOut, Stopped };

// Waits for the helper's process: at most `limit_ms`, and only while `stop` is unset. A
// helper that is waited for no longer is ended.
HelperEnd wait_for_helper(HANDLE process, DWORD limit_ms, const DeleteControl& control = {});

// Registers the deletions now: directly when this process is elevated, else through the
// elevated helper `helper` (tarnwick.exe) run, which Windows asks the user to allow (owned by
// `owner`; a console's window for the command line). The request is planned here first, so
// that a refusal names its reason without asking for elevation. Blocks.
DeletePlan delete_on_reboot_now(const std::vector<Target>& targets, HWND owner, const std::wstring& helper,
                                const DeleteControl& control = {});

// What the user is told when nothing was scheduled, naming the path concerned.
std::string delete_refusal_text(const DeletePlan& plan);

// What a delete-on-restart worker is given, copied at the click.
struct DeleteJob {
  std::vector<Target> targets;
  HWND window = nullptr;     // receives kMsgRemedyFinished; owns the elevation prompt
  std::uint64_t scan_id = 0;
};

// Registers the deletions on a thread of its own, as delete_on_reboot_now. The outcome goes
// through the remedy queue: 1 only when everything was registered, else 0 (nothing was).
// False when no thread could be started: then nothing is reported.
[[nodiscard]] bool start_delete_on_reboot(DeleteJob job);

// Why the last request run by start_delete_on_reboot scheduled nothing, as
// delete_refusal_text says it; empty when that is not known. Taken once.
std::string take_delete_refusal_text();

// The parameters of the elevated helper run: the option, the account whose folders it must
// protect too (Windows may run it as another account, an administrator's), then each target in
// double quotes without its trailing backslashes, quoted so that the helper reads back exactly
// those texts.
std::wstring delete_helper_parameters(const std::vector<Target>& targets,
                                      const std::optional<std::wstring>& for_user = std::nullopt);

// The elevated helper run ("--delete-on-reboot PATH..."): schedules every path for deletion
// at the next restart. Returns kHelperSucceeded only when every path was scheduled, else
// kHelperFailed with nothing scheduled (also when an argument named no file or folder).
int run_delete_on_reboot_helper(const StartupRequest& request);

}  // namespace tw
