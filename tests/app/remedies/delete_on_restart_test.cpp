#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>
#include <string>

#include "app/language/catalogue.h"
#include "app/remedies/delete_on_restart.h"
#include "app/remedies/pending_renames.h"
#include "app/system/startup.h"
#include "common/cmdline.h"
#include "common/text.h"
#include "discovery/path_spelling.h"
#include "discovery/paths.h"
#include "support/holder_process.h"
#include "support/identity_answers.h"
#include "support/pending_deletions.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::TempDir;

using test::forget_pending_under;
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

// All or nothing: one path that may not be deleted, wherever it is met, and nothing of the
// request is registered.
TEST(ScheduleDeleteOnReboot, OneFailureRefusesTheWholeRequest) {
  ScheduleDir dir;
  const std::wstring kept = dir / L"kept.txt", missing = dir / L"missing.txt";
  ASSERT_TRUE(test::write_file(kept));
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  // A folder holding a Linux symbolic link to the user's Documents, an ordinary folder here.
  const std::wstring bag = test::link_fixtures_dir() + L"\\bag";
  ASSERT_NE(::GetFileAttributesW((bag + L"\\lnk").c_str()), INVALID_FILE_ATTRIBUTES);
  struct Case {
    std::vector<Target> targets;
    DeleteRefusal refusal;
    std::wstring at;
  };
  const Case cases[] = {
      {{kept, missing}, DeleteRefusal::Missing, missing},
      {{kept, windows, dir / L"x"}, DeleteRefusal::Protected, windows},
      {{kept, L"D:\\"}, DeleteRefusal::Protected, L"D:\\"},
      {{kept, bag}, DeleteRefusal::Protected, bag + L"\\lnk"},
      {{}, DeleteRefusal::Empty, L""},
  };
  for (const Case& c : cases) {
    const DeletePlan plan = schedule_delete_on_reboot(c.targets);
    EXPECT_EQ(plan.refusal, c.refusal) << to_utf8(c.at);
    EXPECT_EQ(path_key(std::wstring_view(plan.at)), path_key(std::wstring_view(c.at)));
    EXPECT_TRUE(pending_under(dir.path()).empty()) << to_utf8(c.at);
    EXPECT_TRUE(pending_under(bag).empty()) << to_utf8(c.at);
  }
  // Stopped before the write: nothing either.
  const std::atomic<bool> stop{true};
  EXPECT_EQ(schedule_delete_on_reboot({kept}, DeleteControl{&stop, {}, {}}).refusal, DeleteRefusal::Stopped);
  EXPECT_TRUE(pending_under(dir.path()).empty());
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

// Where file numbers do not tell folders apart, folders are still entered and deleted after
// what they hold (once they were taken for links to a folder met before, and left standing).
TEST(ScheduleDeleteOnReboot, EntersEveryFolderWhereFileNumbersAreNotUnique) {
  TempDir dir;
  const std::wstring top = dir / L"t";
  for (const wchar_t* folder : {L"", L"\\a", L"\\a\\b", L"\\c"}) ASSERT_TRUE(test::make_dir(top + folder));
  for (const wchar_t* file : {L"\\w.txt", L"\\a\\x.txt", L"\\a\\b\\y.txt", L"\\c\\z.txt"}) {
    ASSERT_TRUE(test::write_file(top + file));
  }
  const std::vector<std::wstring> expected{top + L"\\w.txt", top + L"\\a\\x.txt", top + L"\\a\\b\\y.txt",
                                           top + L"\\c\\z.txt", top + L"\\a\\b", top + L"\\a", top + L"\\c", top};

  for (const test::IdentityAnswers& answers : test::kSharedNumbers) {
    const auto order = deletion_order(top, kScheduleCap, test::identity_api_answering(answers));
    ASSERT_TRUE(order) << answers.what;
    EXPECT_TRUE(std::is_permutation(order->begin(), order->end(), expected.begin(), expected.end()))
        << answers.what << testing::PrintToString(*order);
    const auto at = [&](const std::wstring& entry) { return std::find(order->begin(), order->end(), entry); };
    EXPECT_LT(at(top + L"\\a\\b\\y.txt"), at(top + L"\\a\\b")) << answers.what;
    EXPECT_LT(at(top + L"\\a\\b"), at(top + L"\\a")) << answers.what;
    EXPECT_EQ(order->back(), top) << answers.what;
  }
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
  forget_pending_under(dir.path());
  // A protected path between two good ones: nothing of the three.
  ASSERT_TRUE(test::write_file(dir / L"other.txt"));
  EXPECT_EQ(test::run_program(L"tarnwick.exe",
                              {L"--delete-on-reboot", dir / L"folder", L"C:\\windows", dir / L"other.txt"}),
            1u);
  EXPECT_TRUE(pending_under(dir.path()).empty());
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--delete-on-reboot", L"D:"}), 1u);
}

// The command line says what happened: all of it scheduled, or nothing and why.
TEST(DeleteHelper, TheCommandLineSchedulesAllOrNothing) {
  ScheduleDir dir;
  const std::wstring good = dir / L"good.txt";
  ASSERT_TRUE(test::write_file(good));
  EXPECT_EQ(test::run_program(L"tarnwick-cli.exe", {L"delete-on-restart", L"--yes", good, dir / L"missing.txt"}), 1u);
  EXPECT_TRUE(pending_under(dir.path()).empty());
  EXPECT_EQ(test::run_program(L"tarnwick-cli.exe", {L"delete-on-restart", L"--yes", good}), 0u);
  EXPECT_EQ(pending_under(dir.path()), std::vector<std::wstring>{good});
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


// The value as stored (type and bytes), put back at the end whatever the test did to it.
class SavedPendingValue {
 public:
  SavedPendingValue() { present_ = read(type_, data_); }
  ~SavedPendingValue() {
    if (!present_) {
      ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
      return;
    }
    ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, type_, data_.data(),
                      static_cast<DWORD>(data_.size()));
  }
  static bool read(DWORD& type, std::string& data) {
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                       &bytes) != ERROR_SUCCESS) {
      return false;
    }
    data.assign(bytes, '\0');
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(),
                       &bytes) != ERROR_SUCCESS) {
      return false;
    }
    data.resize(bytes);
    return true;
  }
  static std::wstring value() {
    DWORD type = 0;
    std::string data;
    if (!read(type, data)) return L"<none>";
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  }
  static void set(DWORD type, std::wstring_view v) {
    ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, type, v.data(),
                      static_cast<DWORD>(v.size() * sizeof(wchar_t)));
  }
  static constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static constexpr wchar_t kPending[] = L"PendingFileRenameOperations";

 private:
  bool present_ = false;
  DWORD type_ = 0;
  std::string data_;
};

using namespace std::string_literals;

// One write that keeps what is there, pair by pair, and adds what MoveFileExW would add.
TEST(PendingRenames, KeepsEveryPairAndAddsWhatMoveFileExAdds) {
  const SavedPendingValue saved;
  ScheduleDir dir;
  const std::wstring file = dir / L"f.txt";
  ASSERT_TRUE(test::write_file(file));
  ASSERT_TRUE(test::write_file_exactly(dir.path(), L"con"));
  const std::vector<std::wstring> added{exact_path(file), exact_path(dir / L"con")};
  // What Windows' own call writes for the same paths, from nothing.
  ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SavedPendingValue::kSessionManager, SavedPendingValue::kPending);
  for (const std::wstring& path : added) ASSERT_TRUE(::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  const std::wstring by_windows = SavedPendingValue::value();
  const std::wstring pairs = by_windows.substr(0, by_windows.size() - 1);  // without the closing string

  struct Case {
    std::optional<std::wstring> before;  // none: no value
    std::optional<std::wstring> after;   // none: left as it was
    DWORD type = REG_MULTI_SZ;
  };
  const std::wstring rename = L"\\??\\X:\\a\0!\\??\\X:\\b\0"s, deletion = L"\\??\\X:\\c\0\0"s;
  const Case cases[] = {
      {std::nullopt, by_windows},
      {L"\0"s, by_windows},                                         // an empty list
      {rename + deletion + L'\0', rename + deletion + by_windows},  // the usual form
      {deletion, deletion + by_windows},                            // written without its closing string
      {deletion + L"\\??\\X:\\d\0"s, std::nullopt},                 // a source without its new name
      {L"\\??\\X:\\e"s, std::nullopt},                              // a string without its end
      {deletion, std::nullopt, REG_SZ},
  };
  for (const Case& c : cases) {
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SavedPendingValue::kSessionManager, SavedPendingValue::kPending);
    if (c.before) SavedPendingValue::set(c.type, *c.before);
    const std::wstring before = SavedPendingValue::value();
    EXPECT_EQ(add_pending_deletions(added), c.after.has_value()) << to_utf8(before);
    EXPECT_EQ(SavedPendingValue::value(), c.after.value_or(before)) << to_utf8(before);
  }
  EXPECT_EQ(pairs.find(L"\\??\\" + dir.path()), 0u);
}

// Windows' answers about drives, as a test gives them.
struct FakeDrives {
  std::wstring removable_root, remote_root, hot_root, mount_root, subst_letter;
};
FakeDrives g_drives;

UINT fake_drive_type(const wchar_t* root) {
  const std::wstring r(root);
  if (r == g_drives.remote_root) return DRIVE_REMOTE;
  if (r == g_drives.removable_root) return DRIVE_REMOVABLE;
  return DRIVE_FIXED;
}
std::optional<std::wstring> fake_dos_device(const std::wstring& letter) {
  if (letter == g_drives.subst_letter) return L"\\??\\C:\\Work";
  return L"\\Device\\HarddiskVolume" + std::to_wstring(letter[0]);
}
std::optional<std::wstring> fake_volume_root(const std::wstring& path) {
  if (!g_drives.mount_root.empty() && path.starts_with(g_drives.mount_root)) return g_drives.mount_root;
  return path.substr(0, path.starts_with(L"\\\\?\\") ? 7 : 3);
}
bool fake_hot_pluggable(const std::wstring& root) { return root == g_drives.hot_root; }

TEST(DeleteOnRestartVolumes, RefusesWhatIsNotThereWhenWindowsStarts) {
  const VolumeApi api{&fake_drive_type, &fake_dos_device, &fake_volume_root, &fake_hot_pluggable};
  g_drives = FakeDrives{L"U:\\", L"M:\\", L"E:\\", L"C:\\Mount\\Stick\\", L"S:"};
  struct Case {
    const wchar_t* target;
    DeleteRefusal refusal;
  };
  const Case cases[] = {
      {L"\\\\server\\share\\x.txt", DeleteRefusal::Network},
      {L"\\\\?\\UNC\\server\\share\\x.txt", DeleteRefusal::Network},
      {L"M:\\x.txt", DeleteRefusal::Network},
      {L"S:\\x.txt", DeleteRefusal::Substituted},
      {L"U:\\x.txt", DeleteRefusal::Removable},
      {L"\\\\?\\U:\\con", DeleteRefusal::Removable},
      {L"E:\\x.txt", DeleteRefusal::Removable},  // a fixed disk on USB
      {L"C:\\Mount\\Stick\\x.txt", DeleteRefusal::None},
      {L"C:\\x.txt", DeleteRefusal::None},
      {L"\\\\?\\C:\\x.txt", DeleteRefusal::None},
  };
  for (const Case& c : cases) EXPECT_EQ(volume_refusal(c.target, api), c.refusal) << to_utf8(c.target);
  // A stick mounted in a folder of a fixed drive is judged by its own volume.
  g_drives.removable_root = L"C:\\Mount\\Stick\\";
  EXPECT_EQ(volume_refusal(L"C:\\Mount\\Stick\\x.txt", api), DeleteRefusal::Removable);

  // Refused before anything is registered.
  ScheduleDir dir;
  ASSERT_TRUE(test::write_file(dir / L"x.txt"));
  g_drives.removable_root = dir.path().substr(0, 3);
  const DeletePlan plan = schedule_delete_on_reboot({dir / L"x.txt"}, {}, api);
  EXPECT_EQ(plan.refusal, DeleteRefusal::Removable);
  EXPECT_NE(delete_refusal_text(plan).find(to_utf8(dir / L"x.txt")), std::string::npos) << delete_refusal_text(plan);
  EXPECT_TRUE(pending_under(dir.path()).empty());
}

// The wait for the elevated helper ends: with its answer, at its limit, or at Ctrl+C; a helper
// not waited for any longer is ended.
TEST(DeleteHelper, TheWaitForItEndsAndEndsIt) {
  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  const std::atomic<bool> go{false}, stop{true};
  struct Case {
    bool holder;  // a helper that never ends, else cmd with this exit
    const wchar_t* exit;
    const std::atomic<bool>* stop;
    DWORD limit_ms;
    HelperEnd end;
  };
  const Case cases[] = {
      {false, L"exit 0", &go, 30'000, HelperEnd::Succeeded},
      {false, L"exit 1", &go, 30'000, HelperEnd::Failed},
      {true, nullptr, &go, 300, HelperEnd::TimedOut},
      {true, nullptr, &stop, 30'000, HelperEnd::Stopped},
  };
  for (const Case& c : cases) {
    std::optional<test::HolderProcess> holder;
    std::optional<test::StartedProcess> started;
    HANDLE process = nullptr;
    if (c.holder) {
      holder = test::HolderProcess::start({});
      ASSERT_TRUE(holder);
      process = holder->process();
    } else {
      started = test::start_process(cmd, {L"/c", c.exit});
      ASSERT_TRUE(started);
      process = started->process.get();
    }
    const ULONGLONG begun = ::GetTickCount64();
    EXPECT_EQ(wait_for_helper(process, c.limit_ms, DeleteControl{c.stop, {}, {}}), c.end);
    EXPECT_LT(::GetTickCount64() - begun, 10'000u);
    EXPECT_EQ(::WaitForSingleObject(process, 0), WAIT_OBJECT_0);  // ended either way
  }
}

}  // namespace
}  // namespace tw
