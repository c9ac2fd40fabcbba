#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <map>
#include <set>

#include "app/remedies/eject.h"
#include "common/casemap.h"
#include "common/text.h"

namespace tw {
namespace {

// Windows' device tree as it stands for one case: under Wine there is none, and no drive is
// removable. Nodes: 1 the computer; 10 a USB stick's disk under its USB device 11 (removable);
// 20 the internal disk under its controller 21; 30 an SD card's disk, removable itself; 40 a
// disk in a dock 41.
struct Tree {
  std::map<std::wstring, UINT> types;
  std::map<std::wstring, std::wstring> volumes;   // root -> volume name
  std::map<std::wstring, StorageNumber> numbers;  // volume device -> disk
  std::map<DWORD, DEVINST> disks;                 // disk number -> node
  std::map<DEVINST, DEVINST> parents;
  std::set<DEVINST> removable;                    // DN_REMOVABLE
  std::map<DEVINST, ULONG> caps;
  std::map<std::wstring, std::wstring> device_names;
  std::map<std::uint32_t, std::string> processes;
  CONFIGRET answer = CR_SUCCESS;
  PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
  std::wstring veto_name;
  std::vector<DEVINST> ejected;
};
Tree tree;

constexpr wchar_t kStickVolume[] = L"\\\\?\\Volume{11111111-2222-3333-4444-555555555555}\\";
constexpr wchar_t kWindowsVolume[] = L"\\\\?\\Volume{aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee}\\";

EjectApi fake_api() {
  EjectApi api;
  api.drive_type = [](const wchar_t* root) -> UINT {
    const auto it = tree.types.find(root);
    return it == tree.types.end() ? UINT{DRIVE_NO_ROOT_DIR} : it->second;
  };
  api.volume_name = [](const std::wstring& root) -> std::optional<std::wstring> {
    if (root.starts_with(L"\\\\?\\")) return root;
    const auto it = tree.volumes.find(root);
    return it == tree.volumes.end() ? std::nullopt : std::optional(it->second);
  };
  api.windows_root = []() -> std::optional<std::wstring> { return L"C:\\"; };
  api.storage_number = [](const std::wstring& device) -> std::optional<StorageNumber> {
    const auto it = tree.numbers.find(device);
    return it == tree.numbers.end() ? std::nullopt : std::optional(it->second);
  };
  api.disk_node = [](const StorageNumber& n) -> std::optional<DEVINST> {
    const auto it = tree.disks.find(n.device_number);
    return it == tree.disks.end() ? std::nullopt : std::optional(it->second);
  };
  api.get_parent = [](PDEVINST parent, DEVINST node, ULONG) -> CONFIGRET {
    const auto it = tree.parents.find(node);
    if (it == tree.parents.end()) return CR_NO_SUCH_DEVNODE;
    *parent = it->second;
    return CR_SUCCESS;
  };
  api.get_status = [](PULONG status, PULONG problem, DEVINST node, ULONG) -> CONFIGRET {
    *status = DN_STARTED | (tree.removable.count(node) ? DN_REMOVABLE : 0);
    *problem = 0;
    return CR_SUCCESS;
  };
  api.capabilities = [](DEVINST node) -> std::optional<ULONG> {
    const auto it = tree.caps.find(node);
    return it == tree.caps.end() ? std::nullopt : std::optional(it->second);
  };
  api.request_eject = [](DEVINST node, PPNP_VETO_TYPE veto, LPWSTR name, ULONG length, ULONG) -> CONFIGRET {
    tree.ejected.push_back(node);
    *veto = tree.veto;
    if (length > tree.veto_name.size()) ::wcscpy(name, tree.veto_name.c_str());
    return tree.answer;
  };
  api.device_name = [](const std::wstring& id) -> std::optional<std::wstring> {
    const auto it = tree.device_names.find(id);
    return it == tree.device_names.end() ? std::nullopt : std::optional(it->second);
  };
  api.process_name = [](std::uint32_t pid) -> std::optional<std::string> {
    const auto it = tree.processes.find(pid);
    return it == tree.processes.end() ? std::nullopt : std::optional(it->second);
  };
  return api;
}

void make_computer() {
  tree = Tree{};
  const auto drive = [](const wchar_t* root, UINT type, const wchar_t* device, StorageNumber n) {
    tree.types[root] = type;
    if (device) tree.numbers[device] = n;
  };
  drive(L"C:\\", DRIVE_FIXED, L"\\\\.\\C:", {FILE_DEVICE_DISK, 0});
  drive(L"D:\\", DRIVE_FIXED, L"\\\\.\\D:", {FILE_DEVICE_DISK, 0});      // Windows' disk, another partition
  drive(L"E:\\", DRIVE_REMOVABLE, L"\\\\.\\E:", {FILE_DEVICE_DISK, 1});  // the USB stick
  drive(L"F:\\", DRIVE_FIXED, L"\\\\.\\F:", {FILE_DEVICE_DISK, 2});      // a second internal disk
  drive(L"G:\\", DRIVE_REMOVABLE, L"\\\\.\\G:", {FILE_DEVICE_DISK, 3});  // the SD card
  drive(L"H:\\", DRIVE_FIXED, L"\\\\.\\H:", {FILE_DEVICE_DISK, 4});      // a disk in the dock
  drive(L"S:\\", DRIVE_FIXED, nullptr, {});                              // spanned: no one disk
  drive(L"M:\\", DRIVE_FIXED, L"\\\\.\\M:", {FILE_DEVICE_DISK, 0xFFFFFFFFu});  // an MPIO path
  drive(L"N:\\", DRIVE_REMOTE, nullptr, {});
  drive(L"R:\\", DRIVE_RAMDISK, nullptr, {});
  tree.types[kStickVolume] = DRIVE_REMOVABLE;
  tree.numbers[std::wstring(kStickVolume).substr(0, 48)] = {FILE_DEVICE_DISK, 1};
  tree.types[kWindowsVolume] = DRIVE_FIXED;
  tree.volumes[L"C:\\"] = kWindowsVolume;
  tree.volumes[L"E:\\"] = kStickVolume;
  tree.disks = {{0, 20}, {1, 10}, {2, 20}, {3, 30}, {4, 40}};
  tree.parents = {{10, 11}, {11, 1}, {20, 21}, {21, 1}, {30, 1}, {40, 41}, {41, 1}};
  tree.removable = {11};
  tree.caps = {{30, CM_DEVCAP_REMOVABLE | CM_DEVCAP_SURPRISEREMOVALOK}, {41, CM_DEVCAP_REMOVABLE | CM_DEVCAP_DOCKDEVICE}};
}

TEST(EjectOffer, OnlyADriveOnARemovableDeviceThatDoesNotHoldWindows) {
  using R = EjectRefusal;
  const struct {
    std::wstring drive;
    EjectRefusal refusal;
    DEVINST device;
  } cases[] = {
      {L"E:", R::None, 11},  // the stick's USB device, not its disk
      {L"e:\\", R::None, 11},
      {L"\\\\?\\volume{11111111-2222-3333-4444-555555555555}", R::None, 11},
      {kStickVolume, R::None, 11},
      {L"G:", R::None, 30},  // an SD card's disk is removable itself
      {L"C:", R::SystemDrive, 0},
      {L"c:\\", R::SystemDrive, 0},
      {kWindowsVolume, R::SystemDrive, 0},
      {L"D:", R::SystemDrive, 0},  // another partition of Windows' disk
      {L"F:", R::NotRemovable, 0},
      {L"H:", R::NotRemovable, 0},  // only a dock would go: the whole computer would be undocked
      {L"S:", R::NotRemovable, 0},
      {L"M:", R::NotRemovable, 0},
      {L"N:", R::NotRemovable, 0},
      {L"R:", R::NotRemovable, 0},
      {L"B:", R::NotADrive, 0},  // no such drive
      {L"E:\\Photos", R::NotADrive, 0},
      {L"E", R::NotADrive, 0},
      {L"1:", R::NotADrive, 0},
      {L"\\\\.\\E:", R::NotADrive, 0},
      {L"\\\\server\\share", R::NotADrive, 0},
      {L"\\\\?\\Volume{1111}\\", R::NotADrive, 0},
      {L"", R::NotADrive, 0},
  };
  for (const auto& c : cases) {
    make_computer();
    const std::string name = to_utf8(c.drive);
    const EjectPlan plan = plan_eject(c.drive, fake_api());
    EXPECT_EQ(plan.refusal, c.refusal) << name;
    EXPECT_EQ(plan.device, c.device) << name;

    const EjectOutcome outcome = eject_drive(c.drive, fake_api());
    EXPECT_EQ(outcome.refusal, c.refusal) << name;
    EXPECT_EQ(outcome.ejected, c.refusal == R::None) << name;
    EXPECT_EQ(tree.ejected, c.refusal == R::None ? std::vector<DEVINST>{c.device} : std::vector<DEVINST>{}) << name;
    const std::map<EjectRefusal, std::string> words = {
        {R::None, "It is safe to remove the drive."},
        {R::NotRemovable, "X: is not on a removable device, so it cannot be ejected."},
        {R::SystemDrive, "X: holds Windows, so it cannot be ejected."},
        {R::NotADrive, "X: is not a drive."}};
    EXPECT_EQ(eject_outcome_text(outcome, "X:"), words.at(c.refusal)) << name;
  }
  EXPECT_EQ(drive_shown(L"E:\\"), "E:");
  EXPECT_EQ(drive_shown(kStickVolume), to_utf8(kStickVolume));
}

// Under Wine every drive is fixed: Z: stands for the stick here, with the test's folder on it.
TEST(EjectOffer, TheProgramsOwnCurrentFolderDoesNotHoldTheDrive) {
  wchar_t before[MAX_PATH] = {};
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, before), 0u);
  ASSERT_EQ(before[0], L'Z') << to_utf8(before);
  for (const std::wstring& drive : {std::wstring(L"z:"), std::wstring(kStickVolume)}) {
    make_computer();
    tree.types[L"Z:\\"] = DRIVE_REMOVABLE;
    tree.numbers[L"\\\\.\\Z:"] = {FILE_DEVICE_DISK, 1};
    tree.volumes[L"Z:\\"] = kStickVolume;
    static std::wstring at_eject;
    tree.answer = CR_SUCCESS;
    EjectApi api = fake_api();
    api.request_eject = [](DEVINST, PPNP_VETO_TYPE, LPWSTR, ULONG, ULONG) -> CONFIGRET {
      wchar_t folder[MAX_PATH] = {};
      ::GetCurrentDirectoryW(MAX_PATH, folder);
      at_eject = folder;
      return CR_SUCCESS;
    };
    EXPECT_TRUE(eject_drive(drive, api).ejected) << to_utf8(drive);
    EXPECT_NE(ascii_lower(at_eject.at(0)), L'z') << to_utf8(at_eject);
    ASSERT_TRUE(::SetCurrentDirectoryW(before));
  }
  // Another drive's ejection leaves it where it is.
  make_computer();
  EXPECT_TRUE(eject_drive(L"E:", fake_api()).ejected);
  wchar_t after[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_EQ(std::wstring(after), std::wstring(before));
}

TEST(EjectVeto, EachRefusalIsSaidInPlainWordsNamingWhoRefused) {
  const std::wstring volume = L"STORAGE\\Volume\\{11111111-2222-3333-4444-555555555555}#0000000000100000";
  const std::wstring stick = L"USB\\VID_0781&PID_5567\\4C530001";
  const struct {
    CONFIGRET answer;
    PNP_VETO_TYPE veto;
    std::wstring name;
    std::string type;
    std::string text;
  } cases[] = {
      // Windows may answer success and name a veto all the same.
      {CR_SUCCESS, PNP_VetoWindowsApp, L"4120", "windows_app",
       "Windows can't stop the device because a program is still using it. Program: WINWORD.EXE (process 4120)"},
      {CR_REMOVE_VETOED, PNP_VetoWindowsApp, L"\\Device\\HarddiskVolume3\\Windows\\explorer.exe", "windows_app",
       "Windows can't stop the device because a program is still using it. Program: explorer.exe"},
      {CR_REMOVE_VETOED, PNP_VetoWindowsApp, L"777", "windows_app",
       "Windows can't stop the device because a program is still using it. Program: process 777"},
      {CR_REMOVE_VETOED, PNP_VetoWindowsApp, L"", "windows_app",
       "Windows can't stop the device because a program is still using it."},
      {CR_REMOVE_VETOED, PNP_VetoWindowsService, L"WSearch", "windows_service",
       "Windows can't stop the device because a service is still using it. Service: WSearch"},
      {CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, volume, "outstanding_open",
       "Windows can't stop the device because files or folders on it are still open. Device: Volume"},
      {CR_REMOVE_VETOED, PNP_VetoLegacyDevice, stick, "legacy_device",
       "The device cannot be stopped while Windows is running. Device: SanDisk Cruzer Blade"},
      {CR_REMOVE_VETOED, PNP_VetoPendingClose, L"USB\\VID_1234&PID_0001\\X", "pending_close",
       "The device is still being closed. Wait a moment, then try again. Device: USB\\VID_1234&PID_0001\\X"},
      {CR_REMOVE_VETOED, PNP_VetoDevice, stick, "device", "A device refused to stop. Device: SanDisk Cruzer Blade"},
      {CR_REMOVE_VETOED, PNP_VetoDriver, L"usbstor", "driver", "A driver refused to stop the device. Driver: usbstor"},
      {CR_REMOVE_VETOED, PNP_VetoIllegalDeviceRequest, stick, "illegal_device_request",
       "The device cannot be stopped this way. Device: SanDisk Cruzer Blade"},
      {CR_REMOVE_VETOED, PNP_VetoInsufficientPower, L"", "insufficient_power",
       "There is not enough power to stop the device."},
      {CR_REMOVE_VETOED, PNP_VetoNonDisableable, stick, "non_disableable",
       "Windows needs the device and cannot stop it. Device: SanDisk Cruzer Blade"},
      {CR_REMOVE_VETOED, PNP_VetoLegacyDriver, L"oldfilt", "legacy_driver",
       "A driver that cannot stop devices is using it. Driver: oldfilt"},
      {CR_REMOVE_VETOED, PNP_VetoInsufficientRights, L"", "insufficient_rights",
       "Stopping the device needs more rights. Try again as administrator, or at the computer itself."},
      {CR_REMOVE_VETOED, PNP_VetoAlreadyRemoved, L"", "already_removed", "The device has already been removed."},
      {CR_REMOVE_VETOED, PNP_VetoTypeUnknown, L"", "unknown", "Windows refused to stop the device and did not say why."},
      {CR_REMOVE_VETOED, static_cast<PNP_VETO_TYPE>(14), L"x", "unknown",
       "Windows refused to stop the device and did not say why."},
      {CR_ACCESS_DENIED, PNP_VetoTypeUnknown, L"", "unknown", "Windows could not stop the device (error 51)."},
  };
  for (const auto& c : cases) {
    make_computer();
    tree.answer = c.answer;
    tree.veto = c.veto;
    tree.veto_name = c.name;
    tree.processes[4120] = "WINWORD.EXE";
    tree.device_names[volume] = L"Volume";
    tree.device_names[stick] = L"SanDisk Cruzer Blade";
    const EjectOutcome outcome = eject_drive(L"E:", fake_api());
    EXPECT_EQ(tree.ejected, std::vector<DEVINST>{11}) << c.text;
    EXPECT_FALSE(outcome.ejected) << c.text;
    EXPECT_EQ(outcome.refusal, EjectRefusal::None) << c.text;
    EXPECT_EQ(outcome.veto_name, c.name);
    EXPECT_EQ(veto_type_name(outcome.veto_type), c.type);
    EXPECT_EQ(eject_outcome_text(outcome, "E:"), c.text);
  }
}

}  // namespace
}  // namespace tw
