#include "app/remedies/protected_paths.h"

#include <algorithm>
#include <span>

#include "app/language/catalogue.h"
#include "app/system/account.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <array>
#include <optional>

#include "common/casemap.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/file_identity.h"
#include "discovery/path_spelling.h"
#include "discovery/paths.h"

namespace tw {
namespace {

// A known folder, with its value under an account's "User Shell Folders" (none: the folder has
// none there), and folders inside it that Windows needs, protected too.
struct KnownFolder {
  const KNOWNFOLDERID* id;
  const wchar_t* shell_value = nullptr;
  std::array<const wchar_t*, 2> inside{};
};

// The system's own folders.
const KnownFolder kSystemFolders[] = {
    {&FOLDERID_Windows, nullptr, {L"WinSxS", L"Boot"}},
    {&FOLDERID_System, nullptr, {L"drivers", L"config"}},
    {&FOLDERID_SystemX86},
    {&FOLDERID_Fonts},
    {&FOLDERID_ProgramFiles, nullptr, {L"WindowsApps"}},
    {&FOLDERID_ProgramFilesX86},
    {&FOLDERID_ProgramFilesX64},
    {&FOLDERID_ProgramFilesCommon},
    {&FOLDERID_ProgramFilesCommonX86},
    {&FOLDERID_ProgramData, nullptr, {L"Microsoft"}},
    {&FOLDERID_UserProfiles, nullptr, {L"Default"}},
    {&FOLDERID_Public},
    {&FOLDERID_CommonStartMenu},
    {&FOLDERID_CommonPrograms},
    {&FOLDERID_CommonStartup},
};

// An account's own folders, wherever they were moved.
const KnownFolder kUserFolders[] = {
    {&FOLDERID_Profile},
    {&FOLDERID_Desktop, L"Desktop"},
    {&FOLDERID_Documents, L"Personal"},
    {&FOLDERID_Downloads, L"{374DE290-123F-4565-9164-39C4925E467B}"},
    {&FOLDERID_Pictures, L"My Pictures"},
    {&FOLDERID_Music, L"My Music"},
    {&FOLDERID_Videos, L"My Video"},
    {&FOLDERID_RoamingAppData, L"AppData", {L"Microsoft"}},
    {&FOLDERID_LocalAppData, L"Local AppData", {L"Microsoft"}},
    {&FOLDERID_Favorites, L"Favorites"},
    {&FOLDERID_Contacts, L"{56784854-C6CB-462B-8169-88E350ACB882}"},
    {&FOLDERID_SavedGames, L"{4C5C32FF-BB9D-43B0-B5B4-2D72E54EAAA4}"},
    {&FOLDERID_SavedSearches, L"{7D1D3A04-DEBB-4115-95CF-2F29DA2920DA}"},
    {&FOLDERID_Links, L"{BFB9D5E0-C6A9-404C-B2B2-AE6DB6AF4968}"},
    {&FOLDERID_StartMenu, L"Start Menu"},
    {&FOLDERID_Programs, L"Programs"},
    {&FOLDERID_Startup, L"Startup"},
    {&FOLDERID_SkyDrive},
};

// Where a profile's folders are when nothing moved them.
constexpr std::array<const wchar_t*, 13> kProfileFolders = {
    L"Desktop",   L"Documents", L"Downloads",   L"Pictures", L"Music", L"Videos",  L"AppData",
    L"Favorites", L"Contacts",  L"Saved Games", L"Searches", L"Links", L"OneDrive"};

// OneDrive says where its folder is only here and in these variables.
constexpr std::array<const wchar_t*, 3> kOneDriveVariables = {L"OneDrive", L"OneDriveConsumer", L"OneDriveCommercial"};
constexpr wchar_t kOneDriveAccounts[] = L"Software\\Microsoft\\OneDrive\\Accounts";
constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::optional<std::wstring> known_folder(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  // Not verified: a folder redirected to a share that is away is protected all the same, and
  // nothing waits for the network.
  const HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
  std::optional<std::wstring> out;
  if (SUCCEEDED(result) && path != nullptr && *path != L'\0') out = std::wstring(path);
  ::CoTaskMemFree(path);  // owed whether the call succeeded or not
  return out;
}

void add_with_inside(std::vector<std::wstring>& folders, const std::wstring& folder, const KnownFolder& known) {
  folders.push_back(folder);
  for (const wchar_t* name : known.inside) {
    if (name != nullptr) folders.push_back(join_path(folder, name));
  }
}

// What the system says, never a variable a caller could set.
Variables system_variables() {
  Variables variables;
  if (const auto windows = read_sized_text([](wchar_t* b, DWORD n) { return ::GetSystemWindowsDirectoryW(b, n); })) {
    variables.emplace_back(L"SystemRoot", *windows);
    variables.emplace_back(L"windir", *windows);
    variables.emplace_back(L"SystemDrive", windows->substr(0, 2));
  }
  const std::pair<const wchar_t*, const KNOWNFOLDERID*> named[] = {
      {L"ProgramData", &FOLDERID_ProgramData}, {L"ALLUSERSPROFILE", &FOLDERID_ProgramData},
      {L"PUBLIC", &FOLDERID_Public},           {L"ProgramFiles", &FOLDERID_ProgramFiles}};
  for (const auto& [name, id] : named) {
    if (auto folder = known_folder(*id)) variables.emplace_back(name, std::move(*folder));
  }
  return variables;
}

std::optional<std::wstring> profile_of(const std::wstring& sid, const Variables& system) {
  const auto stored = stored_profile_path(sid);
  return stored ? expand_variables(*stored, system) : std::nullopt;
}

void add_system_folders(std::vector<std::wstring>& folders, const Variables& system) {
  for (const auto& [name, value] : system) {
    if (name == L"SystemRoot") folders.push_back(value);
  }
  for (const KnownFolder& known : kSystemFolders) {
    if (const auto folder = known_folder(*known.id)) add_with_inside(folders, *folder, known);
  }
}

void add_profile_folders(std::vector<std::wstring>& folders, const std::wstring& profile) {
  folders.push_back(profile);
  for (const wchar_t* name : kProfileFolders) folders.push_back(join_path(profile, name));
}

void add_onedrive_folders(std::vector<std::wstring>& folders, HKEY user_root, const std::wstring& user_key) {
  const std::wstring accounts = user_key.empty() ? kOneDriveAccounts : user_key + L"\\" + kOneDriveAccounts;
  for (const std::wstring& account : registry_subkeys(user_root, accounts)) {
    if (auto folder = registry_text(user_root, accounts + L"\\" + account, L"UserFolder")) {
      folders.push_back(std::move(*folder));
    }
  }
}

// The folders of the account this process runs as, from the shell and the profile list.
void add_own_folders(std::vector<std::wstring>& folders, const Variables& system) {
  for (const KnownFolder& known : kUserFolders) {
    if (const auto folder = known_folder(*known.id)) add_with_inside(folders, *folder, known);
  }
  if (const auto profile = known_folder(FOLDERID_Profile)) add_profile_folders(folders, *profile);
  if (const auto sid = own_user_sid()) {
    if (const auto profile = profile_of(*sid, system)) add_profile_folders(folders, *profile);
  }
  add_onedrive_folders(folders, HKEY_CURRENT_USER, L"");
}

// Another account's folders, from its profile and its registry (loaded while it is logged on).
void add_account_folders(std::vector<std::wstring>& folders, const std::wstring& sid, const Variables& system) {
  const auto profile = profile_of(sid, system);
  if (!profile) return;
  add_profile_folders(folders, *profile);
  const std::wstring shell_folders = sid + L"\\" + kShellFolders;
  Variables variables = system;
  variables.emplace_back(L"USERPROFILE", *profile);
  // Other values are often written in terms of these two.
  for (const auto& [name, value] : {std::pair{L"APPDATA", L"AppData"}, std::pair{L"LOCALAPPDATA", L"Local AppData"}}) {
    const auto stored = registry_text(HKEY_USERS, shell_folders, value);
    if (const auto folder = stored ? expand_variables(*stored, variables) : std::nullopt) {
      variables.emplace_back(name, *folder);
    }
  }
  for (const KnownFolder& known : kUserFolders) {
    if (known.shell_value == nullptr) continue;
    const auto stored = registry_text(HKEY_USERS, shell_folders, known.shell_value);
    if (const auto folder = stored ? expand_variables(*stored, variables) : std::nullopt) {
      add_with_inside(folders, *folder, known);
    }
  }
  add_onedrive_folders(folders, HKEY_USERS, sid);
}

// What a path can be compared by: its text, its resolved spelling and the final path of
// what it names, as keys; its identity when it exists.
struct Spellings {
  std::vector<std::string> keys;
  std::optional<FileIdentity> identity;
  std::optional<std::wstring> final_path;  // verbatim, as Windows reports it
  bool resolved = false;
};

Spellings spellings_of(std::wstring_view path) {
  Spellings out;
  out.keys.push_back(protection_key(path));
  const auto target = resolve_target(path);
  if (!target) return out;
  out.resolved = true;
  out.keys.push_back(path_key(std::wstring_view(*target)));
  if (const UniqueHandle file = open_for_identity(*target)) {
    out.identity = file_identity(file.get());
    out.final_path = final_path_name(file.get());
    if (out.final_path) out.keys.push_back(path_key(std::wstring_view(*out.final_path)));
  }
  return out;
}

// "c:", "\\server\share", "volume{...}": the top of a volume, which holds everything on it.
bool is_root_key(std::string_view key) {
  if (key.size() < 3) return true;
  if (key.starts_with("\\\\")) return key.find('\\', key.find('\\', 2) + 1) == std::string_view::npos;
  return key.starts_with("volume{") && key.find('\\') == std::string_view::npos;
}

// `key` names the protected folder or a folder that contains it.
bool covers(std::string_view key, std::string_view protected_key) {
  if (protected_key.empty()) return false;
  if (protected_key == key) return true;
  return protected_key.size() > key.size() && protected_key.starts_with(key) && protected_key[key.size()] == '\\';
}

}  // namespace

std::string protection_key(std::wstring_view path) {
  return to_lower_full(without_trailing_backslashes(to_utf8(path)));
}

std::optional<std::wstring> expand_variables(std::wstring_view text, const Variables& variables) {
  std::wstring out;
  while (!text.empty()) {
    const std::size_t open = text.find(L'%');
    out += text.substr(0, open);
    if (open == std::wstring_view::npos) break;
    const std::size_t close = text.find(L'%', open + 1);
    if (close == std::wstring_view::npos) return std::nullopt;
    const std::wstring_view name = text.substr(open + 1, close - open - 1);
    const auto found = std::find_if(variables.begin(), variables.end(),
                                    [&](const auto& v) { return equal_ascii_folded(std::wstring_view(v.first), name); });
    if (found == variables.end()) return std::nullopt;  // a guess could protect the wrong folder
    out += found->second;
    text.remove_prefix(close + 1);
  }
  return out;
}

std::vector<std::wstring> protected_folders() {
  std::vector<std::wstring> folders;
  const Variables system = system_variables();
  add_system_folders(folders, system);
  add_own_folders(folders, system);
  if (const auto& sid = other_account()) add_account_folders(folders, *sid, system);
  for (const wchar_t* name : kOneDriveVariables) {
    if (auto value = environment_variable(name)) folders.push_back(std::move(*value));
  }
  // Many sources name the same folders.
  std::set<std::string> seen;
  std::erase_if(folders, [&](const std::wstring& f) { return f.empty() || !seen.insert(protection_key(f)).second; });
  return folders;
}

ProtectedSet load_protected_set() {
  ProtectedSet set;
  for (const std::wstring& folder : protected_folders()) {
    Spellings spelled = spellings_of(folder);
    for (std::string& key : spelled.keys) set.keys.push_back(std::move(key));
    if (!spelled.identity) continue;
    set.identities.insert(*spelled.identity);
    // Every folder above it holds it, whatever that folder is called elsewhere.
    if (!spelled.final_path) continue;
    for (auto above = parent_folder(*spelled.final_path); above; above = parent_folder(*above)) {
      const UniqueHandle parent = open_for_identity(*above);
      if (!parent) break;
      if (const auto identity = file_identity(parent.get())) set.identities.insert(*identity);
    }
  }
  return set;
}

bool is_protected(const ProtectedSet& set, std::wstring_view path) {
  const Spellings spelled = spellings_of(path);
  // What cannot be told apart from a device or a pattern is not acted on.
  if (!spelled.resolved) return true;
  if (spelled.identity && set.identities.contains(*spelled.identity)) return true;
  for (const std::string& key : spelled.keys) {
    if (is_root_key(key)) return true;
    for (const std::string& protected_key : set.keys) {
      if (covers(key, protected_key)) return true;
    }
  }
  return false;
}

bool is_protected_path(std::wstring_view path) { return is_protected(load_protected_set(), path); }

std::optional<std::string> protected_refusal(const std::vector<Target>& targets) {
  const ProtectedSet protected_set = load_protected_set();
  const auto found = std::find_if(targets.begin(), targets.end(),
                                  [&](const Target& t) { return is_protected(protected_set, t); });
  if (found == targets.end()) return std::nullopt;
  const std::string path = to_utf8(*found);
  return fill_placeholders(localized(msg::kProtectedFolder), std::span(&path, 1));
}

}  // namespace tw
