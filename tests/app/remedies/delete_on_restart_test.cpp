#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>

#include "app/language/catalogue.h"
#include "app/remedies/delete_on_restart.h"
#include "app/system/startup.h"
#include "common/cmdline.h"
#include "common/text.h"
#include "support/holder_process.h"
#include "support/pending_deletions.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::TempDir;

using test::pending_under;
using test::ScheduleDir;

TEST(ScheduleDeleteOnReboot, RegistersFilesBeforeTheirFoldersAndClearsReadOnly) {
  ScheduleDir dir;
  const std::wstring top = dir / L"top";
  ASSERT_TRUE(test::make_dir(top));
  ASSERT_TRUE(test::make_dir(top + L"\\sub"));
  for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"sub\\d.txt", L"sub\\e.txt"}) {
    ASSERT_TRUE(test::write_file(top + L"\\" + name, "x"));
  }
  ASSERT_TRUE(test::set_read_only(top + L"\\b.txt"));
  ASSERT_TRUE(test::write_file(dir / L"single.txt"));

  ASSERT_TRUE(schedule_delete_on_reboot({top, dir / L"single.txt"}));
  const std::vector<std::wstring> pending = pending_under(dir.path());
  ASSERT_EQ(pending.size(), 8u);
  // The folder's own files in listing order, the sub-folder's, the sub-folder, the folder.
  EXPECT_EQ(std::set<std::wstring>(pending.begin(), pending.begin() + 3),
            (std::set<std::wstring>{top + L"\\a.txt", top + L"\\b.txt", top + L"\\c.txt"}));
  EXPECT_EQ(std::set<std::wstring>(pending.begin() + 3, pending.begin() + 5),
            (std::set<std::wstring>{top + L"\\sub\\d.txt", top + L"\\sub\\e.txt"}));
  EXPECT_EQ(pending[5], top + L"\\sub");
  EXPECT_EQ(pending[6], top);
  EXPECT_EQ(pending[7], dir / L"single.txt");
  EXPECT_EQ(std::vector<std::wstring>(pending.begin(), pending.end() - 1), deletion_order(top));
  EXPECT_EQ(::GetFileAttributesW((top + L"\\b.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(ScheduleDeleteOnReboot, FailuresFailTheRequestButNotTheOtherPaths) {
  ScheduleDir dir;
  ASSERT_TRUE(test::write_file(dir / L"kept.txt"));
  // Missing and protected paths fail; the good one in between is still registered.
  EXPECT_FALSE(schedule_delete_on_reboot({dir / L"missing.txt", dir / L"kept.txt", L"C:\\windows", L"D:\\"}));
  EXPECT_EQ(pending_under(dir.path()), std::vector<std::wstring>{dir / L"kept.txt"});
  EXPECT_TRUE(pending_under(L"C:\\windows").empty());
  EXPECT_FALSE(schedule_delete_on_reboot({}));
}

// Files spread over folders of 250 (Wine searches a whole folder to create a file in it).
bool make_entries(const std::wstring& folder, std::size_t folders, std::size_t files_each) {
  for (std::size_t d = 0; d < folders; ++d) {
    const std::wstring sub = folder + L"\\d" + std::to_wstring(d);
    if (!test::make_dir(sub)) return false;
    for (std::size_t f = 0; f < files_each; ++f) {
      if (!test::write_file(sub + L"\\f" + std::to_wstring(f))) return false;
    }
  }
  return true;
}

TEST(ScheduleDeleteOnReboot, GivesUpOnFoldersOfMoreThanTheCap) {
  ScheduleDir dir;
  const std::wstring big = dir / L"big";
  ASSERT_TRUE(test::make_dir(big));
  // The folder, 400 sub-folders and 400 x 249 files: one entry more than the cap.
  ASSERT_TRUE(make_entries(big, 400, 249));
  const std::wstring last = big + L"\\d399\\f248";
  ASSERT_TRUE(::DeleteFileW(last.c_str()));
  const auto order = deletion_order(big);
  ASSERT_TRUE(order);
  EXPECT_EQ(order->size(), kScheduleCap);
  EXPECT_EQ(order->back(), big);

  ASSERT_TRUE(test::write_file(last));
  EXPECT_FALSE(deletion_order(big));
  EXPECT_FALSE(schedule_delete_on_reboot({big}));
  EXPECT_TRUE(pending_under(dir.path()).empty());
}

TEST(ScheduleDeleteOnReboot, RegistersNamesThatPlainPathsMisreadExactly) {
  ScheduleDir dir;
  const std::wstring names = dir / L"names";
  ASSERT_TRUE(test::make_dir(names));
  const std::vector<std::wstring> odd{L"COM1", L"con", L"nul.txt", L"trail.", L"trail ", L"trail.."};
  for (const std::wstring& name : odd) ASSERT_TRUE(test::write_file_exactly(names, name));

  // As the window starts the helper for that folder.
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", names}), 0u);
  const std::vector<std::wstring> pending = pending_under(dir.path());
  std::vector<std::wstring> expected;
  for (const std::wstring& name : odd) expected.push_back(names + L"\\" + name);
  ASSERT_EQ(pending.size(), odd.size() + 1);
  EXPECT_TRUE(std::is_permutation(pending.begin(), pending.end() - 1, expected.begin(), expected.end()))
      << testing::PrintToString(pending);
  EXPECT_EQ(pending.back(), names);
}

TEST(ScheduleDeleteOnReboot, TakesAFolderMetAgainForTheLinkItIs) {
  const std::wstring loop = test::link_fixtures_dir() + L"\\loop-files";
  const auto order = deletion_order(loop);
  ASSERT_TRUE(order);
  const std::vector<std::wstring> expected{loop + L"\\a", loop + L"\\one.txt", loop + L"\\sub\\two.txt",
                                           loop + L"\\sub\\up", loop + L"\\sub", loop};
  EXPECT_TRUE(std::is_permutation(order->begin(), order->end(), expected.begin(), expected.end()))
      << testing::PrintToString(*order);
  EXPECT_EQ(order->back(), loop);
}

TEST(DeleteHelper, ParametersReadBackAsTheTargets) {
  EXPECT_EQ(delete_helper_parameters({L"C:\\Work\\a b.txt", L"D:\\", L"E:\\dir\\\\"}),
            L"--delete-on-reboot \"C:\\Work\\a b.txt\" \"D:\" \"E:\\dir\"");
  // Texts that came from elsewhere cannot smuggle in arguments of their own.
  const std::vector<Target> hostile{L"D:\\a\" --unregister \"b", L"D:\\x\\\"", L"D:\\tab\there", L"D:\\q\"\"\\"};
  const std::vector<std::wstring> read_back = split_command_line(L"tarnwick.exe " + delete_helper_parameters(hostile));
  EXPECT_EQ(read_back, (std::vector<std::wstring>{L"--delete-on-reboot", L"D:\\a\" --unregister \"b", L"D:\\x\\\"",
                                                 L"D:\\tab\there", L"D:\\q\"\""}));
}

// Run through the prompt, the helper may be an administrator's process: it is told whose
// folders to protect as well, and it protects them.
TEST(DeleteHelper, ProtectsTheFoldersOfTheAccountItWorksFor) {
  const std::wstring sid = L"S-1-5-21-7340-7341-7342-1003";
  const std::vector<std::wstring> read_back =
      split_command_line(L"tarnwick.exe " + delete_helper_parameters({L"D:\\x"}, sid));
  const StartupRequest request = decide_startup(read_back);
  EXPECT_EQ(request.mode, RunMode::DeleteOnReboot);
  EXPECT_EQ(request.for_user, sid);
  EXPECT_EQ(request.paths, std::vector<Target>{L"D:\\x"});

  ScheduleDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"ann"));
  ASSERT_TRUE(test::make_dir(dir / L"docs"));
  ASSERT_TRUE(test::write_file(dir / L"docs\\keep.txt"));
  const std::wstring profile_key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid;
  const std::wstring shell = sid + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  const auto write = [](HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    return ::RegSetKeyValueW(root, key.c_str(), name, REG_SZ, text.c_str(),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  };
  EXPECT_TRUE(write(HKEY_LOCAL_MACHINE, profile_key, L"ProfileImagePath", dir / L"ann"));
  EXPECT_TRUE(write(HKEY_USERS, shell, L"Personal", dir / L"docs"));
  const std::wstring for_user = L"--for-user=" + sid;
  for (const wchar_t* name : {L"docs", L"ann"}) {
    EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", for_user, dir / name}), 1u);
  }
  EXPECT_TRUE(pending_under(dir.path()).empty());
  // For itself alone, that folder is not its to protect.
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", dir / L"docs"}), 0u);
  EXPECT_EQ(pending_under(dir.path()).size(), 2u);
  ::RegDeleteTreeW(HKEY_USERS, sid.c_str());
  ::RegDeleteKeyW(HKEY_USERS, sid.c_str());
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, profile_key.c_str());
}

// The helper as the window starts it: a real run of the program.
TEST(DeleteHelper, ExitsZeroOnlyWhenEverythingWasScheduled) {
  ScheduleDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"folder"));
  ASSERT_TRUE(test::write_file(dir / L"folder\\file.txt"));
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", dir / L"folder"}), 0u);
  EXPECT_EQ(pending_under(dir.path()), (std::vector<std::wstring>{dir / L"folder\\file.txt", dir / L"folder"}));
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", L"C:\\windows"}), 1u);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", L"D:"}), 1u);
}

// A target that reads like an option stays a path to the helper, and is refused with
// everything else on its line.
TEST(DeleteHelper, TakesNoOrdersFromItsPaths) {
  ScheduleDir dir;
  ASSERT_TRUE(test::write_file(dir / L"file.txt"));
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Tarnwick", L"Language", REG_SZ, L"en", 6), ERROR_SUCCESS);
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", dir / L"file.txt", L"--unregister"}), 1u);
  EXPECT_TRUE(pending_under(dir.path()).empty());
  DWORD bytes = 0;
  EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tarnwick", L"Language", RRF_RT_REG_SZ, nullptr, nullptr, &bytes),
            ERROR_SUCCESS);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
}

}  // namespace
}  // namespace tw
