#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/language/catalogue.h"
#include "app/remedies/protected_paths.h"
#include "app/system/account.h"
#include "app/system/startup.h"
#include "app/window/main_window.h"
#include "app/window/message_boxes.h"
#include "app/window/target_buttons.h"
#include "common/text.h"
#include "support/holder_process.h"
#include "support/pending_deletions.h"
#include "support/saved_environment.h"
#include "support/saved_registry_value.h"
#include "support/temp_dir.h"
#include "support/test_window.h"

namespace tw {
namespace {

constexpr const wchar_t* kFakedVariables[] = {L"OneDrive"};

int g_boxes = 0;
UINT g_last_flags = 0;
std::wstring g_last_text;
int answer_yes(HWND, const wchar_t* text, const wchar_t*, UINT flags) {
  ++g_boxes;
  g_last_flags = flags;
  g_last_text = text;
  return IDYES;
}

std::wstring replace_all(std::wstring text, std::wstring_view from, std::wstring_view to) {
  for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// A fake profile, OneDrive and Program Files folder inside the folder that is also drive Q:,
// with the user's Documents moved into that profile (as OneDrive's folder backup or the
// Location tab move it) and OneDrive's variable pointed at its folder (children inherit it),
// a real window, and message boxes answered Yes.
class ProtectedSpellings : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t cwd[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    saved_cwd_ = cwd;

    const std::wstring name = L"tw-prot-" + std::to_wstring(::GetCurrentProcessId());
    root_ = test::link_fixtures_dir() + L"\\alias\\" + name;
    root_on_q_ = std::wstring(test::kAliasDrive) + L"\\" + name;
    profile_ = root_ + L"\\profile";
    for (const std::wstring& dir : {root_, profile_, profile_ + L"\\Documents", profile_ + L"\\Documents\\x",
                                    profile_ + L"\\Downloads", root_ + L"\\OneDrive", root_ + L"\\Program Files"}) {
      ASSERT_TRUE(test::make_dir(dir)) << testing::PrintToString(dir);
    }
    ASSERT_TRUE(test::write_file(profile_ + L"\\Documents\\keep.txt", "x"));
    ASSERT_TRUE(documents_.set(profile_ + L"\\Documents"));
    ::SetEnvironmentVariableW(L"OneDrive", (root_ + L"\\OneDrive").c_str());

    g_boxes = 0;
    state_ = test::open_test_main_window(WindowApi{&answer_yes});
    ASSERT_TRUE(state_);
  }

  void TearDown() override {
    if (state_) test::close_test_main_window(state_->window);
    ::SetCurrentDirectoryW(saved_cwd_.c_str());
    test::forget_pending_under(root_);
    test::forget_pending_under(root_on_q_);
    test::remove_tree(root_);
  }

  // {P} the profile, {R} the folder holding it, {Q} that folder on drive Q:.
  std::wstring spelled(const wchar_t* pattern) const {
    std::wstring text = replace_all(pattern, L"{P}", profile_);
    text = replace_all(text, L"{R}", root_);
    return replace_all(text, L"{Q}", root_on_q_);
  }

  bool everything_still_there() const {
    for (const std::wstring& path : {profile_ + L"\\Documents\\keep.txt", profile_ + L"\\Downloads",
                                     root_ + L"\\OneDrive", root_ + L"\\Program Files"}) {
      if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    }
    return true;
  }

  // "Move to Recycle Bin" on these targets: true when the refusal box came and nothing moved.
  bool recycle_bin_refuses(const std::vector<Target>& targets) {
    state_->targets = targets;
    g_boxes = 0;
    with_main_window([&](MainWindow& w) { click_target_remedy(w, Hit{HitKind::RecycleBin}); });
    ::SendMessageW(state_->window, WM_NULL, 0, 0);  // runs what the click left for later
    return g_boxes == 1 && g_last_flags == static_cast<UINT>(MB_OK | MB_ICONINFORMATION) && everything_still_there();
  }

  test::SavedEnvironment saved_env_{kFakedVariables};
  test::SavedRegistryValue documents_{
      HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", L"Personal"};
  std::wstring saved_cwd_, root_, root_on_q_, profile_;
  WindowState* state_ = nullptr;
};

struct Spelling {
  const wchar_t* pattern;
  bool helper_sees_it = true;  // false: only this process has the fake variable
};

TEST_F(ProtectedSpellings, NoSpellingOfAProtectedFolderIsDeletedOrScheduled) {
  wchar_t short_documents[MAX_PATH] = {}, short_program_files[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(spelled(L"{P}\\Documents").c_str(), short_documents, MAX_PATH), 0u);
  ASSERT_NE(::GetShortPathNameW(L"C:\\Program Files", short_program_files, MAX_PATH), 0u);
  const std::wstring forward = replace_all(spelled(L"{P}\\Documents"), L"\\", L"/");

  const Spelling spellings[] = {
      {forward.c_str()},
      {L"{P}\\Documents\\."},
      {L"{P}\\Documents."},
      {L"{P}\\\\Documents"},
      {L"{P}\\Documents\\..\\Documents"},
      {L"{P}\\Documents\\x\\.."},
      {L"\\\\?\\{P}\\Documents"},
      {L"\\\\.\\{P}\\Documents"},
      {L"{P}\\Downloads\\.."},  // the whole profile
      {short_documents},
      {L"{Q}\\profile\\Documents"},  // another drive letter for the same folders
      {L"{Q}\\profile\\Documents\\."},
      {L"{Q}\\profile"},
      {L"{Q}"},
      {L"{R}"},
      {L"{R}\\OneDrive\\."},
      {L"{R}\\OneDrive\\"},
      {L"{P}\\Doc*"},
      {L"c:/windows"},
      {L"C:\\Windows."},
      {L"C:\\\\Windows"},
      {L"C:\\windows\\system32\\.."},
      {L"\\\\?\\C:\\Windows"},
      {L"\\\\.\\C:\\Windows"},
      {short_program_files},
      {L"C:\\Windows\\System32"},  // Windows' own folders inside a protected one
      {L"c:\\windows\\system32\\drivers\\"},
      {L"C:\\Windows\\Fonts"},
      {L"C:\\Windows\\WinSxS"},
      {L"C:\\."},
      {L"C:/"},
      {L"\\\\?\\C:\\"},
      {L"\\\\.\\C:\\"},
  };
  for (const Spelling& s : spellings) {
    const std::wstring text = spelled(s.pattern);
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_TRUE(is_protected_path(text));
    // As the window takes it in from a command line, and as raw text.
    const StartupRequest request = decide_startup({text});
    if (!request.paths.empty()) {
      EXPECT_TRUE(recycle_bin_refuses(request.paths));
    }
    EXPECT_TRUE(recycle_bin_refuses({text}));
    if (!s.helper_sees_it) continue;
    const std::vector<std::wstring> before = test::pending_pairs();
    EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", text}), 1u);
    EXPECT_EQ(test::pending_pairs(), before);
  }
}

TEST_F(ProtectedSpellings, RelativeSpellingsLandingOnAProtectedFolderAreRefused) {
  ASSERT_TRUE(::SetCurrentDirectoryW((profile_ + L"\\Documents").c_str()));
  for (const wchar_t* relative : {L".", L"..\\Documents", L"x\\..", L"..\\Downloads\\.."}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(relative)));
    const StartupRequest request = decide_startup({relative});
    ASSERT_EQ(request.paths.size(), 1u);
    EXPECT_TRUE(recycle_bin_refuses(request.paths));
    // The helper takes no relative path at all.
    const std::vector<std::wstring> before = test::pending_pairs();
    EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", relative}), 1u);
    EXPECT_EQ(test::pending_pairs(), before);
  }
}

TEST_F(ProtectedSpellings, WhatLiesInsideAProtectedFolderIsNotProtected) {
  for (const wchar_t* pattern : {L"{P}\\Documents\\x", L"{P}\\Documents\\keep.txt", L"{Q}\\profile\\Documents\\x",
                                 L"{P}\\Documents\\x\\..\\x", L"{P}\\Desktop2", L"{R}\\elsewhere"}) {
    EXPECT_FALSE(is_protected_path(spelled(pattern))) << testing::PrintToString(spelled(pattern));
  }
  // And the helper schedules it.
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", spelled(L"{Q}\\profile\\Documents\\x")}), 0u);
  EXPECT_EQ(test::pending_under(root_on_q_ + L"\\profile\\Documents\\x").size() +
                test::pending_under(profile_ + L"\\Documents\\x").size(),
            1u);
}

// The elevated copy that works for another account has that account's Recycle Bin, not the
// user's: it moves nothing there.
TEST_F(ProtectedSpellings, AWindowForAnotherAccountMovesNothingToTheRecycleBin) {
  const std::wstring file = root_ + L"\\elsewhere.txt";
  ASSERT_TRUE(test::write_file(file, "x"));
  set_other_account(std::wstring(L"S-1-5-21-7340-7341-7342-1002"));
  state_->targets = {file};
  g_boxes = 0;
  with_main_window([&](MainWindow& w) { click_target_remedy(w, Hit{HitKind::RecycleBin}); });
  ::SendMessageW(state_->window, WM_NULL, 0, 0);
  set_other_account(std::nullopt);
  EXPECT_EQ(g_boxes, 1);
  EXPECT_EQ(to_utf8(g_last_text), localized(msg::kRecycleOtherAccount));
  EXPECT_NE(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace tw
