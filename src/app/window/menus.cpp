#include "app/window/menus.h"

#include <shellapi.h>

#include <memory>

#include "app/language/catalogue.h"
#include "app/system/explorer_entry.h"
#include "app/system/machine_install.h"
#include "app/system/settings.h"
#include "app/window/message_boxes.h"
#include "app/window/update_prompts.h"
#include "common/text.h"
#include "version.h"

namespace tw {
namespace {

MenuItem command(UINT id, std::string_view label, bool checked = false) {
  return MenuItem{MenuItemKind::Command, id, std::string(label), checked, {}};
}

MenuItem separator() { return MenuItem{MenuItemKind::Separator, 0, {}, false, {}}; }

bool is_language_code(std::string_view code) {
  for (const Language& language : kLanguages) {
    if (language.code == code) return true;
  }
  return false;
}

// Appends the items it can; a refused item is left out, as is a submenu Windows would not
// take (it is destroyed then, since no menu owns it).
void append_items(HMENU menu, const MenuModel& model) {
  for (const MenuItem& item : model) {
    switch (item.kind) {
      case MenuItemKind::Separator:
        static_cast<void>(::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr));
        break;
      case MenuItemKind::Command: {
        const UINT flags = MF_STRING | (item.checked ? UINT{MF_CHECKED} : 0u) | (item.enabled ? 0u : UINT{MF_GRAYED});
        static_cast<void>(::AppendMenuW(menu, flags, item.id, to_wide(item.label).c_str()));
        break;
      }
      case MenuItemKind::Submenu: {
        UniqueMenu sub(::CreatePopupMenu());
        if (!sub) break;
        append_items(sub.get(), item.submenu);
        if (::AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub.get()),
                          to_wide(item.label).c_str())) {
          static_cast<void>(sub.release());  // the parent menu destroys it now
        }
        break;
      }
    }
  }
}

void open_web_site(HWND owner) {
  const std::wstring address = to_wide(localized(msg::kWebSite));
  // A failure has no better answer than the browser not opening.
  static_cast<void>(::ShellExecuteW(owner, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

// Automatic updates and Check for updates. Under a policy the user cannot change the first;
// under one that turns updates off, a greyed note takes the place of the second.
void append_update_items(MenuModel& model, const SettingsMenuState& state) {
  MenuItem automatic = command(kMenuAutoUpdate, localized(msg::kAutomaticUpdates),
                               auto_update_enabled(effective_auto_update(state.auto_update_policy, state.auto_update)));
  automatic.enabled = !state.auto_update_policy;
  model.push_back(std::move(automatic));
  if (auto_update_enabled(state.auto_update_policy)) {
    model.push_back(command(kMenuCheckForUpdates, localized(msg::kCheckForUpdates)));
    return;
  }
  MenuItem note = command(kMenuManagedUpdates, localized(msg::kUpdatesManagedByOrganisation));
  note.enabled = false;
  model.push_back(std::move(note));
}

}  // namespace

SettingsMenuState read_settings_menu_state() {
  return SettingsMenuState{read_string_setting(kSettingsKey, kValueLanguage), is_explorer_menu_installed(),
                           read_dword_setting(kValueAutoUpdate), auto_update_policy(), explorer_menu_is_machines()};
}

MenuModel settings_menu_model(const SettingsMenuState& state) {
  // Any stored value that is not one of the codes is ignored at start-up, so Windows'
  // language is what the program follows then.
  const bool follows_windows = !state.language || !is_language_code(*state.language);
  MenuItem languages{MenuItemKind::Submenu, 0, std::string(localized(msg::kLanguage)), false, {}};
  languages.submenu.push_back(command(kMenuFollowWindows, localized(msg::kFollowWindows), follows_windows));
  languages.submenu.push_back(separator());
  UINT id = kMenuFirstLanguage;
  for (const Language& language : kLanguages) {
    languages.submenu.push_back(command(id++, language.name, !follows_windows && *state.language == language.code));
  }

  MenuModel model;
  model.push_back(std::move(languages));
  const bool installed = state.explorer_installed || state.explorer_managed;
  MenuItem entry = command(kMenuExplorerEntry, localized(installed ? msg::kRemoveFromExplorerMenu : msg::kAddToExplorerMenu));
  entry.enabled = !state.explorer_managed;
  model.push_back(std::move(entry));
  model.push_back(separator());
  append_update_items(model, state);
  model.push_back(command(kMenuMoreApps, localized(msg::kMoreApps)));
  model.push_back(command(kMenuAbout, localized(msg::kAbout)));
  return model;
}

MenuModel choose_menu_model() {
  return {command(kMenuChooseFiles, localized(msg::kMenuChooseFiles)),
          command(kMenuChooseFolder, localized(msg::kMenuChooseFolder))};
}

MenuAction settings_action(UINT id, const SettingsMenuState& state) {
  MenuAction action;
  switch (id) {
    case kMenuExplorerEntry:
      if (state.explorer_managed) return action;
      action.kind = MenuActionKind::SetExplorerEntry;
      action.enable = !state.explorer_installed;
      return action;
    case kMenuAutoUpdate:
      if (state.auto_update_policy) return action;
      action.kind = MenuActionKind::SetAutoUpdate;
      action.auto_update = toggled_auto_update(state.auto_update);
      return action;
    case kMenuCheckForUpdates:
      if (!auto_update_enabled(state.auto_update_policy)) return action;
      action.kind = MenuActionKind::CheckForUpdates;
      return action;
    case kMenuMoreApps:
      action.kind = MenuActionKind::OpenWebSite;
      return action;
    case kMenuAbout:
      action.kind = MenuActionKind::About;
      return action;
    case kMenuFollowWindows:
      action.kind = MenuActionKind::SetLanguage;
      return action;
    default:
      break;
  }
  if (id >= kMenuFirstLanguage && id - kMenuFirstLanguage < kLanguages.size()) {
    action.kind = MenuActionKind::SetLanguage;
    action.language = std::string(kLanguages[id - kMenuFirstLanguage].code);
  }
  return action;
}

UniqueMenu build_menu(const MenuModel& model) {
  UniqueMenu menu(::CreatePopupMenu());
  if (menu) append_items(menu.get(), model);
  return menu;
}

UINT track_menu(const FreeTime& free, const MenuModel& model, POINT screen_point) {
  const UniqueMenu menu = build_menu(model);
  if (!menu) return 0;
  const BOOL chosen = ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screen_point.x, screen_point.y,
                                       0, free.owner(), nullptr);
  return chosen > 0 ? static_cast<UINT>(chosen) : 0;
}

void apply_settings_action(MainWindow& w, const MenuAction& action) {
  switch (action.kind) {
    case MenuActionKind::None:
      return;
    case MenuActionKind::SetExplorerEntry:
      set_explorer_menu(action.enable, localized(msg::kUnlockWithTarnwick));
      // What was asked for is confirmed, as the menu's own entry will show it next time.
      show_notice(w, std::string(localized(action.enable ? msg::kAddedToExplorerMenu : msg::kRemovedFromExplorerMenu)));
      return;
    case MenuActionKind::SetAutoUpdate:
      write_dword_setting(kValueAutoUpdate, action.auto_update);
      return;
    case MenuActionKind::CheckForUpdates:
      start_update_check(w, true);
      return;
    case MenuActionKind::OpenWebSite:
      open_web_site(w.state.window);
      return;
    case MenuActionKind::About:
      defer_while_free([](const FreeTime& free) { show_about(free); });
      return;
    case MenuActionKind::SetLanguage:
      // The interface keeps its language until the next start.
      write_string_setting(kSettingsKey, kValueLanguage, action.language);
      show_notice(w, std::string(localized(msg::kTakesEffectNextStart)));
      return;
  }
}

}  // namespace tw
