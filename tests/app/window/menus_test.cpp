#include <gtest/gtest.h>

#include "app/language/catalogue.h"
#include "app/window/menus.h"
#include "common/text.h"

namespace tw {
namespace {

std::vector<UINT> checked_ids(const MenuModel& model) {
  std::vector<UINT> ids;
  for (const MenuItem& item : model) {
    if (item.checked) ids.push_back(item.id);
    for (const UINT id : checked_ids(item.submenu)) ids.push_back(id);
  }
  return ids;
}

TEST(MenuSettings, LanguagesAndChecksFollowTheStoredValues) {
  const MenuModel none = settings_menu_model(SettingsMenuState{});
  ASSERT_EQ(none.size(), 7u);
  const MenuItem& languages = none[0];
  EXPECT_EQ(languages.kind, MenuItemKind::Submenu);
  ASSERT_EQ(languages.submenu.size(), 2 + kLanguages.size());
  EXPECT_EQ(languages.submenu[1].kind, MenuItemKind::Separator);
  EXPECT_EQ(languages.submenu[4].id, 103u);
  EXPECT_EQ(languages.submenu[4].label, "日本語");
  EXPECT_EQ(languages.submenu[11].label, "Русский");
  // Nothing stored: Follow Windows and automatic updates are checked, nothing else.
  EXPECT_EQ(checked_ids(none), (std::vector<UINT>{kMenuFollowWindows, kMenuAutoUpdate}));
  EXPECT_EQ(none[1].label, localized(msg::kAddToExplorerMenu));
  std::vector<UINT> ids;
  for (const MenuItem& item : none) ids.push_back(item.id);
  EXPECT_EQ(ids, (std::vector<UINT>{0, 1, 0, 2, 3, 4, 5}));

  const MenuModel chosen = settings_menu_model(SettingsMenuState{"zh-Hant", true, 0u, std::nullopt, false});
  EXPECT_EQ(checked_ids(chosen), (std::vector<UINT>{105}));
  EXPECT_EQ(chosen[1].label, localized(msg::kRemoveFromExplorerMenu));
  EXPECT_EQ(checked_ids(settings_menu_model(SettingsMenuState{"", false, 7u, std::nullopt, false})),
            (std::vector<UINT>{kMenuFollowWindows, kMenuAutoUpdate}));
  // A value that is no language code is ignored at start-up: Windows' language is followed.
  EXPECT_EQ(checked_ids(settings_menu_model(SettingsMenuState{"EN", false, 0u, std::nullopt, false})), (std::vector<UINT>{kMenuFollowWindows}));
}

TEST(MenuSettings, EachIdAsksForItsAction) {
  SettingsMenuState state;
  // Automatic updates flip between the stored values: missing -> 0 -> 1 -> 0.
  MenuAction toggle = settings_action(kMenuAutoUpdate, state);
  EXPECT_EQ(toggle.kind, MenuActionKind::SetAutoUpdate);
  EXPECT_EQ(toggle.auto_update, 0u);
  state.auto_update = toggle.auto_update;
  EXPECT_EQ(settings_action(kMenuAutoUpdate, state).auto_update, 1u);
  state.auto_update = 1u;
  EXPECT_EQ(settings_action(kMenuAutoUpdate, state).auto_update, 0u);

  EXPECT_TRUE(settings_action(kMenuExplorerEntry, state).enable);
  state.explorer_installed = true;
  EXPECT_FALSE(settings_action(kMenuExplorerEntry, state).enable);
  state.explorer_managed = true;  // the machine's entry: shown, greyed, never acted on
  EXPECT_EQ(settings_action(kMenuExplorerEntry, state).kind, MenuActionKind::None);
  EXPECT_FALSE(settings_menu_model(state)[1].enabled);
  EXPECT_EQ(settings_menu_model(state)[1].label, localized(msg::kRemoveFromExplorerMenu));
  state.explorer_managed = false;

  state.language = "ko";
  const MenuAction follow = settings_action(kMenuFollowWindows, state);
  EXPECT_EQ(follow.kind, MenuActionKind::SetLanguage);
  EXPECT_EQ(follow.language, "");
  EXPECT_EQ(settings_action(101, state).language, "en");
  EXPECT_EQ(settings_action(110, state).language, "ru");

  for (const UINT id : {0u, 6u, 99u, 111u, 0xFFFFFFFFu}) {
    EXPECT_EQ(settings_action(id, state).kind, MenuActionKind::None) << id;
  }
}

// The machine's policy wins over the user's value, and the user cannot change it from here.
TEST(MenuSettings, AnUpdatePolicyDecidesAndTheUserCannotChangeIt) {
  constexpr std::optional<std::uint32_t> none;
  const struct {
    std::optional<std::uint32_t> stored, policy;
    bool checked, can_toggle, can_check_now;
  } cases[] = {
      {none, none, true, true, true},   {0u, none, false, true, true}, {1u, 0u, false, false, false},
      {none, 0u, false, false, false},  {0u, 1u, true, false, true},  {none, 7u, true, false, true},
  };
  for (const auto& c : cases) {
    const SettingsMenuState state{std::nullopt, false, c.stored, c.policy, false};
    const MenuModel model = settings_menu_model(state);
    std::vector<UINT> ids;
    for (const MenuItem& item : model) ids.push_back(item.id);
    const std::string label = "stored " + std::to_string(c.stored.value_or(99)) + ", policy " +
                              std::to_string(c.policy.value_or(99));
    ASSERT_EQ(model.size(), 7u) << label;
    EXPECT_EQ(model[3].checked, c.checked) << label;
    EXPECT_EQ(model[3].enabled, c.can_toggle) << label;
    EXPECT_EQ(model[4].id, c.can_check_now ? kMenuCheckForUpdates : kMenuManagedUpdates) << label;
    EXPECT_EQ(model[4].enabled, c.can_check_now) << label;
    EXPECT_EQ(settings_action(kMenuAutoUpdate, state).kind,
              c.can_toggle ? MenuActionKind::SetAutoUpdate : MenuActionKind::None) << label;
    EXPECT_EQ(settings_action(kMenuCheckForUpdates, state).kind,
              c.can_check_now ? MenuActionKind::CheckForUpdates : MenuActionKind::None) << label;
    EXPECT_EQ(settings_action(kMenuManagedUpdates, state).kind, MenuActionKind::None) << label;
  }
  const UniqueMenu menu = build_menu(settings_menu_model(SettingsMenuState{std::nullopt, false, 1u, 0u, false}));
  ASSERT_TRUE(menu);
  EXPECT_TRUE(::GetMenuState(menu.get(), kMenuAutoUpdate, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(::GetMenuState(menu.get(), kMenuManagedUpdates, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_EQ(::GetMenuState(menu.get(), kMenuCheckForUpdates, MF_BYCOMMAND), static_cast<UINT>(-1));
}

TEST(MenuBuild, WindowsMenuCarriesTheModel) {
  const UniqueMenu menu = build_menu(settings_menu_model(SettingsMenuState{"de", false, std::nullopt, std::nullopt, false}));
  ASSERT_TRUE(menu);
  ASSERT_EQ(::GetMenuItemCount(menu.get()), 7);
  const HMENU languages = ::GetSubMenu(menu.get(), 0);
  ASSERT_NE(languages, nullptr);
  EXPECT_EQ(::GetMenuItemCount(languages), 12);
  EXPECT_EQ(::GetMenuItemID(languages, 9), 108u);
  EXPECT_TRUE(::GetMenuState(languages, 108, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(::GetMenuState(languages, kMenuFollowWindows, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(::GetMenuState(menu.get(), 2, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_TRUE(::GetMenuState(menu.get(), kMenuAutoUpdate, MF_BYCOMMAND) & MF_CHECKED);

  wchar_t label[64] = {};
  ASSERT_GT(::GetMenuStringW(languages, 108, label, 64, MF_BYCOMMAND), 0);
  EXPECT_EQ(to_utf8(label), "Deutsch");
}

}  // namespace
}  // namespace tw
