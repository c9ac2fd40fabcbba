#include <gtest/gtest.h>

#include <windows.h>

#include "app/remedies/recycle.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

// What the stand-in for the shell does when asked, and what it was asked with.
struct ShellAnswer {
  int result = 0;
  BOOL aborted = FALSE;
  bool deletes = true;
};
ShellAnswer g_answer;
UINT g_drive = DRIVE_FIXED;
FILEOP_FLAGS g_flags = 0;
int g_calls = 0;

int WINAPI stand_in_shell(LPSHFILEOPSTRUCTW op) {
  ++g_calls;
  g_flags = op->fFlags;
  if (g_answer.deletes) ::DeleteFileW(op->pFrom);
  op->fAnyOperationsAborted = g_answer.aborted;
  return g_answer.result;
}

UINT stand_in_drive_type(const std::wstring&) { return g_drive; }

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Only a target that is really gone afterwards counts as moved, whatever the shell returned;
// without a user the shell gets no dialog to show but the one before deleting for good, and
// nothing on a drive without a Recycle Bin, where it could only delete for good.
TEST(RecycleTarget, MovedOnlyWhenGoneAndSilentWhereNobodyCanAnswer) {
  constexpr FILEOP_FLAGS kWindow = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
  constexpr FILEOP_FLAGS kSilent = kWindow | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
  const struct {
    const char* what;
    bool there;
    ShellAnswer answer;
    RecycleUi ui;
    RecycleResult result;
    UINT drive = DRIVE_FIXED;
  } cases[] = {
      {"moved", true, {0, FALSE, true}, RecycleUi::None, RecycleResult::Moved},
      {"moved from the window", true, {0, FALSE, true}, RecycleUi::Dialogs, RecycleResult::Moved},
      {"success claimed, still there", true, {0, FALSE, false}, RecycleUi::None, RecycleResult::Failed},
      {"cancelled", true, {0, TRUE, false}, RecycleUi::None, RecycleResult::Failed},
      {"an error code", true, {0x78, FALSE, false}, RecycleUi::None, RecycleResult::Failed},
      {"not there", false, {0, FALSE, true}, RecycleUi::None, RecycleResult::Missing},
      {"on a share", true, {0, FALSE, true}, RecycleUi::None, RecycleResult::NoBin, DRIVE_REMOTE},
      {"on a stick", true, {0, FALSE, true}, RecycleUi::None, RecycleResult::NoBin, DRIVE_REMOVABLE},
      {"on a share, from the window", true, {0, FALSE, true}, RecycleUi::Dialogs, RecycleResult::Moved, DRIVE_REMOTE},
  };
  const RecycleApi api{&stand_in_shell, &stand_in_drive_type};
  for (const auto& c : cases) {
    const test::TempDir dir;
    const std::wstring file = dir / L"a.txt";
    if (c.there) {
      ASSERT_TRUE(test::write_file(file, "x"));
    }
    g_answer = c.answer;
    g_drive = c.drive;
    g_calls = 0;
    g_flags = 0;
    EXPECT_EQ(recycle_target(nullptr, file, c.ui, api), c.result) << c.what;
    const bool asked = c.there && c.result != RecycleResult::NoBin;
    EXPECT_EQ(g_calls, asked ? 1 : 0) << c.what;
    if (asked) {
      EXPECT_EQ(g_flags, c.ui == RecycleUi::None ? kSilent : kWindow) << c.what;
    }
    EXPECT_EQ(exists(file), c.result == RecycleResult::Failed || c.result == RecycleResult::NoBin) << c.what;
  }
}

}  // namespace
}  // namespace tw
