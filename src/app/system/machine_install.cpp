#include "app/system/machine_install.h"

#include <windows.h>

#include <string>

#include "app/system/account.h"
#include "app/system/explorer_entry.h"
#include "app/system/settings.h"
#include "discovery/paths.h"

namespace tw {

bool command_starts(std::wstring_view command, std::wstring_view exe_path) {
  if (command.size() < 2 || command.front() != L'"' || exe_path.empty()) return false;
  const std::size_t close = command.find(L'"', 1);
  if (close == std::wstring_view::npos) return false;
  return path_key(command.substr(1, close - 1)) == path_key(exe_path);
}

bool is_folder_of(std::wstring_view folder, std::wstring_view exe_path) {
  const std::size_t slash = exe_path.find_last_of(L"\\/");
  if (folder.empty() || slash == std::wstring_view::npos) return false;
  return path_key(folder) == path_key(exe_path.substr(0, slash));
}

bool installed_for_all_users() {
  const std::optional<std::wstring> folder =
      registry_text(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey), L"InstallLocation");
  return folder && is_folder_of(*folder, own_executable_path());
}

bool explorer_menu_is_machines() {
  const std::wstring exe = own_executable_path();
  for (const std::wstring_view key : kExplorerVerbKeys) {
    const std::optional<std::wstring> command =
        registry_text(HKEY_LOCAL_MACHINE, std::wstring(key) + L"\\command", nullptr);
    if (!command || !command_starts(*command, exe)) return false;
  }
  return true;
}

std::optional<std::uint32_t> auto_update_policy() {
  if (const std::optional<std::uint32_t> policy = read_policy_dword(kValueAutoUpdate)) return policy;
  if (installed_for_all_users()) return 0u;
  return std::nullopt;
}

}  // namespace tw
