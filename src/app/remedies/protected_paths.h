#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "discovery/file_identity.h"
#include "discovery/path_spelling.h"

namespace tw {

// A path's text with every trailing backslash removed, in full Unicode lower case.
std::string protection_key(std::wstring_view path);

// Variables by name, as an account's registry values use them ("%USERPROFILE%\Documents").
using Variables = std::vector<std::pair<std::wstring, std::wstring>>;

// `text` with each %NAME% replaced by its value (names compared without regard to case);
// nothing when it names a variable not given or leaves a % unpaired.
std::optional<std::wstring> expand_variables(std::wstring_view text, const Variables& variables);

// The Windows and user system folders, as the system says they are now, never from variables
// a caller sets: Windows' own folders and a few inside them that Windows needs, the known
// folders of this process's account where they are and where they would be, those of the
// account an elevated copy works for (see other_account), and OneDrive's folders.
std::vector<std::wstring> protected_folders();

// The protected folders as a check compares them: each by every spelling it has (its text,
// its resolved long-name spelling, and the final path of what it really is), and by identity,
// together with every folder that contains it.
struct ProtectedSet {
  std::vector<std::string> keys;
  std::set<FileIdentity> identities;
};

// Reads the system and the file system now.
ProtectedSet load_protected_set();

// A drive or share root, an empty path, a path that names no file or folder, a Windows or
// user system folder, or a folder that contains one, judged by every spelling of the path and
// by where it really leads: another drive letter, a link or a junction into a protected folder
// is protected too. Paths inside a protected folder are not protected.
bool is_protected(const ProtectedSet& set, std::wstring_view path);

// The same against the set as it is now.
bool is_protected_path(std::wstring_view path);

// The first target that must not be deleted, with the refusal that names it.
std::optional<std::string> protected_refusal(const std::vector<Target>& targets);

}  // namespace tw
