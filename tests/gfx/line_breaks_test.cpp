#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "gfx/line_breaks.h"

namespace tw {
namespace {

// Lines as a terminal would set them: ideographs, kana and Hangul two cells wide, the rest one.
std::vector<std::string> wrap(std::string_view utf8, std::string_view language, float width) {
  std::u32string text;
  for (std::size_t pos = 0; pos < utf8.size();) text.push_back(next_code_point(utf8, pos));
  std::vector<float> advances;
  for (const char32_t c : text) {
    const bool wide = (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xFF00 && c <= 0xFF60);
    advances.push_back(wide ? 2.0f : 1.0f);
  }
  const std::vector<std::size_t> starts = fit_lines(text, line_breaks(text, language), advances, width);
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    while (end > starts[i] && is_break_space(text[end - 1])) --end;
    std::string line;
    for (std::size_t j = starts[i]; j < end; ++j) append_utf8(line, text[j]);
    lines.push_back(line);
  }
  return lines;
}

constexpr const char* kKoreanTip =
    "파일 탐색기에서 마우스 오른쪽 단추 → 'Tarnwick 으로 잠금 풀기' 로도 쓸 수 있습니다 (Windows 11 에서는 '더 많은 "
    "옵션 표시' 안에 있습니다).";
constexpr const char* kJapaneseTip =
    "エクスプローラーで右クリック →「Tarnwick でロックを解除」からも使えます (Windows 11 "
    "では「その他のオプションを確認」の中にあります)。";

TEST(LineBreaks, KoreanBetweenWordsJapaneseBetweenPhrasesNeverBeforeAClosingMark) {
  struct Case {
    const char* language;
    const char* text;
    float width;  // in cells
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      // Hints that once left "니다)." or "にあります)。" alone on a line.
      {"ko", kKoreanTip, 66,
       {"파일 탐색기에서 마우스 오른쪽 단추 → 'Tarnwick 으로 잠금",
        "풀기' 로도 쓸 수 있습니다 (Windows 11 에서는 '더 많은 옵션 표시'", "안에 있습니다)."}},
      {"ja-JP", kJapaneseTip, 40,
       {"エクスプローラーで右クリック →", "「Tarnwick でロックを解除」からも", "使えます (Windows 11 では「その他の",
        "オプションを確認」の中にあります)。"}},
      // A particle the texts set apart from a Latin word or a quotation stays with it.
      {"ko", "지금 Windows 가 알려", 12, {"지금", "Windows 가", "알려"}},
      {"ja-JP", "右クリック →「Tarnwick でロック", 20, {"右クリック →", "「Tarnwick でロック"}},
      // Korean words longer than the line break between syllables, still not before ")." .
      {"ko", "가나다라마바사", 6, {"가나다", "라마바", "사"}},
      {"ko", "있습니다).", 8, {"있습니", "다)."}},
      // Small kana and the long vowel mark stay with what comes before; so do closing marks.
      {"ja", "アファ", 4, {"ア", "ファ"}},
      {"ja", "「その他」。です", 8, {"「その", "他」。", "です"}},
      {"zh-CN", "我们，你们。", 4, {"我", "们，", "你", "们。"}},
      // Latin text: at spaces and after hyphens, inside a word only when it is longer than the line.
      {"en", "read-only file", 6, {"read-", "only", "file"}},
      {"en", "x-2 abcdefghij", 4, {"x-2", "abcd", "efgh", "ij"}},
      {"en", "one\ntwo", 100, {"one", "two"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.language) + " " + c.text + " " + std::to_string(c.width));
    EXPECT_EQ(wrap(c.text, c.language, c.width), c.lines);
  }
}

}  // namespace
}  // namespace tw
