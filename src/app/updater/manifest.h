#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "version.h"

namespace tw {

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

// A manifest is a few hundred bytes; a file larger than this is not one.
inline constexpr std::size_t kMaxManifestBytes = 64 * 1024;

// The manifest document's object, when it follows every rule: "version" of 1 to 32
// digits and dots, "url" starting with "https://", "sha256" a string; "size" counts only as
// a non-negative integer that fits 64 bits, and as 0 otherwise (a fraction, a negative, a
// number too large for any type, 1e400 among them). A byte-order mark, a NUL anywhere,
// anything but white space after the value, or a name given twice in any object makes it no
// manifest.
std::optional<Manifest> parse_manifest(std::string_view text);

// "v1.2.3" -> {1, 2, 3}: white space trimmed, leading "v"s dropped, one number per
// dot-separated segment; a segment that is not an unsigned 32-bit decimal (an optional "+"
// allowed) counts as 0.
std::vector<std::uint32_t> parse_version(std::string_view text);

// Whether `offered` is a later version than `current`; missing trailing numbers are 0.
bool is_newer_version(const std::vector<std::uint32_t>& offered, const std::vector<std::uint32_t>& current);

// What a downloaded manifest file's bytes amount to.
CheckResult check_result_of(std::string_view bytes, bool manual);

// A check that failed, with the text a manual check shows.
CheckResult failed_check(std::string text, bool manual);

// Whether the start-up check is due: automatic updates on and a day gone since the last
// check. A last check stamped in the future (a clock that was set wrong) counts as due, so
// that a wrong clock cannot stop the daily check for good.
bool automatic_check_due(std::optional<std::uint32_t> auto_update, std::uint64_t now, std::uint64_t last);

// Seconds since 1970-01-01 UTC; 0 for anything earlier.
std::uint64_t unix_seconds(FILETIME time);

// The manifest's address with the query that tells the site who asks.
std::string manifest_address(std::string_view language);

}  // namespace tw
