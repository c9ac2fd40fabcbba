#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tw {

// The FileDescription of an executable's version resource: the file's own translations in
// their order, then US English (Unicode and Western code pages) and Korean. The first
// description that is not blank wins, trimmed; nothing when there is none.
std::optional<std::string> file_description(const std::wstring& path);

// `text` without Unicode white space at either end.
std::string_view trim_white_space(std::string_view text);

}  // namespace tw
