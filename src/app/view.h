#pragma once

#include <string>
#include <vector>

#include "app/window_state.h"
#include "gfx/gfx.h"

namespace tw {

// One thing the main view shows. The same list is painted and hit-tested, so what the
// user sees is exactly what a click finds.
struct ViewElement {
  enum class Kind { Fill, RoundFill, Text, Glyph };
  Kind kind = Kind::Fill;
  RectF box;
  Color color;
  std::string text;  // Text and Glyph
  FontRole role = FontRole::Body;
  float radius = 0.0f;  // RoundFill
  Hit hit;              // what a click here does; Nothing for decoration
};

struct ViewSize {
  float width = 0.0f;
  float height = 0.0f;
  float scale = 1.0f;
};

Color background_color(bool dark);

// The elements for the state at this size, in painting order.
std::vector<ViewElement> build_view(const WindowState& state, ViewSize size);

// The topmost element with a click action under the point.
Hit hit_test(const std::vector<ViewElement>& elements, PointF point);

// How far the row list can scroll.
float max_scroll(const WindowState& state, ViewSize size);

void paint_view(Gfx& gfx, const std::vector<ViewElement>& elements);

}  // namespace tw
