#pragma once

// The main view. Layout, hit-testing and focus order are pure functions of the state, the client
// size and text metrics (view_layout.cpp); painting draws what layout made (view_paint.cpp); the
// palettes, button looks and label fonts are decided apart from both (view_look.cpp).

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/window/window_state.h"
#include "gfx/gfx.h"
#include "gfx/icons.h"

namespace tw {

struct Message;

inline constexpr Color kWhite = rgb(0xFFFFFF);

// Every text reads at 4.5:1 or better on what it is drawn on, tints and hovering included, and
// the focus ring stands out at 3:1 from the page and from what it surrounds (WCAG 2.2 AA).
struct Palette {
  Color background, band, card, text, muted, border, accent, warning, danger, success;
  Color primary;             // a primary button's fill
  Color on_accent = kWhite;  // text on a primary fill
  Color notice_fill = rgb(0x111214, 0.92f), notice_text = kWhite;
  Color focus;           // the focus ring
  bool outlines = false;  // high contrast: buttons, cards and pills are outlined, not tinted
};
// The light or dark palette, or under a high-contrast theme one made of its system colours
// alone (no information then rests on a colour: pills keep their text).
Palette palette(bool dark, const std::optional<SystemColors>& high_contrast = std::nullopt);
inline Palette palette_of(const WindowState& s) { return palette(s.dark, s.high_contrast); }
inline Color background_color(const WindowState& s) { return palette_of(s).background; }

inline constexpr Color tinted(Color c, float alpha) { return Color{c.r, c.g, c.b, alpha}; }
inline constexpr float kPillTint = 0.15f;  // a state pill's fill: its colour over the row

// The view's sizes, in pixels at 96 DPI; layout scales them. Painting draws the boxes layout
// made and takes only corner radii from here.
namespace view_sizes {
inline constexpr float kColumnMargin = 48, kColumnMaxWidth = 900;  // the centred column
inline constexpr float kHeaderHeight = 52, kFooterHeight = 60;
inline constexpr float kButtonHeight = 34;    // glyph buttons are square
inline constexpr float kButtonPadding = 28;   // a text button's width beyond its label
inline constexpr float kHeaderEdge = 10;      // the header's right edge to its first button
inline constexpr float kHeaderGap = 6;        // between header buttons
inline constexpr float kButtonGap = 8;        // between row buttons and between footer buttons
inline constexpr float kEmptyButtonGap = 10;  // between the empty view's two buttons
inline constexpr float kCardTop = 20;         // below the header
inline constexpr float kCardInset = 14;       // the card's and a row's inner edge
inline constexpr float kCardGlyph = 32, kCardTextLeft = 58;
inline constexpr float kCardLineHeight = 24, kCardSummaryGap = 4, kCardSummaryHeight = 18;
inline constexpr float kCardBottomSpace = 18 + 22 + 14;  // the summary line and the margins
inline constexpr float kHeadlineTop = 22, kHeadlineHeight = 36, kExplanationTop = 40;
inline constexpr float kProgressGap = 12, kProgressHeight = 6, kProgressSpace = 16, kProgressMinFill = 6;
inline constexpr float kRowsGap = 14;  // the explanation to the first row
inline constexpr float kRowHeight = 84, kRowGap = 10;
inline constexpr float kRowIconLeft = 16, kRowIcon = 32, kRowTextLeft = 64, kRowTextGap = 10;
inline constexpr float kRowTitleTop = 12, kRowTitleHeight = 24;
inline constexpr float kRowNoteTop = 34, kRowNoteHeight = 22;
inline constexpr float kRowDetailsTop = 56, kRowDetailsHeight = 20;
inline constexpr float kPillTop = 14, kPillHeight = 20, kPillPadding = 18, kPillGap = 10;
inline constexpr float kHintsTop = 6, kHintInset = 13, kHintGap = 12, kContentBottom = 16;
inline constexpr float kTile = 88, kTileTop = 150;  // the empty view's tile, above the middle
inline constexpr float kDropLineTop = 46, kDropLineHeight = 36, kTaglineTop = 6, kTaglineHeight = 26;
inline constexpr float kEmptyTextInset = 20, kEmptyButtonsTop = 40, kTipTop = 100, kTipMaxWidth = 640, kTipMargin = 40;
inline constexpr float kNoticeHeight = 38, kNoticeAboveFooter = 58, kNoticePadding = 16, kNoticeMargin = 16;
// Corner radii.
inline constexpr float kButtonRadius = 8, kCardRadius = 10, kTileRadius = 22, kProgressRadius = 3, kNoticeRadius = 8;
}  // namespace view_sizes

enum class ButtonStyle : std::uint8_t { Primary = 0, Secondary = 1, Danger = 2, Glyph = 3 };

// The font a button's label is drawn in; layout measures the label in the same one, so that a
// semibold label is not given the width of a regular one.
FontRole button_label_role(ButtonStyle style);

// How a button is painted over what it sits on: its fill and its outline (alpha 0: none) and
// its label's colour.
struct ButtonLook {
  Color fill{0, 0, 0, 0};
  Color outline{0, 0, 0, 0};
  Color label;
};
ButtonLook button_look(ButtonStyle style, const Palette& p, bool hovered);

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
  RectF box;              // content coordinates, as every box of the row
  RectF icon, title_box, pill_box, note_box, details_box;  // pill_box is empty without a pill
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
  RectF card, card_glyph_box, summary_box;
  std::vector<std::string> card_lines;
  std::vector<RectF> card_line_boxes;  // one for each line
  std::string card_glyph, summary;
  std::string headline, explanation;
  RectF headline_box;
  std::vector<ViewElement> status_buttons;  // Stop while a search runs; content coordinates
  float explanation_top = 0, explanation_height = 0;
  std::optional<float> progress;  // 0..1 while a scan runs
  RectF progress_track;
  std::vector<RowLayout> rows;  // those in view
  std::vector<HintLayout> hints;
  float content_height = 0;
  // Empty view.
  RectF tile, drop_line_box, tagline_box;
  std::string tip;
  RectF tip_box;  // its width and top; the paragraph is as tall as it wraps
  // Notice.
  std::optional<RectF> notice_box;
  RectF notice_text_box;
  // Rows, in content coordinates: the first one's top and the distance from one to the next.
  float rows_top = 0, row_pitch = 0;
  // The focused element's box in client coordinates, when the focus is to be drawn and the
  // element is laid out.
  std::optional<RectF> focus_ring;
};

// At most this many targets get a line of their own when nothing holds them; the rest are
// counted in one more line.
inline constexpr std::size_t kListedDiagnoses = 50;

// The layout of the state at this size; `explorer_installed` picks the empty view's tip.
// Only the rows in view at the state's scroll offset are laid out; where the others are
// follows from their fixed height, so the cost does not grow with the number of rows.
// Assistive technology wants every row, whether it is in view or not.
enum class RowsLaidOut : std::uint8_t { InView, All };
Layout layout_view(const WindowState& state, ViewSize size, const TextMetrics& metrics, bool explorer_installed,
                   RowsLaidOut rows = RowsLaidOut::InView);

// A row's buttons, left to right, with their styles: none while the row is busy or done.
std::vector<std::pair<HitKind, ButtonStyle>> row_button_kinds(const HolderRow& row);
bool row_offers_button(const HolderRow& row, HitKind button);

// What the explanation under the headline says while programs hold the targets: one sentence
// for each kind of button the rows show (Close, Force quit, Restart Explorer, in that order),
// each a line of its own; with no button shown while a remedy runs, that it is under way.
std::vector<const Message*> remedies_explained(std::span<const HolderRow> rows);

// The focusable elements in reading order: the header's buttons left to right, then the
// empty view's buttons, or each row followed by its buttons, then the footer's buttons.
std::vector<Hit> focus_order(const Layout& layout, const WindowState& state);

// Where an element is, in client coordinates, when it is laid out (a row always is).
std::optional<RectF> element_box(const Layout& layout, const WindowState& state, const Hit& hit);

// What a click at a client point would hit.
Hit hit_test(const Layout& layout, const WindowState& state, PointF point);

// How far the rows can scroll: content height less the visible part, never below 0.
float max_scroll(const Layout& layout, const WindowState& state);

void paint_view(Gfx& gfx, const Layout& layout, const WindowState& state, IconCache& icons);

}  // namespace tw
