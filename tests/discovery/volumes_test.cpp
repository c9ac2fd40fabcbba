#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

#include "discovery/volumes.h"

namespace tw {
namespace {

// A machine Wine cannot make: volume C holds a USB stick mounted at C:\mnt\usb (also U:),
// which holds volume E mounted at C:\mnt\usb\e (also E:); C is also mounted at D:\c-again.
struct StandInVolume {
  const wchar_t* name;
  std::vector<std::wstring> mounts;
};
const std::vector<StandInVolume>& stand_in_volumes() {
  static const std::vector<StandInVolume> volumes{
      {L"\\\\?\\Volume{c}\\", {L"C:\\", L"D:\\c-again\\"}},
      {L"\\\\?\\Volume{u}\\", {L"C:\\mnt\\usb\\", L"U:\\"}},
      {L"\\\\?\\Volume{e}\\", {L"E:\\", L"C:\\mnt\\usb\\e\\"}},
      {L"\\\\?\\Volume{d}\\", {L"D:\\"}},
  };
  return volumes;
}

std::wstring lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(::towlower(c));
  return s;
}

// The longest mount path above `path`, as GetVolumePathNameW answers; shares answer their root.
std::optional<std::wstring> stand_in_root(const std::wstring& path) {
  if (path.starts_with(L"\\\\server\\share")) return std::wstring(L"\\\\server\\share\\");
  std::wstring best;
  const std::wstring p = lower(path);
  for (const StandInVolume& v : stand_in_volumes()) {
    for (const std::wstring& m : v.mounts) {
      if (lower(m).size() > best.size() && p.starts_with(lower(m))) best = m;
    }
  }
  if (best.empty() && path.size() >= 3 && path[1] == L':') return path.substr(0, 3);  // X: has no volume name
  if (best.empty()) return std::nullopt;
  return best;
}
std::optional<std::wstring> stand_in_name(const std::wstring& root) {
  for (const StandInVolume& v : stand_in_volumes()) {
    for (const std::wstring& m : v.mounts) {
      if (lower(m) == lower(root)) return std::wstring(v.name);
    }
  }
  return std::nullopt;
}
std::vector<std::wstring> stand_in_mounts(const std::wstring& name) {
  for (const StandInVolume& v : stand_in_volumes()) {
    if (lower(v.name) == lower(name)) return v.mounts;
  }
  return {};
}
std::vector<std::wstring> stand_in_all() {
  std::vector<std::wstring> names;
  for (const StandInVolume& v : stand_in_volumes()) names.emplace_back(v.name);
  return names;
}
bool stand_in_mount_folder(const std::wstring& path) { return path.find(L"mnt") != std::wstring::npos; }

const DriveVolumeApi kStandIn{&stand_in_root, &stand_in_name, &stand_in_mounts, &stand_in_all, &stand_in_mount_folder};

TEST(DriveScope, APathBelongsToTheVolumeItLiesOnNotToOneMountedAboveIt) {
  struct Case {
    const wchar_t* target;
    const char* path;  // a path key, as the search compares
    bool owned;
  };
  const Case cases[] = {
      {L"C:\\", "c:\\users\\a.txt", true},
      {L"C:", "c:", true},
      {L"C:\\", "c:\\mnt\\usbstick\\a.txt", true},      // a name that merely begins like the mount
      {L"C:\\", "c:\\mnt\\usb\\a.txt", false},          // the stick's
      {L"C:\\", "c:\\mnt\\usb", false},                  // the stick's root folder
      {L"C:\\", "c:\\mnt\\usb\\e\\a.txt", false},        // E's, inside the stick's
      {L"C:\\", "d:\\c-again\\a.txt", true},             // C through its other mount
      {L"C:\\", "d:\\other.txt", false},
      {L"C:\\", "volume{c}\\a.txt", true},               // a volume without a letter's name
      {L"U:\\", "c:\\mnt\\usb\\a.txt", true},
      {L"U:\\", "c:\\mnt\\usb\\e\\a.txt", false},
      {L"U:\\", "c:\\a.txt", false},
      {L"C:\\mnt\\usb", "u:\\a.txt", true},              // the mounted folder stands for the stick
      {L"\\\\?\\Volume{e}\\", "c:\\mnt\\usb\\e\\a.txt", true},
      {L"\\\\?\\Volume{e}\\", "e:\\a.txt", true},
      {L"X:\\", "x:\\a.txt", true},                      // no volume name: its root alone
      {L"\\\\server\\share", "\\\\server\\share\\a.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.path));
    const std::optional<std::wstring> root = drive_root(c.target, kStandIn);
    ASSERT_TRUE(root);
    EXPECT_EQ(drive_scope(*root, kStandIn).owns(c.path), c.owned);
  }
}

TEST(DriveScope, OnlyAVolumesRootIsADriveAndAVolumeNameKeepsItsPrefix) {
  EXPECT_EQ(drive_root(L"E:", kStandIn), std::optional<std::wstring>(L"E:\\"));
  EXPECT_EQ(drive_root(L"\\\\?\\E:\\", kStandIn), std::optional<std::wstring>(L"\\\\?\\E:\\"));
  EXPECT_EQ(drive_root(L"C:\\mnt\\usb", kStandIn), std::optional<std::wstring>(L"C:\\mnt\\usb\\"));
  EXPECT_EQ(drive_root(L"C:\\mnt", kStandIn), std::nullopt);       // a folder on C
  EXPECT_EQ(drive_root(L"C:\\users", kStandIn), std::nullopt);     // not even asked
  EXPECT_EQ(drive_root(L"\\\\server\\share\\dir", kStandIn), std::nullopt);
  // A handle on a volume with no letter is named by its volume name, which needs its prefix.
  EXPECT_EQ(volume_path_spelling(L"Volume{e}\\a.txt"), L"\\\\?\\Volume{e}\\a.txt");
  EXPECT_EQ(volume_path_spelling(L"E:\\Volume{e}\\a.txt"), L"E:\\Volume{e}\\a.txt");
}

}  // namespace
}  // namespace tw
