#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Everything the program keeps lives under this key of the current user.
inline constexpr std::wstring_view kSettingsKey = L"Software\\Tarnwick";
inline constexpr std::wstring_view kValueLanguage = L"Language";
inline constexpr std::wstring_view kValueAutoUpdate = L"AutoUpdate";
inline constexpr std::wstring_view kValueLastUpdateCheck = L"LastUpdateCheck";
inline constexpr std::wstring_view kValueExplorerMenu = L"ExplorerMenu";
inline constexpr std::wstring_view kValuePlacement = L"Placement";
// What an organisation decides for every user of the machine, under HKEY_LOCAL_MACHINE. Only
// "AutoUpdate" is read from it, and it wins over the user's own value.
inline constexpr std::wstring_view kPolicyKey = L"Software\\Policies\\Tarnwick";

// Whether this run may change what is kept under HKEY_CURRENT_USER (settings and the File
// Explorer entry). A copy started elevated by a standard user runs as another account: that
// HKEY_CURRENT_USER is the other account's, not the user's, and is left as it is. Main thread,
// decided at start-up; writable unless said otherwise.
void set_user_registry_writable(bool writable);
bool user_registry_writable();

// A REG_SZ value under a subkey of HKEY_CURRENT_USER (an empty name is the key's default
// value), up to its first NUL. Nothing when it is absent, of another type or unreadable.
std::optional<std::string> read_string_setting(std::wstring_view subkey, std::wstring_view name);

// Writes a REG_SZ value, creating missing keys; the stored size counts the terminating NUL.
// Failures are ignored: no caller could do better.
void write_string_setting(std::wstring_view subkey, std::wstring_view name, std::string_view text);

// A REG_DWORD value under the settings key; nothing when absent or of another type.
std::optional<std::uint32_t> read_dword_setting(std::wstring_view name);
void write_dword_setting(std::wstring_view name, std::uint32_t value);

// A REG_DWORD value under the policy key of HKEY_LOCAL_MACHINE; nothing when absent or of
// another type.
std::optional<std::uint32_t> read_policy_dword(std::wstring_view name);

// Whether Windows apps use the dark theme: "AppsUseLightTheme" readable as a DWORD and 0.
bool read_dark_mode();

// The window placement record, only when it is exactly the 44 bytes Windows defines.
std::optional<WINDOWPLACEMENT> read_placement();
// Saves where the window is; nothing is written when the placement cannot be read.
void write_placement(HWND window);

// "LastUpdateCheck" as seconds since 1970: decimal digits after at most one "+", fitting
// 64 bits; anything else (nothing, a sign alone, "-", other characters, overflow) is 0.
std::uint64_t parse_last_update_check(const std::optional<std::string>& text);

// Automatic updates are on unless "AutoUpdate" is present and 0.
constexpr bool auto_update_enabled(std::optional<std::uint32_t> stored) { return !stored || *stored != 0; }
// The "AutoUpdate" that counts: the machine's policy when it sets one, else the user's.
constexpr std::optional<std::uint32_t> effective_auto_update(std::optional<std::uint32_t> policy,
                                                             std::optional<std::uint32_t> stored) {
  return policy ? policy : stored;
}
// What picking "Automatic updates" stores: 1 when it was off, else 0.
constexpr std::uint32_t toggled_auto_update(std::optional<std::uint32_t> stored) {
  return auto_update_enabled(stored) ? 0u : 1u;
}

}  // namespace tw
