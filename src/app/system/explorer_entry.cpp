#include "app/system/explorer_entry.h"

#include <windows.h>

#include "app/system/settings.h"
#include "common/text.h"
#include "discovery/paths.h"

namespace tw {
namespace {

std::wstring command_key(std::wstring_view verb_key) { return std::wstring(verb_key) + L"\\command"; }

}  // namespace

bool is_explorer_menu_installed() {
  for (const std::wstring_view key : kExplorerVerbKeys) {
    if (!read_string_setting(command_key(key), L"")) return false;
  }
  return true;
}

void write_explorer_verbs(std::wstring_view exe_path, std::string_view verb_text) {
  if (exe_path.empty()) return;
  const std::string path = to_utf8(exe_path);
  const std::string command = "\"" + path + "\" \"%1\"";
  const std::string icon = "\"" + path + "\",0";
  for (const std::wstring_view key : kExplorerVerbKeys) {
    const std::wstring command_subkey = command_key(key);
    // Rewritten only when the program moved or the language changed.
    if (read_string_setting(command_subkey, L"") == command && read_string_setting(key, L"MUIVerb") == verb_text) {
      continue;
    }
    write_string_setting(key, L"MUIVerb", verb_text);
    write_string_setting(key, L"Icon", icon);
    write_string_setting(command_subkey, L"", command);
  }
}

void remove_explorer_menu() {
  if (!user_registry_writable()) return;
  for (const std::wstring_view key : kExplorerVerbKeys) {
    static_cast<void>(::RegDeleteTreeW(HKEY_CURRENT_USER, std::wstring(key).c_str()));
  }
}

void set_explorer_menu(bool enable, std::string_view verb_text) {
  if (enable) {
    write_explorer_verbs(own_executable_path(), verb_text);
    write_dword_setting(kValueExplorerMenu, 1);
  } else {
    remove_explorer_menu();
    write_dword_setting(kValueExplorerMenu, 0);
  }
}

void refresh_explorer_menu(std::string_view verb_text) {
  if (read_dword_setting(kValueExplorerMenu) == 0u) return;  // the user removed it
  set_explorer_menu(true, verb_text);
}

int run_unregister() {
  remove_explorer_menu();
  static_cast<void>(::RegDeleteTreeW(HKEY_CURRENT_USER, std::wstring(kSettingsKey).c_str()));
  return 0;
}

}  // namespace tw
