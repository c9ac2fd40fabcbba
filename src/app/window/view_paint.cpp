// Painting: draws the boxes layout made through the drawing layer, and nothing else. The
// Painter paints the empty view, or the card, headline and progress, the rows, their buttons and
// the hints, scrolled; then the bands, the notice and the focus ring over them.

#include "app/window/view.h"

#include <algorithm>

#include "app/language/catalogue.h"
#include "common/text.h"

namespace tw {
namespace {

using namespace view_sizes;

// Icon-font glyphs only painting draws, as UTF-8.
constexpr const char* kGlyphProgram = "\xEE\xB2\xAA";  // U+ECAA
constexpr const char* kGlyphUnlock = "\xEE\x9E\x85";   // U+E785

void paint_button(Gfx& gfx, const ViewElement& e, const Palette& p, bool hovered, float dy = 0.0f) {
  const RectF box{e.box.x, e.box.y - dy, e.box.width, e.box.height};
  const ButtonLook look = button_look(e.style, p, hovered);
  const EdgesF edges{box.x, box.y, box.x + box.width, box.y + box.height};
  const float radius = kButtonRadius * gfx.scale;
  if (look.fill.a > 0.0f) fill_round_rect(gfx, edges, radius, look.fill);
  if (look.outline.a > 0.0f) {
    const float half = 0.5f * gfx.scale;
    stroke_round_rect(gfx, EdgesF{edges.left + half, edges.top + half, edges.right - half, edges.bottom - half}, radius,
                      gfx.scale, look.outline);
  }
  if (e.style == ButtonStyle::Glyph) {
    draw_glyph(gfx, e.label, box, look.label);
  } else {
    draw_text_line(gfx, e.label, button_label_role(e.style), box, look.label, true);
  }
}

// What paint draws with: the layer, the palette, and what the pointer is over.
struct Painter {
  Gfx& gfx;
  const WindowState& s;
  Palette p;
  float u;

  bool hovered(const ViewElement& e) const { return e.hit == s.hover && e.hit.kind != HitKind::Nothing; }
  void round_box(const RectF& b, float radius, Color color) const {
    fill_round_rect(gfx, EdgesF{b.x, b.y, b.x + b.width, b.y + b.height}, radius * u, color);
  }
  // A card, a tile or a pill: tinted, or under high contrast outlined in `edge`.
  void surface(const RectF& b, float radius, Color fill, Color edge) const {
    if (!p.outlines) {
      round_box(b, radius, fill);
      return;
    }
    const float half = 0.5f * u;
    stroke_round_rect(gfx, EdgesF{b.x + half, b.y + half, b.x + b.width - half, b.y + b.height - half}, radius * u, u,
                      edge);
  }
  void paragraph(const std::string& text, FontRole role, float width, PointF at, Color color) const {
    auto layout = wrapped_layout(gfx, text, role, width);
    if (layout) draw_layout(gfx, layout.Get(), at, color);
  }

  void empty_view(const Layout& l) const {
    Color tile = p.accent;
    tile.a = 0.12f;
    surface(l.tile, kTileRadius, tile, p.accent);
    draw_glyph(gfx, kGlyphUnlock, l.tile, p.accent, 2.6f);
    draw_text_line(gfx, localized(msg::kEmptyDropHere), FontRole::Title, l.drop_line_box, p.text, true);
    draw_text_line(gfx, localized(msg::kEmptyTagline), FontRole::Body, l.tagline_box, p.muted, true);
    for (const ViewElement& e : l.empty_buttons) paint_button(gfx, e, p, hovered(e));
    auto tip = wrapped_layout(gfx, l.tip, FontRole::Small, l.tip_box.width);
    if (tip) {
      static_cast<void>(tip->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER));  // a failure leaves it left-aligned
      draw_layout(gfx, tip.Get(), PointF{l.tip_box.x, l.tip_box.y}, p.muted);
    }
  }

  // The card, the headline, its explanation and the progress bar, moved up by `dy`.
  void status(const Layout& l, float dy) const {
    const auto at = [dy](const RectF& b) { return RectF{b.x, b.y - dy, b.width, b.height}; };
    surface(at(l.card), kCardRadius, p.card, p.border);
    draw_glyph(gfx, l.card_glyph, at(l.card_glyph_box), p.accent);
    for (std::size_t i = 0; i < l.card_lines.size(); ++i) {
      draw_text_line(gfx, l.card_lines[i], FontRole::BodyStrong, at(l.card_line_boxes[i]), p.text);
    }
    draw_text_line(gfx, l.summary, FontRole::Small, at(l.summary_box), p.muted);
    if (!l.headline.empty()) draw_text_line(gfx, l.headline, FontRole::Title, at(l.headline_box), p.text);
    if (!l.explanation.empty()) {
      paragraph(l.explanation, FontRole::Body, l.column_width, PointF{l.column_left, l.explanation_top - dy}, p.muted);
    }
    if (l.progress) {
      const RectF t = at(l.progress_track);
      Color track = p.muted;
      track.a = 0.2f;
      round_box(t, kProgressRadius, track);
      round_box(RectF{t.x, t.y, std::max(*l.progress * t.width, kProgressMinFill * u), t.height}, kProgressRadius, p.accent);
    }
  }

  void row(const RowLayout& r, float dy, IconCache& icons) const {
    const auto at = [dy](const RectF& b) { return RectF{b.x, b.y - dy, b.width, b.height}; };
    surface(at(r.box), kCardRadius, p.card, p.border);
    const auto& image = s.rows[r.index].holder.image_path;
    ID2D1Bitmap* bitmap = image ? exe_icon(icons, gfx, to_utf8(*image)) : nullptr;
    if (bitmap) {
      draw_bitmap(gfx, bitmap, at(r.icon));
    } else {
      draw_glyph(gfx, kGlyphProgram, at(r.icon), p.muted);
    }
    if (!r.pill.empty()) {
      surface(at(r.pill_box), kPillHeight / 2, tinted(r.pill_color, kPillTint), r.pill_color);
      draw_text_line(gfx, r.pill, FontRole::Small, at(r.pill_box), r.pill_color, true);
    }
    draw_text_line(gfx, r.title, FontRole::BodyStrong, at(r.title_box), p.text);
    draw_text_line(gfx, r.note, FontRole::Body, at(r.note_box), r.note_color);
    draw_text_line(gfx, r.details, FontRole::Small, at(r.details_box), p.muted);
  }

  // Everything below the header scrolls; what lies outside the window is not drawn.
  void target_view(const Layout& l, IconCache& icons) const {
    const float dy = s.scroll, H = l.size.height;
    const auto outside = [&](const RectF& b) { return b.y - dy > H || b.y + b.height - dy < 0; };
    status(l, dy);
    for (const ViewElement& e : l.status_buttons) paint_button(gfx, e, p, hovered(e), dy);
    for (const RowLayout& r : l.rows) {
      if (!outside(r.box)) row(r, dy, icons);
    }
    for (const ViewElement& e : l.rows_buttons) paint_button(gfx, e, p, hovered(e), dy);
    for (const HintLayout& h : l.hints) {
      if (!outside(h.box)) paragraph(h.text, FontRole::Body, h.box.width, PointF{h.box.x, h.box.y - dy}, p.muted);
    }
  }

  // The footer and header bands stay put over the scrolled content; the notice floats above all.
  void bands(const Layout& l) const {
    const float W = l.size.width, H = l.size.height;
    if (l.footer_height > 0) {
      fill_rect(gfx, RectF{0, H - l.footer_height, W, l.footer_height}, p.band);
      fill_rect(gfx, RectF{0, H - l.footer_height, W, 1}, p.border);
      for (const ViewElement& e : l.footer) paint_button(gfx, e, p, hovered(e));
    }
    fill_rect(gfx, RectF{0, 0, W, l.header_height}, p.band);
    fill_rect(gfx, RectF{0, l.header_height - 1, W, 1}, p.border);
    for (const ViewElement& e : l.header) paint_button(gfx, e, p, hovered(e));
    if (l.notice_box && s.notice) {
      round_box(*l.notice_box, kNoticeRadius, p.notice_fill);
      draw_text_line(gfx, *s.notice, FontRole::Body, l.notice_text_box, p.notice_text, true);
    }
    // The focus ring: two pixels just outside the element.
    if (l.focus_ring) {
      const RectF& f = *l.focus_ring;
      const float gap = 2.0f * u, width = 2.0f * u;
      stroke_round_rect(gfx, EdgesF{f.x - gap, f.y - gap, f.x + f.width + gap, f.y + f.height + gap},
                        kButtonRadius * u + gap, width, p.focus);
    }
  }
};

}  // namespace

TextMetrics layer_metrics(const Gfx& gfx) {
  // Measured with the layouts that draw the text, then given back in 96-DPI units.
  const float scale = gfx.scale;
  return TextMetrics{
      [&gfx, scale](std::string_view text, FontRole role) {
        const auto size = layout_size(line_layout(gfx, text, role, 100'000.0f).Get());
        return size ? size->width / scale : 80.0f;
      },
      [&gfx, scale](std::string_view text, FontRole role, float width) {
        const auto size = layout_size(wrapped_layout(gfx, text, role, width).Get());
        return size ? size->height / scale : 22.0f;
      }};
}

void paint_view(Gfx& gfx, const Layout& l, const WindowState& s, IconCache& icons) {
  const Painter painter{gfx, s, palette_of(s), gfx.scale};
  if (shows_empty_view(s)) {
    painter.empty_view(l);
  } else {
    painter.target_view(l, icons);
  }
  painter.bands(l);
}

}  // namespace tw
