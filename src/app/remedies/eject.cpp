#include "app/remedies/eject.h"

#include <winioctl.h>
#include <setupapi.h>

#include <array>
#include <cwchar>
#include <vector>

#include "app/language/catalogue.h"
#include "common/casemap.h"
#include "common/handles.h"
#include "common/text.h"
#include "discovery/paths.h"
#include "procs/process_facts.h"

namespace tw {
namespace {

struct DevInfoTraits {
  using Type = HDEVINFO;
  static Type none() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { ::SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDevInfo = Unique<DevInfoTraits>;

bool same_text(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

bool is_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// What CreateFileW opens for a root: the volume itself, never its root folder.
std::wstring volume_device(const std::wstring& root) {
  if (root.size() == 3) return std::wstring(L"\\\\.\\") + root.substr(0, 2);
  return root.substr(0, root.size() - 1);
}

bool is_system_drive(const std::wstring& root, const std::optional<StorageNumber>& number, const EjectApi& api) {
  const std::optional<std::wstring> windows = api.windows_root();
  if (!windows) return false;
  if (same_text(root, *windows)) return true;
  const auto volume = api.volume_name(root);
  const auto windows_volume = api.volume_name(*windows);
  if (volume && windows_volume && same_text(*volume, *windows_volume)) return true;
  // Another volume of the disk Windows starts from goes with it.
  const auto windows_number = api.storage_number(volume_device(*windows));
  return number && windows_number && *number == *windows_number;
}

// The first node from the disk up that Windows may take away while it runs; never a dock,
// which would undock the whole computer.
std::optional<DEVINST> removable_device(DEVINST disk, const EjectApi& api) {
  DEVINST node = disk;
  for (int depth = 0; depth < 64; ++depth) {
    ULONG status = 0;
    ULONG problem = 0;
    const bool listed = api.get_status(&status, &problem, node, 0) == CR_SUCCESS;
    const std::optional<ULONG> caps = api.capabilities(node);
    if ((listed && (status & DN_REMOVABLE)) || (caps && (*caps & CM_DEVCAP_REMOVABLE))) {
      if (caps && (*caps & CM_DEVCAP_DOCKDEVICE)) return std::nullopt;
      return node;
    }
    DEVINST parent = 0;
    if (api.get_parent(&parent, node, 0) != CR_SUCCESS) return std::nullopt;
    node = parent;
  }
  return std::nullopt;
}

VetoerKind vetoer_kind_of(PNP_VETO_TYPE type) {
  switch (type) {
    case PNP_VetoWindowsApp:
      return VetoerKind::Program;
    case PNP_VetoWindowsService:
      return VetoerKind::Service;
    case PNP_VetoDriver:
    case PNP_VetoLegacyDriver:
      return VetoerKind::Driver;
    case PNP_VetoLegacyDevice:
    case PNP_VetoPendingClose:
    case PNP_VetoOutstandingOpen:
    case PNP_VetoDevice:
    case PNP_VetoIllegalDeviceRequest:
    case PNP_VetoNonDisableable:
      return VetoerKind::Device;
    default:
      break;
  }
  return VetoerKind::None;
}

std::optional<std::uint32_t> as_pid(std::wstring_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - L'0');
  }
  if (value == 0 || value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// A program is named by Windows either by its process id or by its executable's path
// ("\Device\HarddiskVolume3\Program Files\App\app.exe"): either way, its file name.
std::string program_text(std::wstring_view name, const EjectApi& api) {
  if (const auto pid = as_pid(name)) {
    const auto exe = api.process_name(*pid);
    const std::string id = std::to_string(*pid);
    return exe && !exe->empty() ? localized_filled(msg::kEjectProcessNamed, {*exe, id})
                                : localized_filled(msg::kEjectProcessId, {id});
  }
  const std::string file = file_name_of(name);
  return file.empty() ? to_utf8(name) : file;
}

std::string vetoer_text(VetoerKind kind, const std::wstring& name, const EjectApi& api) {
  if (name.empty()) return {};
  if (kind == VetoerKind::Program) return program_text(name, api);
  if (kind == VetoerKind::Device) {
    const auto shown = api.device_name(name);
    if (shown && !shown->empty()) return to_utf8(*shown);
  }
  return to_utf8(name);
}

// This process's own current folder on the drive would hold it open, and Windows would name
// the program itself as what refuses: it moves to the system folder first.
void leave_drive(const std::wstring& root, const EjectApi& api) {
  std::wstring folder(32'768, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return;
  folder.resize(length);
  const std::optional<std::wstring> own = drive_root(std::wstring_view(folder).substr(0, 2));
  const bool letter = own && same_text(*own, root);
  const auto volume = own ? api.volume_name(*own) : std::nullopt;
  if (!letter && !(volume && same_text(*volume, root))) return;
  wchar_t system[MAX_PATH] = {};
  const UINT size = ::GetSystemDirectoryW(system, MAX_PATH);
  if (size > 0 && size < MAX_PATH) ::SetCurrentDirectoryW(system);
}

}  // namespace

std::optional<std::wstring> drive_root(std::wstring_view text) {
  if ((text.size() == 2 || (text.size() == 3 && text[2] == L'\\')) && is_letter(text[0]) && text[1] == L':') {
    const wchar_t letter = text[0] >= L'a' ? static_cast<wchar_t>(text[0] - (L'a' - L'A')) : text[0];
    return std::wstring{letter, L':', L'\\'};
  }
  // "\\?\Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", spelled as Windows spells it.
  constexpr std::wstring_view prefix = L"\\\\?\\Volume{";
  if (!text.empty() && text.back() == L'\\') text.remove_suffix(1);
  if (text.size() != prefix.size() + 37 || !same_text(text.substr(0, prefix.size()), prefix) || text.back() != L'}') {
    return std::nullopt;
  }
  std::wstring root(prefix);
  for (std::size_t i = 0; i < 36; ++i) {
    const wchar_t c = ascii_lower(text[prefix.size() + i]);
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    const bool hex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
    if (dash ? c != L'-' : !hex) return std::nullopt;
    root.push_back(c);
  }
  return root + L"}\\";
}

std::string drive_shown(const std::wstring& root) {
  return to_utf8(root.size() == 3 ? std::wstring_view(root).substr(0, 2) : std::wstring_view(root));
}

EjectPlan plan_eject(std::wstring_view drive, const EjectApi& api) {
  const std::optional<std::wstring> root = drive_root(drive);
  if (!root) return {EjectRefusal::NotADrive};
  switch (api.drive_type(root->c_str())) {
    case DRIVE_UNKNOWN:
    case DRIVE_NO_ROOT_DIR:
      return {EjectRefusal::NotADrive};
    case DRIVE_REMOTE:
    case DRIVE_RAMDISK:
      return {EjectRefusal::NotRemovable};
    default:
      break;
  }
  const std::optional<StorageNumber> number = api.storage_number(volume_device(*root));
  if (is_system_drive(*root, number, api)) return {EjectRefusal::SystemDrive};
  // Spanned volumes have no single disk; MPIO paths are numbered 0xFFFFFFFF.
  if (!number || number->device_number == 0xFFFFFFFFu) return {EjectRefusal::NotRemovable};
  const std::optional<DEVINST> disk = api.disk_node(*number);
  const std::optional<DEVINST> device = disk ? removable_device(*disk, api) : std::nullopt;
  if (!device) return {EjectRefusal::NotRemovable};
  return {EjectRefusal::None, *device};
}

EjectOutcome eject_drive(std::wstring_view drive, const EjectApi& api) {
  EjectOutcome outcome;
  const EjectPlan plan = plan_eject(drive, api);
  outcome.refusal = plan.refusal;
  if (plan.refusal != EjectRefusal::None) return outcome;
  leave_drive(*drive_root(drive), api);
  // With a buffer for the name Windows shows no message of its own; MAX_PATH is its size.
  PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
  std::array<wchar_t, MAX_PATH + 1> name{};
  outcome.result = api.request_eject(plan.device, &veto, name.data(), MAX_PATH, 0);
  // Windows may answer CR_SUCCESS and still name a veto: only both together are success.
  if (outcome.result == CR_SUCCESS && veto == PNP_VetoTypeUnknown) {
    outcome.ejected = true;
    return outcome;
  }
  outcome.veto_type = veto;
  outcome.veto_name.assign(name.data(), ::wcsnlen(name.data(), MAX_PATH));
  outcome.vetoer_kind = vetoer_kind_of(veto);
  outcome.vetoer = vetoer_text(outcome.vetoer_kind, outcome.veto_name, api);
  return outcome;
}

namespace {

const Message& veto_words(PNP_VETO_TYPE type) {
  switch (type) {
    case PNP_VetoLegacyDevice:
      return msg::kVetoLegacyDevice;
    case PNP_VetoPendingClose:
      return msg::kVetoPendingClose;
    case PNP_VetoWindowsApp:
      return msg::kVetoWindowsApp;
    case PNP_VetoWindowsService:
      return msg::kVetoWindowsService;
    case PNP_VetoOutstandingOpen:
      return msg::kVetoOutstandingOpen;
    case PNP_VetoDevice:
      return msg::kVetoDevice;
    case PNP_VetoDriver:
      return msg::kVetoDriver;
    case PNP_VetoIllegalDeviceRequest:
      return msg::kVetoIllegalDeviceRequest;
    case PNP_VetoInsufficientPower:
      return msg::kVetoInsufficientPower;
    case PNP_VetoNonDisableable:
      return msg::kVetoNonDisableable;
    case PNP_VetoLegacyDriver:
      return msg::kVetoLegacyDriver;
    case PNP_VetoInsufficientRights:
      return msg::kVetoInsufficientRights;
    case PNP_VetoAlreadyRemoved:
      return msg::kVetoAlreadyRemoved;
    default:
      break;
  }
  return msg::kVetoUnknown;
}

const Message& vetoer_label(VetoerKind kind) {
  switch (kind) {
    case VetoerKind::Program:
      return msg::kVetoByProgram;
    case VetoerKind::Service:
      return msg::kVetoByService;
    case VetoerKind::Driver:
      return msg::kVetoByDriver;
    default:
      break;
  }
  return msg::kVetoByDevice;
}

}  // namespace

std::string eject_outcome_text(const EjectOutcome& outcome, const std::string& drive) {
  switch (outcome.refusal) {
    case EjectRefusal::NotADrive:
      return localized_filled(msg::kEjectNotADrive, {drive});
    case EjectRefusal::SystemDrive:
      return localized_filled(msg::kEjectSystemDrive, {drive});
    case EjectRefusal::NotRemovable:
      return localized_filled(msg::kEjectNotRemovable, {drive});
    case EjectRefusal::None:
      break;
  }
  if (outcome.ejected) return std::string(localized(msg::kEjectSafeToRemove));
  // A failure that is no veto (a device that went, rights) is told by its code.
  if (outcome.veto_type == PNP_VetoTypeUnknown && outcome.result != CR_SUCCESS && outcome.result != CR_REMOVE_VETOED) {
    return localized_filled(msg::kEjectFailed, {std::to_string(outcome.result)});
  }
  std::string text(localized(veto_words(outcome.veto_type)));
  if (outcome.vetoer_kind != VetoerKind::None && !outcome.vetoer.empty()) {
    text += ' ';
    text += localized_filled(vetoer_label(outcome.vetoer_kind), {outcome.vetoer});
  }
  return text;
}

std::string_view veto_type_name(PNP_VETO_TYPE type) {
  static constexpr std::array<std::string_view, 14> names = {
      "unknown",         "legacy_device", "pending_close",          "windows_app",        "windows_service",
      "outstanding_open", "device",        "driver",                 "illegal_device_request", "insufficient_power",
      "non_disableable", "legacy_driver", "insufficient_rights",    "already_removed"};
  const auto index = static_cast<std::size_t>(type);
  return index < names.size() ? names[index] : names[0];
}

std::string_view eject_refusal_name(EjectRefusal refusal) {
  switch (refusal) {
    case EjectRefusal::NotADrive:
      return "not_a_drive";
    case EjectRefusal::SystemDrive:
      return "system_drive";
    case EjectRefusal::NotRemovable:
      return "not_removable";
    case EjectRefusal::None:
      break;
  }
  return {};
}

// The real calls.

std::optional<std::wstring> EjectApi::real_windows_root() {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length < 3 || length >= MAX_PATH || windows[1] != L':') return std::nullopt;
  return drive_root(std::wstring_view(windows, 2));
}

std::optional<StorageNumber> EjectApi::real_storage_number(const std::wstring& volume_device) {
  // The control needs no access rights, and opening with none never stands in anyone's way.
  const UniqueHandle handle(::CreateFileW(volume_device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  if (!handle) return std::nullopt;
  STORAGE_DEVICE_NUMBER number{};
  DWORD got = 0;
  if (!::DeviceIoControl(handle.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &got,
                         nullptr) ||
      got < sizeof number) {
    return std::nullopt;
  }
  return StorageNumber{number.DeviceType, number.DeviceNumber};
}

std::optional<DEVINST> EjectApi::real_disk_node(const StorageNumber& number) {
  const bool optical = number.device_type == FILE_DEVICE_CD_ROM || number.device_type == FILE_DEVICE_DVD;
  if (!optical && number.device_type != FILE_DEVICE_DISK) return std::nullopt;
  GUID kind = optical ? GUID_DEVINTERFACE_CDROM : GUID_DEVINTERFACE_DISK;
  const UniqueDevInfo set(::SetupDiGetClassDevsW(&kind, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set) return std::nullopt;
  SP_DEVICE_INTERFACE_DATA item{};
  item.cbSize = sizeof item;
  for (DWORD i = 0; ::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kind, i, &item); ++i) {
    DWORD size = 0;
    ::SetupDiGetDeviceInterfaceDetailW(set.get(), &item, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);  // aligned for the structure
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!::SetupDiGetDeviceInterfaceDetailW(set.get(), &item, detail, size, nullptr, &device)) continue;
    const auto found = real_storage_number(detail->DevicePath);
    if (found && found->device_number == number.device_number) return device.DevInst;
  }
  return std::nullopt;
}

std::optional<ULONG> EjectApi::real_capabilities(DEVINST node) {
  ULONG caps = 0;
  ULONG size = sizeof caps;
  if (::CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_CAPABILITIES, nullptr, &caps, &size, 0) != CR_SUCCESS) {
    return std::nullopt;
  }
  return caps;
}

std::optional<std::wstring> EjectApi::real_device_name(const std::wstring& instance_path) {
  DEVINST node = 0;
  std::wstring id(instance_path);
  if (::CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return std::nullopt;
  for (const ULONG property : {ULONG{CM_DRP_FRIENDLYNAME}, ULONG{CM_DRP_DEVICEDESC}}) {
    wchar_t text[256] = {};
    ULONG size = sizeof text - sizeof(wchar_t);
    if (::CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, text, &size, 0) == CR_SUCCESS && text[0] != 0) {
      return std::wstring(text);
    }
  }
  return std::nullopt;
}

std::optional<std::string> EjectApi::real_process_name(std::uint32_t pid) {
  const std::optional<std::wstring> image = image_path(pid);
  if (!image) return std::nullopt;
  return file_name_of(*image);
}

}  // namespace tw
