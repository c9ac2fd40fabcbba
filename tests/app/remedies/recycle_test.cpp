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
FILEOP_FLAGS g_flags = 0;
int g_calls = 0;

int WINAPI stand_in_shell(LPSHFILEOPSTRUCTW op) {
  ++g_calls;
  g_flags = op->fFlags;
  if (g_answer.deletes) ::DeleteFileW(op->pFrom);
  op->fAnyOperationsAborted = g_answer.aborted;
  return g_answer.result;
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Only a target that is really gone afterwards counts as moved, whatever the shell returned;
// without a user the shell gets no dialog to show but the one before deleting for good.
TEST(RecycleTarget, MovedOnlyWhenGoneAndSilentWhereNobodyCanAnswer) {
  constexpr FILEOP_FLAGS kWindow = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
  constexpr FILEOP_FLAGS kSilent = kWindow | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
  const struct {
    const char* what;
    bool there;
    ShellAnswer answer;
    RecycleUi ui;
    RecycleResult result;
  } cases[] = {
      {"moved", true, {0, FALSE, true}, RecycleUi::None, RecycleResult::Moved},
      {"moved from the window", true, {0, FALSE, true}, RecycleUi::Dialogs, RecycleResult::Moved},
      {"success claimed, still there", true, {0, FALSE, false}, RecycleUi::None, RecycleResult::Failed},
      {"cancelled", true, {0, TRUE, false}, RecycleUi::None, RecycleResult::Failed},
      {"an error code", true, {0x78, FALSE, false}, RecycleUi::None, RecycleResult::Failed},
      {"not there", false, {0, FALSE, true}, RecycleUi::None, RecycleResult::Missing},
  };
  const RecycleApi api{&stand_in_shell};
  for (const auto& c : cases) {
    const test::TempDir dir;
    const std::wstring file = dir / L"a.txt";
    if (c.there) {
      ASSERT_TRUE(test::write_file(file, "x"));
    }
    g_answer = c.answer;
    g_calls = 0;
    g_flags = 0;
    EXPECT_EQ(recycle_target(nullptr, file, c.ui, api), c.result) << c.what;
    EXPECT_EQ(g_calls, c.there ? 1 : 0) << c.what;
    if (c.there) {
      EXPECT_EQ(g_flags, c.ui == RecycleUi::None ? kSilent : kWindow) << c.what;
    }
    EXPECT_EQ(exists(file), c.result == RecycleResult::Failed) << c.what;
  }
}

}  // namespace
}  // namespace tw
