#include "gfx/glyph_shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/text.h"

namespace tw {
namespace {

// The arrowhead: a filled triangle whose base, this wide, crosses the arc's end, with its tip
// this far on along the way the arc turns.
constexpr float kHeadBase = 4.5f;
constexpr float kHeadLength = 3.0f;

PointF at_angle(PointF from, float length, float degrees) {
  const float radians = degrees * std::numbers::pi_v<float> / 180.0f;
  return PointF{from.x + length * std::cos(radians), from.y + length * std::sin(radians)};
}

IconDrawing rescan() {
  // Three quarters of a circle, clockwise from the right to the top, the arrowhead pointing on.
  constexpr PointF centre{8.0f, 8.5f};
  constexpr float radius = 5.0f, from = 0.0f, sweep = 270.0f;
  IconPolyline circle = arc_line(centre, radius, from, sweep);
  const PointF end = circle.points.back();
  const float radial = from + sweep;
  const float ahead = radial + 90.0f;  // clockwise travel is a quarter turn on from the radius
  IconPolyline head{{at_angle(end, kHeadBase * 0.5f, radial), at_angle(end, kHeadLength, ahead),
                     at_angle(end, kHeadBase * 0.5f, radial + 180.0f)},
                    true,
                    true};
  return IconDrawing{{std::move(circle), std::move(head)}, {}};
}

}  // namespace

std::optional<GlyphShape> glyph_shape(std::string_view glyph) {
  std::size_t pos = 0;
  if (glyph.empty()) return std::nullopt;
  const char32_t c = next_code_point(glyph, pos);
  if (pos != glyph.size()) return std::nullopt;
  switch (c) {
    case 0xE700: return GlyphShape::Menu;
    case 0xE72C: return GlyphShape::Rescan;
    case 0xE8E5: return GlyphShape::OpenFolder;
    case 0xED25: return GlyphShape::Folder;
    case 0xE8A5: return GlyphShape::Document;
    case 0xECAA: return GlyphShape::AppWindow;
    case 0xE785: return GlyphShape::OpenPadlock;
    default: return std::nullopt;
  }
}

IconDrawing icon_drawing(GlyphShape shape) {
  switch (shape) {
    case GlyphShape::Menu:
      return IconDrawing{{IconPolyline{{{1.5f, 3.5f}, {14.5f, 3.5f}}},
                          IconPolyline{{{1.5f, 7.5f}, {14.5f, 7.5f}}},
                          IconPolyline{{{1.5f, 11.5f}, {14.5f, 11.5f}}}},
                         {}};
    case GlyphShape::Rescan:
      return rescan();
    case GlyphShape::OpenFolder:
      // The back with its tab, and the front flap tipped forward.
      return IconDrawing{{IconPolyline{{{1.5f, 12.5f}, {1.5f, 2.5f}, {5.5f, 2.5f}, {7.5f, 4.5f}, {12.5f, 4.5f}, {12.5f, 6.5f}}},
                          IconPolyline{{{1.5f, 12.5f}, {4.5f, 6.5f}, {14.5f, 6.5f}, {11.5f, 12.5f}}, true}},
                         {}};
    case GlyphShape::Folder:
      return IconDrawing{{IconPolyline{{{1.5f, 2.5f}, {5.5f, 2.5f}, {7.5f, 4.5f}, {14.5f, 4.5f}, {14.5f, 12.5f}, {1.5f, 12.5f}}, true},
                          IconPolyline{{{1.5f, 4.5f}, {7.5f, 4.5f}}}},
                         {}};
    case GlyphShape::Document:
      return IconDrawing{{IconPolyline{{{3.5f, 1.5f}, {9.5f, 1.5f}, {12.5f, 4.5f}, {12.5f, 14.5f}, {3.5f, 14.5f}}, true},
                          IconPolyline{{{9.5f, 1.5f}, {9.5f, 4.5f}, {12.5f, 4.5f}}}},
                         {}};
    case GlyphShape::AppWindow:
      return IconDrawing{{IconPolyline{{{1.5f, 5.5f}, {14.5f, 5.5f}}}}, {IconRoundRect{RectF{1.5f, 2.5f, 13.0f, 11.0f}, 1.5f}}};
    case GlyphShape::OpenPadlock: {
      // The shackle's right leg stands clear of the body: open.
      IconPolyline shackle = arc_line(PointF{7.5f, 4.5f}, 2.0f, 180.0f, 180.0f);
      shackle.points.insert(shackle.points.begin(), PointF{5.5f, 7.5f});
      shackle.points.push_back(PointF{9.5f, 5.5f});
      return IconDrawing{{std::move(shackle), IconPolyline{{{7.5f, 10.0f}, {7.5f, 12.0f}}}},
                         {IconRoundRect{RectF{2.5f, 7.5f, 10.0f, 7.0f}, 1.5f}}};
    }
  }
  return {};
}

IconPolyline arc_line(PointF centre, float radius, float from_degrees, float sweep_degrees) {
  const int steps = std::max(1, static_cast<int>(std::ceil(std::abs(sweep_degrees) / 15.0f)));
  IconPolyline line;
  for (int i = 0; i <= steps; ++i) {
    line.points.push_back(at_angle(centre, radius, from_degrees + sweep_degrees * static_cast<float>(i) / static_cast<float>(steps)));
  }
  return line;
}

RectF icon_square(RectF box, float em) {
  return RectF{std::round(box.x + (box.width - em) * 0.5f), std::round(box.y + (box.height - em) * 0.5f), em, em};
}

}  // namespace tw
