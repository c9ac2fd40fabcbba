#pragma once

// The icon font's glyphs as simple line drawings, for systems that lack the font. Drawings
// are on a 16 × 16 grid (the font's em at its design size), y downwards, stroked kIconStroke
// wide with round ends. Lines lie on half units, so that at 16 pixels they cover whole pixels.

#include <optional>
#include <string_view>
#include <vector>

#include "gfx/gfx.h"

namespace tw {

enum class GlyphShape { Menu, Rescan, OpenFolder, Folder, Document, AppWindow, OpenPadlock };

inline constexpr float kIconGrid = 16.0f;
inline constexpr float kIconStroke = 1.0f;

// The shape for one icon-font glyph (UTF-8); nothing for any other text.
std::optional<GlyphShape> glyph_shape(std::string_view glyph);

struct IconPolyline {
  std::vector<PointF> points;
  bool closed = false;
  bool filled = false;  // closed and filled as well as stroked
};

struct IconRoundRect {
  RectF box;
  float radius = 0.0f;
};

struct IconDrawing {
  std::vector<IconPolyline> lines;
  std::vector<IconRoundRect> boxes;
};

IconDrawing icon_drawing(GlyphShape shape);

// An arc as a polyline, clockwise on screen from `from_degrees` (0 points right, 90 down)
// through `sweep_degrees`, with a point at least every 15 degrees. Polylines, because Wine's
// Direct2D draws an arc segment as a straight line.
IconPolyline arc_line(PointF centre, float radius, float from_degrees, float sweep_degrees);

// The square, in pixels, that the grid is drawn into: `em` pixels wide, centred in the box and
// placed on whole pixels.
RectF icon_square(RectF box, float em);

}  // namespace tw
