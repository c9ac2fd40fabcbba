#pragma once

#include <string>
#include <string_view>

namespace tw {

// Unicode's default lower-casing of UTF-8 text: simple mappings plus the unconditional
// special mappings that change length (U+0130 becomes "i" + U+0307). Invalid UTF-8 comes out
// as U+FFFD.
std::string to_lower_full(std::string_view utf8);

// Appends the full lower-case form of one code point.
void append_lower(std::string& out, char32_t cp);

// ASCII case folding: A-Z become a-z, everything else is left alone.
constexpr wchar_t ascii_lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }
constexpr char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Same length and equal once A-Z are folded to a-z; other characters must match exactly.
bool equal_ascii_folded(std::wstring_view a, std::wstring_view b);
bool equal_ascii_folded(std::string_view a, std::string_view b);

}  // namespace tw
