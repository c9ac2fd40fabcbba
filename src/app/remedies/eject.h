#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "discovery/volumes.h"

namespace tw {

// Which disk a volume lies on, as IOCTL_STORAGE_GET_DEVICE_NUMBER answers.
struct StorageNumber {
  DWORD device_type = 0;  // FILE_DEVICE_DISK, FILE_DEVICE_CD_ROM, ...
  DWORD device_number = 0;
  friend bool operator==(const StorageNumber&, const StorageNumber&) = default;
};

// What Windows answers about drives and devices (a seam: under Wine there is no device tree and
// no drive is removable). Each default is the real call.
struct EjectApi {
  UINT (*drive_type)(const wchar_t* root) = &::GetDriveTypeW;
  // "\\?\Volume{...}\" of a root ("E:\" or a volume path), or nothing.
  std::optional<std::wstring> (*volume_name)(const std::wstring& root) = &volume_name_of;
  // The root of the drive that holds the Windows folder: "C:\".
  std::optional<std::wstring> (*windows_root)() = &real_windows_root;
  // The disk of a volume, opened as "\\.\E:" or "\\?\Volume{...}" with no access rights.
  std::optional<StorageNumber> (*storage_number)(const std::wstring& volume_device) = &real_storage_number;
  // The device node of the present disk (or CD drive) with that number.
  std::optional<DEVINST> (*disk_node)(const StorageNumber& number) = &real_disk_node;
  CONFIGRET(WINAPI* get_parent)(PDEVINST parent, DEVINST node, ULONG flags) = &::CM_Get_Parent;
  CONFIGRET(WINAPI* get_status)(PULONG status, PULONG problem, DEVINST node, ULONG flags) = &::CM_Get_DevNode_Status;
  // CM_DEVCAP_* of a node, or nothing.
  std::optional<ULONG> (*capabilities)(DEVINST node) = &real_capabilities;
  CONFIGRET(WINAPI* request_eject)(DEVINST node, PPNP_VETO_TYPE veto, LPWSTR name, ULONG length,
                                   ULONG flags) = &::CM_Request_Device_EjectW;
  // A device's name for people ("SanDisk Cruzer USB Device") from its instance path.
  std::optional<std::wstring> (*device_name)(const std::wstring& instance_path) = &real_device_name;
  // A running process's executable file name.
  std::optional<std::string> (*process_name)(std::uint32_t pid) = &real_process_name;

  static std::optional<std::wstring> real_windows_root();
  static std::optional<StorageNumber> real_storage_number(const std::wstring& volume_device);
  static std::optional<DEVINST> real_disk_node(const StorageNumber& number);
  static std::optional<ULONG> real_capabilities(DEVINST node);
  static std::optional<std::wstring> real_device_name(const std::wstring& instance_path);
  static std::optional<std::string> real_process_name(std::uint32_t pid);
};

// Why Eject is not offered for a drive.
enum class EjectRefusal : std::uint8_t {
  None,
  NotADrive,     // no such drive
  SystemDrive,   // the drive, or any drive of the disk, that holds Windows
  NotRemovable,  // a fixed disk, a network drive, or any drive Windows cannot take away while it runs
};

// "E:\" for "e:", "E:" or "E:\"; "\\?\Volume{...}\" for a volume path with or without its
// backslash; nothing for anything else (a folder, a share, a device).
std::optional<std::wstring> drive_root(std::wstring_view text);

// How people see a drive root: "E:" or the volume path.
std::string drive_shown(const std::wstring& root);

// Whether Eject may be offered for a drive, and the device it would stop.
struct EjectPlan {
  EjectRefusal refusal = EjectRefusal::None;
  DEVINST device = 0;  // the removable device the drive's disk belongs to
};
EjectPlan plan_eject(std::wstring_view drive, const EjectApi& api = {});

// Who Windows names as refusing.
enum class VetoerKind : std::uint8_t { None, Program, Service, Device, Driver };

struct EjectOutcome {
  EjectRefusal refusal = EjectRefusal::None;
  bool ejected = false;
  CONFIGRET result = CR_SUCCESS;
  PNP_VETO_TYPE veto_type = PNP_VetoTypeUnknown;
  std::wstring veto_name;    // as Windows gave it
  VetoerKind vetoer_kind = VetoerKind::None;
  std::string vetoer;        // the veto name made readable; empty when none was given
};

// Asks Windows to stop the drive's removable device, so that it can be pulled out safely.
// Windows shows nothing itself: the outcome says what happened. Blocks while Windows asks the
// programs, services and drivers concerned (seconds, at times).
EjectOutcome eject_drive(std::wstring_view drive, const EjectApi& api = {});

// The outcome in the interface language: "It is safe to remove the drive.", why it is not
// offered, or why Windows refused, naming who refused. `drive` is the drive as shown.
std::string eject_outcome_text(const EjectOutcome& outcome, const std::string& drive);

// Stable names for scripts: "windows_app", "outstanding_open", ...; "unknown" for any other.
std::string_view veto_type_name(PNP_VETO_TYPE type);
// "not_a_drive", "system_drive", "not_removable"; empty for None.
std::string_view eject_refusal_name(EjectRefusal refusal);

}  // namespace tw
