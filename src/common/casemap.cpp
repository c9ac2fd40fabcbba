#include "common/casemap.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "common/text.h"

namespace tw {
namespace {

struct LowerRun {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::int32_t step;
};

struct SpecialLower {
  char32_t cp;
  const char* lower;
};

#include "common/casemap_table.inc"

template <class Chars>
bool equal_folded(Chars a, Chars b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](auto x, auto y) { return ascii_lower(x) == ascii_lower(y); });
}

}  // namespace

void append_lower(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp + 32 : cp));
    return;
  }
  for (const SpecialLower& s : kSpecialLower) {
    if (s.cp == cp) {
      out += s.lower;
      return;
    }
  }
  // The last run that starts at or before cp is the only one that can hold it.
  const auto* it = std::upper_bound(std::begin(kLowerRuns), std::end(kLowerRuns), cp,
                                    [](char32_t value, const LowerRun& run) { return value < run.first; });
  if (it != std::begin(kLowerRuns)) {
    const LowerRun& run = *std::prev(it);
    if (cp <= run.last && (cp - run.first) % static_cast<char32_t>(run.step) == 0) {
      cp = static_cast<char32_t>(static_cast<std::int64_t>(cp) + run.delta);
    }
  }
  append_utf8(out, cp);
}

std::string to_lower_full(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[pos]);
    if (byte < 0x80) {  // the common case stays cheap
      out.push_back(ascii_lower(utf8[pos]));
      ++pos;
      continue;
    }
    append_lower(out, next_code_point(utf8, pos));
  }
  return out;
}

bool equal_ascii_folded(std::wstring_view a, std::wstring_view b) { return equal_folded(a, b); }
bool equal_ascii_folded(std::string_view a, std::string_view b) { return equal_folded(a, b); }

}  // namespace tw
