#include <gtest/gtest.h>

#include "app/scan/held_text.h"

namespace tw {
namespace {

// What a row and the command line's table say a holder holds: the first file with the ways it
// is held unless plainly open, and how many more, in the language's own words.
TEST(HeldText, NamesTheFirstFilesWaysAndCountsTheRest) {
  const TranslationTable german = parse_translation(translation_document("de"));
  const TranslationTable chinese = parse_translation(translation_document("zh-Hans"));
  const HoldWays none{};
  const struct {
    const char* language;
    const char* first;
    std::vector<HoldWays> ways;  // as recorded: may be shorter than the files, or empty
    std::size_t files;
    std::string said;
  } cases[] = {
      {"en", "report.db", {}, 1, "report.db"},
      {"en", "report.db", {none, kHeldOpen}, 2, "report.db and 1 more"},
      {"en", "report.db", {kHeldMapped}, 1, "report.db (mapped into memory)"},
      {"en", "plugin.dll", {kHeldLoaded, kHeldOpen, kHeldOpen}, 3, "plugin.dll (loaded) and 2 more"},
      {"en", "a.txt", {kHeldOpen, kHeldLoaded}, 2, "a.txt and 1 more"},  // only the first is named
      {"en", "report.db", {kHeldOpen | kHeldMapped}, 1, "report.db (open, mapped into memory)"},
      {"en", "x.exe", {kHeldOpen | kHeldLoaded}, 1, "x.exe (open, loaded)"},
      {"en", "x.dll", {kHeldLoaded | kHeldMapped}, 1, "x.dll (loaded, mapped into memory)"},
      {"en", "x.dll", {kHeldOpen | kHeldLoaded | kHeldMapped}, 1, "x.dll (open, loaded, mapped into memory)"},
      {"en", "{1}.dll", {kHeldLoaded}, 1235, "{1}.dll (loaded) and 1,234 more"},
      {"de", "plugin.dll", {kHeldLoaded}, 3, "plugin.dll (geladen) und 2 weitere"},
      {"de", "report.db", {kHeldOpen | kHeldMapped}, 1, "report.db (ge\xC3\xB6" "ffnet, in den Arbeitsspeicher eingeblendet)"},
      {"ko", "report.db", {kHeldMapped}, 2, "report.db (\xEB\xA9\x94\xEB\xAA\xA8\xEB\xA6\xAC\xEC\x97\x90 \xEB\xA7\xA4\xED\x95\x91\xEB\x90\xA8) \xEC\x99\xB8 1\xEA\xB0\x9C"},
      {"zh-Hans", "a.dll", {kHeldOpen | kHeldLoaded}, 1, "a.dll\xEF\xBC\x88\xE5\xB7\xB2\xE6\x89\x93\xE5\xBC\x80\xE3\x80\x81\xE5\xB7\xB2\xE5\x8A\xA0\xE8\xBD\xBD\xEF\xBC\x89"},
  };
  for (const auto& c : cases) {
    Holder h;
    h.held = c.first;
    h.ways = c.ways;
    for (std::size_t i = 0; i < c.files; ++i) h.files.push_back(L"D:\\Work\\" + std::to_wstring(i));
    const std::string_view language = c.language;
    const TranslationTable& table = language == "de" ? german : chinese;
    EXPECT_EQ(held_text_in(h, language, table), c.said) << c.language << " " << c.said;
  }
  Holder unattributed;
  unattributed.unattributed = true;
  EXPECT_EQ(held_text_in(unattributed, "en", {}), "a file in the folder");
  EXPECT_EQ(held_text_in(Holder{}, "en", {}), "");
}

}  // namespace
}  // namespace tw
