#include "app/system/settings.h"

#include <limits>
#include <vector>

#include "common/text.h"

namespace tw {
namespace {

constexpr wchar_t kPersonalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr DWORD kPlacementSize = sizeof(WINDOWPLACEMENT);
static_assert(kPlacementSize == 44, "the stored placement is Windows' 44-byte record");

std::wstring key_text(std::wstring_view key) { return std::wstring(key); }

}  // namespace

std::optional<std::string> read_string_setting(std::wstring_view subkey, std::wstring_view name) {
  const std::wstring key = key_text(subkey), value = key_text(name);
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // Room for the reported bytes (an odd count rounded down) and a terminator of our own.
  std::vector<wchar_t> buffer((size & ~DWORD{1}) / sizeof(wchar_t) + 1, L'\0');
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring_view text(buffer.data(), buffer.size());
  text = text.substr(0, text.find(L'\0'));
  return to_utf8(text);
}

namespace {
bool g_registry_writable = true;
}  // namespace

void set_user_registry_writable(bool writable) { g_registry_writable = writable; }
bool user_registry_writable() { return g_registry_writable; }

void write_string_setting(std::wstring_view subkey, std::wstring_view name, std::string_view text) {
  if (!g_registry_writable) return;
  const std::wstring data = to_wide(text);
  const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  static_cast<void>(::RegSetKeyValueW(HKEY_CURRENT_USER, key_text(subkey).c_str(), key_text(name).c_str(), REG_SZ,
                                      data.c_str(), bytes));
}

namespace {

std::optional<std::uint32_t> read_dword(HKEY root, std::wstring_view subkey, std::wstring_view name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueW(root, key_text(subkey).c_str(), key_text(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::uint32_t> read_dword_setting(std::wstring_view name) {
  return read_dword(HKEY_CURRENT_USER, kSettingsKey, name);
}

std::optional<std::uint32_t> read_policy_dword(std::wstring_view name) {
  return read_dword(HKEY_LOCAL_MACHINE, kPolicyKey, name);
}

void write_dword_setting(std::wstring_view name, std::uint32_t value) {
  if (!g_registry_writable) return;
  const DWORD data = value;
  static_cast<void>(::RegSetKeyValueW(HKEY_CURRENT_USER, key_text(kSettingsKey).c_str(), key_text(name).c_str(),
                                      REG_DWORD, &data, sizeof data));
}

bool read_dark_mode() {
  DWORD light = 1;
  DWORD size = sizeof light;
  const LSTATUS status = ::RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, L"AppsUseLightTheme", RRF_RT_REG_DWORD,
                                        nullptr, &light, &size);
  return status == ERROR_SUCCESS && light == 0;
}

std::optional<WINDOWPLACEMENT> read_placement() {
  const std::wstring key = key_text(kSettingsKey), value = key_text(kValuePlacement);
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_BINARY, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size != kPlacementSize) {
    return std::nullopt;
  }
  WINDOWPLACEMENT placement{};
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_BINARY, nullptr, &placement, &size) !=
          ERROR_SUCCESS ||
      size != kPlacementSize) {
    return std::nullopt;
  }
  return placement;
}

void write_placement(HWND window) {
  if (!g_registry_writable) return;
  WINDOWPLACEMENT placement{};
  placement.length = kPlacementSize;
  if (!::GetWindowPlacement(window, &placement)) return;
  static_cast<void>(::RegSetKeyValueW(HKEY_CURRENT_USER, key_text(kSettingsKey).c_str(),
                                      key_text(kValuePlacement).c_str(), REG_BINARY, &placement, kPlacementSize));
}

std::uint64_t parse_last_update_check(const std::optional<std::string>& text) {
  if (!text) return 0;
  std::string_view digits = *text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return 0;
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return 0;  // would overflow
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace tw
