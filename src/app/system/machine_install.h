#pragma once

// What an installation for every user of the machine (the installer's /ALLUSERS) changes for
// the program: its File Explorer entry is the machine's, and its updates are the
// organisation's to install.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tw {

// The "Apps & features" entry, under HKEY_LOCAL_MACHINE for an installation for every user.
inline constexpr std::wstring_view kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnwick";

// Whether a verb's command line starts the program at `exe_path`: its first, quoted, argument
// names the same path in any letter case or with a "\\?\" prefix.
bool command_starts(std::wstring_view command, std::wstring_view exe_path);

// Whether `folder` (an entry's InstallLocation) is the folder that holds `exe_path`.
bool is_folder_of(std::wstring_view folder, std::wstring_view exe_path);

// Whether this program is the installation for every user: the machine's entry names its folder.
bool installed_for_all_users();

// Whether the machine's File Explorer entry starts this program. That entry is then the one
// File Explorer shows, so the user's own is neither written nor offered.
bool explorer_menu_is_machines();

// The machine's say on automatic updates: the policy's "AutoUpdate"; else 0 for the
// installation for every user, whose users cannot replace files in Program Files; else nothing.
std::optional<std::uint32_t> auto_update_policy();

}  // namespace tw
