#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/remedies/protected_paths.h"
#include "app/system/account.h"
#include "support/saved_environment.h"

namespace tw {
namespace {

constexpr const wchar_t* kVariables[] = {
    L"SystemRoot", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"ProgramData", L"USERPROFILE",
    L"APPDATA",    L"LOCALAPPDATA", L"PUBLIC",            L"OneDrive",     L"OneDriveConsumer", L"OneDriveCommercial"};

// Clears the folder variables for the test and puts the process's own values back after.
class ProtectedPaths : public testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : kVariables) ::SetEnvironmentVariableW(name, nullptr);
  }
  static void set(const wchar_t* name, const wchar_t* value) { ::SetEnvironmentVariableW(name, value); }

  test::SavedEnvironment saved_{kVariables};
};

std::wstring replace_all(std::wstring text, std::wstring_view from, std::wstring_view to) {
  for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// This prefix's profile, as Wine makes it: C:\users\<the account's name>.
std::wstring wine_profile() {
  wchar_t name[256] = {};
  DWORD length = 256;
  ::GetUserNameW(name, &length);
  return std::wstring(L"C:\\users\\") + name;
}

struct Case {
  const wchar_t* pattern;  // {U} this prefix's profile
  bool is_protected;
};

void expect_cases(std::initializer_list<Case> cases, const std::wstring& profile) {
  for (const Case& c : cases) {
    const std::wstring path = replace_all(c.pattern, L"{U}", profile);
    EXPECT_EQ(is_protected_path(path), c.is_protected) << testing::PrintToString(path);
  }
}

TEST_F(ProtectedPaths, RootsSystemFoldersAndWhatContainsThem) {
  // Every folder variable unset, as scripts and services often start programs: the system
  // still names its folders and the account's.
  const std::wstring profile = wine_profile();
  expect_cases({{L"D:\\", true},
                {L"", true},
                {L"C:\\Users", true},  // holds the profile
                {L"{U}", true},
                {L"{U}\\Downloads\\..\\", true},
                {L"{U}\\DOCUMENTS\\", true},
                {L"{U}\\Saved Games", true},
                {L"{U}\\AppData\\Roaming", true},
                {L"{U}\\Documents\\Report.docx", false},
                {L"{U}nette", false},  // a longer name is not the folder
                {L"C:\\windows", true},
                {L"C:\\Program Files", true},
                {L"C:\\Program Files\\Tool", false},
                {L"C:\\ProgramData", true},
                {L"C:\\ProgramData\\Tool", false}},
               profile);
  const std::vector<Target> documents{profile + L"\\Documents"};
  EXPECT_TRUE(protected_refusal(documents));

  // Variables a caller sets change nothing: not pointed elsewhere, not emptied.
  set(L"USERPROFILE", L"C:\\Users\\Ann");
  set(L"SystemRoot", L"");
  set(L"ProgramFiles", L"C:\\Elsewhere");
  expect_cases({{L"{U}\\Documents", true}, {L"C:\\Windows", true}, {L"C:\\Program Files", true}}, profile);
  EXPECT_TRUE(protected_refusal(documents));

  // OneDrive's own variables still tell where its folder is; an empty one protects nothing.
  set(L"OneDrive", L"");
  EXPECT_FALSE(is_protected_path(L"C:\\Temp"));
  set(L"OneDriveCommercial", L"E:\\ÄRGER\\OneDrive - Firma");
  EXPECT_TRUE(is_protected_path(L"e:\\ärger"));  // lower-cased beyond A-Z
}

TEST_F(ProtectedPaths, WindowsOwnFoldersAreProtectedNotWhatTheyHold) {
  expect_cases({{L"C:\\Windows\\System32", true},
                {L"c:\\windows\\system32\\drivers\\", true},
                {L"C:\\Windows\\System32\\config", true},
                {L"C:\\Windows\\SysWOW64", true},
                {L"C:\\Windows\\WinSxS", true},
                {L"C:\\Windows\\Fonts", true},
                {L"C:\\Windows\\Boot", true},
                {L"C:\\Program Files\\WindowsApps", true},
                {L"C:\\users\\Default", true},
                {L"{U}\\AppData\\Local\\Microsoft", true},
                {L"{U}\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", true},
                {L"{U}\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", true},
                {L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", true},
                {L"C:\\Windows\\System32\\drivers\\etc", false},
                {L"C:\\Windows\\Fonts\\tw-none.ttf", false},
                {L"C:\\Windows\\Temp", false},
                {L"{U}\\AppData\\Local\\Microsoft\\Windows", false},
                {L"{U}\\AppData\\Local\\Temp", false},
                {L"C:\\Program Files\\WindowsApps\\Some.App_1.0", false}},
               wine_profile());
}

TEST(ProtectedFolderValues, ExpandOnlyWithTheVariablesGiven) {
  const Variables variables = {{L"USERPROFILE", L"C:\\Users\\Ann"}, {L"APPDATA", L"\\\\nas\\ann\\Roaming"}};
  const struct {
    const wchar_t* text;
    std::optional<std::wstring> expanded;
  } cases[] = {
      {L"%USERPROFILE%\\Documents", L"C:\\Users\\Ann\\Documents"},
      {L"%userprofile%\\Documents", L"C:\\Users\\Ann\\Documents"},
      {L"%APPDATA%\\Microsoft\\Windows\\Start Menu", L"\\\\nas\\ann\\Roaming\\Microsoft\\Windows\\Start Menu"},
      {L"D:\\Docs", L"D:\\Docs"},
      {L"%HOMESHARE%\\Documents", std::nullopt},  // not known: no guess
      {L"D:\\100%\\Docs", std::nullopt},
      {L"%%\\x", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(expand_variables(c.text, variables), c.expanded) << testing::PrintToString(c.text);
}

// An account that does not exist, known to the profile list and with a registry of its own, as
// a standard user is to the administrator's elevated copy that works for them.
class OtherAccount : public testing::Test {
 protected:
  static constexpr wchar_t kSid[] = L"S-1-5-21-7340-7341-7342-1001";
  void SetUp() override {
    const std::wstring shell = std::wstring(kSid) + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const std::pair<const wchar_t*, const wchar_t*> values[] = {
        {L"Personal", L"D:\\Ann's Docs"},
        {L"My Pictures", L"%USERPROFILE%\\Bilder"},
        {L"AppData", L"\\\\nas.invalid\\profiles\\ann\\Roaming"},
        {L"Start Menu", L"%APPDATA%\\Microsoft\\Windows\\Start Menu"},
        {L"Desktop", L"%HOMESHARE%\\Desktop"}};
    for (const auto& [name, value] : values) ASSERT_TRUE(write(HKEY_USERS, shell, name, value));
    ASSERT_TRUE(write(HKEY_USERS, std::wstring(kSid) + L"\\Software\\Microsoft\\OneDrive\\Accounts\\Business1",
                      L"UserFolder", L"E:\\OneDrive - Firma"));
    ASSERT_TRUE(write(HKEY_LOCAL_MACHINE, profile_key(), L"ProfileImagePath", L"%SystemDrive%\\TwOthers\\Ann"));
  }
  void TearDown() override {
    set_other_account(std::nullopt);
    ::RegDeleteTreeW(HKEY_USERS, kSid);
    ::RegDeleteKeyW(HKEY_USERS, kSid);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, profile_key().c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, profile_key().c_str());
  }
  static std::wstring profile_key() { return std::wstring(kProfileListKey) + L"\\" + kSid; }
  static bool write(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetKeyValueW(root, key.c_str(), name, REG_EXPAND_SZ, text.c_str(), bytes) == ERROR_SUCCESS;
  }
};

TEST_F(OtherAccount, ItsFoldersAreProtectedWhereItsRegistrySaysTheyAre) {
  const struct {
    const wchar_t* path;
    bool is_protected;
  } cases[] = {
      {L"C:\\TwOthers\\Ann", true},
      {L"C:\\TwOthers", true},
      {L"C:\\TwOthers\\Ann\\Desktop", true},  // where it would be: its value names an unknown variable
      {L"C:\\TwOthers\\Ann\\Bilder", true},
      {L"D:\\Ann's Docs", true},
      {L"\\\\nas.invalid\\profiles\\ann\\Roaming\\Microsoft", true},
      {L"\\\\nas.invalid\\profiles\\ann\\Roaming\\Microsoft\\Windows\\Start Menu", true},
      {L"E:\\OneDrive - Firma", true},
      {L"D:\\Ann's Docs\\letter.txt", false},
      {L"C:\\TwOthers\\Ann\\Bilder\\x.jpg", false},
  };
  // Only for the copy that works for that account.
  EXPECT_FALSE(is_protected_path(L"D:\\Ann's Docs"));
  EXPECT_FALSE(is_protected_path(L"C:\\TwOthers\\Ann"));
  set_other_account(std::wstring(kSid));
  for (const auto& c : cases) EXPECT_EQ(is_protected_path(c.path), c.is_protected) << testing::PrintToString(c.path);
  // Its own folders stay protected too.
  EXPECT_TRUE(is_protected_path(wine_profile() + L"\\Documents"));
}

}  // namespace
}  // namespace tw
