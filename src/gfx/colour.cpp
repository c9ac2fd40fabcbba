#include "gfx/colour.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

float linear(float channel) {
  return channel <= 0.04045f ? channel / 12.92f : std::pow((channel + 0.055f) / 1.055f, 2.4f);
}

}  // namespace

Color over(Color top, Color under) {
  const float a = top.a;
  return Color{top.r * a + under.r * (1.0f - a), top.g * a + under.g * (1.0f - a), top.b * a + under.b * (1.0f - a), 1.0f};
}

float relative_luminance(Color c) { return 0.2126f * linear(c.r) + 0.7152f * linear(c.g) + 0.0722f * linear(c.b); }

float contrast_ratio(Color a, Color b) {
  const float la = relative_luminance(a), lb = relative_luminance(b);
  return (std::max(la, lb) + 0.05f) / (std::min(la, lb) + 0.05f);
}

}  // namespace tw
