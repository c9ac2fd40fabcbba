#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tw {

// A file or folder as Windows spells it. Kept in UTF-16 so that names holding unpaired
// surrogates still reach the file system exactly; its display text is to_utf8 of it.
using Target = std::wstring;

// Removes a leading "\\?\", and turns a leading "\\?\UNC\" into "\\".
std::string strip_long_prefix(std::string_view display_text);
std::wstring strip_long_prefix(std::wstring_view path);

// The comparison key of a path's display text: long-path prefix stripped, trailing
// backslashes removed, full Unicode lower case.
std::string path_key(std::string_view display_text);
std::string path_key(std::wstring_view path);

// A key matches a normalised path that equals it or lies inside it.
bool key_matches(std::string_view key, std::string_view normalised_path);

// The first key (in list order) that a normalised path equals or lies inside, found by
// looking up the path and each folder above it: as fast for thousands of keys as for one.
class KeyIndex {
 public:
  explicit KeyIndex(const std::vector<std::string>& keys);
  std::optional<std::size_t> find(std::string_view normalised_path) const;

 private:
  std::unordered_map<std::string, std::size_t> first_;
};

// How a held file is shown: its name when it is a target itself, its path below the target
// that holds it, else its full path.
std::string display_form(std::wstring_view file, const std::vector<Target>& targets, const KeyIndex& target_keys);
std::string display_form(std::wstring_view file, const std::vector<Target>& targets);

std::string literal_key(const Target& target);

// The key of the target's final path as the file system reports it (seeing through drive
// mappings, junctions and other aliases), or the literal key when that cannot be had.
std::string resolved_key(const Target& target);

// GetFinalPathNameByHandleW (normalised, DOS volume name unless `flags` say otherwise), growing
// the buffer as asked, at most three calls.
std::optional<std::wstring> final_path_name(HANDLE file, DWORD flags = VOLUME_NAME_DOS);

// The last component of a path (after its last backslash or slash), as text; empty when the
// path ends in a separator.
std::string file_name_of(std::wstring_view path);

// The last name in a path, trailing backslashes passed over (a target may be written with one).
std::string last_component(std::wstring_view path);

// The full path of this program's executable; empty when it cannot be read.
std::wstring own_executable_path();
// The same of a module loaded in this process (a DLL, or the program for nullptr).
std::wstring module_path(HMODULE module);

// `base` joined with `name` by one backslash (none added when base already ends in one).
std::wstring join_path(std::wstring_view base, std::wstring_view name);

// Orders paths component by component (split at backslashes), each component compared
// byte-wise as UTF-8, a component that is a prefix of the other first.
bool path_components_less(std::wstring_view a, std::wstring_view b);

// Rewrites a path found on the system so that it begins with the target as the user wrote
// it; a path under no target (by resolved key) comes back unchanged.
std::wstring spell_as_target(std::wstring_view found, const std::vector<Target>& targets,
                             const std::vector<std::string>& resolved_keys);

}  // namespace tw
