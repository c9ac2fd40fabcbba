// The view's look, decided apart from any drawing so that tests can check its contrast: the font
// of a button's label, the light, dark and high-contrast palettes, and each button style's colours.

#include "app/window/view.h"

namespace tw {

FontRole button_label_role(ButtonStyle style) {
  switch (style) {
    case ButtonStyle::Primary:
    case ButtonStyle::Danger:
      return FontRole::BodyStrong;
    case ButtonStyle::Secondary:
      break;
    case ButtonStyle::Glyph:
      return FontRole::Glyph;
  }
  return FontRole::Body;
}

Palette palette(bool dark, const std::optional<SystemColors>& high_contrast) {
  if (high_contrast) {
    const SystemColors& c = *high_contrast;
    Palette p;
    p.background = p.band = p.card = rgb(c.window);
    p.text = p.muted = p.border = p.warning = p.danger = p.success = rgb(c.window_text);
    p.accent = p.primary = rgb(c.highlight);
    p.on_accent = rgb(c.highlight_text);
    p.notice_fill = rgb(c.highlight);
    p.notice_text = rgb(c.highlight_text);
    p.focus = rgb(c.window_text);
    p.outlines = true;
    return p;
  }
  // The focus ring is in the text colour: orange would vanish around an orange button.
  Palette p;
  if (dark) {
    p = Palette{rgb(0x171719), rgb(0x222225), rgb(0x1F1F22), rgb(0xEDEDEF), rgb(0x9CA0A8), rgb(0x34343A),
                rgb(0xF97316), rgb(0xFBBF24), rgb(0xF87171), rgb(0x1ABE56), rgb(0xC55405),
                kWhite, rgb(0x111214, 0.92f), kWhite, {}, false};
  } else {
    p = Palette{rgb(0xF4F4F5), rgb(0xFFFFFF), rgb(0xFFFFFF), rgb(0x18181B), rgb(0x69707D), rgb(0xE4E4E7),
                rgb(0xB24309), rgb(0xA84D08), rgb(0xB91C1C), rgb(0x107837), rgb(0xB24309),
                kWhite, rgb(0x111214, 0.92f), kWhite, {}, false};
  }
  p.focus = p.text;
  return p;
}

ButtonLook button_look(ButtonStyle style, const Palette& p, bool hovered) {
  constexpr Color none{0, 0, 0, 0};
  if (p.outlines) {
    // High contrast: the highlight for a primary or hovered button, else an outline; no tints.
    if (style == ButtonStyle::Primary || hovered) return {p.primary, none, p.on_accent};
    return {none, style == ButtonStyle::Glyph ? none : p.text, p.text};
  }
  switch (style) {
    case ButtonStyle::Primary: {
      // Hovering darkens, so that the white label only gains contrast.
      const Color f = p.primary;
      return {hovered ? Color{f.r * 0.85f, f.g * 0.85f, f.b * 0.85f, 1.0f} : f, none, p.on_accent};
    }
    case ButtonStyle::Secondary:
      return {tinted(p.muted, hovered ? 0.22f : 0.12f), none, p.text};
    case ButtonStyle::Danger:
      return {tinted(p.danger, hovered ? 0.16f : 0.12f), none, p.danger};
    case ButtonStyle::Glyph:
      break;
  }
  return {hovered ? tinted(p.muted, 0.18f) : none, none, p.text};
}

}  // namespace tw
