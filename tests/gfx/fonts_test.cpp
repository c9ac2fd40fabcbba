#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/fonts.h"
#include "gfx/gfx.h"

namespace tw {
namespace {

FamilyFacts family(std::wstring name, std::u32string has, bool sans = true, bool mono = false) {
  return FamilyFacts{std::move(name), mono, sans, std::move(has)};
}

// A collection without the usual families, like Wine's.
FontFacts without_usual_families(std::vector<FamilyFacts> families) {
  FontFacts facts;
  facts.families = std::move(families);
  return facts;
}

std::wstring mapped(const FontPlan& plan, std::u32string_view block_sample) {
  for (const FallbackMapping& m : plan.fallback) {
    if (script_blocks()[m.block].samples == block_sample) return m.family;
  }
  return L"(none)";
}

std::u32string_view block_samples(char32_t member) {
  for (const ScriptBlock& b : script_blocks()) {
    if (b.samples.find(member) != std::u32string_view::npos) return b.samples;
  }
  return {};
}

const std::u32string kLatin = U"Aaz09.()\u00B7\u2026\u00E9\u00DF\u0153\u0142";
const std::u32string kHangul = U"\uAC00\uD7A3\uD55C\uCC3E\uAE30";

TEST(FontPlan, TheUsualFamiliesNeedNoFallback) {
  FontFacts facts = without_usual_families({family(L"DejaVu Sans", kLatin)});
  facts.has_text_family = true;
  facts.has_icon_family = true;
  const FontPlan plan = plan_fonts(facts, U"Aa");
  EXPECT_EQ(plan.text_family, L"Segoe UI");
  EXPECT_FALSE(plan.icons_as_shapes);
  EXPECT_TRUE(plan.fallback.empty());  // Windows' own fallback does better than ours

  // Only the icon font missing: text as usual, icons as shapes.
  facts.has_icon_family = false;
  EXPECT_TRUE(plan_fonts(facts, U"Aa").icons_as_shapes);

  // Nothing at all to choose from: formats must still be made with some family.
  const FontPlan empty = plan_fonts(FontFacts{}, U"Aa");
  EXPECT_EQ(empty.text_family, L"Segoe UI");
  EXPECT_TRUE(empty.icons_as_shapes);
}

TEST(FontPlan, TheLanguagesLettersComeFirstThenTheMessageFont) {
  const std::vector<FamilyFacts> families = {
      family(L"Latin Sans", kLatin),
      family(L"Message", kLatin),
      family(L"Hangul Sans", U"Aa09" + kHangul),
      family(L"Hangul Only", kHangul),
  };
  FontFacts facts = without_usual_families(families);
  facts.message_font = 1;
  EXPECT_EQ(plan_fonts(facts, U"Aa").text_family, L"Message");  // ties with Latin Sans, and is the system's choice
  // The message font does not write Korean: the family that writes the most of it wins, and
  // of two that write all of it, the one that also writes Latin names and digits.
  EXPECT_EQ(plan_fonts(facts, kHangul).text_family, L"Hangul Sans");
  // A family that writes only some of the letters loses to one that writes them all.
  facts.families[2].has = U"Aa09\uAC00";
  EXPECT_EQ(plan_fonts(facts, kHangul).text_family, L"Hangul Only");
}

TEST(FontPlan, TiesGoToProportionalThenSansSerifThenTheCollectionsOrder) {
  const auto plan_of = [](std::vector<FamilyFacts> families) {
    return plan_fonts(without_usual_families(std::move(families)), U"Aa").text_family;
  };
  EXPECT_EQ(plan_of({family(L"Mono", kLatin, true, true), family(L"Serif", kLatin, false)}), L"Serif");
  EXPECT_EQ(plan_of({family(L"Serif", kLatin, false), family(L"Sans", kLatin)}), L"Sans");
  EXPECT_EQ(plan_of({family(L"First", kLatin), family(L"Second", kLatin)}), L"First");
  // Writing more of what every interface shows (digits, the ellipsis) beats looks.
  EXPECT_EQ(plan_of({family(L"Sans", U"Aa"), family(L"Mono", kLatin, false, true)}), L"Mono");
  // Nothing writes the letters: still a family, the first.
  EXPECT_EQ(plan_of({family(L"Odd", U""), family(L"Other", U"")}), L"Odd");
}

TEST(FontPlan, EachBlockTheFamilyLacksGoesToTheFamilyThatWritesMostOfIt) {
  const std::u32string symbols(block_samples(U'\u21BB'));
  const std::u32string han(block_samples(U'\u4E2D'));
  const std::u32string kana(block_samples(U'\u3042'));
  const std::vector<FamilyFacts> families = {
      family(L"Latin Sans", kLatin + U"\u2014\u2026"),
      family(L"Symbols", symbols, false),
      family(L"Hangul Sans", U"Aa09" + kHangul + U"\u2014"),
      family(L"Chinese", han + U"\u3042"),
      family(L"Japanese", han + kana + U"\u3057\u307E"),
  };
  const FontPlan plan = plan_fonts(without_usual_families(families), U"Aa");
  EXPECT_EQ(plan.text_family, L"Latin Sans");
  EXPECT_EQ(mapped(plan, symbols), L"Symbols");  // all five of them against two
  EXPECT_EQ(mapped(plan, block_samples(U'\uAC00')), L"Hangul Sans");
  EXPECT_EQ(mapped(plan, kana), L"Japanese");
  EXPECT_EQ(mapped(plan, han), L"Chinese");  // a tie, and nothing favours the other
  EXPECT_EQ(mapped(plan, block_samples(U'\u05D0')), L"(none)");  // nobody writes Hebrew
  // The primary family is never a target: a mapping only ever sees what it lacks.
  EXPECT_EQ(mapped(plan, block_samples(U'\u00E9')), L"Hangul Sans");
  for (const FallbackMapping& m : plan.fallback) EXPECT_NE(m.family, plan.text_family);

  // With Japanese letters the Han block goes to the family that writes the language.
  const FontPlan japanese = plan_fonts(without_usual_families(families), U"\u3057\u307E");
  EXPECT_EQ(japanese.text_family, L"Japanese");
  EXPECT_EQ(mapped(japanese, han), L"Chinese");  // the primary family writes Han itself
  EXPECT_EQ(mapped(japanese, block_samples(U'\u00E9')), L"Latin Sans");
}

// East Asian fonts carry the Latin letters and Han characters of their national character
// sets; for Chinese letters the primary family is a Chinese one, and Latin file names must
// still go to a font made for Latin rather than to the Korean font that also writes some of
// the letters.
TEST(FontPlan, AFontMadeForAScriptWinsItsBlock) {
  const std::u32string latin_set = U"Aaz09.()\u00E9\u00DF\u0153\u0142";  // what a Korean font has
  const std::u32string han(block_samples(U'\u4E2D'));
  const std::vector<FamilyFacts> families = {
      family(L"Korean", latin_set + kHangul + U"\u4E2D\u6587\u5B57\u6A94\u6848"),
      family(L"Latin", latin_set + U"\u0151\u0219\u011F\u0159\u0105"),
      family(L"Chinese", han + U"\u6A94\u6848\u555F"),
  };
  const FontPlan plan = plan_fonts(without_usual_families(families), U"\u6A94\u6848\u555F");  // 檔案啟
  EXPECT_EQ(plan.text_family, L"Chinese");
  EXPECT_EQ(mapped(plan, block_samples(U'\u00E9')), L"Latin");
  EXPECT_EQ(mapped(plan, block_samples(U'\uAC00')), L"Korean");
}

TEST(FontPlan, CodePointsAreTakenOnceInOrder) {
  EXPECT_EQ(distinct_code_points("abca"), U"abc");
  EXPECT_EQ(distinct_code_points("\xEC\xB0\xBE\xEA\xB8\xB0\xEC\xB0\xBE"), U"\uCC3E\uAE30");  // 찾기찾
  EXPECT_EQ(distinct_code_points("a\xFF"), U"a\uFFFD");
  EXPECT_EQ(distinct_code_points(""), U"");
}

// Records the glyph runs a layout draws, without any display. COM interfaces have no virtual
// destructor by design (Release destroys), which GCC's -Wnon-virtual-dtor cannot know.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class GlyphRecorder final : public IDWriteTextRenderer {
 public:
  std::vector<UINT16> glyphs;


  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id == __uuidof(IUnknown) || id == __uuidof(IDWritePixelSnapping) || id == __uuidof(IDWriteTextRenderer)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE IsPixelSnappingDisabled(void*, BOOL* disabled) override {
    *disabled = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentTransform(void*, DWRITE_MATRIX* m) override {
    *m = DWRITE_MATRIX{1, 0, 0, 1, 0, 0};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelsPerDip(void*, FLOAT* pixels) override {
    *pixels = 1.0f;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawGlyphRun(void*, FLOAT, FLOAT, DWRITE_MEASURING_MODE, const DWRITE_GLYPH_RUN* run,
                                         const DWRITE_GLYPH_RUN_DESCRIPTION*, IUnknown*) override {
    glyphs.insert(glyphs.end(), run->glyphIndices, run->glyphIndices + run->glyphCount);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawUnderline(void*, FLOAT, FLOAT, const DWRITE_UNDERLINE*, IUnknown*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawStrikethrough(void*, FLOAT, FLOAT, const DWRITE_STRIKETHROUGH*, IUnknown*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawInlineObject(void*, FLOAT, FLOAT, IDWriteInlineObject*, BOOL, BOOL, IUnknown*) override {
    return S_OK;
  }
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// The glyphs a line of text would be drawn with; glyph 0 is the empty box of a missing character.
std::vector<UINT16> drawn_glyphs(const Gfx& gfx, std::string_view text, FontRole role) {
  const ComPtr<IDWriteTextLayout> layout = line_layout(gfx, text, role, 2000.0f);
  EXPECT_TRUE(layout);
  GlyphRecorder recorder;
  if (layout) {
    EXPECT_TRUE(SUCCEEDED(layout->Draw(nullptr, &recorder, 0.0f, 0.0f)));
  }
  return recorder.glyphs;
}

// The layer chosen in this test prefix: Wine's collection has only the Linux fonts.
Gfx layer_for(std::string_view letters) {
  Gfx gfx;
  EXPECT_TRUE(SUCCEEDED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                            reinterpret_cast<IUnknown**>(gfx.text_factory.GetAddressOf()))));
  choose_fonts(gfx, letters);
  EXPECT_TRUE(set_gfx_dpi(gfx, 96));
  return gfx;
}

// What the system collection says, asked about `c`.
std::optional<FontFacts> system_facts(char32_t c) {
  ComPtr<IDWriteFactory> factory;
  if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown**>(factory.GetAddressOf())))) {
    return std::nullopt;
  }
  return gather_font_facts(factory.Get(), std::u32string(1, c), L"");
}

bool family_writes(const std::wstring& name, char32_t c) {
  const auto facts = system_facts(c);
  if (!facts) return false;
  for (const FamilyFacts& f : facts->families) {
    if (f.name == name) return f.has.find(c) != std::u32string::npos;
  }
  return false;
}

TEST(FontChoice, WithoutTheUsualFamiliesEveryCharacterIsDrawn) {
  const auto facts = system_facts(U'a');
  ASSERT_TRUE(facts);
  if (facts->has_text_family) GTEST_SKIP() << "this system has the usual family";
  const Gfx english = layer_for("Aa");
  EXPECT_NE(english.text_family, L"Segoe UI");
  EXPECT_TRUE(family_writes(english.text_family, U'a'));
  EXPECT_TRUE(english.icons_as_shapes);
  ASSERT_TRUE(english.font_fallback);
  wchar_t name[100] = {};
  ASSERT_TRUE(SUCCEEDED(english.formats[static_cast<int>(FontRole::Title)]->GetFontFamilyName(name, 100)));
  EXPECT_EQ(name, english.text_family);
  ASSERT_TRUE(SUCCEEDED(english.formats[static_cast<int>(FontRole::Glyph)]->GetFontFamilyName(name, 100)));
  EXPECT_EQ(name, english.text_family);  // what is not an icon is drawn as text

  // English, a Korean file name and symbols in one line, in every role: no empty boxes.
  const std::string mixed = "Choose files \xC2\xB7 \xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C.docx \xE2\x86\xBB \xE2\x80\xA6";
  for (const FontRole role : {FontRole::Small, FontRole::Body, FontRole::BodyStrong, FontRole::Title}) {
    SCOPED_TRACE(static_cast<int>(role));
    const std::vector<UINT16> glyphs = drawn_glyphs(english, mixed, role);
    EXPECT_GE(glyphs.size(), 20u);
    for (const UINT16 g : glyphs) EXPECT_NE(g, 0);
  }

  // A Korean interface gets a family that writes Korean itself.
  const Gfx korean = layer_for("\xEC\xB0\xBE\xEA\xB8\xB0\xEB\x8B\xA4\xEC\x8B\x9C");  // 찾기다시
  EXPECT_TRUE(family_writes(korean.text_family, U'\uCC3E'));
  for (const UINT16 g : drawn_glyphs(korean, "\xEB\x8B\xAB\xEA\xB8\xB0 PID 4120", FontRole::Body)) EXPECT_NE(g, 0);
}

TEST(FontChoice, AFailedChoiceLeavesTheUsualFamilies) {
  Gfx gfx;  // no factory: nothing can be looked at
  choose_fonts(gfx, "Aa");
  EXPECT_EQ(gfx.text_family, L"");
  EXPECT_FALSE(gfx.icons_as_shapes);
  EXPECT_FALSE(gfx.font_fallback);
  EXPECT_FALSE(gather_font_facts(nullptr, U"Aa", L""));
  EXPECT_FALSE(make_font_fallback(nullptr, FontPlan{L"x", false, {FallbackMapping{0, L"y"}}}));
}

}  // namespace
}  // namespace tw
