#include "app/view.h"

namespace tw {
namespace {

constexpr float kHeaderHeight = 56.0f;  // at 96 DPI

bool contains(const RectF& r, PointF p) {
  return p.x >= r.x && p.y >= r.y && p.x < r.x + r.width && p.y < r.y + r.height;
}

}  // namespace

Color background_color(bool dark) { return dark ? rgb(0x202020) : rgb(0xF7F7F8); }

std::vector<ViewElement> build_view(const WindowState& state, ViewSize size) {
  std::vector<ViewElement> out;
  const float s = size.scale;
  const Color band = state.dark ? rgb(0x2B2B2B) : rgb(0xFFFFFF);
  const Color divider = state.dark ? rgb(0x3A3A3A) : rgb(0xE4E4E7);
  const Color text = state.dark ? rgb(0xF2F2F2) : rgb(0x18181B);
  const float header = kHeaderHeight * s;

  out.push_back({ViewElement::Kind::Fill, RectF{0, 0, size.width, header}, band, {}, FontRole::Body, 0, {}});
  out.push_back({ViewElement::Kind::Fill, RectF{0, header - 1.0f * s, size.width, 1.0f * s}, divider, {},
                 FontRole::Body, 0, {}});
  out.push_back({ViewElement::Kind::Text, RectF{20 * s, 0, size.width - 40 * s, header}, text, "Tarnwick",
                 FontRole::Title, 0, {}});
  return out;
}

Hit hit_test(const std::vector<ViewElement>& elements, PointF point) {
  for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
    if (it->hit.kind != HitKind::Nothing && contains(it->box, point)) return it->hit;
  }
  return Hit{};
}

float max_scroll(const WindowState& /*state*/, ViewSize /*size*/) {
  return 0.0f;  // the row list arrives with the full view
}

void paint_view(Gfx& gfx, const std::vector<ViewElement>& elements) {
  for (const ViewElement& e : elements) {
    switch (e.kind) {
      case ViewElement::Kind::Fill:
        fill_rect(gfx, e.box, e.color);
        break;
      case ViewElement::Kind::RoundFill:
        fill_round_rect(gfx, EdgesF{e.box.x, e.box.y, e.box.x + e.box.width, e.box.y + e.box.height}, e.radius,
                        e.color);
        break;
      case ViewElement::Kind::Text:
        draw_text_line(gfx, e.text, e.role, e.box, e.color);
        break;
      case ViewElement::Kind::Glyph:
        draw_glyph(gfx, e.text, e.box, e.color);
        break;
    }
  }
}

}  // namespace tw
