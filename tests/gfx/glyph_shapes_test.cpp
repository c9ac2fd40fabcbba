#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "gfx/glyph_shapes.h"

namespace tw {
namespace {

constexpr GlyphShape kAll[] = {GlyphShape::Menu,     GlyphShape::Rescan,    GlyphShape::OpenFolder, GlyphShape::Folder,
                               GlyphShape::Document, GlyphShape::AppWindow, GlyphShape::OpenPadlock};

TEST(GlyphShapes, EachIconOfTheViewHasItsOwnShape) {
  const struct {
    const char* utf8;
    GlyphShape shape;
  } cases[] = {
      {"\xEE\x9C\x80", GlyphShape::Menu},         // U+E700
      {"\xEE\x9C\xAC", GlyphShape::Rescan},       // U+E72C
      {"\xEE\xA3\xA5", GlyphShape::OpenFolder},   // U+E8E5
      {"\xEE\xB4\xA5", GlyphShape::Folder},       // U+ED25
      {"\xEE\xA2\xA5", GlyphShape::Document},     // U+E8A5
      {"\xEE\xB2\xAA", GlyphShape::AppWindow},    // U+ECAA
      {"\xEE\x9E\x85", GlyphShape::OpenPadlock},  // U+E785
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(glyph_shape(c.utf8), c.shape);
  }
  // Anything else is text: a neighbouring code point, two icons, an icon with more, nothing.
  EXPECT_FALSE(glyph_shape("\xEE\x9C\x81"));
  EXPECT_FALSE(glyph_shape("\xEE\x9C\x80\xEE\x9C\x80"));
  EXPECT_FALSE(glyph_shape("\xEE\x9C\x80 "));
  EXPECT_FALSE(glyph_shape("\xE2\x86\xBB"));  // ↻ is a character the text family may have
  EXPECT_FALSE(glyph_shape(""));
  EXPECT_FALSE(glyph_shape("\xEE\x9C"));  // cut short
}

// Every stroke stays inside the grid, a half stroke clear of its edges, so nothing is cut off
// and the drawing sits where a font glyph of that size would.
TEST(GlyphShapes, DrawingsStayInsideTheirGridAndDifferFromEachOther) {
  const float lo = kIconStroke * 0.5f, hi = kIconGrid - kIconStroke * 0.5f;
  const auto inside = [&](PointF p) { return p.x >= lo && p.x <= hi && p.y >= lo && p.y <= hi; };
  std::set<std::vector<float>> seen;
  for (const GlyphShape shape : kAll) {
    SCOPED_TRACE(static_cast<int>(shape));
    const IconDrawing d = icon_drawing(shape);
    EXPECT_FALSE(d.lines.empty() && d.boxes.empty());
    std::vector<float> coordinates;
    for (const IconPolyline& line : d.lines) {
      EXPECT_GE(line.points.size(), 2u);
      for (const PointF p : line.points) {
        EXPECT_TRUE(inside(p)) << p.x << "," << p.y;
        coordinates.insert(coordinates.end(), {p.x, p.y});
      }
    }
    for (const IconRoundRect& r : d.boxes) {
      EXPECT_TRUE(inside({r.box.x, r.box.y}));
      EXPECT_TRUE(inside({r.box.x + r.box.width, r.box.y + r.box.height}));
      EXPECT_LE(r.radius * 2.0f, std::min(r.box.width, r.box.height));
      coordinates.insert(coordinates.end(), {r.box.x, r.box.y, r.box.width, r.box.height});
    }
    EXPECT_TRUE(seen.insert(coordinates).second) << "the same drawing as another icon";
  }
}

TEST(GlyphShapes, ArcsAreEvenPolylinesFromStartToEnd) {
  const IconPolyline arc = arc_line(PointF{8.0f, 8.0f}, 5.0f, 0.0f, 270.0f);
  ASSERT_EQ(arc.points.size(), 19u);  // 270° in 18 steps of 15°
  EXPECT_NEAR(arc.points.front().x, 13.0f, 1e-4f);
  EXPECT_NEAR(arc.points.front().y, 8.0f, 1e-4f);
  EXPECT_NEAR(arc.points[6].y, 13.0f, 1e-4f);  // clockwise on screen: 90° is straight down
  EXPECT_NEAR(arc.points.back().x, 8.0f, 1e-4f);
  EXPECT_NEAR(arc.points.back().y, 3.0f, 1e-4f);
  for (const PointF p : arc.points) EXPECT_NEAR(std::hypot(p.x - 8.0f, p.y - 8.0f), 5.0f, 1e-4f);
  EXPECT_EQ(arc_line(PointF{}, 1.0f, 0.0f, 10.0f).points.size(), 2u);  // short arcs still have both ends
}

TEST(GlyphShapes, TheSquareIsCentredOnWholePixels) {
  const RectF a = icon_square(RectF{100.0f, 9.0f, 34.0f, 34.0f}, 16.0f);
  EXPECT_FLOAT_EQ(a.x, 109.0f);
  EXPECT_FLOAT_EQ(a.y, 18.0f);
  EXPECT_FLOAT_EQ(a.width, 16.0f);
  EXPECT_FLOAT_EQ(a.height, 16.0f);
  const RectF b = icon_square(RectF{10.5f, 0.0f, 88.0f, 88.0f}, 41.6f);  // the empty view's tile
  EXPECT_FLOAT_EQ(b.x, 34.0f);  // 10.5 + 23.2 = 33.7
  EXPECT_FLOAT_EQ(b.y, 23.0f);  // 23.2
  EXPECT_FLOAT_EQ(b.width, 41.6f);
}

}  // namespace
}  // namespace tw
