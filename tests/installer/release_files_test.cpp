// The release files scripts/package makes, as the program's own updater reads them: the
// "packages" fixture made them for this build (a) and the next one (b), signed with a test
// certificate.
#include <gtest/gtest.h>

#include <sstream>

#include "app/language/catalogue.h"
#include "app/updater/update_check.h"
#include "app/updater/update_install.h"
#include "common/text.h"
#include "support/standin_site.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

std::wstring packages(std::wstring_view name) { return test::program_dir() + L"\\packages\\" + std::wstring(name); }

std::wstring setup_name(std::string_view version) { return L"Tarnwick-Setup-" + to_wide(version) + L".exe"; }

std::string next_version() {
  const std::optional<Manifest> next = parse_manifest(test::read_file(packages(L"b\\update.json")));
  return next ? next->version : std::string();
}

TEST(ReleaseFiles, TheManifestIsOneTheProgramReadsAndItMatchesTheInstaller) {
  const std::string text = test::read_file(packages(L"a\\update.json"));
  ASSERT_FALSE(text.empty());
  EXPECT_TRUE(is_valid_utf8(text));
  const std::optional<Manifest> manifest = parse_manifest(text);
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->version, kCurrentVersion);
  EXPECT_EQ(manifest->url, TW_MAKER_URL "tarnwick/Tarnwick-Setup-" + std::string(kCurrentVersion) + ".exe");

  const std::wstring installer = packages(L"a\\" + setup_name(kCurrentVersion));
  const FileDigest digest = digest_file(installer);
  ASSERT_EQ(digest.error, 0u);
  EXPECT_EQ(manifest->size, digest.size);
  EXPECT_EQ(manifest->sha256, digest.sha256);
  // The release's own version resource says what it is; as an update of itself it is refused.
  FileVersion own = parse_version(kCurrentVersion);
  own.push_back(0);
  EXPECT_EQ(file_version(installer), own);
  EXPECT_EQ(judge_installer(
                *manifest, digest, [&] { return verify_installer_signer(installer); },
                [&] { return file_version(installer); }),
            InstallerVerdict::VersionMismatch);

  // The same version is no update; the next one is.
  EXPECT_EQ(check_result_of(text, true).outcome, CheckOutcome::UpToDate);
  const CheckResult next = check_result_of(test::read_file(packages(L"b\\update.json")), false);
  EXPECT_EQ(next.outcome, CheckOutcome::Available);
  EXPECT_EQ(next.manifest.version, next_version());
}

TEST(ReleaseFiles, Sha256SumsListsEveryFileWithItsDigest) {
  std::istringstream sums(test::read_file(packages(L"a\\SHA256SUMS")));
  std::vector<std::string> names;
  for (std::string line; std::getline(sums, line);) {
    ASSERT_GT(line.size(), 66u) << line;
    ASSERT_EQ(line.substr(64, 2), "  ") << line;
    const std::string name = line.substr(66);
    EXPECT_EQ(digest_file(packages(L"a\\" + to_wide(name))).sha256, line.substr(0, 64)) << name;
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Tarnwick-Setup-" + std::string(kCurrentVersion) + ".exe",
                                             "Tarnwick-" + std::string(kCurrentVersion) + "-portable.zip",
                                             "Tarnwick-" + std::string(kCurrentVersion) + ".msix", "update.json"}));
}

// The updater downloads each as the manifest offers it; only the genuine one, offered as what
// it is, is kept.
TEST(ReleaseFiles, TheUpdaterKeepsOnlyTheGenuineInstaller) {
  test::StandInSite site;
  ASSERT_TRUE(site.ready());
  const std::string next = next_version();
  ASSERT_FALSE(next.empty());

  struct Case {
    const wchar_t* folder;
    std::string version;  // the installer's
    std::string offered;  // empty: as the folder's manifest says
    std::string failure;  // empty: kept
  };
  const std::string unsigned_text(localized(msg::kSignatureNotVerified));
  const std::string version_text(localized(msg::kInstallerVersionMismatch));
  const Case cases[] = {
      {L"b-tampered", next, "", unsigned_text},
      {L"b-other", next, "", unsigned_text},
      {L"b", next, "", ""},
      // Genuine, signed and whole, offered under another number.
      {L"a", kCurrentVersion, "9.9.9", version_text},
      {L"b", next, "9.9.9", version_text},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(to_utf8(c.folder) + " offered as " + c.offered);
    const std::wstring folder = std::wstring(c.folder) + L"\\";
    const std::wstring name = setup_name(c.version);
    // Each folder's manifest matches its own installer.
    std::optional<Manifest> manifest = parse_manifest(test::read_file(packages(folder + L"update.json")));
    ASSERT_TRUE(manifest);
    const FileDigest served = digest_file(packages(folder + name));
    ASSERT_EQ(served.sha256, manifest->sha256);
    ASSERT_EQ(served.size, manifest->size);
    ASSERT_TRUE(site.serve_copy(name, packages(folder + name)));
    if (!c.offered.empty()) manifest->version = c.offered;

    const std::wstring downloaded = site.temp() + setup_name(manifest->version);
    const DownloadResult result = download_installer(*manifest);
    EXPECT_EQ(result.ready, c.failure.empty());
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(test::file_exists(downloaded), c.failure.empty());
    static_cast<void>(::DeleteFileW(downloaded.c_str()));
  }
}

}  // namespace
}  // namespace tw
