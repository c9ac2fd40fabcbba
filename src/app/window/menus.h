#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/window/window_host.h"
#include "common/handles.h"

namespace tw {

// The ids TrackPopupMenu returns for the settings menu.
inline constexpr UINT kMenuExplorerEntry = 1;
inline constexpr UINT kMenuAutoUpdate = 2;
inline constexpr UINT kMenuCheckForUpdates = 3;
inline constexpr UINT kMenuMoreApps = 4;
inline constexpr UINT kMenuAbout = 5;
inline constexpr UINT kMenuManagedUpdates = 6;  // the note that an organisation manages updates
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
  bool enabled = true;
};

using MenuModel = std::vector<MenuItem>;

// What the settings menu depends on, read once when it opens; the chosen item acts on the
// same facts the user saw.
struct SettingsMenuState {
  std::optional<std::string> language;      // the stored "Language"
  bool explorer_installed = false;
  std::optional<std::uint32_t> auto_update;  // the stored "AutoUpdate"
  std::optional<std::uint32_t> auto_update_policy;  // the machine's policy, which wins
  bool explorer_managed = false;  // the File Explorer entry is the machine's, not the user's
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

// Shows the model at a screen point, owned by the window; the chosen id, 0 when dismissed.
UINT track_menu(const FreeTime& free, const MenuModel& model, POINT screen_point);

// Writes the settings, changes the File Explorer entry, tells the user; opens the site or
// the About box.
void apply_settings_action(MainWindow& w, const MenuAction& action);

}  // namespace tw
