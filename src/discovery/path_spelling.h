#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/paths.h"

namespace tw {

// How a target is spelled once it is inside the program. Windows reads a plain path
// ("C:\x\y") loosely: "/" for "\", "." and "..", trailing dots and spaces dropped, device
// names such as "con" or "nul.txt" taken for devices. The verbatim spelling ("\\?\C:\x\y")
// reaches the file system exactly. A target is kept in its plain spelling when that means
// exactly the same name (so that the user reads a familiar path) and in its verbatim one
// otherwise; every file-system call is given the verbatim spelling.

// What to do with a path that is relative to a current folder.
enum class RelativePaths : std::uint8_t {
  Resolve,  // against the process's current folder (and "=E:" for "E:notes.txt"), as Windows would
  Refuse,   // texts from another process or the shell are absolute; a relative one is garbage
};

// The target a text names, resolved once as Windows resolves it when it opens the path:
// GetFullPathNameW, "\\.\" read as "\\?\", short (8.3) names expanded where they exist,
// trailing backslashes removed except a root's. Nothing when the text names no file or folder:
// empty, a device ("con", "\\.\COM1", a pipe), a wildcard or another character Windows
// forbids in names, a verbatim path with empty, "." or ".." parts, or a relative path that
// must be refused. Text after a NUL is ignored.
std::optional<Target> resolve_target(std::wstring_view text, RelativePaths relative = RelativePaths::Resolve);

// Each text that names a file or folder, resolved; texts that name none are left out.
std::vector<Target> resolve_targets(std::span<const std::wstring> texts, RelativePaths relative);

// A path argument made usable: white space trimmed, outer double quotes removed (File
// Explorer hands a drive root over as C:" ), a bare drive given its backslash, then resolved
// as Windows resolves it, a relative path against the process's current folder as it is now
// (see resolve_target). A verbatim path ("\\?\...") keeps its trailing spaces, which are part
// of its name there. Nothing when the argument names no file or folder.
std::optional<Target> normalise_path(std::wstring_view argument, RelativePaths relative = RelativePaths::Resolve);

// "C:\x", "\\server\share", "\\?\C:\x": a path that needs no current folder.
bool is_absolute_path(std::wstring_view path);

// The verbatim spelling of a full path, for file-system calls: "C:\x" becomes "\\?\C:\x",
// "\\server\share\x" becomes "\\?\UNC\server\share\x", trailing backslashes go except a
// root's. A verbatim path comes back as it is, apart from those backslashes.
std::wstring exact_path(std::wstring_view full_path);

// The plain spelling of a path when Windows reads it as exactly the same name, otherwise the
// path unchanged.
std::wstring readable_path(std::wstring_view path);

// True when Windows reads this plain full path as exactly the name it spells: a drive or
// share root, then names that plain_name_is_exact accepts, at most 259 units in all.
bool plain_spelling_is_exact(std::wstring_view plain);

// A name that Windows keeps as it is in a plain path: not empty, "." or "..", no trailing
// dot or space, no character Windows forbids, and not a device name (CON, NUL.txt, COM1...).
bool plain_name_is_exact(std::wstring_view name);

// `folder` (a target's spelling) joined with `rest` (names found inside it, separated by
// backslashes): plain when the whole stays exact that way, verbatim otherwise.
std::wstring join_entry(std::wstring_view folder, std::wstring_view rest);

// The folder that holds a full path (in any spelling); nothing for a root or a relative path.
std::optional<std::wstring> parent_folder(std::wstring_view full_path);

// The drive ("X:") a full path starts with, plain or verbatim; empty for a share or anything
// else.
std::wstring drive_of(std::wstring_view full_path);

// Whether a full path is on a share: "\\server\share\..." or "\\?\UNC\server\share\...".
bool is_share_path(std::wstring_view full_path);

}  // namespace tw
