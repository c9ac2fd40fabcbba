#include "app/updater/update_install.h"

#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <cwchar>
#include <mutex>
#include <utility>
#include <vector>

#include "app/language/catalogue.h"
#include "app/system/messages.h"
#include "app/updater/download.h"
#include "common/cmdline.h"
#include "common/handles.h"
#include "common/slot.h"
#include "common/text.h"
#include "common/thread.h"
#include "common/win32.h"

namespace tw {
namespace {

void close_algorithm(BCRYPT_ALG_HANDLE h) { static_cast<void>(::BCryptCloseAlgorithmProvider(h, 0)); }
void destroy_hash(BCRYPT_HASH_HANDLE h) { static_cast<void>(::BCryptDestroyHash(h)); }
using UniqueAlgorithm = Unique<NullIsNone<BCRYPT_ALG_HANDLE, &close_algorithm>>;
using UniqueHash = Unique<NullIsNone<BCRYPT_HASH_HANDLE, &destroy_hash>>;

bool succeeded(NTSTATUS status) { return status >= 0; }

// SHA-256 fed piece by piece; once a step fails, it stays failed.
class Sha256 {
 public:
  Sha256() {
    if (!succeeded(::BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !succeeded(::BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0))) {
      hash_.reset();
    }
  }

  void add(std::span<const unsigned char> bytes) {
    while (hash_ && !bytes.empty()) {
      const ULONG n = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
      // The input is only read; the declaration lacks the const.
      if (!succeeded(::BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes.data()), n, 0))) hash_.reset();
      bytes = bytes.subspan(n);
    }
  }

  std::optional<std::string> finish() {
    unsigned char digest[32];
    if (!hash_ || !succeeded(::BCryptFinishHash(hash_.get(), digest, sizeof digest, 0))) return std::nullopt;
    hash_.reset();
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : digest) {
      text += kHex[b >> 4];
      text += kHex[b & 0x0F];
    }
    return text;
  }

 private:
  UniqueAlgorithm algorithm_;
  UniqueHash hash_;
};

// WINTRUST_DATA as Windows 8 and later define it; the older form in some SDKs lacks the
// last member.
struct TrustData {
  DWORD cbStruct;
  void* pPolicyCallbackData;
  void* pSIPClientData;
  DWORD dwUIChoice;
  DWORD fdwRevocationChecks;
  DWORD dwUnionChoice;
  WINTRUST_FILE_INFO* pFile;
  DWORD dwStateAction;
  HANDLE hWVTStateData;
  wchar_t* pwszURLReference;
  DWORD dwProvFlags;
  DWORD dwUIContext;
  void* pSignatureSettings;
};
static_assert(sizeof(TrustData) == 88);

Slot<DownloadResult>& download_slot() {
  static Slot<DownloadResult> slot;
  return slot;
}

DownloadResult download_failed(std::string text) { return DownloadResult{false, {}, std::move(text), {}}; }

}  // namespace

std::optional<std::string> sha256_hex(std::span<const unsigned char> bytes) {
  Sha256 hash;
  hash.add(bytes);
  return hash.finish();
}

FileDigest digest_file(const std::wstring& path) {
  const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return FileDigest{::GetLastError(), 0, {}};
  return digest_file(file.get());
}

FileDigest digest_file(HANDLE file) {
  FileDigest digest;
  if (!::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
    digest.error = ::GetLastError();
    return digest;
  }
  Sha256 hash;
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      digest.error = ::GetLastError();
      return digest;
    }
    if (read == 0) break;
    digest.size += read;
    hash.add(std::span<const unsigned char>(buffer.data(), read));
  }
  digest.sha256 = hash.finish().value_or(std::string());
  return digest;
}

std::optional<FileVersion> file_version(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> buffer(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, buffer.data())) return std::nullopt;
  void* data = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(buffer.data(), L"\\", &data, &length) || data == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
  if (fixed->dwSignature != VS_FFI_SIGNATURE) return std::nullopt;
  return FileVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                     LOWORD(fixed->dwFileVersionLS)};
}

InstallerVerdict judge_installer(const Manifest& manifest, const FileDigest& digest,
                                 const std::function<std::optional<std::string>()>& signer,
                                 const std::function<std::optional<FileVersion>()>& version) {
  if (manifest.size != 0 && digest.size != manifest.size) return InstallerVerdict::SizeMismatch;
  // A digest that could not be computed matches nothing, not even an empty "sha256".
  if (digest.sha256.empty() || digest.sha256 != manifest.sha256) return InstallerVerdict::DigestMismatch;
  const std::optional<std::string> name = signer();
  if (!name || *name != kExpectedSigner) return InstallerVerdict::SignerMismatch;
  // Only a signed file's version resource is worth reading.
  const std::optional<FileVersion> own = version();
  const FileVersion offered = parse_version(manifest.version);
  if (!own || is_newer_version(*own, offered) || is_newer_version(offered, *own) ||
      !is_newer_version(*own, parse_version(kCurrentVersion))) {
    return InstallerVerdict::VersionMismatch;
  }
  return InstallerVerdict::Accepted;
}

std::optional<std::string> verify_installer_signer(const std::wstring& path, HANDLE handle) {
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path.c_str();
  if (handle != nullptr && ::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) file.hFile = handle;
  TrustData data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const HWND no_ui = static_cast<HWND>(INVALID_HANDLE_VALUE);

  std::optional<std::string> name;
  if (::WinVerifyTrust(no_ui, &action, &data) == 0) {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer = provider != nullptr ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer != nullptr && signer->csCertChain > 0 && signer->pasCertChain != nullptr &&
        signer->pasCertChain[0].pCert != nullptr) {
      wchar_t buffer[256] = {};
      if (::CertGetNameStringW(signer->pasCertChain[0].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buffer,
                               256) > 0) {
        name = to_utf8(std::wstring_view(buffer, ::wcsnlen(buffer, 256)));
      }
    }
  }
  // The state is released whatever the verification said.
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  static_cast<void>(::WinVerifyTrust(no_ui, &action, &data));
  return name;
}

std::wstring installer_path(std::wstring_view folder, std::string_view version) {
  return std::wstring(folder) + L"Tarnwick-Setup-" + to_wide(version) + L".exe";
}

DownloadResult download_installer(const Manifest& manifest) {
  const std::optional<std::wstring> folder = temp_folder();
  if (!folder) return download_failed(system_error_text(::GetLastError()));
  const std::wstring path = installer_path(*folder, manifest.version);
  if (std::optional<std::string> failure = download_with_curl(manifest.url, path)) {
    return download_failed(std::move(*failure));
  }
  // From here until it has been started, nobody changes, replaces or deletes the file.
  UniqueHandle held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!held) return download_failed(system_error_text(::GetLastError()));
  const FileDigest digest = digest_file(held.get());
  if (digest.error != 0) return download_failed(system_error_text(digest.error));

  // The held handle denies writes, so the version read by path is the checked file's.
  const InstallerVerdict verdict = judge_installer(
      manifest, digest, [&] { return verify_installer_signer(path, held.get()); }, [&] { return file_version(path); });
  if (verdict == InstallerVerdict::Accepted) return DownloadResult{true, path, {}, std::move(held)};
  held.reset();
  static_cast<void>(::DeleteFileW(path.c_str()));  // nothing better to do if it stays
  switch (verdict) {
    case InstallerVerdict::SizeMismatch:
      return download_failed(std::string(localized(msg::kDownloadSizeMismatch)));
    case InstallerVerdict::DigestMismatch:
      return download_failed(std::string(localized(msg::kDownloadHashMismatch)));
    case InstallerVerdict::VersionMismatch:
      return download_failed(std::string(localized(msg::kInstallerVersionMismatch)));
    default:
      return download_failed(std::string(localized(msg::kSignatureNotVerified)));
  }
}

void download_and_verify(const Manifest& manifest, HWND window) {
  store_download_result(download_installer(manifest));
  static_cast<void>(::PostMessageW(window, kMsgDownloadFinished, 0, 0));  // a window that is gone wants nothing
}

bool start_update_download(const Manifest& manifest, HWND window) {
  return start_detached_thread([manifest, window] { download_and_verify(manifest, window); });
}

DWORD run_installer(const std::wstring& path, const InstallerLaunch& launch) {
  const std::vector<std::wstring> arguments{L"/SILENT", L"/SUPPRESSMSGBOXES", L"/NORESTART", L"/UPDATE=1"};
  std::wstring command = build_command_line(path, arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (launch.create_process(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    return 0;
  }
  const DWORD error = ::GetLastError();
  if (error != kElevationRequired) return error;
  const std::wstring parameters = join_arguments(arguments);
  SHELLEXECUTEINFOW shell{};
  shell.cbSize = sizeof shell;
  shell.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  shell.lpFile = path.c_str();
  shell.lpParameters = parameters.c_str();
  shell.nShow = SW_SHOWNORMAL;
  if (!launch.shell_execute(&shell)) return ::GetLastError();
  return 0;
}

void store_download_result(DownloadResult result) { download_slot().store(std::move(result)); }

std::optional<DownloadResult> take_download_result() { return download_slot().take(); }

}  // namespace tw
