#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/window/window_state.h"
#include "gfx/gfx.h"
#include "gfx/icons.h"

namespace tw {

struct Palette {
  Color background, band, card, text, muted, border, accent, warning;
};
Palette palette(bool dark);
inline constexpr Color kDanger = rgb(0xDC2626);
inline constexpr Color kSuccess = rgb(0x16A34A);
inline constexpr Color kWhite = rgb(0xFFFFFF);

inline Color background_color(bool dark) { return palette(dark).background; }

enum class ButtonStyle : std::uint8_t { Primary = 0, Secondary = 1, Danger = 2, Glyph = 3 };

// A control: what hit-testing finds and painting draws. Row buttons are in content
// coordinates (they move with the scroll offset).
struct ViewElement {
  Hit hit;
  std::string label;  // a button's text, or one icon-font glyph
  RectF box;
  ButtonStyle style = ButtonStyle::Secondary;
};

// How wide one line of text is and how tall a wrapped paragraph of a given pixel width is,
// both in 96-DPI units; without a layer the view assumes 80 and 22.
struct TextMetrics {
  std::function<float(std::string_view text, FontRole role)> line_width;
  std::function<float(std::string_view text, FontRole role, float width)> paragraph_height;
};
TextMetrics fixed_metrics();
TextMetrics layer_metrics(const Gfx& gfx);

struct ViewSize {
  float width = 0.0f;
  float height = 0.0f;
  float scale = 1.0f;
};

struct RowLayout {
  std::size_t index = 0;  // in the state's rows
  RectF box;              // content coordinates
  std::string title, pill, note, details;
  Color pill_color{}, note_color{};
  std::size_t first_button = 0, button_count = 0;  // in Layout::rows_buttons
};

struct HintLayout {
  std::string text;
  RectF box;  // content coordinates
};

// Everything the view shows for one state and size, computed once per paint or hit-test.
struct Layout {
  ViewSize size;
  float header_height = 0, footer_height = 0, column_left = 0, column_width = 0;
  std::vector<ViewElement> header, footer, rows_buttons, empty_buttons;
  // Target view.
  RectF card;
  std::vector<std::string> card_lines;
  std::string card_glyph, summary;
  std::string headline, explanation;
  RectF headline_box;
  float explanation_top = 0, explanation_height = 0;
  std::optional<float> progress;  // 0..1 while a scan runs
  RectF progress_track;
  std::vector<RowLayout> rows;  // those in view
  std::vector<HintLayout> hints;
  float content_height = 0;
  // Empty view.
  std::string tip;
  // Notice.
  std::optional<RectF> notice_box;
};

// At most this many targets get a line of their own when nothing holds them; the rest are
// counted in one more line.
inline constexpr std::size_t kListedDiagnoses = 50;

// The layout of the state at this size; `explorer_installed` picks the empty view's tip.
// Only the rows in view at the state's scroll offset are laid out; where the others are
// follows from their fixed height, so the cost does not grow with the number of rows.
Layout layout_view(const WindowState& state, ViewSize size, const TextMetrics& metrics, bool explorer_installed);

// What a click at a client point would hit.
Hit hit_test(const Layout& layout, const WindowState& state, PointF point);

// How far the rows can scroll: content height less the visible part, never below 0.
float max_scroll(const Layout& layout, const WindowState& state);

void paint_view(Gfx& gfx, const Layout& layout, const WindowState& state, IconCache& icons);

}  // namespace tw
