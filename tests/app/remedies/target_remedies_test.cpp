#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "app/language/catalogue.h"
#include "app/remedies/target_remedies.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::TempDir;

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Answers "No" to every dialog box this process shows while it lives, as a user would.
class RefuseDialogs {
 public:
  RefuseDialogs()
      : thread_([this] {
          while (!stop_) {
            ::EnumWindows(&refuse, reinterpret_cast<LPARAM>(this));
            ::Sleep(50);
          }
        }) {}
  ~RefuseDialogs() {
    stop_ = true;
    thread_.join();
  }
  RefuseDialogs(const RefuseDialogs&) = delete;
  RefuseDialogs& operator=(const RefuseDialogs&) = delete;
  int refused() const { return refused_; }

 private:
  static BOOL CALLBACK refuse(HWND window, LPARAM self) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (pid == ::GetCurrentProcessId() && std::wstring_view(name) == L"#32770" && ::IsWindowVisible(window)) {
      ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
      ++reinterpret_cast<RefuseDialogs*>(self)->refused_;
    }
    return TRUE;
  }
  std::atomic<bool> stop_{false};
  std::atomic<int> refused_{0};
  std::thread thread_;
};

TEST(RecycleBin, ConfirmationListsFivePathsThenHowManyMore) {
  const std::vector<Target> seven{L"D:\\1", L"D:\\2", L"D:\\3", L"D:\\4", L"D:\\5", L"D:\\6", L"D:\\7"};
  const std::string head = std::string(localized(msg::kConfirmRecycle)) + "\n\n";
  EXPECT_EQ(recycle_confirmation_text(seven), head + "D:\\1\nD:\\2\nD:\\3\nD:\\4\nD:\\5\nand 2 more");
  EXPECT_EQ(recycle_confirmation_text({seven.begin(), seven.begin() + 5}), head + "D:\\1\nD:\\2\nD:\\3\nD:\\4\nD:\\5");
  EXPECT_EQ(recycle_confirmation_text({L"D:\\{0}.txt"}), head + "D:\\{0}.txt");
}

// Two files, one held without delete sharing: only the held one is left, the other really
// went, and nothing of the held one was lost. The shell offers to delete the held one for
// good instead; refusing that keeps it too. Then the rest goes and the window empties.
TEST(RecycleBin, KeepsOnlyWhatCouldNotBeMovedThenClearsTheWindow) {
  TempDir dir;
  const std::wstring loose = dir / L"loose.txt", held = dir / L"held.txt", gone = dir / L"gone.txt";
  ASSERT_TRUE(test::write_file(loose, "a"));
  ASSERT_TRUE(test::write_file(held, "b"));
  auto holder = test::HolderProcess::start({L"--share", L"none", L"--open", held});
  ASSERT_TRUE(holder);

  WindowState s;
  s.targets = {gone, loose, held};
  s.rows.push_back(HolderRow{});
  s.summary = ScanSummary{};
  s.scan_id = 7;
  const std::vector<Target> moved = s.targets;
  std::vector<Target> left_over;
  {
    RefuseDialogs refusing;
    left_over = recycle_targets(nullptr, moved);
  }
  EXPECT_EQ(left_over, std::vector<Target>{held});
  EXPECT_FALSE(exists(loose));
  EXPECT_TRUE(exists(held));

  EXPECT_EQ(apply_recycle_outcome(s, moved, left_over), localized(msg::kStillCantDelete));
  EXPECT_EQ(s.targets, std::vector<Target>{held});
  EXPECT_TRUE(s.recycle_failed);
  EXPECT_EQ(s.rows.size(), 1u);
  EXPECT_TRUE(s.summary);
  EXPECT_EQ(s.scan_id, 7u);

  // The set changed while the shell worked: it stays as it now is.
  WindowState other;
  other.targets = {L"D:\\new"};
  EXPECT_EQ(apply_recycle_outcome(other, moved, {}), localized(msg::kMovedToRecycleBin));
  EXPECT_EQ(other.targets, std::vector<Target>{L"D:\\new"});
  EXPECT_EQ(other.scan_id, 0u);

  ASSERT_EQ(holder->stop(), 0u);
  const std::vector<Target> rest = s.targets;
  left_over = recycle_targets(nullptr, rest);
  EXPECT_TRUE(left_over.empty());
  EXPECT_FALSE(exists(held));
  EXPECT_EQ(apply_recycle_outcome(s, rest, left_over), localized(msg::kMovedToRecycleBin));
  EXPECT_TRUE(s.targets.empty());
  EXPECT_TRUE(s.rows.empty());
  EXPECT_FALSE(s.summary);
  EXPECT_EQ(s.scan_id, 8u);  // outcomes of remedies started before are dropped
}

}  // namespace
}  // namespace tw
