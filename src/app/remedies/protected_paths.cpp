#include "app/remedies/protected_paths.h"

#include <algorithm>
#include <span>

#include "app/language/catalogue.h"

#include <windows.h>

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

constexpr std::array<const wchar_t*, 12> kFolderVariables = {
    L"SystemRoot", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"ProgramData", L"USERPROFILE",
    L"APPDATA",    L"LOCALAPPDATA", L"PUBLIC",            L"OneDrive",     L"OneDriveConsumer", L"OneDriveCommercial"};

constexpr std::array<const wchar_t*, 13> kProfileFolders = {
    L"Desktop",   L"Documents", L"Downloads",   L"Pictures", L"Music", L"Videos",  L"AppData",
    L"Favorites", L"Contacts",  L"Saved Games", L"Searches", L"Links", L"OneDrive"};

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

std::vector<std::wstring> protected_folders() {
  std::vector<std::wstring> folders;
  for (const wchar_t* name : kFolderVariables) {
    if (auto value = environment_variable(name)) folders.push_back(std::move(*value));
  }
  if (const auto profile = environment_variable(L"USERPROFILE")) {
    for (const wchar_t* name : kProfileFolders) folders.push_back(join_path(*profile, name));
  }
  return folders;
}

ProtectedSet load_protected_set() {
  ProtectedSet set;
  for (const std::wstring& folder : protected_folders()) {
    if (folder.empty()) continue;  // an empty variable protects nothing
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
