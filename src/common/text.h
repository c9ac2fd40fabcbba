#pragma once

#include <string>
#include <string_view>

namespace tw {

// UTF-8 inside the program, UTF-16 at Windows calls. Both directions replace what cannot be
// decoded with U+FFFD: an invalid UTF-8 sequence becomes one U+FFFD per maximal invalid
// subpart, an unpaired surrogate becomes one U+FFFD.
std::wstring to_wide(std::string_view utf8);
std::string to_utf8(std::wstring_view utf16);

// Appends the UTF-8 form of one code point (a surrogate or an out-of-range value is written
// as U+FFFD).
void append_utf8(std::string& out, char32_t cp);

// Decodes one code point at `pos` and advances `pos` past it; invalid input yields U+FFFD.
char32_t next_code_point(std::string_view utf8, std::size_t& pos);

// Whether the bytes are UTF-8 exactly: no byte to replace, no overlong form, no surrogate,
// nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// Number of UTF-16 code units that `utf8` turns into with to_wide.
std::size_t utf16_length(std::string_view utf8);

constexpr char32_t kReplacementChar = 0xFFFD;

}  // namespace tw
