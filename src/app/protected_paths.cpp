#include "app/protected_paths.h"

#include <windows.h>

#include <array>
#include <optional>

#include "common/casemap.h"
#include "common/text.h"
#include "discovery/paths.h"

namespace tw {
namespace {

constexpr std::array<const wchar_t*, 12> kFolderVariables = {
    L"SystemRoot", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"ProgramData", L"USERPROFILE",
    L"APPDATA",    L"LOCALAPPDATA", L"PUBLIC",            L"OneDrive",     L"OneDriveConsumer", L"OneDriveCommercial"};

constexpr std::array<const wchar_t*, 13> kProfileFolders = {
    L"Desktop",   L"Documents", L"Downloads",   L"Pictures", L"Music", L"Videos",  L"AppData",
    L"Favorites", L"Contacts",  L"Saved Games", L"Searches", L"Links", L"OneDrive"};

std::optional<std::wstring> environment_variable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) {
      // Set but empty reads as 0 too; only a missing variable leaves an error behind.
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::wstring();
    }
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.assign(n, L'\0');  // n counts the terminator when the buffer was short
  }
  return std::nullopt;
}

}  // namespace

std::string protection_key(std::wstring_view path) {
  std::string text = to_utf8(path);
  while (!text.empty() && text.back() == '\\') text.pop_back();
  return to_lower_full(text);
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

bool is_protected_path(std::wstring_view path) {
  const std::string key = protection_key(path);
  // Every drive root ("d:" once trimmed) and the empty path.
  if (key.size() < 3) return true;
  for (const std::wstring& folder : protected_folders()) {
    const std::string protected_key = protection_key(folder);
    if (protected_key.empty()) continue;
    if (protected_key == key) return true;
    // The path is a folder that contains the protected one.
    if (protected_key.size() > key.size() && protected_key.starts_with(key) && protected_key[key.size()] == '\\') {
      return true;
    }
  }
  return false;
}

}  // namespace tw
