#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/remedies/protected_paths.h"
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

TEST_F(ProtectedPaths, RootsSystemFoldersAndWhatContainsThem) {
  // Roots and the empty path, whatever the environment.
  EXPECT_TRUE(is_protected_path(L"D:\\"));
  EXPECT_TRUE(is_protected_path(L""));
  EXPECT_FALSE(is_protected_path(L"C:\\Users"));

  set(L"USERPROFILE", L"C:\\Users\\Ann");
  set(L"ProgramFiles", L"C:\\Program Files");
  EXPECT_TRUE(is_protected_path(L"C:\\Users"));  // holds the profile
  EXPECT_TRUE(is_protected_path(L"c:\\users\\ann\\"));
  EXPECT_TRUE(is_protected_path(L"C:\\Users\\Ann\\DOCUMENTS\\"));
  EXPECT_TRUE(is_protected_path(L"C:\\Users\\Ann\\Saved Games"));
  EXPECT_FALSE(is_protected_path(L"C:\\Users\\Ann\\Documents\\Report.docx"));
  EXPECT_FALSE(is_protected_path(L"C:\\Users\\Annette"));  // a longer name is not the folder
  EXPECT_TRUE(is_protected_path(L"C:\\Program Files"));
  EXPECT_FALSE(is_protected_path(L"C:\\Program Files\\Tool"));

  // Read afresh on every check; an empty value protects nothing.
  set(L"USERPROFILE", nullptr);
  EXPECT_FALSE(is_protected_path(L"C:\\Users\\Ann\\Documents"));
  set(L"OneDrive", L"");
  EXPECT_FALSE(is_protected_path(L"C:\\Temp"));
  set(L"OneDriveCommercial", L"E:\\ÄRGER\\OneDrive - Firma");
  EXPECT_TRUE(is_protected_path(L"e:\\ärger"));  // lower-cased beyond A-Z
}

}  // namespace
}  // namespace tw
