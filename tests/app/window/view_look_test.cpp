#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/language/catalogue.h"
#include "app/window/view.h"
#include "common/text.h"
#include "gfx/colour.h"

namespace tw {
namespace {

// A layer with only its text half, its families chosen for the language as the window chooses
// them, or `family` for every text role when given (DirectWrite works without a display).
Gfx text_layer(std::string_view language, UINT dpi, const std::wstring& family) {
  Gfx gfx;
  EXPECT_TRUE(SUCCEEDED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                            reinterpret_cast<IUnknown**>(gfx.text_factory.GetAddressOf()))));
  gfx.locale = text_locale(language);
  choose_fonts(gfx, script_letters(language));
  if (!family.empty()) gfx.text_family = family;
  EXPECT_TRUE(set_gfx_dpi(gfx, dpi));
  return gfx;
}

bool system_has_family(const std::wstring& family) {
  ComPtr<IDWriteFactory> factory;
  ComPtr<IDWriteFontCollection> fonts;
  if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown**>(factory.GetAddressOf()))) ||
      FAILED(factory->GetSystemFontCollection(fonts.GetAddressOf()))) {
    return false;
  }
  UINT32 index = 0;
  BOOL exists = FALSE;
  return SUCCEEDED(fonts->FindFamilyName(family.c_str(), &index, &exists)) && exists;
}

// The view lays out in this process's language; the text as it reads in `language`.
std::string in_language(std::string_view text, std::string_view language, const TranslationTable& table) {
  for (const Message* m : all_messages()) {
    if (localized(*m) == text) return std::string(localized_in(*m, language, table));
  }
  return std::string(text);
}

Holder holder(std::uint32_t pid, HolderKind kind, bool has_window = true) {
  Holder h;
  h.pid = pid;
  h.title = "Program";
  h.exe_name = "p.exe";
  h.kind = kind;
  h.has_window = has_window;
  return h;
}

// Between them, states that show every text button the view has, in each of its styles.
std::vector<WindowState> states_with_every_button() {
  std::vector<WindowState> states(4);
  for (std::size_t i = 1; i < states.size(); ++i) {
    states[i].targets = {L"D:\\Work\\a.txt"};
    states[i].summary = ScanSummary{};
  }
  HolderRow not_closed{holder(3, HolderKind::Program), {}};
  not_closed.action.kind = ActionKind::NotClosed;
  states[1].rows = {{holder(1, HolderKind::FileExplorer), {}}, {holder(2, HolderKind::Program), {}}, not_closed,
                    {holder(4, HolderKind::Program, false), {}}, {holder(5, HolderKind::Service), {}}};
  HolderRow closed{holder(6, HolderKind::Program), {}};
  closed.action.kind = ActionKind::Closed;
  states[2].rows = {closed};  // all released: Recycle Bin is the primary button
  states[2].delete_scheduling = true;
  states[3].rows = {{holder(7, HolderKind::Service), {}}};
  states[3].delete_scheduled = true;
  states[3].deep = true;
  return states;
}

// A label must fit its button, padding included, in the weight it is drawn in: a semibold
// label measured as a regular one runs into the button's edges.
TEST(ViewLook, EveryButtonLabelFitsItsBoxInTheWeightItIsDrawnIn) {
  // The families the window picks on this system, and the one the screenshots' stand-ins are
  // made from, which has a bold face of its own.
  std::vector<std::wstring> families = {L""};
  if (system_has_family(L"NanumGothic")) families.push_back(L"NanumGothic");
  const std::vector<WindowState> states = states_with_every_button();
  for (const Language& language : kLanguages) {
    const TranslationTable table = parse_translation(translation_document(language.code));
    for (const std::wstring& family : families) {
      for (const UINT dpi : {96u, 144u}) {
        const Gfx gfx = text_layer(language.code, dpi, family);
        const TextMetrics real = layer_metrics(gfx);
        const TextMetrics translated{
            [&](std::string_view text, FontRole role) { return real.line_width(in_language(text, language.code, table), role); },
            [&](std::string_view text, FontRole role, float width) {
              return real.paragraph_height(in_language(text, language.code, table), role, width);
            }};
        const ViewSize size{880.0f * gfx.scale, 640.0f * gfx.scale, gfx.scale};
        for (const WindowState& state : states) {
          const Layout l = layout_view(state, size, translated, true);
          for (const auto* list : {&l.header, &l.footer, &l.rows_buttons, &l.empty_buttons}) {
            for (const ViewElement& e : *list) {
              if (e.style == ButtonStyle::Glyph) continue;
              const std::string label = in_language(e.label, language.code, table);
              const auto drawn = layout_size(line_layout(gfx, label, button_label_role(e.style), 100'000.0f).Get());
              ASSERT_TRUE(drawn);
              EXPECT_GE(e.box.width - drawn->width, view_sizes::kButtonPadding * gfx.scale - 0.5f)
                  << language.code << " " << dpi << " DPI, family '" << to_utf8(family) << "': " << label;
            }
          }
        }
      }
    }
  }
}

// Rows in every state a row can be in: between them every pill and every note colour.
WindowState state_with_every_row() {
  WindowState s;
  s.targets = {L"D:\\Work\\a.txt"};
  s.summary = ScanSummary{};
  for (const ActionKind a : {ActionKind::Idle, ActionKind::Closing, ActionKind::NotClosed, ActionKind::Ending,
                             ActionKind::Closed, ActionKind::Failed}) {
    for (const bool window : {true, false}) {
      HolderRow r{holder(10, HolderKind::Program, window), {a, "Access is denied."}};
      s.rows.push_back(r);
    }
  }
  for (const ActionKind a : {ActionKind::Restarting, ActionKind::Restarted}) {
    s.rows.push_back(HolderRow{holder(20, HolderKind::FileExplorer), {a, {}}});
  }
  s.rows.push_back(HolderRow{holder(30, HolderKind::Service), {}});
  s.rows.push_back(HolderRow{holder(40, HolderKind::WindowsComponent), {}});
  return s;
}

std::string hex(Color c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", static_cast<unsigned>(std::lround(c.r * 255)),
                static_cast<unsigned>(std::lround(c.g * 255)), static_cast<unsigned>(std::lround(c.b * 255)));
  return text;
}

// One thing drawn on another, and the contrast it needs.
struct Pair {
  std::string what;
  Color fore, back;  // `back` opaque: tints already laid over their surface
  float least;
};

// Every text, glyph and focus ring the painter draws over what lies under it, taken from the
// layouts, looks and tints that painting uses.
std::vector<Pair> painted_pairs(bool dark, const std::optional<SystemColors>& high_contrast) {
  const Palette p = palette(dark, high_contrast);
  constexpr float kText = 4.5f, kGraphic = 3.0f;
  std::vector<Pair> pairs = {{"headline on the page", p.text, p.background, kText},
                             {"explanation and hints on the page", p.muted, p.background, kText},
                             {"paths and titles on a card", p.text, p.card, kText},
                             {"summary and details on a card", p.muted, p.card, kText}};
  for (const Color surface : {p.background, p.band, p.card}) {
    pairs.push_back({"notice", p.notice_text, over(p.notice_fill, surface), kText});
    pairs.push_back({"focus ring beside what it surrounds", p.focus, surface, kGraphic});
  }
  std::vector<WindowState> states = states_with_every_button();
  states.push_back(state_with_every_row());
  for (WindowState& s : states) {
    s.dark = dark;
    s.high_contrast = high_contrast;
    const Layout l = layout_view(s, ViewSize{880, 640, 1.0f}, fixed_metrics(), true, RowsLaidOut::All);
    for (const RowLayout& r : l.rows) {
      pairs.push_back({"note " + r.note, r.note_color, p.card, kText});
      if (r.pill.empty()) continue;
      const Color pill = p.outlines ? p.card : over(tinted(r.pill_color, kPillTint), p.card);
      pairs.push_back({"pill " + r.pill, r.pill_color, pill, kText});
    }
    const auto buttons = [&](const std::vector<ViewElement>& list, Color surface) {
      for (const ViewElement& e : list) {
        const float least = e.style == ButtonStyle::Glyph ? kGraphic : kText;
        for (const bool hovered : {false, true}) {
          const ButtonLook look = button_look(e.style, p, hovered);
          pairs.push_back({"label " + e.label + (hovered ? " hovered" : ""), look.label, over(look.fill, surface), least});
        }
        // The ring must set itself apart from the button it surrounds as well. A high-contrast
        // theme's few colours need not allow that (white around cyan); there the gap of window
        // colour between them does it.
        const Color fill = over(button_look(e.style, p, false).fill, surface);
        const bool gap = p.outlines && contrast_ratio(surface, fill) > contrast_ratio(p.focus, fill);
        pairs.push_back({"focus ring around " + e.label, gap ? surface : p.focus, fill, kGraphic});
      }
    };
    buttons(l.header, p.band);
    buttons(l.footer, p.band);
    buttons(l.rows_buttons, p.card);
    buttons(l.empty_buttons, p.background);
  }
  return pairs;
}

TEST(ViewLook, TextsAndFocusRingsStandOutInEveryTheme) {
  // The formula against WCAG's own examples.
  EXPECT_NEAR(contrast_ratio(rgb(0x000000), rgb(0xFFFFFF)), 21.0f, 0.01f);
  EXPECT_NEAR(contrast_ratio(rgb(0x767676), rgb(0xFFFFFF)), 4.54f, 0.01f);
  EXPECT_EQ(over(rgb(0xFF0000, 0.5f), rgb(0x0000FF)), (Color{0.5f, 0.0f, 0.5f, 1.0f}));

  // Windows' contrast themes: window, window text, highlight, highlight text.
  const auto system = [](std::uint32_t window, std::uint32_t text, std::uint32_t highlight, std::uint32_t on_highlight) {
    return SystemColors{window, text, highlight, on_highlight, window, text, text, text};
  };
  const struct {
    const char* name;
    bool dark;
    std::optional<SystemColors> high_contrast;
  } themes[] = {
      {"light", false, std::nullopt},
      {"dark", true, std::nullopt},
      {"High Contrast Black", false, system(0x000000, 0xFFFFFF, 0x1AEBFF, 0x000000)},
      {"High Contrast White", false, system(0xFFFFFF, 0x000000, 0x37006E, 0xFFFFFF)},
      {"Night sky", true, system(0x000000, 0xFFFFFF, 0xD6B4FD, 0x2B2B2B)},
      {"Desert", false, system(0xFFFAEF, 0x3D3D3D, 0x903909, 0xFFF5E3)},
      {"Dusk", true, system(0x2D3236, 0xFFFFFF, 0xA1BFDE, 0x212D3B)},
  };
  for (const auto& theme : themes) {
    for (const Pair& pair : painted_pairs(theme.dark, theme.high_contrast)) {
      EXPECT_GE(contrast_ratio(pair.fore, pair.back), pair.least)
          << theme.name << ", " << pair.what << ": " << hex(pair.fore) << " on " << hex(pair.back);
    }
  }
}

}  // namespace
}  // namespace tw
