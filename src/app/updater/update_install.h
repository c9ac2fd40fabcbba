#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/updater/manifest.h"
#include "common/handles.h"

namespace tw {

// Only installers signed by this name are run.
inline constexpr char kExpectedSigner[] = "Quorvel Co., Ltd.";

// Either Ready with the installer's path, or not, with the text for the user.
struct DownloadResult {
  bool ready = false;
  std::wstring path;
  std::string failure;
  // While ready: the installer, opened before it was checked, letting others read it but
  // not change, replace or delete it. Kept until the installer has been started, so that
  // what runs is what was checked.
  UniqueHandle held;
};

// SHA-256 as 64 lower-case hexadecimal digits; nothing when the system cannot hash.
std::optional<std::string> sha256_hex(std::span<const unsigned char> bytes);

// A file's length and SHA-256, read in one pass without holding it all in memory.
// `error` is the system's error code when the file could not be read (then nothing else
// counts); `sha256` is empty when the system could not hash.
struct FileDigest {
  DWORD error = 0;
  std::uint64_t size = 0;
  std::string sha256;
};
FileDigest digest_file(const std::wstring& path);
// The same for a file already open for reading, from its start.
FileDigest digest_file(HANDLE file);

enum class InstallerVerdict : std::uint8_t { Accepted, SizeMismatch, DigestMismatch, SignerMismatch, VersionMismatch };

// The four numbers of a program file's fixed version (its version resource), when it has one.
using FileVersion = std::vector<std::uint32_t>;
std::optional<FileVersion> file_version(const std::wstring& path);

// Size (when the manifest gives one), then digest, then signer, each exactly, then the
// installer's own version: the manifest's, and newer than this program, so that a genuine
// older installer offered under a later number is not run. The first that fails decides;
// `signer` is only asked when size and digest passed, `version` only when the signer did.
InstallerVerdict judge_installer(const Manifest& manifest, const FileDigest& digest,
                                 const std::function<std::optional<std::string>()>& signer,
                                 const std::function<std::optional<FileVersion>()>& version);

// The simple display name of the certificate that signed the file, when Windows trusts
// the signature; nothing otherwise. Given `file`, an open handle to it, Windows reads that.
std::optional<std::string> verify_installer_signer(const std::wstring& path, HANDLE file = nullptr);

// <temporary folder>Tarnwick-Setup-<version>.exe
std::wstring installer_path(std::wstring_view folder, std::string_view version);

// Downloads the installer named by the manifest and checks it, through the handle the
// result then holds; a file that fails a check is deleted.
DownloadResult download_installer(const Manifest& manifest);

// The worker: downloads and checks, stores the result and posts kMsgDownloadFinished.
void download_and_verify(const Manifest& manifest, HWND window);

// Starts that worker; false when no thread could be started.
[[nodiscard]] bool start_update_download(const Manifest& manifest, HWND window);

// CreateProcessW's answer for a program whose manifest asks for administrator rights.
inline constexpr DWORD kElevationRequired = 740;

// How the installer is started; tests stand in for the system's answers.
struct InstallerLaunch {
  decltype(&::CreateProcessW) create_process = &::CreateProcessW;
  decltype(&::ShellExecuteExW) shell_execute = &::ShellExecuteExW;
};

// Starts the installer for a silent update without waiting for it: 0 when it started, else the
// system's error code. An installer whose manifest asks for administrator rights cannot be
// started directly (error 740); the shell then starts it, and Windows asks the user.
DWORD run_installer(const std::wstring& path, const InstallerLaunch& launch = {});

// The slot between the download and the window; storing replaces, taking empties.
void store_download_result(DownloadResult result);
std::optional<DownloadResult> take_download_result();

}  // namespace tw
