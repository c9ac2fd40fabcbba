#pragma once

// Drives: whether a target is the root of a volume, and which paths lie on that volume, so
// that a drive is searched by what is open on it rather than by its files.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/paths.h"

namespace tw {

// The real volume calls, each nothing (or empty) when Windows cannot answer.
std::optional<std::wstring> volume_root_of(const std::wstring& path);                // GetVolumePathNameW
std::optional<std::wstring> volume_name_of(const std::wstring& root);                // GetVolumeNameForVolumeMountPointW
std::vector<std::wstring> mount_paths_of(const std::wstring& volume_name);           // GetVolumePathNamesForVolumeNameW
std::vector<std::wstring> every_volume();                                            // FindFirstVolumeW, FindNextVolumeW
// A folder that is a reparse point: only such folders, and paths spelled as roots, may be
// mounted folders, so only they are put to GetVolumePathNameW.
bool may_be_mount_folder(const std::wstring& path);

// The volume calls a drive search makes; tests replace them where Wine cannot answer (it
// has no mounted folders, and gives every drive letter a volume of its own).
struct DriveVolumeApi {
  std::optional<std::wstring> (*volume_root)(const std::wstring& path) = &volume_root_of;
  std::optional<std::wstring> (*volume_name)(const std::wstring& root) = &volume_name_of;
  std::vector<std::wstring> (*mount_paths)(const std::wstring& volume_name) = &mount_paths_of;
  std::vector<std::wstring> (*all_volumes)() = &every_volume;
  bool (*may_be_mount)(const std::wstring& path) = &may_be_mount_folder;
};

// Which paths lie on a drive's volume: under one of its own keys (its letters, mounted
// folders, volume name, the root as given), and not under a mounted folder of another volume
// inside it (C:\mnt\usb is the USB stick's, not C:'s).
struct DriveScope {
  std::vector<std::string> keys;                // path keys of the volume's own paths
  std::vector<std::string> foreign;             // keys of other volumes' mount folders inside them

  // Whether a normalised path (a path_key) lies on this volume.
  bool owns(std::string_view key) const;
};

// The root form of a path that is a drive root ("E:\", "\\?\Volume{...}\", a mounted folder,
// a share's root): GetVolumePathNameW gives the path itself. Nothing for any other path.
std::optional<std::wstring> drive_root(const Target& target, const DriveVolumeApi& api);

// The scope of the drive whose root is `root`. A volume that cannot be named (a share, or a
// letter Windows gives no volume name) is matched by the root alone.
DriveScope drive_scope(const std::wstring& root, const DriveVolumeApi& api);

// A path found by its volume name ("Volume{...}\dir\f", its "\\?\" gone with the other
// prefixes) gets that prefix back, as only that spelling reaches it; any other is unchanged.
std::wstring volume_path_spelling(std::wstring path);

}  // namespace tw
