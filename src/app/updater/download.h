#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The user's temporary folder, ending in a backslash; nothing when it cannot be found.
std::optional<std::wstring> temp_folder();

// %SystemRoot%\System32\curl.exe (C:\Windows when SystemRoot is not set).
std::wstring curl_program();

// What curl is told beyond the download itself.
struct CurlOptions {
  bool no_revocation_check = false;  // "--ssl-no-revoke"
  std::wstring proxy;                // "--proxy", when the user set one for Windows
};

// curl's arguments, each its own: only https, the address read literally, a ten-minute
// limit, failure on HTTP errors.
std::vector<std::wstring> curl_arguments(std::wstring_view output_path, std::wstring_view address,
                                         const CurlOptions& options = {});

// curl's exit code for a failed TLS handshake. Windows' TLS fails so when the certificate
// revocation server cannot be reached, as behind a proxy that inspects TLS; what is downloaded
// is still checked by size, digest and signer, so one more try without that check is safe.
inline constexpr DWORD kCurlSslConnectError = 35;

// The proxy set for Windows (WinHTTP's form of the user's setting: "host:port" for every
// protocol, or a list such as "http=host:80;https=host:443"), as curl takes it for https; empty
// when https goes direct. curl does not look at Windows' setting by itself.
std::wstring https_proxy_from(std::wstring_view setting);

// The current user's proxy for https, read from Windows; empty for none.
std::wstring windows_https_proxy();

// Runs curl.exe and waits for it, with the user's proxy, and once more without the revocation
// check when that is what failed. Nothing on success; otherwise the text for the user:
// "Download failed" when curl reports a failure, the system's error text when it could not
// be run.
std::optional<std::string> download_with_curl(std::string_view address, const std::wstring& output_path);

}  // namespace tw
