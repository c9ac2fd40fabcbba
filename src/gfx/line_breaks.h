#pragma once

// Where a paragraph may be broken into lines, and which lines a width gives. Pure: the
// drawing layer measures the characters and draws the lines these functions choose, so that
// Windows and Wine break a paragraph alike.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tw {

// How good a line break before a character is; a line ends at the best one that fits.
enum class LineBreak : std::uint8_t {
  Never = 0,       // inside one drawn character (a cluster); only the caller knows those
  Avoid = 1,       // against the rules (before a closing mark, after an opening one, before a space)
  LastResort = 2,  // inside a word or a phrase: for a word longer than the line
  Loose = 3,       // at a space that parts a particle from its word ("Windows 가", "Tarnwick で")
  Allowed = 4,     // between words (after spaces), phrases or ideographs
  Mandatory = 5,   // after a line feed
};

// One entry per position 0..text.size(): entry i is a break before text[i]; the first and
// the last are Never. `language` is the interface language's tag ("ko", "ja-JP", "zh-CN"):
// Korean breaks at spaces only, Japanese between phrases (a run of kanji or katakana and the
// kana after it), Chinese between any two ideographs, never before closing marks.
std::vector<LineBreak> line_breaks(std::u32string_view text, std::string_view language);

// The position where each line starts (the first is 0), filling each line as far as `width`
// allows: a line ends at its last Allowed break that fits, else at its last Loose one, else at
// its last LastResort one, else at its last Avoid one. `advances[i]` is the width text[i] takes; spaces at a line's
// end take none.
std::vector<std::size_t> fit_lines(std::u32string_view text, std::span<const LineBreak> breaks,
                                   std::span<const float> advances, float width);

// Spaces and line ends hang at the end of a line.
bool is_break_space(char32_t c);

}  // namespace tw
