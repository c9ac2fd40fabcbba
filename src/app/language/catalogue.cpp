#include "app/language/catalogue.h"

#include <mutex>
#include <nlohmann/json.hpp>

#include "app/system/settings.h"

namespace tw {
namespace {

#include "translations.inc"  // kTranslationDocuments: the embedded documents, by code

constexpr const Message* kAllMessages[] = {
#define TW_MESSAGE(name, ko, en) &msg::name,
#include "app/language/messages.inc"
#undef TW_MESSAGE
};

const TranslationTable& translation_table() {
  // Built once, by whichever thread asks first; read-only afterwards.
  static const TranslationTable table = parse_translation(translation_document(current_language()));
  return table;
}

}  // namespace

std::span<const Message* const> all_messages() { return kAllMessages; }

std::string_view language_for_langid(LANGID langid) {
  switch (langid & 0x3FF) {
    case 0x04:
      return (langid == 0x0804 || langid == 0x1004) ? "zh-Hans" : "zh-Hant";
    case 0x07:
      return "de";
    case 0x0A:
      return "es";
    case 0x0C:
      return "fr";
    case 0x11:
      return "ja";
    case 0x12:
      return "ko";
    case 0x16:
      return "pt";
    case 0x19:
      return "ru";
    default:
      return "en";
  }
}

std::string_view choose_language(const std::optional<std::string>& stored, LANGID ui_langid) {
  if (stored) {
    for (const Language& l : kLanguages) {
      if (*stored == l.code) return l.code;
    }
  }
  return language_for_langid(ui_langid);
}

std::string_view current_language() {
  static const std::string_view code =
      choose_language(read_string_setting(kSettingsKey, kValueLanguage), ::GetUserDefaultUILanguage());
  return code;
}

std::string_view script_letters(std::string_view language) {
  // Letters a family of another script would lack: for Japanese, forms Korean fonts lack; for
  // Chinese, the ones that tell Simplified from Traditional.
  if (language == "ko") return "찾기다시닫을수없습";
  if (language == "ja") return "しますクローを除削設定検択実";
  if (language == "zh-Hans") return "件文的删除资启";
  if (language == "zh-Hant") return "檔案刪除資啟";
  if (language == "es") return "Aañáéíóú¿";
  if (language == "fr") return "Aaéèêàâî«»";
  if (language == "de") return "AaäöüßÜ„“";
  if (language == "pt") return "Aaãõçáéêó";
  if (language == "ru") return "ПяжщюыъэЗ";
  return "Aa";
}

std::wstring_view text_locale(std::string_view language) {
  if (language == "ko") return L"ko-KR";
  if (language == "ja") return L"ja-JP";
  if (language == "zh-Hans") return L"zh-CN";
  if (language == "zh-Hant") return L"zh-TW";
  if (language == "es") return L"es-ES";
  if (language == "fr") return L"fr-FR";
  if (language == "de") return L"de-DE";
  if (language == "pt") return L"pt-BR";
  if (language == "ru") return L"ru-RU";
  return L"en-US";
}

std::string_view localized_in(const Message& message, std::string_view language, const TranslationTable& table) {
  if (language == "ko") return message.ko;
  if (language == "en") return message.en;
  const auto it = table.find(message.en);
  return it == table.end() ? std::string_view(message.en) : std::string_view(it->second);
}

std::string_view localized(const Message& message) {
  const std::string_view language = current_language();
  // Korean and English need no table; the others load theirs on first use.
  if (language == "ko" || language == "en") return localized_in(message, language, {});
  return localized_in(message, language, translation_table());
}

std::string localized_text(const Message& message) { return std::string(localized(message)); }

std::string localized_filled(const Message& message, const std::vector<std::string>& arguments) {
  return fill_placeholders(localized(message), arguments);
}

std::string fill_placeholders(std::string_view text, std::span<const std::string> arguments) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '{') {
      const std::size_t close = text.find('}', i + 1);
      if (close != std::string_view::npos && close > i + 1 && close - i <= 4) {
        const std::string_view digits = text.substr(i + 1, close - i - 1);
        std::size_t index = 0;
        bool numeric = true;
        for (const char c : digits) {
          numeric = numeric && c >= '0' && c <= '9';
          index = index * 10 + static_cast<std::size_t>(c - '0');
        }
        if (numeric && index < arguments.size()) {
          out += arguments[index];
          i = close + 1;
          continue;
        }
      }
    }
    out.push_back(text[i]);
    ++i;
  }
  return out;
}

std::string_view translation_document(std::string_view code) {
  for (const auto& [doc_code, bytes, size] : kTranslationDocuments) {
    if (code == doc_code) return std::string_view(reinterpret_cast<const char*>(bytes), size);
  }
  return "{}";
}

TranslationTable parse_translation(std::string_view document) {
  // No exceptions: a document that does not parse is simply no table.
  const nlohmann::json parsed = nlohmann::json::parse(document.begin(), document.end(), nullptr, false);
  TranslationTable table;
  if (parsed.is_discarded() || !parsed.is_object()) return table;
  for (const auto& [name, value] : parsed.items()) {
    if (!value.is_string()) return {};
    table.insert_or_assign(name, value.get<std::string>());
  }
  return table;
}

}  // namespace tw
