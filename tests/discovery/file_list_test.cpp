#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "discovery/file_list.h"
#include "support/identity_answers.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using test::TempDir;

const ProgressSink kNoProgress = [](const ScanProgress&) {};

// Files f<first>.. f<first+count-1> spread over subfolders of 250: Wine looks through a
// whole folder to create a file, so one flat folder of 50,000 would take many minutes.
bool make_files(const std::wstring& folder, std::size_t count, std::size_t first = 0) {
  for (std::size_t i = first; i < first + count; ++i) {
    const std::wstring sub = folder + L"\\d" + std::to_wstring(i / 250);
    if (i % 250 == 0 || i == first) ::CreateDirectoryW(sub.c_str(), nullptr);
    if (!test::write_file(sub + L"\\f" + std::to_wstring(i))) return false;
  }
  return true;
}

TEST(EntryKind, SkipsNameSurrogatesAndKeepsOtherReparsePoints) {
  constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
  constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
  EXPECT_EQ(entry_kind(kDir, 0), EntryKind::Folder);
  EXPECT_EQ(entry_kind(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 0), EntryKind::File);
  EXPECT_EQ(entry_kind(kDir | kReparse, 0xA0000003), EntryKind::Link);  // junction / mount point
  EXPECT_EQ(entry_kind(kDir | kReparse, 0xA000000C), EntryKind::Link);  // directory symbolic link
  EXPECT_EQ(entry_kind(kReparse, 0xA000000C), EntryKind::Link);         // file symbolic link
  EXPECT_EQ(entry_kind(kReparse, 0x80000013), EntryKind::File);         // deduplicated file
  EXPECT_EQ(entry_kind(kDir | kReparse, 0x9000601A), EntryKind::Folder);  // cloud-synced folder
  // Without the reparse attribute the tag field means nothing.
  EXPECT_EQ(entry_kind(kDir, 0xA0000003), EntryKind::Folder);
  EXPECT_EQ(entry_kind(0, 0xA000000C), EntryKind::File);
}

// One tree of 49,999 files serves every case around the cap; it is slow to make.
TEST(BuildFileList, StopsAtTheCapAndKeepsListingLaterFileTargets) {
  TempDir dir;
  const std::wstring big = dir / L"big";
  ASSERT_TRUE(test::make_dir(big));
  ASSERT_TRUE(make_files(big, 49'999));
  ASSERT_TRUE(test::write_file(dir / L"one.txt"));
  ASSERT_TRUE(test::write_file(dir / L"two.txt"));
  ASSERT_TRUE(test::make_dir(dir / L"later"));
  ASSERT_TRUE(test::write_file(dir / L"later\\x.txt"));

  // Two file targets, then 49,999 files: 2 + 49,998 fit.
  std::vector<ScanProgress> offers;
  FileListing l = build_file_list({dir / L"one.txt", dir / L"two.txt", big, dir / L"later", dir / L"three.txt"},
                                  [&](const ScanProgress& p) { offers.push_back(p); });
  EXPECT_EQ(l.files.size(), 50'000u);
  EXPECT_EQ(l.files_checked, 50'000u);
  EXPECT_TRUE(l.truncated);
  EXPECT_EQ(l.folders, 2u);  // the folder after the full list is still entered
  EXPECT_EQ(l.files[0], dir / L"one.txt");
  EXPECT_EQ(l.files[1], dir / L"two.txt");
  ASSERT_EQ(offers.size(), 100u);
  for (std::size_t i = 0; i < offers.size(); ++i) {
    EXPECT_EQ(offers[i].phase, ScanPhase::Listing);
    EXPECT_EQ(offers[i].files, (i + 1) * 500);
    EXPECT_EQ(offers[i].fraction, 0.0f);
  }

  // A file target after the cap is still listed; a missing one is not.
  ASSERT_TRUE(test::write_file(dir / L"three.txt"));
  l = build_file_list({dir / L"one.txt", dir / L"two.txt", big, dir / L"three.txt", dir / L"gone.txt"}, kNoProgress);
  EXPECT_EQ(l.files.size(), 50'001u);
  EXPECT_EQ(l.files.back(), dir / L"three.txt");

  // Exactly 50,000 files: complete.
  ASSERT_TRUE(make_files(big, 1, 49'999));
  l = build_file_list({big}, kNoProgress);
  EXPECT_EQ(l.files.size(), 50'000u);
  EXPECT_FALSE(l.truncated);

  // 50,001 files: one too many.
  ASSERT_TRUE(make_files(big, 1, 50'000));
  l = build_file_list({big}, kNoProgress);
  EXPECT_EQ(l.files.size(), 50'000u);
  EXPECT_TRUE(l.truncated);
}

TEST(BuildFileList, WalksFoldersDepthFirstInTheUsersSpelling) {
  TempDir dir;
  const std::wstring root = dir / L"Root";
  ASSERT_TRUE(test::make_dir(root));
  ASSERT_TRUE(test::make_dir(root + L"\\Sub"));
  ASSERT_TRUE(test::make_dir(root + L"\\Sub\\Deeper"));
  ASSERT_TRUE(test::make_dir(root + L"\\Empty"));
  ASSERT_TRUE(test::write_file(root + L"\\top.txt"));
  ASSERT_TRUE(test::write_file(root + L"\\Sub\\mid.txt"));
  ASSERT_TRUE(test::write_file(root + L"\\Sub\\Deeper\\low.txt"));
  ASSERT_TRUE(test::write_file(root + L"\\Sub\\Deeper\\\xD835\xDCB3.txt"));  // outside the BMP

  // Spelled in another case and with a trailing backslash, as a user might.
  const std::wstring spelled = dir / L"ROOT\\";
  const FileListing l = build_file_list({spelled}, kNoProgress);
  EXPECT_EQ(l.folders, 1u);
  EXPECT_FALSE(l.truncated);
  const std::vector<std::wstring> expected{spelled + L"top.txt", spelled + L"Sub\\mid.txt",
                                           spelled + L"Sub\\Deeper\\low.txt",
                                           spelled + L"Sub\\Deeper\\\xD835\xDCB3.txt"};
  ASSERT_EQ(l.files.size(), expected.size());
  // A folder's own files come before those of its subfolders.
  EXPECT_EQ(l.files[0], expected[0]);
  EXPECT_EQ(l.files[1], expected[1]);
  EXPECT_TRUE(std::is_permutation(l.files.begin() + 2, l.files.end(), expected.begin() + 2));
  EXPECT_TRUE(l.read_only.empty());
}

TEST(BuildFileList, CountsFoldersMissingTargetsAndReadOnlyFiles) {
  TempDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"empty"));
  ASSERT_TRUE(test::make_dir(dir / L"ro"));
  ASSERT_TRUE(test::make_dir(dir / L"ro\\a"));
  ASSERT_TRUE(test::make_dir(dir / L"ro\\a\\b"));
  for (const wchar_t* name : {L"ro\\1.txt", L"ro\\a\\2.txt", L"ro\\a\\b\\3.txt", L"ro\\a\\b\\writable.txt",
                              L"single.txt"}) {
    ASSERT_TRUE(test::write_file(dir / name));
  }
  for (const wchar_t* name : {L"ro\\1.txt", L"ro\\a\\2.txt", L"ro\\a\\b\\3.txt", L"single.txt"}) {
    ASSERT_TRUE(test::set_read_only(dir / name));
  }

  const FileListing l =
      build_file_list({dir / L"missing", dir / L"empty", dir / L"ro", dir / L"single.txt"}, kNoProgress);
  EXPECT_EQ(l.folders, 2u);  // a missing target is not a folder
  EXPECT_EQ(l.files.size(), 5u);
  EXPECT_EQ(l.files.back(), dir / L"single.txt");
  EXPECT_EQ(l.read_only.size(), 1u);
  EXPECT_EQ(read_only_count(l.read_only, dir / L"ro"), 3u);
  // A read-only file given as a target is no folder's count.
  EXPECT_EQ(read_only_count(l.read_only, dir / L"single.txt"), 0u);
  EXPECT_EQ(read_only_count(l.read_only, dir / L"empty"), 0u);

  EXPECT_TRUE(build_file_list({}, kNoProgress).files.empty());
}

TEST(BuildFileList, ListsFilesOtherProgramsHoldWithoutSharing) {
  TempDir dir;
  ASSERT_TRUE(test::make_dir(dir / L"busy"));
  ASSERT_TRUE(test::write_file(dir / L"busy\\locked.docx", "data"));
  ASSERT_TRUE(test::write_file(dir / L"alone.xlsx", "data"));

  // Files held without sharing, and the folder as a command prompt holds its current one.
  auto holder = test::HolderProcess::start({L"--share", L"none", L"--open", dir / L"busy\\locked.docx", L"--open",
                                            dir / L"alone.xlsx", L"--cwd", dir / L"busy"});
  ASSERT_TRUE(holder);
  // The holder really keeps others out.
  UniqueHandle probe(::CreateFileW((dir / L"alone.xlsx").c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(probe);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  const FileListing l = build_file_list({dir / L"busy", dir / L"alone.xlsx"}, kNoProgress);
  EXPECT_EQ(l.files, (std::vector<std::wstring>{dir / L"busy\\locked.docx", dir / L"alone.xlsx"}));
  EXPECT_EQ(l.folders, 1u);
  EXPECT_EQ(holder->stop(), 0u);
}

TEST(BuildFileList, EndsFolderLoopsAndListsAFolderOnlyOnce) {
  const std::wstring fixtures = test::link_fixtures_dir();
  const auto started = std::chrono::steady_clock::now();
  // Linux symbolic links look like plain folders here, as some network shares show them.
  const FileListing empty = build_file_list({fixtures + L"\\loop-empty"}, kNoProgress);
  EXPECT_TRUE(empty.files.empty());
  EXPECT_EQ(empty.folders, 1u);
  const FileListing looped = build_file_list({fixtures + L"\\loop-files"}, kNoProgress);
  std::vector<std::wstring> files = looped.files;
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::wstring>{fixtures + L"\\loop-files\\one.txt",
                                              fixtures + L"\\loop-files\\sub\\two.txt"}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

  // The same folder under a second drive letter: listed under the first spelling only.
  const std::wstring name = L"tw-list-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring by_drive = std::wstring(test::kAliasDrive) + L"\\" + name;
  ASSERT_TRUE(test::make_dir(by_drive));
  ASSERT_TRUE(test::write_file(by_drive + L"\\x.txt"));
  const FileListing twice = build_file_list({fixtures + L"\\alias\\" + name, by_drive}, kNoProgress);
  EXPECT_EQ(twice.files, std::vector<std::wstring>{fixtures + L"\\alias\\" + name + L"\\x.txt"});
  EXPECT_EQ(twice.folders, 2u);
  test::remove_tree(by_drive);
}

TEST(BuildFileList, SpellsNamesThatPlainPathsMisreadVerbatim) {
  TempDir dir;
  const std::wstring names = dir / L"names";
  ASSERT_TRUE(test::make_dir(names));
  const std::vector<std::wstring> odd{L"COM1", L"con", L"nul.txt", L"trail.", L"trail "};
  for (const std::wstring& name : odd) ASSERT_TRUE(test::write_file_exactly(names, name));
  ASSERT_TRUE(test::write_file(names + L"\\plain.txt"));

  const FileListing l = build_file_list({names}, kNoProgress);
  std::vector<std::wstring> expected{names + L"\\plain.txt"};
  for (const std::wstring& name : odd) expected.push_back(L"\\\\?\\" + names + L"\\" + name);
  EXPECT_TRUE(std::is_permutation(l.files.begin(), l.files.end(), expected.begin(), expected.end()))
      << testing::PrintToString(l.files);

  // A file whose name ends in dots and spaces is a file, not the folder it is in.
  ASSERT_TRUE(test::write_file_exactly(names, L"t. . "));
  const std::wstring dotted = L"\\\\?\\" + names + L"\\t. . ";
  const FileListing one = build_file_list({dotted}, kNoProgress);
  EXPECT_EQ(one.files, std::vector<std::wstring>{dotted});
  EXPECT_EQ(one.folders, 0u);
}

// Where file numbers do not tell folders apart, every folder is still listed (once they made
// whole subtrees look like loops), and a folder given twice is listed once, by its path.
TEST(BuildFileList, ListsEveryFolderWhereFileNumbersAreNotUnique) {
  TempDir dir;
  const std::wstring top = dir / L"t";
  for (const wchar_t* folder : {L"", L"\\a", L"\\a\\b", L"\\c"}) ASSERT_TRUE(test::make_dir(top + folder));
  const std::vector<std::wstring> expected{top + L"\\w.txt", top + L"\\a\\x.txt", top + L"\\a\\b\\y.txt",
                                           top + L"\\c\\z.txt"};
  for (const std::wstring& file : expected) ASSERT_TRUE(test::write_file(file));

  for (const test::IdentityAnswers& answers : test::kSharedNumbers) {
    const FileIdentityApi ids = test::identity_api_answering(answers);
    const FileListing l = build_file_list({top, top + L"\\a"}, kNoProgress, ids);
    EXPECT_TRUE(std::is_permutation(l.files.begin(), l.files.end(), expected.begin(), expected.end()))
        << answers.what << testing::PrintToString(l.files);
    EXPECT_EQ(l.folders, 2u) << answers.what;
    // Only an identifier that names one file is an identity.
    const UniqueHandle folder = open_for_identity(top);
    EXPECT_EQ(file_identity(folder.get(), ids).has_value(), answers.wide == test::IdentityAnswers::Wide::PerFile)
        << answers.what;
  }
}

}  // namespace
}  // namespace tw
