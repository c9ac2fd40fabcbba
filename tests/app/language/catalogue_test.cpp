#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "app/language/catalogue.h"

namespace tw {
namespace {

std::set<std::string> placeholders(std::string_view text) {
  static const std::regex pattern(R"(\{[0-9]+\})");
  std::set<std::string> found;
  const std::string s(text);
  for (auto it = std::sregex_iterator(s.begin(), s.end(), pattern); it != std::sregex_iterator(); ++it) {
    found.insert(it->str());
  }
  return found;
}

// The document exactly as its layout prescribes, built from its own members in their order.
std::string canonical_layout(const nlohmann::ordered_json& doc) {
  std::string out = "{\n";
  std::size_t i = 0;
  for (const auto& [name, value] : doc.items()) {
    out.append(" ").append(nlohmann::json(name).dump()).append(": ").append(value.dump());
    out.append(++i < doc.size() ? ",\n" : "\n");
  }
  out.append("}\n");
  return out;
}

TEST(Catalogue, KoreanTextsAreCompleteWithTheEnglishPlaceholders) {
  // The list comes from the same declarations as the messages themselves, in their order.
  ASSERT_GT(all_messages().size(), 100u);
  EXPECT_EQ(all_messages().front(), &msg::kConfirmForceQuit);
  EXPECT_EQ(std::count(all_messages().begin(), all_messages().end(), &msg::kWebSite), 1);
  std::set<std::string_view> english;
  for (const Message* m : all_messages()) {
    EXPECT_NE(std::string_view(m->ko), "") << m->en;
    EXPECT_EQ(placeholders(m->ko), placeholders(m->en)) << m->en;
    EXPECT_TRUE(english.insert(m->en).second) << "twice: " << m->en;
  }
  EXPECT_STREQ(msg::kWebSite.en, TW_MAKER_URL);
  EXPECT_EQ(std::string(msg::kWebSite.ko), std::string(TW_MAKER_URL) + "ko/");
  EXPECT_STREQ(msg::kAndMore.ko, "외 {0}개");
}

class TranslationDocument : public testing::TestWithParam<std::string_view> {};

TEST_P(TranslationDocument, IsCompleteFaithfulAndLaidOutExactly) {
  const std::string code(GetParam());
  const std::string_view text = translation_document(code);
  const auto doc = nlohmann::ordered_json::parse(text.begin(), text.end(), nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << code;
  ASSERT_TRUE(doc.is_object());
  EXPECT_EQ(canonical_layout(doc), text) << code << ": not in the exact layout";
  for (const char* symbol : {"\\u00b7", "\\u2026", "\\u2192", "\\u21bb", "\\u2630"}) {
    EXPECT_EQ(text.find(symbol), std::string_view::npos) << code << " escapes " << symbol;
  }

  std::set<std::string> keys;
  for (const auto& [name, value] : doc.items()) keys.insert(name);
  std::set<std::string> expected;
  for (const Message* m : all_messages()) expected.insert(m->en);
  EXPECT_EQ(keys, expected) << code;

  std::string site_page = TW_MAKER_URL;
  for (const char c : code) site_page.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  site_page.push_back('/');
  for (const auto& [name, value] : doc.items()) {
    ASSERT_TRUE(value.is_string()) << code << ": " << name;
    const std::string translated = value.get<std::string>();
    EXPECT_FALSE(translated.empty()) << code << ": " << name;
    EXPECT_EQ(placeholders(translated), placeholders(name)) << code << ": " << name;
    const bool allowed_same = code == "de" && name == "Administrator";
    if (!allowed_same) {
      EXPECT_NE(translated, name) << code << " left in English: " << name;
    }
  }
  EXPECT_EQ(doc.value(TW_MAKER_URL, ""), site_page);
  EXPECT_EQ(parse_translation(text).size(), all_messages().size());
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, TranslationDocument,
                         testing::Values("ja", "zh-Hans", "zh-Hant", "es", "fr", "de", "pt", "ru"),
                         [](const testing::TestParamInfo<std::string_view>& param_info) {
                           std::string name(param_info.param);
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

TEST(Catalogue, BrokenDocumentsGiveAnEmptyTable) {
  EXPECT_TRUE(parse_translation("").empty());
  EXPECT_TRUE(parse_translation("{\"Close\": \"Fermer\"").empty());           // cut short
  EXPECT_TRUE(parse_translation("{\"Close\": \"Fermer\"} x").empty());       // garbage after it
  EXPECT_TRUE(parse_translation("{\"Close\": 3}").empty());                  // not a string
  EXPECT_TRUE(parse_translation("[\"Close\"]").empty());                     // not an object
  EXPECT_TRUE(parse_translation("{\"Close\": \"\xFF\"}").empty());           // not UTF-8
  const TranslationTable t = parse_translation(" \t\r\n{\"Close\": \"A\", \"Close\": \"B\"}\r\n");
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t.at("Close"), "B");  // a later member replaces an earlier one
  EXPECT_EQ(translation_document("en"), "{}");
  EXPECT_EQ(translation_document("it"), "{}");
}

TEST(Catalogue, LooksUpInTheLanguageOrFallsBackToEnglish) {
  const TranslationTable french = parse_translation(translation_document("fr"));
  EXPECT_EQ(localized_in(msg::kDeepSearch, "fr", french), "Recherche approfondie");
  EXPECT_EQ(localized_in(msg::kDeepSearch, "ko", french), "자세히 찾기");
  EXPECT_EQ(localized_in(msg::kDeepSearch, "en", french), "Deep search");
  EXPECT_EQ(localized_in(msg::kDeepSearch, "fr", {}), "Deep search");  // a broken table
  // Handed out from the table itself, not copied.
  EXPECT_EQ(localized_in(msg::kClose, "fr", french).data(), french.at("Close").data());
  EXPECT_EQ(localized_in(msg::kAdministrator, "de", parse_translation(translation_document("de"))), "Administrator");
}

// The letters that choose a font must be ones the language really writes with, or a font could
// be chosen for them that lacks the interface's own text.
TEST(Language, ScriptLettersComeFromTheLanguagesOwnMessages) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(language.code);
    const TranslationTable table = parse_translation(translation_document(language.code));
    std::string all;
    for (const Message* m : all_messages()) all += localized_in(*m, language.code, table);
    const std::string_view letters = script_letters(language.code);
    ASSERT_FALSE(letters.empty());
    std::size_t pos = 0;
    while (pos < letters.size()) {
      const std::size_t length = (static_cast<unsigned char>(letters[pos]) < 0x80) ? 1
                                 : (static_cast<unsigned char>(letters[pos]) < 0xE0) ? 2
                                 : (static_cast<unsigned char>(letters[pos]) < 0xF0) ? 3
                                                                                    : 4;
      const std::string letter(letters.substr(pos, length));
      EXPECT_NE(all.find(letter), std::string::npos) << letter;
      pos += length;
    }
  }
  EXPECT_EQ(script_letters("it"), "Aa");
  EXPECT_EQ(text_locale("zh-Hant"), L"zh-TW");
  EXPECT_EQ(text_locale("ko"), L"ko-KR");
  EXPECT_EQ(text_locale("it"), L"en-US");
}

TEST(Language, FollowsTheStoredCodeOrWindows) {
  EXPECT_EQ(language_for_langid(0x0804), "zh-Hans");
  EXPECT_EQ(language_for_langid(0x1004), "zh-Hans");  // Chinese (Singapore)
  EXPECT_EQ(language_for_langid(0x0C04), "zh-Hant");  // Chinese (Hong Kong SAR)
  EXPECT_EQ(language_for_langid(0x0404), "zh-Hant");
  EXPECT_EQ(language_for_langid(0x0416), "pt");  // Brazil
  EXPECT_EQ(language_for_langid(0x0816), "pt");  // Portugal
  EXPECT_EQ(language_for_langid(0x0410), "en");  // Italian
  EXPECT_EQ(language_for_langid(0x0412), "ko");
  EXPECT_EQ(language_for_langid(0x0411), "ja");
  EXPECT_EQ(language_for_langid(0x0419), "ru");
  EXPECT_EQ(language_for_langid(0x0C0A), "es");
  EXPECT_EQ(language_for_langid(0x040C), "fr");
  EXPECT_EQ(language_for_langid(0x0807), "de");

  EXPECT_EQ(choose_language(std::string("fr"), 0x0409), "fr");
  EXPECT_EQ(choose_language(std::string("zh-Hant"), 0x0409), "zh-Hant");
  EXPECT_EQ(choose_language(std::string("EN"), 0x0412), "ko");  // not a code: Windows decides
  EXPECT_EQ(choose_language(std::string("english"), 0x0407), "de");
  EXPECT_EQ(choose_language(std::string(""), 0x0411), "ja");  // "Follow Windows"
  EXPECT_EQ(choose_language(std::nullopt, 0x0409), "en");
}

TEST(FillPlaceholders, ReplacesEachIndexWithoutRescanningWhatItBroughtIn) {
  const std::vector<std::string> two{"a.txt", "3"};
  EXPECT_EQ(fill_placeholders(msg::kNameAndMore.ko, two), "a.txt 외 3개");
  EXPECT_EQ(fill_placeholders(msg::kNameAndMore.en, two), "a.txt and 3 more");
  // A name that looks like a placeholder is shown as it is.
  EXPECT_EQ(fill_placeholders("{0} and {1} more", std::vector<std::string>{"{1}", "2"}), "{1} and 2 more");
  EXPECT_EQ(fill_placeholders("{1} before {0}, {0} again", two), "3 before a.txt, a.txt again");
  EXPECT_EQ(fill_placeholders("{0} and {2}", two), "a.txt and {2}");  // no argument: kept
  EXPECT_EQ(fill_placeholders("All released", two), "All released");
  EXPECT_EQ(fill_placeholders("{} {x} {0", two), "{} {x} {0");
}

}  // namespace
}  // namespace tw
