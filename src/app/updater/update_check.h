#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win32.h"
#include "version.h"

namespace tw {

struct MainWindow;

// The version this program is, as sent with the check and shown to the user.
inline constexpr char kCurrentVersion[] = TW_VERSION_TEXT;

// What the update manifest offers. `sha256` is in ASCII lower case; `size` 0 means the
// manifest gave none.
struct Manifest {
  std::string version;
  std::string url;
  std::string sha256;
  std::uint64_t size = 0;
  friend bool operator==(const Manifest&, const Manifest&) = default;
};

enum class CheckOutcome : std::uint8_t { Available, UpToDate, Failed };

struct CheckResult {
  CheckOutcome outcome = CheckOutcome::Failed;
  Manifest manifest;    // Available only
  std::string failure;  // Failed only: the text shown after a manual check
  bool manual = false;
};

// The manifest document's object, when it follows every rule: "version" of 1 to 32
// digits and dots, "url" starting with "https://", "sha256" a string; "size" counts only as
// a non-negative integer that fits 64 bits. A byte-order mark or anything but white space
// after the value makes it no manifest.
std::optional<Manifest> parse_manifest(std::string_view text);

// "v1.2.3" -> {1, 2, 3}: white space trimmed, leading "v"s dropped, one number per
// dot-separated segment; a segment that is not an unsigned 32-bit decimal (an optional "+"
// allowed) counts as 0.
std::vector<std::uint32_t> parse_version(std::string_view text);

// Whether `offered` is a later version than `current`; missing trailing numbers are 0.
bool is_newer_version(const std::vector<std::uint32_t>& offered, const std::vector<std::uint32_t>& current);

// What a downloaded manifest file's bytes amount to.
CheckResult check_result_of(std::string_view bytes, bool manual);

// Whether the start-up check is due: automatic updates on and a day gone since the last
// check. A last check stamped in the future (a clock that was set wrong) counts as due, so
// that a wrong clock cannot stop the daily check for good.
bool automatic_check_due(std::optional<std::uint32_t> auto_update, std::uint64_t now, std::uint64_t last);

// Seconds since 1970-01-01 UTC; 0 for anything earlier.
std::uint64_t unix_seconds(FILETIME time);

// The manifest's address with the query that tells the site who asks.
std::string manifest_address(std::string_view language);

// The text of the offer box.
std::string offer_text(std::string_view offered_version);

// The user's temporary folder, ending in a backslash; nothing when it cannot be found.
std::optional<std::wstring> temp_folder();

// %SystemRoot%\System32\curl.exe (C:\Windows when SystemRoot is not set).
std::wstring curl_program();

// What curl is told beyond the download itself.
struct CurlOptions {
  bool no_revocation_check = false;  // "--ssl-no-revoke"
  std::wstring proxy;                // "--proxy", when the user set one for Windows
};

// curl's arguments, each its own: only https, a ten-minute limit, failure on HTTP errors.
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

// Fetches and judges the manifest, stores the result and posts kMsgUpdateChecked.
void check_for_update(HWND window, bool manual);

// Starts a check on its own thread; a manual one says so first.
void start_update_check(MainWindow& w, bool manual);

// At start-up: the daily check, when due, stamped before it runs.
void run_automatic_update_check(MainWindow& w);

// The process-wide slot between the check and the window: storing replaces what is there,
// taking empties it.
void store_check_result(CheckResult result);
std::optional<CheckResult> take_check_result();

// The window's answer to kMsgUpdateChecked.
void on_update_checked(MainWindow& w);

}  // namespace tw
