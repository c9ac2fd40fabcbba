#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tw {

// A text read from a Windows call that fills a caller's buffer: `call(buffer, size)` returns
// the length it wrote (terminator not counted) when the text fit, the size it needs
// (terminator counted) when it did not, and 0 when it failed. The buffer grows as asked;
// three calls at most, as the text may grow meanwhile.
template <class Call>
std::optional<std::wstring> read_sized_text(Call call) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(n, L'\0');
  }
  return std::nullopt;
}

}  // namespace tw
