#include "exeinfo/file_description.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "common/text.h"

namespace tw {
namespace {

// Tried after the file's own translations: what most executables carry when their
// translation table is missing or wrong.
constexpr const wchar_t* kFallbackLanguages[] = {L"040904b0", L"040904e4", L"041204b0"};

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

void append_hex4(std::wstring& out, std::uint16_t value) {
  constexpr wchar_t kDigits[] = L"0123456789abcdef";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xFu]);
}

// The language blocks to look in: "llllcccc" in lower-case hexadecimal per (language, code
// page) pair of the translation table, an odd trailing value ignored, then the fallbacks.
std::vector<std::wstring> language_candidates(std::span<const std::uint16_t> translation) {
  std::vector<std::wstring> out;
  for (std::size_t i = 0; i + 1 < translation.size(); i += 2) {
    std::wstring code;
    append_hex4(code, translation[i]);
    append_hex4(code, translation[i + 1]);
    out.push_back(std::move(code));
  }
  for (const wchar_t* code : kFallbackLanguages) out.emplace_back(code);
  return out;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) {
  std::size_t begin = text.size(), end = 0, pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    if (is_white_space(next_code_point(text, pos))) continue;
    begin = std::min(begin, start);
    end = pos;
  }
  return begin < end ? text.substr(begin, end - begin) : std::string_view();
}

std::optional<std::string> file_description(const std::wstring& path) {
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), nullptr);
  if (size == 0) return std::nullopt;
  std::vector<std::uint8_t> buffer(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, buffer.data())) return std::nullopt;

  std::span<const std::uint16_t> translation;
  void* data = nullptr;
  UINT bytes = 0;
  if (::VerQueryValueW(buffer.data(), L"\\VarFileInfo\\Translation", &data, &bytes) && data != nullptr) {
    translation = {static_cast<const std::uint16_t*>(data), bytes / sizeof(std::uint16_t)};
  }

  for (const std::wstring& code : language_candidates(translation)) {
    const std::wstring query = L"\\StringFileInfo\\" + code + L"\\FileDescription";
    void* value = nullptr;
    UINT units = 0;  // UTF-16 units, the terminating NUL included
    if (!::VerQueryValueW(buffer.data(), query.c_str(), &value, &units) || value == nullptr || units < 2) continue;
    std::wstring_view text(static_cast<const wchar_t*>(value), units);
    while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    const std::string utf8 = to_utf8(text);
    const std::string_view trimmed = trim_white_space(utf8);
    if (!trimmed.empty()) return std::string(trimmed);
  }
  return std::nullopt;
}

}  // namespace tw
