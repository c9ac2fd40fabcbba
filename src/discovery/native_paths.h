#pragma once

// Names the system gives files in its own namespace (\Device\HarddiskVolume3\dir\file), turned
// into the paths users know (C:\dir\file).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// One MS-DOS device name and where it leads now: "C:" and "\Device\HarddiskVolume3",
// "S:" and "\??\C:\folder" (a substituted drive), "Z:" and
// "\Device\LanmanRedirector\;Z:000...\server\share" (a mapped share), or
// "Volume{guid}" and "\Device\HarddiskVolume3".
struct DosDevice {
  std::wstring name;
  std::wstring target;
};
using DosDeviceTable = std::vector<DosDevice>;

// The path a native name stands for: volume devices through the drive letter that leads to
// the device itself (never a substituted one), network redirectors and \??\UNC as \\server\share,
// \??\X: as X:, volume names through their volume's letter. Nothing for a name no drive or
// share reaches.
std::optional<std::wstring> dos_path_of_native(std::wstring_view native, const DosDeviceTable& devices);

// The drive letters A to Z and the volumes, each with its current target; read once per search,
// since letters come and go.
DosDeviceTable read_dos_devices();

}  // namespace tw
