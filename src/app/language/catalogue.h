#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tw {

// One message of the interface: its Korean and its English text, side by side. The English
// text is also the key into the translation tables of the other languages.
struct Message {
  const char* ko;
  const char* en;
};

struct Language {
  std::string_view code;
  std::string_view name;  // in the language itself, as the Language menu shows it
};

// In the order of the Language menu.
inline constexpr std::array<Language, 10> kLanguages{{{"en", "English"},
                                                      {"ko", "한국어"},
                                                      {"ja", "日本語"},
                                                      {"zh-Hans", "简体中文"},
                                                      {"zh-Hant", "繁體中文"},
                                                      {"es", "Español"},
                                                      {"fr", "Français"},
                                                      {"de", "Deutsch"},
                                                      {"pt", "Português"},
                                                      {"ru", "Русский"}}};

namespace msg {

// One declaration per message; the same list also makes all_messages().
#define TW_MESSAGE(name, ko, en) inline constexpr Message name{ko, en};
#include "app/language/messages.inc"
#undef TW_MESSAGE

}  // namespace msg

// Every message, in the order of messages.inc, for tests and tools.
std::span<const Message* const> all_messages();

// The language Windows' display language calls for (only the primary language counts, but
// Chinese tells Simplified from Traditional by the whole identifier).
std::string_view language_for_langid(LANGID langid);

// The stored "Language" value when it is exactly one of the codes, else Windows' choice.
std::string_view choose_language(const std::optional<std::string>& stored, LANGID ui_langid);

// The interface language of this process, decided on first use and fixed afterwards.
std::string_view current_language();

// A few letters of the language's own script (UTF-8), all from its messages: the drawing
// layer chooses a font that writes them when the usual one is missing. Latin for unknown codes.
std::string_view script_letters(std::string_view language);

// The locale text in a language is laid out with ("ja-JP" for "ja"), so that characters that
// several scripts share take that language's forms.
std::wstring_view text_locale(std::string_view language);

// The message in the current language; English when a translation lacks it. Never copies.
std::string_view localized(const Message& message);

using TranslationTable = std::unordered_map<std::string, std::string>;
// The same for a given language and its table.
std::string_view localized_in(const Message& message, std::string_view language, const TranslationTable& table);

// Replaces "{0}", "{1}", ... by the arguments. Text that an argument brings in is never
// searched for placeholders, so a file called "{1}.txt" is shown as it is.
std::string fill_placeholders(std::string_view text, std::span<const std::string> arguments);

// The message in the current language, as a string of its own; and with its placeholders
// filled in.
std::string localized_text(const Message& message);
std::string localized_filled(const Message& message, const std::vector<std::string>& arguments);

// The embedded translation document of a language ("{}" for English, Korean and unknown codes).
std::string_view translation_document(std::string_view code);

// A document's members; an empty table when it is not a JSON object of strings.
TranslationTable parse_translation(std::string_view document);

}  // namespace tw
