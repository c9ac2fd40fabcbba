#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/window/main_window.h"
#include "common/handles.h"
#include "discovery/paths.h"

namespace tw {

// The ids TrackPopupMenu returns for the settings menu.
inline constexpr UINT kMenuExplorerEntry = 1;
inline constexpr UINT kMenuAutoUpdate = 2;
inline constexpr UINT kMenuCheckForUpdates = 3;
inline constexpr UINT kMenuMoreApps = 4;
inline constexpr UINT kMenuAbout = 5;
inline constexpr UINT kMenuFollowWindows = 100;
inline constexpr UINT kMenuFirstLanguage = 101;  // then one id per entry of kLanguages, in order

// And for the choose menu.
inline constexpr UINT kMenuChooseFiles = 1;
inline constexpr UINT kMenuChooseFolder = 2;

enum class MenuItemKind : std::uint8_t { Command, Separator, Submenu };

struct MenuItem {
  MenuItemKind kind = MenuItemKind::Command;
  UINT id = 0;  // commands only
  std::string label;
  bool checked = false;
  std::vector<MenuItem> submenu;  // Submenu only
};

using MenuModel = std::vector<MenuItem>;

// What the settings menu depends on, read once when it opens; the chosen item acts on the
// same facts the user saw.
struct SettingsMenuState {
  std::optional<std::string> language;      // the stored "Language"
  bool explorer_installed = false;
  std::optional<std::uint32_t> auto_update;  // the stored "AutoUpdate"
};

SettingsMenuState read_settings_menu_state();

MenuModel settings_menu_model(const SettingsMenuState& state);
MenuModel choose_menu_model();

enum class MenuActionKind : std::uint8_t {
  None,
  SetExplorerEntry,  // install (enable) or remove the File Explorer entry
  SetAutoUpdate,     // store auto_update
  CheckForUpdates,
  OpenWebSite,
  About,
  SetLanguage,       // store language ("" follows Windows)
};

struct MenuAction {
  MenuActionKind kind = MenuActionKind::None;
  bool enable = false;
  std::uint32_t auto_update = 0;
  std::string language;
};

// What a settings menu id asks for, given the state the menu was built from. 0 (dismissed)
// and unknown ids ask for nothing.
MenuAction settings_action(UINT id, const SettingsMenuState& state);

// The popup menu of a model; an item Windows refuses is left out. Nothing when the menu
// itself cannot be made.
UniqueMenu build_menu(const MenuModel& model);

// Shows the model at a screen point, owned by `owner`; the chosen id, 0 when dismissed.
UINT track_menu(HWND owner, const MenuModel& model, POINT screen_point);

// Writes the settings, changes the File Explorer entry, tells the user; opens the site or
// the About box.
void apply_settings_action(MainWindow& w, const MenuAction& action);

// --- The system file picker ---

// The dialog's own options plus what the program needs.
FILEOPENDIALOGOPTIONS picker_options(FILEOPENDIALOGOPTIONS current, bool folder);

// UTF-8, in the current language.
std::string_view picker_title(bool folder);

// The file-system paths of the items, in their order; items without one are left out.
std::vector<Target> file_system_paths(IShellItemArray* items);

// Files (or one folder) chosen by the user, in the dialog's order; empty when cancelled or
// when the dialog cannot be made or shown. COM must be initialised on this thread.
std::vector<Target> pick_paths(HWND owner, bool folder);

// --- Message boxes ---

enum class ConfirmKind : std::uint8_t {
  Question,     // an action that takes effort to undo: default No
  Warning,      // an action that can lose data: default No
  Information,  // a refusal or a result: OK only
  Offer,        // an offer to take up (an update): default Yes
};

UINT confirm_flags(ConfirmKind kind);

// How a message box is shown: MessageBoxW, or a test's stand-in (WindowPlatform holds it).
using MessageBoxFunction = int(WINAPI*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// A message box captioned "Tarnwick"; true only when the user answered Yes.
bool confirm(HWND owner, std::string_view text, ConfirmKind kind, MessageBoxFunction box = &::MessageBoxW);

// "Tarnwick 0.1.0", the description, the product page and the legal line.
std::string about_text();
void show_about(HWND owner, MessageBoxFunction box = &::MessageBoxW);

}  // namespace tw
