#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// What protected paths are compared by: the path's text with every trailing backslash
// removed, in full Unicode lower case.
std::string protection_key(std::wstring_view path);

// The Windows and user system folders, read from the environment as it is now: the
// folders named by the usual variables, then the profile's own subfolders.
std::vector<std::wstring> protected_folders();

// A drive root, an empty path, a Windows or user system folder, or a folder that contains
// one. Paths inside such a folder are not protected. Reads the environment on every call.
bool is_protected_path(std::wstring_view path);

}  // namespace tw
