#include "gfx/fonts.h"

#include <windows.h>

#include <dwrite_1.h>

#include <algorithm>
#include <array>
#include <tuple>

#include "common/text.h"

namespace tw {
namespace {

using Microsoft::WRL::ComPtr;

constexpr DWRITE_UNICODE_RANGE kLatin[] = {{0x0020, 0x024F}, {0x1E00, 0x1EFF}};
constexpr DWRITE_UNICODE_RANGE kGreek[] = {{0x0370, 0x03FF}};
constexpr DWRITE_UNICODE_RANGE kCyrillic[] = {{0x0400, 0x052F}};
constexpr DWRITE_UNICODE_RANGE kHebrew[] = {{0x0590, 0x05FF}};
constexpr DWRITE_UNICODE_RANGE kArabic[] = {{0x0600, 0x06FF}, {0x0750, 0x077F}, {0xFB50, 0xFDFF}, {0xFE70, 0xFEFF}};
constexpr DWRITE_UNICODE_RANGE kDevanagari[] = {{0x0900, 0x097F}};
constexpr DWRITE_UNICODE_RANGE kThai[] = {{0x0E00, 0x0E7F}};
constexpr DWRITE_UNICODE_RANGE kSymbols[] = {{0x2000, 0x2BFF}};
constexpr DWRITE_UNICODE_RANGE kHangul[] = {{0x1100, 0x11FF}, {0x3130, 0x318F}, {0xAC00, 0xD7AF}};
constexpr DWRITE_UNICODE_RANGE kKana[] = {{0x3040, 0x30FF}, {0x31F0, 0x31FF}};
constexpr DWRITE_UNICODE_RANGE kHan[] = {{0x2E80, 0x2FDF}, {0x3000, 0x303F}, {0x3100, 0x312F}, {0x3200, 0x33FF},
                                        {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF}, {0x20000, 0x2FA1F}};
constexpr DWRITE_UNICODE_RANGE kFullWidth[] = {{0xFF00, 0xFFEF}};

// File names and window titles can be in any script, so the fallback reaches well beyond the
// ten interface languages. Samples reach past the Latin, Greek, Cyrillic and Han that East
// Asian fonts carry from their national character sets, so that a font made for the script
// wins its block.
constexpr std::array<ScriptBlock, 12> kBlocks{{
    {kLatin, U"Aa\u00E9\u00DF\u0153\u0142\u0151\u0219\u011F\u0159\u0105"},
    {kGreek, U"\u03A9\u03BB\u03AC"},
    {kCyrillic, U"\u0416\u044F\u0457\u0452"},
    {kHebrew, U"\u05D0\u05E9"},
    {kArabic, U"\u0628\u0645"},
    {kDevanagari, U"\u0915\u0916"},
    {kThai, U"\u0E01\u0E02"},
    {kSymbols, U"\u2014\u2026\u2192\u21BB\u2630"},
    {kHangul, U"\uAC00\uD7A3\uD55C"},
    {kKana, U"\u3042\u30A2\u30F3"},
    {kHan, U"\u4E2D\u6587\u5B57\u3002\u4EEC\u8FD9\u691C"},
    {kFullWidth, U"\uFF21\uFF08"},
}};

std::size_t covered(const FamilyFacts& family, std::u32string_view characters) {
  return static_cast<std::size_t>(std::count_if(characters.begin(), characters.end(), [&](char32_t c) {
    return family.has.find(c) != std::u32string::npos;
  }));
}

// The family that writes most of `wanted`, then most of `also`; ties go to `favoured`, then to
// proportional and sans-serif faces, then to the collection's order. Nothing when no family
// qualifies.
std::optional<std::size_t> best_family(const std::vector<FamilyFacts>& families, std::u32string_view wanted,
                                       std::u32string_view also, std::optional<std::size_t> favoured,
                                       std::optional<std::size_t> excluded, bool need_some) {
  std::optional<std::size_t> best;
  auto key = [&](std::size_t i) {
    const FamilyFacts& f = families[i];
    return std::make_tuple(covered(f, wanted), favoured == i, covered(f, also), !f.monospaced, f.sans_serif);
  };
  for (std::size_t i = 0; i < families.size(); ++i) {
    if (excluded == i) continue;
    if (need_some && covered(families[i], wanted) == 0) continue;
    if (!best || key(i) > key(*best)) best = i;  // strictly better: earlier families win ties
  }
  return best;
}

// Checks one character; a failed query counts as "does not have it".
bool font_has(IDWriteFont* font, char32_t c) {
  BOOL exists = FALSE;
  return SUCCEEDED(font->HasCharacter(static_cast<UINT32>(c), &exists)) && exists;
}

std::optional<UINT32> find_family(IDWriteFontCollection* fonts, const wchar_t* name) {
  UINT32 index = 0;
  BOOL exists = FALSE;
  if (FAILED(fonts->FindFamilyName(name, &index, &exists)) || !exists) return std::nullopt;
  return index;
}

ComPtr<IDWriteFont> regular_face(IDWriteFontCollection* fonts, UINT32 index) {
  ComPtr<IDWriteFontFamily> family;
  if (FAILED(fonts->GetFontFamily(index, family.GetAddressOf())) || !family) return nullptr;
  ComPtr<IDWriteFont> font;
  if (FAILED(family->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                          DWRITE_FONT_STYLE_NORMAL, font.GetAddressOf()))) {
    return nullptr;
  }
  return font;
}

// The family's English name (what CreateTextFormat and the fallback are given), else its first.
std::wstring family_name(IDWriteFontCollection* fonts, UINT32 index) {
  ComPtr<IDWriteFontFamily> family;
  ComPtr<IDWriteLocalizedStrings> names;
  if (FAILED(fonts->GetFontFamily(index, family.GetAddressOf())) || !family ||
      FAILED(family->GetFamilyNames(names.GetAddressOf())) || !names) {
    return {};
  }
  UINT32 at = 0;
  BOOL exists = FALSE;
  if (FAILED(names->FindLocaleName(L"en-us", &at, &exists)) || !exists) at = 0;
  UINT32 length = 0;
  if (FAILED(names->GetStringLength(at, &length))) return {};
  std::wstring name(length + 1, L'\0');
  if (FAILED(names->GetString(at, name.data(), length + 1))) return {};
  name.resize(length);
  return name;
}

// Icon glyphs the interface uses; a family that has the name but not these is of no help.
constexpr char32_t kIconProbe = 0xE700;

}  // namespace

std::span<const ScriptBlock> script_blocks() { return kBlocks; }

FontPlan plan_fonts(const FontFacts& facts, std::u32string_view letters) {
  FontPlan plan;
  plan.icons_as_shapes = !facts.has_icon_family;
  if (facts.has_text_family || facts.families.empty()) {
    plan.text_family = kTextFamily;
    return plan;
  }
  const std::vector<FamilyFacts>& families = facts.families;
  const std::size_t primary = best_family(families, letters, kEveryInterface, facts.message_font, std::nullopt, false)
                                  .value_or(0);
  plan.text_family = families[primary].name;
  // A mapping only ever sees characters the primary family lacks, so it goes to another one.
  for (std::size_t b = 0; b < kBlocks.size(); ++b) {
    const auto to = best_family(families, kBlocks[b].samples, letters, std::nullopt, primary, true);
    if (to) plan.fallback.push_back(FallbackMapping{b, families[*to].name});
  }
  return plan;
}

std::u32string distinct_code_points(std::string_view utf8) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t c = next_code_point(utf8, pos);
    if (out.find(c) == std::u32string::npos) out.push_back(c);
  }
  return out;
}

std::optional<FontFacts> gather_font_facts(IDWriteFactory* factory, std::u32string_view letters,
                                           std::wstring_view message_font) {
  if (factory == nullptr) return std::nullopt;
  ComPtr<IDWriteFontCollection> fonts;
  if (FAILED(factory->GetSystemFontCollection(fonts.GetAddressOf(), FALSE)) || !fonts) return std::nullopt;
  FontFacts facts;
  facts.has_text_family = find_family(fonts.Get(), kTextFamily).has_value();
  if (const auto icons = find_family(fonts.Get(), kIconFamily)) {
    const ComPtr<IDWriteFont> face = regular_face(fonts.Get(), *icons);
    facts.has_icon_family = face && font_has(face.Get(), kIconProbe);
  }
  if (facts.has_text_family) return facts;  // the usual case on Windows: nothing else to learn

  // Every character any decision asks about, each once.
  std::u32string asked(letters);
  asked += kEveryInterface;
  for (const ScriptBlock& block : kBlocks) asked += block.samples;

  const std::wstring message(message_font);
  const std::optional<UINT32> message_index =
      message.empty() ? std::nullopt : find_family(fonts.Get(), message.c_str());
  const UINT32 count = fonts->GetFontFamilyCount();
  for (UINT32 i = 0; i < count; ++i) {
    const ComPtr<IDWriteFont> face = regular_face(fonts.Get(), i);
    // A symbol font's characters are not the letters they claim to be.
    if (!face || face->IsSymbolFont()) continue;
    FamilyFacts family;
    family.name = family_name(fonts.Get(), i);
    if (family.name.empty()) continue;
    for (const char32_t c : asked) {
      if (family.has.find(c) == std::u32string::npos && font_has(face.Get(), c)) family.has.push_back(c);
    }
    ComPtr<IDWriteFont1> face1;
    if (SUCCEEDED(face.As(&face1)) && face1) {  // Windows 8 and later; without it nothing is known
      DWRITE_PANOSE panose{};
      face1->GetPanose(&panose);
      // Latin text faces: serif styles 11 to 15 are the sans-serif ones.
      family.sans_serif = panose.text.familyKind == DWRITE_PANOSE_FAMILY_TEXT_DISPLAY &&
                          panose.text.serifStyle >= DWRITE_PANOSE_SERIF_STYLE_NORMAL_SANS &&
                          panose.text.serifStyle <= DWRITE_PANOSE_SERIF_STYLE_ROUNDED;
      family.monospaced = face1->IsMonospacedFont() != FALSE;
    }
    if (message_index == i) facts.message_font = facts.families.size();
    facts.families.push_back(std::move(family));
  }
  return facts;
}

std::wstring system_message_font() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return {};
  return metrics.lfMessageFont.lfFaceName;
}

ComPtr<IDWriteFontFallback> make_font_fallback(IDWriteFactory* factory, const FontPlan& plan) {
  if (factory == nullptr || plan.fallback.empty()) return nullptr;
  ComPtr<IDWriteFactory2> factory2;
  if (FAILED(factory->QueryInterface(IID_PPV_ARGS(factory2.GetAddressOf()))) || !factory2) return nullptr;
  ComPtr<IDWriteFontFallbackBuilder> builder;
  if (FAILED(factory2->CreateFontFallbackBuilder(builder.GetAddressOf())) || !builder) return nullptr;
  for (const FallbackMapping& mapping : plan.fallback) {
    if (mapping.block >= kBlocks.size()) continue;
    const std::span<const DWRITE_UNICODE_RANGE> ranges = kBlocks[mapping.block].ranges;
    const wchar_t* family = mapping.family.c_str();
    // A mapping that cannot be added leaves that block to the primary family; the rest still help.
    static_cast<void>(builder->AddMapping(ranges.data(), static_cast<UINT32>(ranges.size()), &family, 1, nullptr,
                                          nullptr, nullptr, 1.0f));
  }
  ComPtr<IDWriteFontFallback> fallback;
  if (FAILED(builder->CreateFontFallback(fallback.GetAddressOf()))) return nullptr;
  return fallback;
}

}  // namespace tw
