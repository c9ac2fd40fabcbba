#pragma once

// Which font families the layer draws with. Windows has the families the interface is
// designed for; a system without them (Wine, a stripped-down Windows) gets the best families
// it has, so that text and icons always show.

#include <dwrite.h>
#include <dwrite_2.h>
#include <wrl/client.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

inline constexpr const wchar_t* kTextFamily = L"Segoe UI";
inline constexpr const wchar_t* kIconFamily = L"Segoe MDL2 Assets";

// Characters every interface shows whatever its language: Latin letters and digits in file
// and program names, and the punctuation of numbers and lists.
inline constexpr std::u32string_view kEveryInterface = U"Aaz09.()\u00B7\u2026";

// A part of Unicode that a custom fallback maps to one family: its ranges, and a few of its
// characters that tell whether a family writes it.
struct ScriptBlock {
  std::span<const DWRITE_UNICODE_RANGE> ranges;
  std::u32string_view samples;
};

// The blocks a custom fallback covers, in the order their mappings are made.
std::span<const ScriptBlock> script_blocks();

// What the decision needs to know about one family of the system collection.
struct FamilyFacts {
  std::wstring name;
  bool monospaced = false;
  bool sans_serif = false;
  std::u32string has;  // the characters asked about that its regular face has
};

struct FontFacts {
  bool has_text_family = false;  // kTextFamily is in the collection
  bool has_icon_family = false;  // kIconFamily is, and has the icons
  // Families other than symbol fonts, in the collection's order; only gathered when
  // kTextFamily is missing.
  std::vector<FamilyFacts> families;
  std::optional<std::size_t> message_font;  // the system's message font, when it is one of them
};

struct FallbackMapping {
  std::size_t block;  // index into script_blocks()
  std::wstring family;
};

struct FontPlan {
  std::wstring text_family;
  bool icons_as_shapes = false;
  // Empty: DirectWrite's own fallback (Windows has one; Wine's finds nothing).
  std::vector<FallbackMapping> fallback;
};

// The family for every text role, whether icons must be drawn, and the custom fallback.
// `letters` are characters of the interface language's own script.
//  - kTextFamily when present, with DirectWrite's own fallback;
//  - otherwise the message font when it writes `letters`, else the family that writes most of
//    them (then most of kEveryInterface, then proportional before monospaced, sans serif
//    before serif, then the collection's order), and a custom fallback that sends each script
//    block the primary family lacks to the family that writes most of that block;
//  - the collection's first family when nothing writes anything, and kTextFamily when the
//    collection is empty, so that formats can still be made.
FontPlan plan_fonts(const FontFacts& facts, std::u32string_view letters);

// The code points of a UTF-8 text, each once, in order of first appearance.
std::u32string distinct_code_points(std::string_view utf8);

// Looks at the system collection: kTextFamily first, and everything else only when it is
// missing. `message_font` is the family the system names for messages (may be empty).
[[nodiscard]] std::optional<FontFacts> gather_font_facts(IDWriteFactory* factory, std::u32string_view letters,
                                                         std::wstring_view message_font);

// The system's message font (SPI_GETNONCLIENTMETRICS); empty when it cannot be read.
std::wstring system_message_font();

// The custom fallback of a plan; null when the plan has none or DirectWrite cannot make one
// (before Windows 8.1), and then text falls back as DirectWrite does by itself.
Microsoft::WRL::ComPtr<IDWriteFontFallback> make_font_fallback(IDWriteFactory* factory, const FontPlan& plan);

}  // namespace tw
