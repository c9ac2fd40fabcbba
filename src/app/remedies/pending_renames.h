#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Windows keeps what it renames and deletes at the next start in one REG_MULTI_SZ value,
// "PendingFileRenameOperations" under HKLM\SYSTEM\CurrentControlSet\Control\Session Manager:
// pairs of strings, a source in the native "\??\" form, then its new name, or an empty
// string for a deletion; then the list's closing empty string.

// The native spelling Windows stores for a full path: "\??\C:\x" for "C:\x" or "\\?\C:\x",
// "\??\UNC\server\share\x" for a share.
std::wstring native_path(std::wstring_view full_path);

// The strings of a stored value, read by its length (the empty new names of deletions make
// empty strings inside it), without the closing empty string. Nothing when they do not make
// whole pairs: such a value is not one to add to.
std::optional<std::vector<std::wstring>> pending_strings(std::wstring_view value);

// The value with every pair of `strings` kept in order, then a deletion for each path of
// `deletions` (already native), then the closing empty string.
std::wstring pending_value(const std::vector<std::wstring>& strings, const std::vector<std::wstring>& deletions);

// Adds a deletion at the next start for each full path, in order, in one read and one write
// of the value, keeping everything already in it. False when it could not be read as pairs or
// written; then nothing was added.
[[nodiscard]] bool add_pending_deletions(const std::vector<std::wstring>& full_paths);

}  // namespace tw
