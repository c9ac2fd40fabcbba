#include "app/updater/update_check.h"

#include <winhttp.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <mutex>
#include <utility>
#include <variant>

#include "app/language/catalogue.h"
#include "app/window/main_window.h"
#include "app/window/message_boxes.h"
#include "app/system/messages.h"
#include "app/system/settings.h"
#include "app/updater/update_install.h"
#include "common/casemap.h"
#include "common/cmdline.h"
#include "common/handles.h"
#include "common/slot.h"
#include "common/text.h"
#include "common/thread.h"
#include "common/win32.h"

namespace tw {
namespace {

constexpr char kManifestPath[] = TW_MAKER_URL "tarnwick/update.json";
constexpr std::uint64_t kCheckInterval = 86'400;  // seconds
constexpr std::size_t kMaxVersionLength = 32;

Slot<CheckResult>& check_slot() {
  static Slot<CheckResult> slot;
  return slot;
}

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

CheckResult failed(std::string text, bool manual) {
  CheckResult result;
  result.failure = std::move(text);
  result.manual = manual;
  return result;
}

// The file's bytes, or the system's error code.
DWORD read_whole_file(const std::wstring& path, std::string& bytes) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ::GetLastError();
  bytes.clear();
  char buffer[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return ::GetLastError();
    if (read == 0) return 0;
    bytes.append(buffer, read);
  }
}

}  // namespace

std::optional<Manifest> parse_manifest(std::string_view text) {
  // The parser would skip a byte-order mark; the manifest is plain UTF-8 without one.
  if (text.starts_with("\xEF\xBB\xBF")) return std::nullopt;
  const nlohmann::json parsed = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
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
  if (!is_valid_utf8(bytes)) return failed("stream did not contain valid UTF-8", manual);
  std::optional<Manifest> manifest = parse_manifest(bytes);
  if (!manifest) return failed("manifest", manual);
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

std::string offer_text(std::string_view offered_version) {
  std::string text(localized(msg::kNewVersionAvailable));
  text += ' ';
  text += offered_version;
  text += "\n(";
  text += localized(msg::kCurrentVersion);
  text += ' ';
  text += kCurrentVersion;
  text += ")\n\n";
  text += localized(msg::kUpdateNow);
  return text;
}

std::optional<std::wstring> temp_folder() {
  using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
  // Newer systems give processes of other users their own folder through this one.
  static const auto path2 = reinterpret_cast<GetTempPath2>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
  const auto query = [](DWORD size, wchar_t* buffer) {
    return path2 != nullptr ? path2(size, buffer) : ::GetTempPathW(size, buffer);
  };
  std::wstring folder(MAX_PATH + 1, L'\0');
  DWORD length = query(static_cast<DWORD>(folder.size()), folder.data());
  if (length >= folder.size()) {  // too small: the length needed, terminator included
    folder.assign(length, L'\0');
    length = query(static_cast<DWORD>(folder.size()), folder.data());
    if (length >= folder.size()) return std::nullopt;
  }
  if (length == 0) return std::nullopt;
  folder.resize(length);
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

std::wstring curl_program() { return join_path(windows_folder(), L"System32\\curl.exe"); }

std::vector<std::wstring> curl_arguments(std::wstring_view output_path, std::wstring_view address,
                                         const CurlOptions& options) {
  std::vector<std::wstring> args{L"-fsSL", L"--proto", L"=https", L"--max-time", L"600"};
  if (options.no_revocation_check) args.emplace_back(L"--ssl-no-revoke");
  if (!options.proxy.empty()) args.insert(args.end(), {L"--proxy", options.proxy});
  args.insert(args.end(), {L"-o", std::wstring(output_path), std::wstring(address)});
  return args;
}

std::wstring https_proxy_from(std::wstring_view setting) {
  std::wstring for_all, for_https;
  std::size_t start = 0;
  while (start < setting.size()) {
    const std::size_t end = std::min(setting.find_first_of(L"; \t\r\n", start), setting.size());
    const std::wstring_view entry = setting.substr(start, end - start);
    start = end + 1;
    if (entry.empty()) continue;
    const std::size_t equals = entry.find(L'=');
    if (equals == std::wstring_view::npos) {
      if (for_all.empty()) for_all = entry;
    } else if (equal_ascii_folded(entry.substr(0, equals), std::wstring_view(L"https")) && for_https.empty()) {
      for_https = entry.substr(equals + 1);
    }
  }
  std::wstring proxy = for_https.empty() ? for_all : for_https;
  // A proxy named without its own scheme is spoken to in plain HTTP, as Windows does.
  if (!proxy.empty() && proxy.find(L"://") == std::wstring::npos) proxy.insert(0, L"http://");
  return proxy;
}

std::wstring windows_https_proxy() {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
  std::wstring proxy = config.lpszProxy ? https_proxy_from(config.lpszProxy) : std::wstring();
  // The strings are the caller's to free.
  for (LPWSTR text : {config.lpszAutoConfigUrl, config.lpszProxy, config.lpszProxyBypass}) {
    if (text) ::GlobalFree(text);
  }
  return proxy;
}

namespace {

// One run of curl: its exit code, or the system's error when it could not be run.
std::variant<DWORD, std::string> run_curl(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  // Every argument quoted on its own: an address from the manifest can only ever be the
  // address, never an option or a second file.
  StartResult run = start_program(program, build_command_line(program, arguments), CREATE_NO_WINDOW);
  if (!run.started) return system_error_text(run.error);
  const UniqueHandle& process = run.started->process;
  // curl's own time limit bounds the wait.
  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return system_error_text(::GetLastError());
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code)) return system_error_text(::GetLastError());
  return code;
}

}  // namespace

std::optional<std::string> download_with_curl(std::string_view address, const std::wstring& output_path) {
  const std::wstring program = curl_program();
  const std::wstring wide_address = to_wide(address);
  CurlOptions options;
  options.proxy = windows_https_proxy();
  for (;;) {
    auto outcome = run_curl(program, curl_arguments(output_path, wide_address, options));
    if (auto* failure = std::get_if<std::string>(&outcome)) return std::move(*failure);
    const DWORD code = std::get<DWORD>(outcome);
    if (code == 0) return std::nullopt;
    if (code != kCurlSslConnectError || options.no_revocation_check) return std::string(localized(msg::kDownloadFailed));
    options.no_revocation_check = true;
  }
}

void check_for_update(HWND window, bool manual) {
  CheckResult result;
  if (const std::optional<std::wstring> folder = temp_folder(); !folder) {
    result = failed(system_error_text(::GetLastError()), manual);
  } else {
    const std::wstring path = *folder + L"update.json";
    std::string bytes;
    if (std::optional<std::string> failure = download_with_curl(manifest_address(current_language()), path)) {
      result = failed(std::move(*failure), manual);
    } else if (const DWORD error = read_whole_file(path, bytes); error != 0) {
      result = failed(system_error_text(error), manual);
    } else {
      // Kept only when it could not be read, or was not text.
      if (is_valid_utf8(bytes)) static_cast<void>(::DeleteFileW(path.c_str()));  // a leftover does no harm
      result = check_result_of(bytes, manual);
    }
  }
  store_check_result(std::move(result));
  static_cast<void>(::PostMessageW(window, kMsgUpdateChecked, 0, 0));  // a window that is gone wants nothing
}

void start_update_check(MainWindow& w, bool manual) {
  if (manual) show_notice(w, std::string(localized(msg::kCheckingForUpdates)));
  const HWND window = w.state.window;
  // Without a thread there is no check; the next one may fare better.
  static_cast<void>(start_detached_thread([window, manual] { check_for_update(window, manual); }));
}

void run_automatic_update_check(MainWindow& w) {
  FILETIME now_time{};
  ::GetSystemTimePreciseAsFileTime(&now_time);
  const std::uint64_t now = unix_seconds(now_time);
  const std::uint64_t last = parse_last_update_check(read_string_setting(kSettingsKey, kValueLastUpdateCheck));
  if (!automatic_check_due(read_dword_setting(kValueAutoUpdate), now, last)) return;
  // Stamped before the check, so a check that fails is not repeated within the day.
  write_string_setting(kSettingsKey, kValueLastUpdateCheck, std::to_string(now));
  start_update_check(w, false);
}

void store_check_result(CheckResult result) { check_slot().store(std::move(result)); }

std::optional<CheckResult> take_check_result() { return check_slot().take(); }

void on_update_checked(MainWindow& w) {
  std::optional<CheckResult> result = take_check_result();
  if (!result) return;
  switch (result->outcome) {
    case CheckOutcome::Available:
      // The offer is a message box: it waits until the state is free.
      defer_while_free([manifest = std::move(result->manifest)](HWND owner, const WindowPlatform& platform) {
        if (!confirm(owner, offer_text(manifest.version), ConfirmKind::Offer, platform.message_box)) return;
        const bool started = start_update_download(manifest, owner);
        with_main_window([started](MainWindow& window) {
          show_notice(window, std::string(localized(started ? msg::kDownloadingUpdate : msg::kDownloadFailed)));
        });
      });
      return;
    case CheckOutcome::UpToDate:
      if (result->manual) show_notice(w, std::string(localized(msg::kUpToDate)) + " (" + kCurrentVersion + ")");
      return;
    case CheckOutcome::Failed:
      if (result->manual) show_notice(w, std::move(result->failure));
      return;
  }
}

}  // namespace tw
