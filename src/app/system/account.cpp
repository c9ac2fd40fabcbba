#include "app/system/account.h"

#include <windows.h>

#include <sddl.h>
#include <winnetwk.h>

#include <array>
#include <cwchar>
#include <utility>
#include <vector>

#include "common/casemap.h"
#include "common/handles.h"
#include "common/win32.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {
std::optional<std::wstring> g_other_account;
}  // namespace

void set_other_account(std::optional<std::wstring> sid) { g_other_account = std::move(sid); }
const std::optional<std::wstring>& other_account() { return g_other_account; }

std::optional<std::wstring> registry_text(HKEY root, const std::wstring& subkey, const wchar_t* name) {
  constexpr DWORD kFlags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  for (int attempt = 0; attempt < 3; ++attempt) {  // the value may grow between the calls
    DWORD bytes = 0;
    if (::RegGetValueW(root, subkey.c_str(), name, kFlags, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LSTATUS status = ::RegGetValueW(root, subkey.c_str(), name, kFlags, nullptr, text.data(), &bytes);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return std::nullopt;
    text.resize(text.find(L'\0'));
    return text;
  }
  return std::nullopt;
}

std::vector<std::wstring> registry_subkeys(HKEY root, const std::wstring& subkey) {
  std::vector<std::wstring> names;
  UniqueKey key;
  if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256] = {};  // a key name has at most 255 characters
    DWORD length = 256;
    if (::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

std::optional<std::wstring> stored_profile_path(const std::wstring& sid) {
  return registry_text(HKEY_LOCAL_MACHINE, std::wstring(kProfileListKey) + L"\\" + sid, L"ProfileImagePath");
}

bool process_is_elevated() {
  std::array<unsigned char, 68> sid{};
  DWORD size = static_cast<DWORD>(sid.size());
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid.data(), &size)) return false;
  BOOL member = FALSE;
  return ::CheckTokenMembership(nullptr, sid.data(), &member) && member;
}

std::optional<std::wstring> own_user_sid() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::nullopt;
  DWORD size = 0;
  static_cast<void>(::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size));  // asks the size
  std::vector<unsigned char> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return std::nullopt;
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text)) return std::nullopt;
  const UniqueLocal owned(text);
  return std::wstring(text);
}

bool runs_for_another_user(const std::optional<std::wstring>& own, const std::optional<std::wstring>& requested) {
  if (!requested) return false;  // started by the user directly
  return !own || !equal_ascii_folded(std::wstring_view(*own), std::wstring_view(*requested));
}

std::wstring with_remote_name(std::wstring_view target, std::wstring_view remote) {
  std::wstring_view prefix;
  std::wstring_view rest = target;
  if (rest.starts_with(L"\\\\?\\")) {
    prefix = L"\\\\?\\UNC\\";
    rest.remove_prefix(4);
  }
  if (rest.size() < 2 || rest[1] != L':' || !remote.starts_with(L"\\\\")) return std::wstring(target);
  std::wstring out(prefix);
  out += without_trailing_backslashes(prefix.empty() ? remote : remote.substr(2));
  out += rest.substr(2);
  return out;
}

namespace {

// What subst made the letter stand for, from "\??\C:\folder" or "\??\UNC\server\share";
// nothing for any other device (a disk, a network redirector).
std::optional<std::wstring> substituted_folder(std::wstring_view drive, const DriveApi& api) {
  std::wstring device(1024, L'\0');
  if (api.dos_device(std::wstring(drive).c_str(), device.data(), static_cast<DWORD>(device.size())) == 0) return std::nullopt;
  device.resize(std::wcslen(device.c_str()));  // the first of the list is the one in use
  constexpr std::wstring_view kDosPrefix = L"\\??\\", kUnc = L"UNC\\";
  if (!device.starts_with(kDosPrefix)) return std::nullopt;
  std::wstring_view folder = std::wstring_view(device).substr(kDosPrefix.size());
  if (folder.size() >= kUnc.size() && equal_ascii_folded(folder.substr(0, kUnc.size()), kUnc)) {
    return L"\\\\" + std::wstring(folder.substr(kUnc.size()));
  }
  if (folder.size() < 2 || folder[1] != L':') return std::nullopt;
  return std::wstring(folder);
}

// The target with its drive ("X:") replaced by a local folder ("C:\work").
std::wstring with_folder(std::wstring_view target, std::wstring_view folder) {
  const bool verbatim = target.starts_with(L"\\\\?\\");
  const std::wstring_view rest = target.substr(verbatim ? 6 : 2);
  std::wstring out(verbatim ? L"\\\\?\\" : L"");
  out += without_trailing_backslashes(folder);
  if (rest.empty() || rest == L"\\") {
    if (out.size() == (verbatim ? 6u : 2u)) out += L'\\';  // a drive's root keeps its backslash
    return out;
  }
  out += rest;
  return out;
}

}  // namespace

std::wstring as_seen_from_another_logon(const Target& target, const DriveApi& api) {
  std::wstring path = target;
  // A subst letter may stand for a folder on another such letter; a loop of them ends here.
  for (int step = 0; step < 26; ++step) {
    const std::wstring drive = drive_of(path);
    if (drive.empty()) return path;
    wchar_t remote[1024] = {};
    DWORD length = 1024;
    if (api.connection(drive.c_str(), remote, &length) == NO_ERROR) return with_remote_name(path, remote);
    const std::optional<std::wstring> folder = substituted_folder(drive, api);
    if (!folder) return path;  // a drive of the machine: every logon has it
    path = folder->starts_with(L"\\\\") ? with_remote_name(path, *folder) : with_folder(path, *folder);
  }
  return path;
}

bool shares_logon_with(DWORD pid) {
  const auto logon_of = [](HANDLE process) -> std::optional<LUID> {
    UniqueHandle token;
    TOKEN_STATISTICS statistics{};
    DWORD size = 0;
    if (!::OpenProcessToken(process, TOKEN_QUERY, token.put()) ||
        !::GetTokenInformation(token.get(), TokenStatistics, &statistics, sizeof statistics, &size)) {
      return std::nullopt;
    }
    return statistics.AuthenticationId;
  };
  // An elevated process of another account, or of this one, may not be opened or its token not
  // read: it then counts as another logon.
  const UniqueHandle other(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!other) return false;
  const std::optional<LUID> mine = logon_of(::GetCurrentProcess()), theirs = logon_of(other.get());
  return mine && theirs && mine->LowPart == theirs->LowPart && mine->HighPart == theirs->HighPart;
}

}  // namespace tw
