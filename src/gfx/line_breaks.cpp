#include "gfx/line_breaks.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace tw {
namespace {

// What a character is to line breaking.
enum class Sort : std::uint8_t {
  Other,      // letters, digits and symbols of alphabetic scripts
  Space,
  LineEnd,
  Open,       // opening brackets and quotes: a line never ends with one
  Close,      // closing brackets, commas, full stops: a line never starts with one
  Hangul,
  Kana,       // hiragana
  Ideograph,  // Han, katakana, full-width forms
};

constexpr std::u32string_view kOpen = U"([{\u2018\u201C\u3008\u300A\u300C\u300E\u3010\u3014\u3016\u3018\u301A"
                                      U"\uFF08\uFF3B\uFF5B\uFF62";
constexpr std::u32string_view kClose = U")]},.:;!?\u2019\u201D\u2025\u2026\u3001\u3002\u3009\u300B\u300D\u300F"
                                       U"\u3011\u3015\u3017\u3019\u301B\uFF01\uFF09\uFF0C\uFF0E\uFF1A\uFF1B"
                                       U"\uFF1F\uFF3D\uFF5D\uFF61\uFF63\uFF64";
// Letters that may not start a line either: small kana, the long vowel mark, iteration marks
// and the wave dash stay with the character before them.
constexpr std::u32string_view kNoStartLetters =
    U"\u3005\u301C\u303B\u3041\u3043\u3045\u3047\u3049\u3063\u3083\u3085\u3087\u308E\u3095\u3096\u309D\u309E"
    U"\u30A0\u30A1\u30A3\u30A5\u30A7\u30A9\u30C3\u30E3\u30E5\u30E7\u30EE\u30F5\u30F6\u30FB\u30FC\u30FD\u30FE";

bool in(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

Sort sort_of(char32_t c) {
  if (c == U'\n' || c == U'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029) {
    return Sort::LineEnd;
  }
  if (is_break_space(c)) return Sort::Space;
  if (kOpen.find(c) != std::u32string_view::npos) return Sort::Open;
  if (kClose.find(c) != std::u32string_view::npos) return Sort::Close;
  if (in(c, 0xAC00, 0xD7A3) || in(c, 0x1100, 0x11FF) || in(c, 0x3130, 0x318F) || in(c, 0xA960, 0xA97F) ||
      in(c, 0xD7B0, 0xD7FF)) {
    return Sort::Hangul;
  }
  if (in(c, 0x3040, 0x309F)) return Sort::Kana;
  if (in(c, 0x2E80, 0x2FFF) || in(c, 0x3000, 0x303F) || in(c, 0x30A0, 0x312F) || in(c, 0x31C0, 0x31FF) ||
      in(c, 0x3400, 0x4DBF) || in(c, 0x4E00, 0x9FFF) || in(c, 0xF900, 0xFAFF) || in(c, 0xFF00, 0xFFEF) ||
      in(c, 0x20000, 0x3FFFF)) {
    return Sort::Ideograph;
  }
  return Sort::Other;
}

bool may_not_start(char32_t c, Sort sort) {
  return sort == Sort::Close || sort == Sort::Space || sort == Sort::LineEnd ||
         kNoStartLetters.find(c) != std::u32string_view::npos;
}

bool east_asian(char32_t c, Sort sort) {
  return sort == Sort::Kana || sort == Sort::Ideograph || ((sort == Sort::Open || sort == Sort::Close) && c >= 0x3000);
}

// Japanese is read in phrases: a word of kanji or katakana with the kana that follow it
// (endings, particles). A phrase ends after kana or a closing mark, and before an opening one.
bool phrase_boundary(Sort a, Sort b) {
  if (a == Sort::Close || b == Sort::Open) return true;
  if (a == Sort::Kana) return b != Sort::Kana;
  return a == Sort::Other && b == Sort::Ideograph;
}

// Korean particles that the texts write as words of their own after a Latin word or a quotation.
bool korean_particle(std::u32string_view word) {
  constexpr std::u32string_view kParticles[] = {
      U"가", U"이", U"는", U"은", U"를", U"을", U"의", U"에", U"에서", U"에서는", U"에는", U"에게", U"로",
      U"으로", U"로도", U"으로도", U"로는", U"으로는", U"와", U"과", U"도", U"만", U"나", U"이나", U"까지", U"부터"};
  for (const std::u32string_view particle : kParticles) {
    if (word == particle) return true;
  }
  return false;
}

// Korean and Japanese write particles straight after their word, but the program's texts put
// a space between a Latin word or a quotation and its particle; such a particle stays with the
// word where it can. In Japanese, kana after a Latin word always begin with one.
bool particle_after_space(std::u32string_view text, std::size_t i, Sort b) {
  if ((b != Sort::Hangul && b != Sort::Kana) || i < 2 || text[i - 1] != U' ') return false;
  const char32_t word_end = text[i - 2];
  const bool after_word = in(word_end, U'a', U'z') || in(word_end, U'A', U'Z') || in(word_end, U'0', U'9') ||
                          std::u32string_view(U"'\")]\u2019\u201D").find(word_end) != std::u32string_view::npos;
  if (!after_word || b == Sort::Kana) return after_word;
  std::size_t end = i;
  while (end < text.size() && sort_of(text[end]) == Sort::Hangul) ++end;
  return korean_particle(text.substr(i, end - i));
}

bool is_hyphen(char32_t c) { return c == U'-' || c == 0x2010 || c == 0x2013; }

bool japanese(std::string_view language) {
  return language.substr(0, 2) == "ja" && (language.size() == 2 || language[2] == '-' || language[2] == '_');
}

// A break before text[i], 0 < i < text.size().
LineBreak break_before(std::u32string_view text, std::size_t i, bool phrases) {
  const char32_t a = text[i - 1], b = text[i];
  const Sort sa = sort_of(a), sb = sort_of(b);
  if (sa == Sort::LineEnd) return a == U'\r' && b == U'\n' ? LineBreak::Avoid : LineBreak::Mandatory;
  if (may_not_start(b, sb) || sa == Sort::Open) return LineBreak::Avoid;
  if (sa == Sort::Space) return particle_after_space(text, i, sb) ? LineBreak::Loose : LineBreak::Allowed;
  // Korean words are whole between spaces, whatever the syllables.
  if (sa == Sort::Hangul || sb == Sort::Hangul) return LineBreak::LastResort;
  if (east_asian(a, sa) || east_asian(b, sb)) {
    return !phrases || phrase_boundary(sa, sb) ? LineBreak::Allowed : LineBreak::LastResort;
  }
  if (a == 0x2014 || b == 0x2014) return a == b ? LineBreak::Avoid : LineBreak::Allowed;
  // After a hyphen inside a word ("read-only"), but not before a number ("-5", "x-2").
  if (is_hyphen(a) && i >= 2 && sort_of(text[i - 2]) == Sort::Other && !in(b, U'0', U'9')) {
    return LineBreak::Allowed;
  }
  return LineBreak::LastResort;
}

// Where the line that starts at `start` ends: the best break before the first character that
// does not fit, or the end of the text.
std::size_t line_end(std::u32string_view text, std::span<const LineBreak> breaks, std::span<const float> advances,
                     float width, std::size_t start) {
  std::array<std::size_t, 5> last{};  // the last position of each kind below Mandatory; 0: none yet
  float used = 0.0f, inked = 0.0f;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (i > start) {
      if (breaks[i] == LineBreak::Mandatory) return i;
      last[static_cast<std::size_t>(breaks[i])] = i;
    }
    used += advances[i];
    if (!is_break_space(text[i])) inked = used;
    if (inked <= width || i == start) continue;
    for (const LineBreak kind : {LineBreak::Allowed, LineBreak::Loose, LineBreak::LastResort, LineBreak::Avoid}) {
      if (last[static_cast<std::size_t>(kind)] > start) return last[static_cast<std::size_t>(kind)];
    }
    // Still inside the first character: the line ends where it does.
  }
  return text.size();
}

}  // namespace

bool is_break_space(char32_t c) {
  // No-break spaces (U+00A0, U+2007, U+202F) hold words together and are left out.
  return c == U' ' || c == U'\t' || c == 0x1680 || in(c, 0x2000, 0x2006) || in(c, 0x2008, 0x200B) ||
         c == 0x205F || c == 0x3000 || c == U'\n' || c == U'\r' || c == 0x0B || c == 0x0C || c == 0x85 ||
         c == 0x2028 || c == 0x2029;
}

std::vector<LineBreak> line_breaks(std::u32string_view text, std::string_view language) {
  std::vector<LineBreak> breaks(text.size() + 1, LineBreak::Never);
  const bool phrases = japanese(language);
  for (std::size_t i = 1; i < text.size(); ++i) breaks[i] = break_before(text, i, phrases);
  return breaks;
}

std::vector<std::size_t> fit_lines(std::u32string_view text, std::span<const LineBreak> breaks,
                                   std::span<const float> advances, float width) {
  std::vector<std::size_t> starts{0};
  if (breaks.size() < text.size() || advances.size() < text.size()) return starts;
  for (std::size_t start = 0;;) {
    start = line_end(text, breaks, advances, width, start);
    if (start >= text.size()) return starts;
    starts.push_back(start);
  }
}

}  // namespace tw
