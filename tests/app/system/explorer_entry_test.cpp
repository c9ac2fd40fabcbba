#include <gtest/gtest.h>

#include "app/system/explorer_entry.h"
#include "app/system/machine_install.h"
#include "app/system/settings.h"
#include "common/text.h"
#include "discovery/paths.h"
#include "support/holder_process.h"

namespace tw {
namespace {

constexpr wchar_t kFiles[] = L"Software\\Classes\\*\\shell\\Tarnwick";
constexpr wchar_t kFolders[] = L"Software\\Classes\\Directory\\shell\\Tarnwick";
constexpr wchar_t kExe[] = L"C:\\Program Files\\Tarnwick\\tarnwick.exe";
constexpr char kVerb[] = "Unlock with Tarnwick";

bool key_exists(const wchar_t* key) {
  HKEY h = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  ::RegCloseKey(h);
  return true;
}

class ExplorerEntry : public testing::Test {
 protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    remove_explorer_menu();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
  }
  static std::optional<std::string> value(const std::wstring& key, const wchar_t* name) {
    return read_string_setting(key, name);
  }
};

TEST_F(ExplorerEntry, WritesBothVerbsAndRewritesOnlyWhatChanged) {
  EXPECT_FALSE(is_explorer_menu_installed());
  write_explorer_verbs(kExe, "Unlock with Tarnwick");
  EXPECT_TRUE(is_explorer_menu_installed());
  for (const std::wstring key : {kFiles, kFolders}) {
    EXPECT_EQ(value(key, L"MUIVerb"), "Unlock with Tarnwick");
    EXPECT_EQ(value(key, L"Icon"), "\"C:\\Program Files\\Tarnwick\\tarnwick.exe\",0");
    EXPECT_EQ(value(key + L"\\command", L""), "\"C:\\Program Files\\Tarnwick\\tarnwick.exe\" \"%1\"");
  }

  // Nothing changed: nothing is written (the icon, never compared, would be rewritten).
  write_string_setting(kFiles, L"Icon", "marker");
  write_string_setting(kFolders, L"Icon", "marker");
  write_explorer_verbs(kExe, "Unlock with Tarnwick");
  EXPECT_EQ(value(kFiles, L"Icon"), "marker");
  EXPECT_EQ(value(kFolders, L"Icon"), "marker");

  // Another language: both verbs are rewritten whole.
  write_explorer_verbs(kExe, "Tarnwick 으로 잠금 풀기");
  EXPECT_EQ(value(kFiles, L"MUIVerb"), "Tarnwick 으로 잠금 풀기");
  EXPECT_EQ(value(kFolders, L"MUIVerb"), "Tarnwick 으로 잠금 풀기");
  EXPECT_NE(value(kFolders, L"Icon"), "marker");

  // Only the folder verb gone: it alone comes back.
  write_string_setting(kFiles, L"Icon", "marker");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kFolders);
  EXPECT_FALSE(is_explorer_menu_installed());
  write_explorer_verbs(kExe, "Tarnwick 으로 잠금 풀기");
  EXPECT_TRUE(is_explorer_menu_installed());
  EXPECT_EQ(value(kFiles, L"Icon"), "marker");

  // No path to point at: nothing written.
  remove_explorer_menu();
  write_explorer_verbs(L"", "Unlock with Tarnwick");
  EXPECT_FALSE(key_exists(kFiles));
}

TEST_F(ExplorerEntry, StartsKeepItUnlessTheUserRemovedIt) {
  refresh_explorer_menu(kVerb);  // first start
  EXPECT_TRUE(is_explorer_menu_installed());
  EXPECT_EQ(read_dword_setting(kValueExplorerMenu), 1u);
  const auto command = value(std::wstring(kFiles) + L"\\command", L"");
  ASSERT_TRUE(command);
  EXPECT_NE(command->find("tw_registry_tests.exe\" \"%1\""), std::string::npos);

  set_explorer_menu(false, kVerb);  // "Remove from File Explorer menu"
  EXPECT_FALSE(is_explorer_menu_installed());
  EXPECT_EQ(read_dword_setting(kValueExplorerMenu), 0u);
  refresh_explorer_menu(kVerb);  // a later start leaves it out
  EXPECT_FALSE(key_exists(kFiles));
  EXPECT_FALSE(key_exists(kFolders));

  set_explorer_menu(true, kVerb);  // "Add to File Explorer menu"
  EXPECT_TRUE(is_explorer_menu_installed());
  EXPECT_EQ(value(kFiles, L"MUIVerb"), kVerb);
  EXPECT_EQ(read_dword_setting(kValueExplorerMenu), 1u);
}

TEST_F(ExplorerEntry, UnregisterLeavesNoTrace) {
  set_explorer_menu(true, kVerb);
  write_string_setting(kSettingsKey, kValueLanguage, "fr");
  write_dword_setting(kValueAutoUpdate, 0);
  ASSERT_TRUE(key_exists(L"Software\\Tarnwick"));

  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"D:\\x", L"--unregister"}), 0u);
  EXPECT_FALSE(key_exists(kFiles));
  EXPECT_FALSE(key_exists(kFolders));
  EXPECT_FALSE(key_exists(L"Software\\Tarnwick"));
  EXPECT_TRUE(key_exists(L"Software\\Classes"));  // nothing but our own keys goes
}

TEST(MachineInstall, CommandsAndFoldersNameTheProgramInAnySpellingOfIt) {
  const struct {
    const wchar_t* text;
    bool command, folder;  // as a verb's command; as an InstallLocation
  } cases[] = {
      {L"\"C:\\Program Files\\Tarnwick\\tarnwick.exe\" \"%1\"", true, false},
      {L"\"c:\\program files\\TARNWICK\\Tarnwick.EXE\" \"%1\"", true, false},
      {L"\"\\\\?\\C:\\Program Files\\Tarnwick\\tarnwick.exe\" \"%1\"", true, false},
      {L"C:\\Program Files\\Tarnwick\\tarnwick.exe \"%1\"", false, false},  // unquoted: not ours to read
      {L"\"C:\\Program Files\\Tarnwick\\tarnwick.exe", false, false},          // unclosed
      {L"\"C:\\Program Files\\Tarnwick2\\tarnwick.exe\" \"%1\"", false, false},
      {L"\"\" \"%1\"", false, false},
      {L"", false, false},
      {L"C:\\Program Files\\Tarnwick", false, true},
      {L"c:\\program files\\tarnwick\\", false, true},
      {L"C:\\Program Files", false, false},
      {L"C:\\Program Files\\Tarnwick\\tarnwick.exe", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(command_starts(c.text, kExe), c.command) << to_utf8(c.text);
    EXPECT_EQ(is_folder_of(c.text, kExe), c.folder) << to_utf8(c.text);
  }
}

// What the installer's /ALLUSERS writes under HKEY_LOCAL_MACHINE, naming this very program.
TEST(MachineInstall, TheMachinesEntriesNamingThisProgramMakeItTheMachines) {
  const std::wstring exe = own_executable_path();
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
  const auto put = [](const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text.c_str(),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  };
  const auto clean = [] {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFiles);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFolders);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey).c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, std::wstring(kPolicyKey).c_str());
  };
  clean();
  EXPECT_FALSE(installed_for_all_users());
  EXPECT_FALSE(explorer_menu_is_machines());
  EXPECT_EQ(auto_update_policy(), std::nullopt);

  ASSERT_TRUE(put(std::wstring(kFiles) + L"\\command", nullptr, L"\"" + exe + L"\" \"%1\""));
  EXPECT_FALSE(explorer_menu_is_machines());  // only with both verbs
  ASSERT_TRUE(put(std::wstring(kFolders) + L"\\command", nullptr, L"\"" + exe + L"\" \"%1\""));
  EXPECT_TRUE(explorer_menu_is_machines());
  ASSERT_TRUE(put(std::wstring(kUninstallKey), L"InstallLocation", folder + L"\\Other"));
  EXPECT_FALSE(installed_for_all_users());
  EXPECT_EQ(auto_update_policy(), std::nullopt);
  ASSERT_TRUE(put(std::wstring(kUninstallKey), L"InstallLocation", folder));
  EXPECT_TRUE(installed_for_all_users());
  EXPECT_EQ(auto_update_policy(), 0u);  // its users cannot update Program Files themselves
  const DWORD on = 1;
  ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, std::wstring(kPolicyKey).c_str(), L"AutoUpdate", REG_DWORD, &on,
                              sizeof on),
            ERROR_SUCCESS);
  EXPECT_EQ(auto_update_policy(), 1u);  // unless the organisation says otherwise
  clean();
}

}  // namespace
}  // namespace tw
