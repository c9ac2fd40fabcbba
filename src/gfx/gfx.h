#pragma once

// The drawing layer: Direct2D 1.1 on a Direct3D 11 flip swap chain, DirectWrite for text.
// Everything is in physical pixels; sizes meant for 96 DPI are multiplied by `scale`.
// Main thread only.

#include <windows.h>

#include <d2d1_1.h>
#include <dwrite.h>
#include <dwrite_2.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

template <class T>
using ComPtr = Microsoft::WRL::ComPtr<T>;

struct Color {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 1.0f;
  friend bool operator==(const Color&, const Color&) = default;
};

// 0xRRGGBB with an alpha in 0..1.
constexpr Color rgb(std::uint32_t rrggbb, float alpha = 1.0f) {
  return Color{static_cast<float>((rrggbb >> 16) & 0xFFu) / 255.0f,
               static_cast<float>((rrggbb >> 8) & 0xFFu) / 255.0f,
               static_cast<float>(rrggbb & 0xFFu) / 255.0f, alpha};
}

// A box: the shape the view lays out, hit-tests and draws with.
struct RectF {
  float x = 0.0f, y = 0.0f, width = 0.0f, height = 0.0f;
  friend bool operator==(const RectF&, const RectF&) = default;
};

// Edges of a rounded rectangle.
struct EdgesF {
  float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
};

struct PointF {
  float x = 0.0f, y = 0.0f;
};

enum class FontRole : int { Small = 0, Body = 1, BodyStrong = 2, Title = 3, Glyph = 4 };
inline constexpr std::size_t kFontRoleCount = 5;

struct FontSpec {
  const wchar_t* family;
  DWRITE_FONT_WEIGHT weight;
  float size;  // at 96 DPI
};

FontSpec font_spec(FontRole role);
// The role's font size in pixels at `scale`.
float font_size(FontRole role, float scale);

// DPI / 96. A DPI of 0 (what Windows reports for a window it does not know) counts as 96, so
// that no format is ever asked for a zero size.
float dpi_scale(UINT dpi);

// Swap chains and their buffers are never smaller than 1 × 1 (a minimised window is 0 × 0).
constexpr UINT swap_chain_extent(UINT pixels) { return pixels == 0 ? 1u : pixels; }

// Top of a line of `content_height` centred in a box; the offset is rounded half away from
// zero so that text sits on whole pixels.
float centred_top(float box_y, float box_height, float content_height);

enum class FrameResult { Ok, DeviceLost };

// How a frame ended, from EndDraw's and Present's results. `present` is not looked at when
// EndDraw already reported a lost target (nothing is presented then).
FrameResult frame_result(HRESULT end_draw, HRESULT present);
inline bool target_lost(HRESULT end_draw) { return end_draw == static_cast<HRESULT>(0x8899000CL); }

struct Gfx {
  ComPtr<IDWriteFactory> text_factory;
  ComPtr<IDXGISwapChain1> swap_chain;
  ComPtr<ID2D1RenderTarget> render_target;  // the device context; all drawing goes here
  ComPtr<ID2D1DeviceContext> device_context;
  ComPtr<ID2D1SolidColorBrush> brush;  // the only brush; recoloured before each use
  std::array<ComPtr<IDWriteTextFormat>, kFontRoleCount> formats;
  ComPtr<ID2D1Bitmap1> target;  // back buffer 0; none after a failed resize
  float scale = 1.0f;
  // The family of every text role (empty: font_spec's), decided once per layer by choose_fonts.
  std::wstring text_family;
  bool icons_as_shapes = false;  // the icon font is missing: draw_glyph draws its glyphs as shapes
  ComPtr<IDWriteFontFallback> font_fallback;  // none: DirectWrite's own
  ComPtr<ID2D1StrokeStyle> icon_stroke;  // round ends for icons drawn as shapes; none: square ends
  // The interface language's locale ("ja-JP"): DirectWrite picks glyph forms by it where scripts
  // share characters (Han in Japanese and Chinese). Empty: none in particular.
  std::wstring locale;
};

struct GfxCreation {
  std::optional<Gfx> gfx;
  HRESULT error = S_OK;  // the failing step's result when `gfx` is empty
};

// `letters`: characters of the interface language's own script (UTF-8), for choose_fonts;
// `locale`: that language's locale name, for the text formats.
[[nodiscard]] GfxCreation create_gfx(HWND window, UINT dpi, std::string_view letters, std::wstring_view locale = {});

// Decides which families the layer's formats use (see plan_fonts) and remembers it in the
// layer; formats made afterwards (set_gfx_dpi) use them. Leaves font_spec's families when the
// system collection cannot be read.
void choose_fonts(Gfx& gfx, std::string_view letters);

struct ClientSize {
  UINT width = 0, height = 0;
};
ClientSize client_size(HWND window);

[[nodiscard]] HRESULT rebuild_target(Gfx& gfx);
// Failures leave the layer without a target; frames then draw nothing until the next resize.
void resize_gfx(Gfx& gfx, UINT width, UINT height);
// The scale always follows the DPI; the formats are replaced only when all five could be made
// (false otherwise, and the old ones stay). The caller empties its icon cache.
bool set_gfx_dpi(Gfx& gfx, UINT dpi);

void begin_frame(Gfx& gfx, Color background);
// On DeviceLost the caller recreates the layer, drops this one and repaints everything.
[[nodiscard]] FrameResult end_frame(Gfx& gfx);

void fill_rect(Gfx& gfx, RectF box, Color color);
void fill_round_rect(Gfx& gfx, EdgesF edges, float radius, Color color);
// The outline of a rounded rectangle, `width` pixels wide, centred on the edges.
void stroke_round_rect(Gfx& gfx, EdgesF edges, float radius, float width, Color color);

// One line, ellipsis-trimmed at a character and clipped to the box width, centred vertically.
void draw_text_line(Gfx& gfx, std::string_view text, FontRole role, RectF box, Color color,
                    bool centred = false);
// One icon-font glyph centred in the box; `size_factor` 1 is the Glyph format's own size.
// Without the icon font, the glyphs glyph_shape knows are drawn as line drawings of that size,
// and any other text in the text family.
void draw_glyph(Gfx& gfx, std::string_view glyph, RectF box, Color color, float size_factor = 1.0f);

// Layouts are none (null) when DirectWrite could not make them. draw_text_line draws exactly
// what line_layout measures.
ComPtr<IDWriteTextLayout> line_layout(const Gfx& gfx, std::string_view text, FontRole role,
                                      float max_width, bool centred = false);
ComPtr<IDWriteTextLayout> wrapped_layout(const Gfx& gfx, std::string_view text, FontRole role,
                                         float width);

struct TextSize {
  float width = 0.0f, height = 0.0f;
};
// The layout's measured width (trailing white space left out) and height.
std::optional<TextSize> layout_size(IDWriteTextLayout* layout);

void draw_layout(Gfx& gfx, IDWriteTextLayout* layout, PointF origin, Color color);
// The whole bitmap stretched into the box, opaque, linear interpolation.
void draw_bitmap(Gfx& gfx, ID2D1Bitmap* bitmap, RectF box);

}  // namespace tw
