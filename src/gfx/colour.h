#pragma once

// Colour arithmetic for checking that what is drawn can be read: compositing a translucent
// colour over an opaque one, and contrast as WCAG 2 defines it.

#include "gfx/gfx.h"

namespace tw {

// `top` drawn over the opaque `under`: the opaque colour that shows.
Color over(Color top, Color under);

// Relative luminance of an opaque sRGB colour, 0 (black) to 1 (white).
float relative_luminance(Color c);

// (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on white.
float contrast_ratio(Color a, Color b);

}  // namespace tw
