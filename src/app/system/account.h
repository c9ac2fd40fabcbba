#pragma once

// Who this process runs as, and what that means for what it may touch.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/paths.h"

namespace tw {

// Whether this process runs as a member of Administrators (elevated).
bool process_is_elevated();

// The account this process runs as, its SID as text ("S-1-5-21-..."); nothing when unknown.
std::optional<std::wstring> own_user_sid();

// Whether a copy started for `requested` (see StartupRequest::for_user) runs as another account:
// a standard user gave an administrator's name and password at the prompt. Unknown counts as
// another.
bool runs_for_another_user(const std::optional<std::wstring>& own, const std::optional<std::wstring>& requested);

// The account an elevated copy works for when that is not the account it runs as (a standard
// user gave an administrator's name at the prompt). Set once at start, before any thread.
void set_other_account(std::optional<std::wstring> sid);
const std::optional<std::wstring>& other_account();

// A registry text (REG_SZ or REG_EXPAND_SZ) as stored, variables left unexpanded.
std::optional<std::wstring> registry_text(HKEY root, const std::wstring& subkey, const wchar_t* name);

// The names of a key's subkeys.
std::vector<std::wstring> registry_subkeys(HKEY root, const std::wstring& subkey);

// Where Windows keeps the profiles' folders ("ProfileList"), and the one of an account (by its
// SID), as stored: "%SystemDrive%\Users\Ann".
inline constexpr wchar_t kProfileListKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
std::optional<std::wstring> stored_profile_path(const std::wstring& sid);

// What a drive letter of this logon stands for; tests give their own answers.
struct DriveApi {
  DWORD(WINAPI* connection)(LPCWSTR drive, LPWSTR remote, LPDWORD length) = &::WNetGetConnectionW;
  DWORD(WINAPI* dos_device)(LPCWSTR drive, LPWSTR target, DWORD length) = &::QueryDosDeviceW;
};

// A target as a process of another logon reaches it. Drive letters mapped to a network share
// or made with subst exist only in the logon that made them (an elevated process has a logon
// of its own), so such a path is given as the share ("\\server\share\...") or the folder the
// letter stands for, letter after letter.
std::wstring as_seen_from_another_logon(const Target& target, const DriveApi& api = {});

// Whether the process has this process's logon, and so its drive letters; false when unknown.
bool shares_logon_with(DWORD pid);

// `target` with its drive ("X:") replaced by the share it is mapped to ("\\server\share").
std::wstring with_remote_name(std::wstring_view target, std::wstring_view remote);

}  // namespace tw
