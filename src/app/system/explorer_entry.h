#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tw {

// The per-user verbs that put "Unlock with Tarnwick" in File Explorer's right-click menu of
// files and of folders.
inline constexpr std::array<std::wstring_view, 2> kExplorerVerbKeys{
    L"Software\\Classes\\*\\shell\\Tarnwick",
    L"Software\\Classes\\Directory\\shell\\Tarnwick",
};

// Both verbs have a command.
bool is_explorer_menu_installed();

// Adds (pointing at this executable, named `verb_text`: "Unlock with Tarnwick" in the current
// language) or removes the entry, and remembers the choice in "ExplorerMenu".
void set_explorer_menu(bool enable, std::string_view verb_text);

// Deletes both verb keys with everything below them.
void remove_explorer_menu();

// Writes the verbs for `exe_path` with `verb_text`, leaving alone a verb whose command and
// text already match. Nothing under the classes key when `exe_path` is empty.
void write_explorer_verbs(std::wstring_view exe_path, std::string_view verb_text);

// Run before the main window exists: keeps the entry pointing at this executable unless
// the user removed it.
void refresh_explorer_menu(std::string_view verb_text);

// The "--unregister" run: removes the entry and all settings. Returns the exit status, 0.
int run_unregister();

}  // namespace tw
