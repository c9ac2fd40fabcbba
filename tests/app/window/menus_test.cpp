#include <gtest/gtest.h>
#include <shlobj.h>

#include "app/language/catalogue.h"
#include "app/window/menus.h"
#include "common/text.h"
#include "support/temp_dir.h"

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

  const MenuModel chosen = settings_menu_model(SettingsMenuState{"zh-Hant", true, 0u});
  EXPECT_EQ(checked_ids(chosen), (std::vector<UINT>{105}));
  EXPECT_EQ(chosen[1].label, localized(msg::kRemoveFromExplorerMenu));
  EXPECT_EQ(checked_ids(settings_menu_model(SettingsMenuState{"", false, 7u})),
            (std::vector<UINT>{kMenuFollowWindows, kMenuAutoUpdate}));
  // A value that is no language code is ignored at start-up: Windows' language is followed.
  EXPECT_EQ(checked_ids(settings_menu_model(SettingsMenuState{"EN", false, 0u})), (std::vector<UINT>{kMenuFollowWindows}));
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

TEST(MenuBuild, WindowsMenuCarriesTheModel) {
  const UniqueMenu menu = build_menu(settings_menu_model(SettingsMenuState{"de", false, std::nullopt}));
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

struct BoxCall {
  HWND owner = nullptr;
  std::wstring text, caption;
  UINT flags = 0;
  int calls = 0;
  int answer = IDNO;
};
BoxCall g_box;

int stand_in(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  g_box.owner = owner;
  g_box.text = text;
  g_box.caption = caption;
  g_box.flags = flags;
  ++g_box.calls;
  return g_box.answer;
}

class ConfirmTest : public ::testing::Test {
 protected:
  void SetUp() override { g_box = BoxCall{}; }
};

TEST_F(ConfirmTest, FlagsCaptionAndOnlyYesConsents) {
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  g_box.answer = IDYES;
  EXPECT_TRUE(confirm(owner, "Force 'Ä' to quit?", ConfirmKind::Warning, &stand_in));
  EXPECT_EQ(g_box.owner, owner);
  EXPECT_EQ(g_box.text, L"Force 'Ä' to quit?");
  EXPECT_EQ(g_box.caption, L"Tarnwick");
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));

  confirm(owner, "x", ConfirmKind::Question, &stand_in);
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
  confirm(owner, "x", ConfirmKind::Offer, &stand_in);
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
  confirm(owner, "x", ConfirmKind::Information, &stand_in);
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));

  for (const int answer : {IDNO, IDOK, IDCANCEL, 0}) {
    g_box.answer = answer;
    EXPECT_FALSE(confirm(owner, "x", ConfirmKind::Question, &stand_in)) << answer;
  }
}

TEST_F(ConfirmTest, AboutBox) {
  show_about(nullptr, &stand_in);
  EXPECT_EQ(g_box.calls, 1);
  EXPECT_EQ(g_box.caption, to_wide(localized(msg::kAbout)));
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  const std::string expected_start =
      "Tarnwick 0.1.0\n\n" + std::string(localized(msg::kAboutText)) + "\n\n" TW_MAKER_URL "tarnwick/\n";
  const std::string text = to_utf8(g_box.text);
  ASSERT_GT(text.size(), expected_start.size());
  EXPECT_EQ(text.substr(0, expected_start.size()), expected_start);
  EXPECT_EQ(text.find('\n', expected_start.size()), std::string::npos);  // the legal line is the last
}

TEST(Picker, OptionsKeepTheDialogsOwn) {
  const FILEOPENDIALOGOPTIONS base = FOS_NOCHANGEDIR | FOS_PATHMUSTEXIST;
  EXPECT_EQ(picker_options(base, false), base | FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT);
  EXPECT_EQ(picker_options(base, true), base | FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT | FOS_PICKFOLDERS);
}

struct ComApartment {
  ComApartment() { ok = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  ~ComApartment() {
    if (ok) ::CoUninitialize();
  }
  bool ok = false;
};

TEST(Picker, ResultsKeepTheirOrderAndLeaveOutVirtualItems) {
  const ComApartment com;
  ASSERT_TRUE(com.ok);
  const test::TempDir dir;
  const std::wstring b = dir / L"b.txt", a = dir / L"ä.txt";
  ASSERT_TRUE(test::write_file(b) && test::write_file(a));

  PIDLIST_ABSOLUTE lists[3] = {};
  ASSERT_TRUE(SUCCEEDED(::SHParseDisplayName(b.c_str(), nullptr, &lists[0], 0, nullptr)));
  ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderIDList(FOLDERID_ComputerFolder, 0, nullptr, &lists[1])));
  ASSERT_TRUE(SUCCEEDED(::SHParseDisplayName(a.c_str(), nullptr, &lists[2], 0, nullptr)));
  ComPtr<IShellItemArray> items;
  const HRESULT made = ::SHCreateShellItemArrayFromIDLists(3, const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists), &items);
  for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
  ASSERT_TRUE(SUCCEEDED(made));

  EXPECT_EQ(file_system_paths(items.Get()), (std::vector<Target>{b, a}));
}

}  // namespace
}  // namespace tw
