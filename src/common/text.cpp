#include "common/text.h"

namespace tw {
namespace {

constexpr bool is_continuation(unsigned char b) { return (b & 0xC0u) == 0x80u; }

}  // namespace

char32_t next_code_point(std::string_view utf8, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80u) {
    ++pos;
    return b0;
  }
  // Length of the sequence and the allowed range of its second byte; the narrower ranges
  // reject overlong forms, surrogates and values above U+10FFFF.
  std::size_t length = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t cp = 0;
  if (b0 >= 0xC2u && b0 <= 0xDFu) {
    length = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0u && b0 <= 0xEFu) {
    length = 3;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0u) lo = 0xA0;
    if (b0 == 0xEDu) hi = 0x9F;
  } else if (b0 >= 0xF0u && b0 <= 0xF4u) {
    length = 4;
    cp = b0 & 0x07u;
    if (b0 == 0xF0u) lo = 0x90;
    if (b0 == 0xF4u) hi = 0x8F;
  } else {
    ++pos;
    return kReplacementChar;
  }
  std::size_t i = pos + 1;
  for (std::size_t k = 1; k < length; ++k, ++i) {
    if (i >= utf8.size()) {
      pos = i;
      return kReplacementChar;
    }
    const unsigned char b = byte(i);
    const bool ok = k == 1 ? (b >= lo && b <= hi) : is_continuation(b);
    if (!ok) {
      // The valid prefix is one maximal subpart; the offending byte starts afresh.
      pos = i;
      return kReplacementChar;
    }
    cp = (cp << 6) | (b & 0x3Fu);
  }
  pos = i;
  return cp;
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    // The decoder gives U+FFFD for what it could not decode; only the character itself is it.
    if (next_code_point(bytes, pos) == kReplacementChar && bytes.substr(start, 3) != "\xEF\xBF\xBD") return false;
  }
  return true;
}

void append_utf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacementChar;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::wstring to_wide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = next_code_point(utf8, pos);
    if (cp < 0x10000) {
      out.push_back(static_cast<wchar_t>(cp));
    } else {
      const char32_t v = cp - 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

std::string to_utf8(std::wstring_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char32_t u = static_cast<char16_t>(utf16[i]);
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size()) {
      const char32_t low = static_cast<char16_t>(utf16[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    append_utf8(out, u);  // a lone surrogate comes out as U+FFFD
  }
  return out;
}

std::size_t utf16_length(std::string_view utf8) {
  std::size_t units = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) units += next_code_point(utf8, pos) >= 0x10000 ? 2u : 1u;
  return units;
}

}  // namespace tw
