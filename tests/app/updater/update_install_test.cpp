#include <gtest/gtest.h>

#include "app/language/catalogue.h"
#include "app/updater/update_install.h"
#include "common/text.h"
#include "support/standin_site.h"

namespace tw {
namespace {

std::span<const unsigned char> bytes_of(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

TEST(UpdateDigest, Sha256OfBytesAndOfAFile) {
  EXPECT_EQ(sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex(bytes_of("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex(bytes_of(std::string(1'000'000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  // Exactly the size of one read, so the end of the file comes as a read of nothing.
  test::TempDir dir;
  std::string mib(1 << 20, '\0');
  for (std::size_t i = 0; i < mib.size(); ++i) mib[i] = static_cast<char>((i * 7 + i / 256) % 256);
  ASSERT_TRUE(test::write_file(dir / L"one.bin", mib));
  const FileDigest digest = digest_file(dir / L"one.bin");
  EXPECT_EQ(digest.error, 0u);
  EXPECT_EQ(digest.size, 1u << 20);
  EXPECT_EQ(digest.sha256, "1f8647d4cd2f7594c35c413e582e01089c00929dd4239eddd5ded3d40f325d53");
  EXPECT_EQ(digest_file(dir / L"missing.bin").error, DWORD{ERROR_FILE_NOT_FOUND});
}

TEST(UpdateJudge, SizeThenDigestThenSignerThenVersionFirstFailureDecides) {
  const Manifest manifest{"0.2.0", "https://d", "abc", 10};
  int asked = 0;
  const auto signer = [&](std::optional<std::string> name) {
    return [&asked, name] {
      ++asked;
      return name;
    };
  };
  const auto good = signer(kExpectedSigner);
  int versions_read = 0;
  const auto version_is = [&](std::optional<FileVersion> version) {
    return [&versions_read, version] {
      ++versions_read;
      return version;
    };
  };
  const auto v020 = version_is(FileVersion{0, 2, 0, 0});
  EXPECT_EQ(judge_installer(manifest, FileDigest{0, 10, "abc"}, good, v020), InstallerVerdict::Accepted);
  EXPECT_EQ(judge_installer(manifest, FileDigest{0, 11, "xyz"}, good, v020), InstallerVerdict::SizeMismatch);
  EXPECT_EQ(judge_installer(manifest, FileDigest{0, 10, "abd"}, good, v020), InstallerVerdict::DigestMismatch);
  EXPECT_EQ(judge_installer(manifest, FileDigest{0, 10, "ABC"}, good, v020), InstallerVerdict::DigestMismatch);
  EXPECT_EQ(asked, 1);  // only once size and digest had passed
  // No size given: the digest and signer still decide.
  const Manifest unsized{"0.2.0", "https://d", "abc", 0};
  EXPECT_EQ(judge_installer(unsized, FileDigest{0, 12345, "abc"}, good, v020), InstallerVerdict::Accepted);
  // A digest the system could not compute matches no manifest, not even an empty one.
  EXPECT_EQ(judge_installer(Manifest{"1", "https://d", "", 0}, FileDigest{0, 1, ""}, good, v020),
            InstallerVerdict::DigestMismatch);
  for (const std::optional<std::string>& name : std::initializer_list<std::optional<std::string>>{
           std::nullopt, "", "Quorvel Co., Ltd", "quorvel co., ltd.", " Quorvel Co., Ltd.", "Quorvel Co., Ltd. "}) {
    EXPECT_EQ(judge_installer(manifest, FileDigest{0, 10, "abc"}, signer(name), v020), InstallerVerdict::SignerMismatch);
  }
  EXPECT_EQ(versions_read, 2);  // only once the signer had passed

  // The installer's own version is the manifest's (missing numbers are 0) and newer than 0.1.0.
  struct Case {
    std::string offered;
    std::optional<FileVersion> own;
    bool accepted;
  };
  const Case cases[] = {
      {"0.2", FileVersion{0, 2, 0, 0}, true},
      {"0.1.0.1", FileVersion{0, 1, 0, 1}, true},
      {"9.9.9", FileVersion{0, 1, 0, 0}, false},  // a genuine older installer, offered as later
      {"9.9.9", FileVersion{0, 2, 0, 0}, false},
      {"0.2.0", FileVersion{0, 2, 0, 1}, false},
      {"0.2.0", FileVersion{0, 3, 0, 0}, false},
      {"0.1.0", FileVersion{0, 1, 0, 0}, false},  // no newer than this program
      {"0.0.9", FileVersion{0, 0, 9, 0}, false},
      {"0.2.0", std::nullopt, false},  // no version resource
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offered);
    EXPECT_EQ(judge_installer(Manifest{c.offered, "https://d", "abc", 0}, FileDigest{0, 10, "abc"}, good, version_is(c.own)),
              c.accepted ? InstallerVerdict::Accepted : InstallerVerdict::VersionMismatch);
  }
}

TEST(UpdateVersionResource, ReadsTheFixedVersionOfAProgramFile) {
  EXPECT_EQ(file_version(test::test_installer(L"signed.exe")), (FileVersion{0, 2, 0, 0}));
  EXPECT_EQ(file_version(test::test_installer(L"tw_installer.exe")), (FileVersion{0, 2, 0, 0}));
  EXPECT_EQ(file_version(test::program_dir() + L"\\tw_described.exe"), (FileVersion{1, 0, 0, 0}));
  EXPECT_EQ(file_version(test::program_dir() + L"\\tw_curl.exe"), std::nullopt);
  EXPECT_EQ(file_version(L"Z:\\nowhere\\missing.exe"), std::nullopt);
}

TEST(UpdateSigner, NamesTheCertificateThatSigned) {
  EXPECT_EQ(verify_installer_signer(test::test_installer(L"signed.exe")), "Quorvel Co., Ltd.");
  EXPECT_EQ(verify_installer_signer(test::test_installer(L"signed-no-stop.exe")), "Quorvel Co., Ltd");
  EXPECT_EQ(verify_installer_signer(test::test_installer(L"signed-other-case.exe")), "QUORVEL CO., LTD.");
  EXPECT_EQ(verify_installer_signer(test::test_installer(L"tw_installer.exe")), std::nullopt);
  EXPECT_EQ(verify_installer_signer(L"Z:\\nowhere\\missing.exe"), std::nullopt);
}

TEST(UpdateDownload, KeepsOnlyAVerifiedInstaller) {
  test::StandInSite site;
  ASSERT_TRUE(site.ready());
  const std::wstring good = test::test_installer(L"signed.exe");
  const FileDigest facts = digest_file(good);
  ASSERT_EQ(facts.error, 0u);
  struct Case {
    const wchar_t* served;  // nullptr: curl fails with exit code 6
    std::uint64_t size;
    std::string sha256;
    std::string failure;  // empty: ready
    bool kept;
    std::string version = "0.2.0";  // what the manifest offers; the stand-in is 0.2.0
  };
  const std::string corrupt(localized(msg::kDownloadHashMismatch));
  const std::string unsigned_text(localized(msg::kSignatureNotVerified));
  const Case cases[] = {
      {L"signed.exe", facts.size, facts.sha256, "", true},
      {L"signed.exe", 0, facts.sha256, "", true},
      {L"signed.exe", facts.size + 1, facts.sha256, std::string(localized(msg::kDownloadSizeMismatch)), false},
      {L"signed.exe", 0, std::string(64, '0'), corrupt, false},
      {L"signed-no-stop.exe", 0, digest_file(test::test_installer(L"signed-no-stop.exe")).sha256, unsigned_text, false},
      {L"signed-other-case.exe", 0, digest_file(test::test_installer(L"signed-other-case.exe")).sha256, unsigned_text,
       false},
      {L"tw_installer.exe", 0, digest_file(test::test_installer(L"tw_installer.exe")).sha256, unsigned_text, false},
      // Genuine, signed and whole, but not the version the manifest offers.
      {L"signed.exe", facts.size, facts.sha256, std::string(localized(msg::kInstallerVersionMismatch)), false, "9.9.9"},
      {L"signed.exe", facts.size, facts.sha256, std::string(localized(msg::kInstallerVersionMismatch)), false, "0.2.1"},
      {nullptr, 0, facts.sha256, std::string(localized(msg::kDownloadFailed)), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.served ? to_utf8(c.served) : "curl fails") + " offered as " + c.version);
    const std::wstring path = site.temp() + L"Tarnwick-Setup-" + to_wide(c.version) + L".exe";
    static_cast<void>(::DeleteFileW(path.c_str()));
    ASSERT_TRUE(c.served ? site.serve_copy(L"Setup.exe", test::test_installer(c.served)) : site.fail(L"Setup.exe", 6));
    const DownloadResult result = download_installer(Manifest{c.version, "https://dl.example/Setup.exe", c.sha256, c.size});
    EXPECT_EQ(result.ready, c.failure.empty());
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(result.path, c.failure.empty() ? path : L"");
    EXPECT_EQ(test::file_exists(path), c.kept);
    EXPECT_EQ(static_cast<bool>(result.held), c.failure.empty());
  }
  EXPECT_EQ(site.curl_runs().back().back(), "https://dl.example/Setup.exe");
}

// Between its check and its start, the installer cannot be changed, replaced or deleted; it
// can still be read and run. Once the result is gone, it is an ordinary file again.
TEST(UpdateDownload, HoldsTheCheckedInstallerUntilItIsLetGo) {
  test::StandInSite site;
  ASSERT_TRUE(site.ready());
  const std::wstring good = test::test_installer(L"signed.exe");
  ASSERT_TRUE(site.serve_copy(L"Setup.exe", good));
  DownloadResult result = download_installer(Manifest{"0.2.0", "https://dl.example/Setup.exe", digest_file(good).sha256, 0});
  ASSERT_TRUE(result.ready) << result.failure;
  const std::wstring& path = result.path;
  const std::wstring other = site.temp() + L"other.exe";
  ASSERT_TRUE(::CopyFileW(good.c_str(), other.c_str(), FALSE));

  const auto open_for = [&](DWORD access) {
    return UniqueHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  };
  EXPECT_FALSE(open_for(GENERIC_WRITE));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(open_for(DELETE));
  EXPECT_FALSE(::DeleteFileW(path.c_str()));
  EXPECT_FALSE(::MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(::MoveFileExW(path.c_str(), (site.temp() + L"moved.exe").c_str(), 0));
  EXPECT_TRUE(open_for(GENERIC_READ));
  EXPECT_EQ(digest_file(path).sha256, digest_file(good).sha256);
  EXPECT_EQ(verify_installer_signer(path, result.held.get()), "Quorvel Co., Ltd.");

  result.held.reset();
  EXPECT_TRUE(open_for(GENERIC_WRITE));
  EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

// What the system answers when the installer asks for administrator rights in its manifest.
struct Launches {
  static inline DWORD create_error = 0;
  static inline DWORD shell_error = 0;
  static inline std::vector<std::wstring> shell_calls;  // file, then parameters
  static BOOL WINAPI create(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                            LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    ::SetLastError(create_error);
    return FALSE;
  }
  static BOOL WINAPI shell(SHELLEXECUTEINFOW* info) {
    shell_calls.insert(shell_calls.end(), {info->lpFile, info->lpParameters});
    ::SetLastError(shell_error);
    return shell_error == 0;
  }
};

TEST(UpdateInstaller, OneThatAsksForAdministratorRightsIsStartedByTheShell) {
  const InstallerLaunch launch{&Launches::create, &Launches::shell};
  Launches::create_error = kElevationRequired;
  EXPECT_EQ(run_installer(L"C:\\T\\Setup.exe", launch), 0u);
  EXPECT_EQ(Launches::shell_calls,
            (std::vector<std::wstring>{L"C:\\T\\Setup.exe", L"/SILENT /SUPPRESSMSGBOXES /NORESTART /UPDATE=1"}));
  // The user said no at the prompt; any other failure is not taken to the shell at all.
  Launches::shell_error = ERROR_CANCELLED;
  EXPECT_EQ(run_installer(L"C:\\T\\Setup.exe", launch), static_cast<DWORD>(ERROR_CANCELLED));
  Launches::create_error = ERROR_FILE_NOT_FOUND;
  Launches::shell_calls.clear();
  EXPECT_EQ(run_installer(L"C:\\T\\Setup.exe", launch), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Launches::shell_calls.empty());
}

}  // namespace
}  // namespace tw
