#include "app/updater/manifest.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/system/settings.h"
#include "common/text.h"
#include "common/win32.h"

namespace tw {
namespace {

constexpr char kManifestPath[] = TW_MAKER_URL "tarnwick/update.json";
constexpr std::uint64_t kCheckInterval = 86'400;  // seconds
constexpr std::size_t kMaxVersionLength = 32;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::uint32_t parse_segment(std::string_view segment) {
  if (!segment.empty() && segment.front() == '+') segment.remove_prefix(1);
  if (segment.empty()) return 0;
  std::uint64_t value = 0;
  for (const char c : segment) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

bool is_version_text(std::string_view text) {
  return !text.empty() && text.size() <= kMaxVersionLength &&
         std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// A string member, when present and a string.
const std::string* string_member(const nlohmann::json& object, const char* name) {
  const auto it = object.find(name);
  return it != object.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

// The text with every number too large or too small for a double written as 0, so that the
// parser, which refuses such numbers, reads the document; strings are left as they are.
std::string with_extreme_numbers_as_zero(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') {
      const std::size_t start = i++;
      while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? std::size_t{2} : std::size_t{1};
      i = std::min(i + 1, text.size());
      out.append(text.substr(start, i - start));
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      const std::size_t start = i;
      while (i < text.size() && (std::string_view("+-.eE").find(text[i]) != std::string_view::npos ||
                                 (text[i] >= '0' && text[i] <= '9'))) {
        ++i;
      }
      const std::string_view number = text.substr(start, i - start);
      double value = 0;
      const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
      const bool extreme = error == std::errc::result_out_of_range && end == number.data() + number.size();
      out.append(extreme ? std::string_view("0") : number);
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

// The document, or a discarded value when it is no JSON or when any of its objects names a
// member twice: the parser alone would keep the last of them, and the manifest means one.
nlohmann::json parse_without_duplicates(const std::string& text) {
  std::vector<std::set<std::string>> open_objects;
  bool duplicate = false;
  const nlohmann::json::parser_callback_t note_keys = [&](int, nlohmann::json::parse_event_t event,
                                                          nlohmann::json& value) {
    using Event = nlohmann::json::parse_event_t;
    if (event == Event::object_start) open_objects.emplace_back();
    if (event == Event::object_end && !open_objects.empty()) open_objects.pop_back();
    if (event == Event::key && !open_objects.empty() && !open_objects.back().insert(value.get<std::string>()).second) {
      duplicate = true;
    }
    return true;
  };
  nlohmann::json parsed = nlohmann::json::parse(text.begin(), text.end(), note_keys, false);
  return duplicate ? nlohmann::json(nlohmann::json::value_t::discarded) : parsed;
}

}  // namespace

CheckResult failed_check(std::string text, bool manual) {
  CheckResult result;
  result.failure = std::move(text);
  result.manual = manual;
  return result;
}

std::optional<Manifest> parse_manifest(std::string_view text) {
  // The parser would skip a byte-order mark; the manifest is plain UTF-8 without one.
  if (text.starts_with("\xEF\xBB\xBF")) return std::nullopt;
  // The parser takes a NUL for the end of the text and would not see what follows it.
  if (text.find('\0') != std::string_view::npos || text.size() > kMaxManifestBytes) return std::nullopt;
  const std::string tamed = with_extreme_numbers_as_zero(text);
  const nlohmann::json parsed = parse_without_duplicates(tamed);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  const std::string* version = string_member(parsed, "version");
  const std::string* url = string_member(parsed, "url");
  const std::string* sha256 = string_member(parsed, "sha256");
  if (version == nullptr || url == nullptr || sha256 == nullptr) return std::nullopt;
  if (!is_version_text(*version) || !url->starts_with("https://")) return std::nullopt;

  Manifest manifest{*version, *url, *sha256, 0};
  for (char& c : manifest.sha256) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // Non-negative integers that fit 64 bits are the parser's unsigned numbers; fractions,
  // exponents, negatives and larger numbers are not.
  if (const auto size = parsed.find("size"); size != parsed.end() && size->is_number_unsigned()) {
    manifest.size = size->get<std::uint64_t>();
  }
  return manifest;
}

std::vector<std::uint32_t> parse_version(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  while (!text.empty() && text.front() == 'v') text.remove_prefix(1);
  std::vector<std::uint32_t> numbers;
  for (;;) {
    const std::size_t dot = text.find('.');
    numbers.push_back(parse_segment(text.substr(0, dot)));
    if (dot == std::string_view::npos) return numbers;
    text.remove_prefix(dot + 1);
  }
}

bool is_newer_version(const std::vector<std::uint32_t>& offered, const std::vector<std::uint32_t>& current) {
  const std::size_t n = std::max(offered.size(), current.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t a = i < offered.size() ? offered[i] : 0;
    const std::uint32_t b = i < current.size() ? current[i] : 0;
    if (a != b) return a > b;
  }
  return false;
}


CheckResult check_result_of(std::string_view bytes, bool manual) {
  if (!is_valid_utf8(bytes)) return failed_check("stream did not contain valid UTF-8", manual);
  std::optional<Manifest> manifest = parse_manifest(bytes);
  if (!manifest) return failed_check("manifest", manual);
  CheckResult result;
  result.manual = manual;
  if (is_newer_version(parse_version(manifest->version), parse_version(kCurrentVersion))) {
    result.outcome = CheckOutcome::Available;
    result.manifest = std::move(*manifest);
  } else {
    result.outcome = CheckOutcome::UpToDate;
  }
  return result;
}

bool automatic_check_due(std::optional<std::uint32_t> auto_update, std::uint64_t now, std::uint64_t last) {
  if (!auto_update_enabled(auto_update)) return false;
  return last > now || now - last >= kCheckInterval;
}

std::uint64_t unix_seconds(FILETIME time) {
  constexpr std::uint64_t kUnixEpoch = 116'444'736'000'000'000;  // 1970-01-01 in 100 ns units since 1601
  const std::uint64_t ticks = filetime_count(time);
  return ticks < kUnixEpoch ? 0 : (ticks - kUnixEpoch) / 10'000'000;
}

std::string manifest_address(std::string_view language) {
  // Both values are letters, digits, dots and hyphens: nothing to escape.
  std::string address = kManifestPath;
  address += "?v=";
  address += kCurrentVersion;
  address += "&lang=";
  address += language;
  return address;
}

}  // namespace tw
