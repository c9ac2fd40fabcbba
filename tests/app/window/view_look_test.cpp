#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/language/catalogue.h"
#include "app/window/view.h"
#include "common/text.h"

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

}  // namespace
}  // namespace tw
