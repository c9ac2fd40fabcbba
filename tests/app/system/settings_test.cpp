#include <gtest/gtest.h>

#include <cstring>

#include "app/system/settings.h"
#include "common/handles.h"

namespace tw {
namespace {

constexpr wchar_t kPersonalize[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

// Each test starts without the program's key, as on a machine where it never ran.
class Settings : public testing::Test {
 protected:
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick"); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick"); }

  static void put(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key, name, type, data, size), ERROR_SUCCESS);
  }
  static void put_setting(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    put(L"Software\\Tarnwick", name, type, data, size);
  }
  // Type and size as stored.
  static std::pair<DWORD, DWORD> stored(const wchar_t* name) {
    DWORD type = 0, size = 0;
    ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tarnwick", name, RRF_RT_ANY, &type, nullptr, &size);
    return {type, size};
  }
};

TEST_F(Settings, WithNoKeyEverythingReadsAsItsDefault) {
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), std::nullopt);
  EXPECT_EQ(read_dword_setting(kValueAutoUpdate), std::nullopt);
  EXPECT_TRUE(auto_update_enabled(read_dword_setting(kValueAutoUpdate)));
  EXPECT_EQ(parse_last_update_check(read_string_setting(kSettingsKey, kValueLastUpdateCheck)), 0u);
  EXPECT_EQ(read_placement(), std::nullopt);
}

TEST_F(Settings, StringsKeepTheirTerminatorAndReadBackExactly) {
  write_string_setting(kSettingsKey, kValueLanguage, "");  // "Follow Windows": empty, not deleted
  EXPECT_EQ(stored(L"Language"), std::make_pair(DWORD{REG_SZ}, DWORD{2}));
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), "");

  write_string_setting(kSettingsKey, kValueLanguage, "zh-Hant");
  EXPECT_EQ(stored(L"Language"), std::make_pair(DWORD{REG_SZ}, DWORD{16}));
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), "zh-Hant");

  // Written by someone else: no terminator, an odd size, text after a NUL, invalid UTF-16.
  put_setting(L"Language", REG_SZ, L"ko", 4);
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), "ko");
  put_setting(L"Language", REG_SZ, "k\0o", 3);  // the odd byte is the low half of a last unit
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), "ko");
  put_setting(L"Language", REG_SZ, L"de\0xx", 12);
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), "de");
  const wchar_t odd[] = {L'a', 0xD800, L'b', 0};
  put_setting(L"Language", REG_SZ, odd, sizeof odd);
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), "a\xEF\xBF\xBD" "b");
  const DWORD number = 7;
  put_setting(L"Language", REG_DWORD, &number, 4);
  EXPECT_EQ(read_string_setting(kSettingsKey, kValueLanguage), std::nullopt);

  // The key's default value, as the File Explorer entry uses it.
  write_string_setting(L"Software\\Tarnwick\\Sub", L"", "text");
  EXPECT_EQ(read_string_setting(L"Software\\Tarnwick\\Sub", L""), "text");
}

TEST_F(Settings, DwordsOnlyCountAsDwords) {
  write_dword_setting(kValueExplorerMenu, 1);
  EXPECT_EQ(stored(L"ExplorerMenu"), std::make_pair(DWORD{REG_DWORD}, DWORD{4}));
  EXPECT_EQ(read_dword_setting(kValueExplorerMenu), 1u);

  put_setting(L"AutoUpdate", REG_SZ, L"0", 4);  // text "0" is no DWORD: checks stay on
  EXPECT_EQ(read_dword_setting(kValueAutoUpdate), std::nullopt);
  EXPECT_TRUE(auto_update_enabled(read_dword_setting(kValueAutoUpdate)));
  const unsigned char two[2] = {0, 0};
  put_setting(L"AutoUpdate", REG_BINARY, two, 2);
  EXPECT_EQ(read_dword_setting(kValueAutoUpdate), std::nullopt);

  // The menu toggle: absent turns it off, then on again.
  std::optional<std::uint32_t> state;
  EXPECT_EQ(toggled_auto_update(state), 0u);
  state = 0;
  EXPECT_FALSE(auto_update_enabled(state));
  EXPECT_EQ(toggled_auto_update(state), 1u);
  EXPECT_EQ(toggled_auto_update(std::uint32_t{5}), 0u);
}

TEST_F(Settings, LastUpdateCheckIsDigitsOrZero) {
  const std::pair<const char*, std::uint64_t> cases[] = {
      {"+123", 123}, {"123", 123}, {"-1", 0}, {"1.5", 0}, {"12a", 0}, {"", 0}, {"+", 0}, {"++1", 0},
      {" 1", 0}, {"18446744073709551615", 18446744073709551615ull}, {"18446744073709551616", 0},
      {"99999999999999999999999", 0}};
  for (const auto& [text, expected] : cases) {
    write_string_setting(kSettingsKey, kValueLastUpdateCheck, text);
    EXPECT_EQ(parse_last_update_check(read_string_setting(kSettingsKey, kValueLastUpdateCheck)), expected) << text;
  }
}

TEST_F(Settings, PlacementIsUsedOnlyAtExactly44Bytes) {
  WINDOWPLACEMENT p{};
  p.length = sizeof p;
  p.showCmd = SW_SHOWMAXIMIZED;
  p.rcNormalPosition = RECT{10, 20, 890, 720};
  unsigned char bytes[48] = {};
  std::memcpy(bytes, &p, sizeof p);
  for (const DWORD size : {40u, 48u}) {
    put_setting(L"Placement", REG_BINARY, bytes, size);
    EXPECT_EQ(read_placement(), std::nullopt) << size;
  }
  put_setting(L"Placement", REG_BINARY, bytes, 44);
  const auto read = read_placement();
  ASSERT_TRUE(read);
  EXPECT_EQ(read->showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
  EXPECT_EQ(read->rcNormalPosition.right, 890);
  put_setting(L"Placement", REG_SZ, L"not a record", 26);
  EXPECT_EQ(read_placement(), std::nullopt);
}

TEST_F(Settings, DarkModeOnlyWhenAppsUseLightThemeIsADwordZero) {
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme");
  EXPECT_FALSE(read_dark_mode());
  const DWORD zero = 0, one = 1;
  put(kPersonalize, L"AppsUseLightTheme", REG_DWORD, &zero, 4);
  EXPECT_TRUE(read_dark_mode());
  put(kPersonalize, L"AppsUseLightTheme", REG_DWORD, &one, 4);
  EXPECT_FALSE(read_dark_mode());
  put(kPersonalize, L"AppsUseLightTheme", REG_SZ, L"0", 4);
  EXPECT_FALSE(read_dark_mode());
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme");
}

}  // namespace
}  // namespace tw
