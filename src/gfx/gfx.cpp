// The drawing layer, in this order: a text format for each role, layouts made in them and our
// own line breaking; icons drawn as shapes; font requests and frame results; making the devices,
// swap chain and brushes, then the layer itself, its fonts, size and DPI; frames; filled and
// outlined shapes; text layouts and their sizes; and drawing text, glyphs, layouts and bitmaps.

#include "gfx/gfx.h"

#include <d3d11.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "common/text.h"
#include "gfx/fonts.h"
#include "gfx/glyph_shapes.h"
#include "gfx/line_breaks.h"

namespace tw {
namespace {

constexpr float kLineMaxHeight = 1000.0f;
constexpr float kWrappedMaxHeight = 10000.0f;
constexpr HRESULT kDeviceRemoved = static_cast<HRESULT>(0x887A0005L);
constexpr HRESULT kDeviceReset = static_cast<HRESULT>(0x887A0007L);

// A call that says it succeeded but hands back nothing is a failure all the same.
template <class T>
HRESULT made(HRESULT hr, const ComPtr<T>& object) {
  if (FAILED(hr)) return hr;
  return object ? S_OK : E_POINTER;
}

D2D1_COLOR_F to_d2d(Color c) { return D2D1_COLOR_F{c.r, c.g, c.b, c.a}; }

D2D1_RECT_F to_d2d(RectF box) { return D2D1_RECT_F{box.x, box.y, box.x + box.width, box.y + box.height}; }

IDWriteTextFormat* format_of(const Gfx& gfx, FontRole role) {
  return gfx.formats[static_cast<std::size_t>(role)].Get();
}

// The family a role asks for: the layer's choice when it made one.
const wchar_t* family_for(const Gfx& gfx, FontRole role) {
  const FontSpec font = font_spec(role);
  if (gfx.text_family.empty()) return font.family;
  if (role == FontRole::Glyph && !gfx.icons_as_shapes) return font.family;
  return gfx.text_family.c_str();
}

// All five formats at the layer's scale, or nothing when any of them fails.
std::optional<std::array<ComPtr<IDWriteTextFormat>, kFontRoleCount>> make_formats(const Gfx& gfx, HRESULT& error) {
  std::array<ComPtr<IDWriteTextFormat>, kFontRoleCount> formats;
  IDWriteFactory* factory = gfx.text_factory.Get();
  if (factory == nullptr) {
    error = E_POINTER;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < kFontRoleCount; ++i) {
    const auto role = static_cast<FontRole>(i);
    const FontSpec font = font_spec(role);
    error = made(factory->CreateTextFormat(family_for(gfx, role), nullptr, font.weight, DWRITE_FONT_STYLE_NORMAL,
                                           DWRITE_FONT_STRETCH_NORMAL, font_size(role, gfx.scale), gfx.locale.c_str(),
                                           formats[i].GetAddressOf()),
                 formats[i]);
    if (FAILED(error)) return std::nullopt;
    if (gfx.font_fallback) {
      // Formats without it (before Windows 8.1) still draw what their own family has.
      ComPtr<IDWriteTextFormat1> format1;
      if (SUCCEEDED(formats[i].As(&format1)) && format1) {
        static_cast<void>(format1->SetFontFallback(gfx.font_fallback.Get()));
      }
    }
  }
  return formats;
}

ComPtr<IDWriteTextLayout> make_layout(const Gfx& gfx, const std::wstring& wide, IDWriteTextFormat* format,
                                      float max_width, float max_height) {
  if (!gfx.text_factory || format == nullptr) return nullptr;
  // The program's texts are far shorter; a longer one is refused rather than cut.
  if (wide.size() > std::numeric_limits<UINT32>::max()) return nullptr;
  ComPtr<IDWriteTextLayout> layout;
  const HRESULT hr = gfx.text_factory->CreateTextLayout(wide.c_str(), static_cast<UINT32>(wide.size()), format,
                                                        max_width > 1.0f ? max_width : 1.0f, max_height,
                                                        layout.GetAddressOf());
  if (FAILED(made(hr, layout))) return nullptr;
  return layout;
}

ComPtr<IDWriteTextLayout> make_layout(const Gfx& gfx, std::string_view text, IDWriteTextFormat* format,
                                      float max_width, float max_height) {
  return make_layout(gfx, to_wide(text), format, max_width, max_height);
}

// A paragraph's characters as line breaking sees them: code points, where each starts in the
// UTF-16 text, and the width DirectWrite gives each (a cluster's width goes to its first).
struct MeasuredText {
  std::u32string text;
  std::vector<std::size_t> offsets;  // one more than text: the end
  std::vector<float> advances;
  std::vector<bool> cluster_starts;
};

std::optional<MeasuredText> measure_clusters(const std::wstring& wide, std::span<const DWRITE_CLUSTER_METRICS> clusters) {
  MeasuredText m;
  std::size_t pos = 0, cluster_end = 0;
  for (const DWRITE_CLUSTER_METRICS& cluster : clusters) {
    cluster_end += cluster.length;
    for (bool first = true; pos < cluster_end && pos < wide.size(); first = false) {
      const char32_t high = wide[pos];
      const bool pair = high >= 0xD800 && high <= 0xDBFF && pos + 1 < wide.size() && wide[pos + 1] >= 0xDC00 &&
                        wide[pos + 1] <= 0xDFFF;
      m.text.push_back(pair ? 0x10000 + ((high - 0xD800) << 10) + (wide[pos + 1] - 0xDC00) : high);
      m.offsets.push_back(pos);
      m.advances.push_back(first ? cluster.width : 0.0f);
      m.cluster_starts.push_back(first);
      pos += pair ? 2 : 1;
    }
  }
  if (pos != wide.size()) return std::nullopt;  // the clusters do not cover the text
  m.offsets.push_back(pos);
  return m;
}

// The paragraph with a line separator wherever fit_lines ends a line at `width`, measured
// unwrapped in the same format; the spaces before such a break are left out. Nothing when it
// cannot be measured.
std::optional<std::wstring> broken_into_lines(const Gfx& gfx, const std::wstring& wide, IDWriteTextFormat* format,
                                              float width) {
  const ComPtr<IDWriteTextLayout> probe = make_layout(gfx, wide, format, width, kLineMaxHeight);
  if (!probe || FAILED(probe->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP))) return std::nullopt;
  UINT32 count = 0;
  static_cast<void>(probe->GetClusterMetrics(nullptr, 0, &count));  // asks only for the count
  std::vector<DWRITE_CLUSTER_METRICS> clusters(count);
  if (FAILED(probe->GetClusterMetrics(clusters.data(), count, &count))) return std::nullopt;
  const std::optional<MeasuredText> m = measure_clusters(wide, clusters);
  if (!m) return std::nullopt;
  std::vector<LineBreak> breaks = line_breaks(m->text, to_utf8(gfx.locale));
  for (std::size_t i = 0; i < m->text.size(); ++i) {
    if (!m->cluster_starts[i]) breaks[i] = LineBreak::Never;
  }
  const std::vector<std::size_t> starts = fit_lines(m->text, breaks, m->advances, width);
  std::wstring lines;
  for (std::size_t line = 0; line < starts.size(); ++line) {
    const std::size_t begin = starts[line];
    std::size_t end = line + 1 < starts.size() ? starts[line + 1] : m->text.size();
    const bool separate = end < m->text.size() && breaks[end] != LineBreak::Mandatory;
    if (separate) {
      while (end > begin && is_break_space(m->text[end - 1])) --end;
    }
    lines.append(wide, m->offsets[begin], m->offsets[end] - m->offsets[begin]);
    if (separate) lines.push_back(L'\u2028');
  }
  return lines;
}

void set_brush(Gfx& gfx, Color color) { gfx.brush->SetColor(to_d2d(color)); }

// The figures of one drawing as a path in pixels; null when Direct2D could not make it.
ComPtr<ID2D1PathGeometry> icon_path(ID2D1Factory* factory, const IconDrawing& drawing, RectF square) {
  const float k = square.width / kIconGrid;
  const auto px = [&](PointF p) { return D2D1_POINT_2F{square.x + p.x * k, square.y + p.y * k}; };
  ComPtr<ID2D1PathGeometry> path;
  if (FAILED(made(factory->CreatePathGeometry(path.GetAddressOf()), path))) return nullptr;
  ComPtr<ID2D1GeometrySink> sink;
  if (FAILED(made(path->Open(sink.GetAddressOf()), sink))) return nullptr;
  for (const IconPolyline& line : drawing.lines) {
    if (line.points.empty()) continue;
    sink->BeginFigure(px(line.points.front()), line.filled ? D2D1_FIGURE_BEGIN_FILLED : D2D1_FIGURE_BEGIN_HOLLOW);
    for (std::size_t i = 1; i < line.points.size(); ++i) sink->AddLine(px(line.points[i]));
    sink->EndFigure(line.closed || line.filled ? D2D1_FIGURE_END_CLOSED : D2D1_FIGURE_END_OPEN);
  }
  if (FAILED(sink->Close())) return nullptr;
  return path;
}

void draw_icon(Gfx& gfx, const IconDrawing& drawing, RectF square, Color color) {
  ComPtr<ID2D1Factory> factory;
  gfx.render_target->GetFactory(factory.GetAddressOf());
  if (!factory) return;
  const float k = square.width / kIconGrid;
  set_brush(gfx, color);
  if (const ComPtr<ID2D1PathGeometry> path = icon_path(factory.Get(), drawing, square)) {
    // Filling touches only the figures begun as filled.
    gfx.render_target->FillGeometry(path.Get(), gfx.brush.Get(), nullptr);
    gfx.render_target->DrawGeometry(path.Get(), gfx.brush.Get(), kIconStroke * k, gfx.icon_stroke.Get());
  }
  for (const IconRoundRect& r : drawing.boxes) {
    const D2D1_ROUNDED_RECT rect{D2D1_RECT_F{square.x + r.box.x * k, square.y + r.box.y * k,
                                             square.x + (r.box.x + r.box.width) * k,
                                             square.y + (r.box.y + r.box.height) * k},
                                 r.radius * k, r.radius * k};
    gfx.render_target->DrawRoundedRectangle(&rect, gfx.brush.Get(), kIconStroke * k, gfx.icon_stroke.Get());
  }
}

HRESULT create_device(D3D_DRIVER_TYPE type, ComPtr<ID3D11Device>& device) {
  device.Reset();
  const HRESULT hr = D3D11CreateDevice(nullptr, type, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                                       D3D11_SDK_VERSION, device.GetAddressOf(), nullptr, nullptr);
  return made(hr, device);
}

}  // namespace

FontSpec font_spec(FontRole role) {
  switch (role) {
    case FontRole::Small: return {L"Segoe UI", DWRITE_FONT_WEIGHT_NORMAL, 11.5f};
    case FontRole::Body: return {L"Segoe UI", DWRITE_FONT_WEIGHT_NORMAL, 13.0f};
    case FontRole::BodyStrong: return {L"Segoe UI", DWRITE_FONT_WEIGHT_SEMI_BOLD, 13.0f};
    case FontRole::Title: return {L"Segoe UI", DWRITE_FONT_WEIGHT_SEMI_BOLD, 20.0f};
    case FontRole::Glyph: break;
  }
  return {L"Segoe MDL2 Assets", DWRITE_FONT_WEIGHT_NORMAL, 16.0f};
}

float font_size(FontRole role, float scale) { return font_spec(role).size * scale; }

float dpi_scale(UINT dpi) { return dpi == 0 ? 1.0f : static_cast<float>(dpi) / 96.0f; }

float centred_top(float box_y, float box_height, float content_height) {
  return box_y + std::round((box_height - content_height) * 0.5f);  // std::round: half away from zero
}

FrameResult frame_result(HRESULT end_draw, HRESULT present) {
  if (target_lost(end_draw)) return FrameResult::DeviceLost;
  if (present == kDeviceRemoved || present == kDeviceReset) return FrameResult::DeviceLost;
  return FrameResult::Ok;
}

namespace {

// The factories, the Direct3D device (hardware, else the software rasteriser) and the
// Direct2D device context that draws on it.
HRESULT create_devices(Gfx& gfx, ComPtr<ID3D11Device>& device, ComPtr<IDXGIFactory2>& dxgi_factory) {
  ComPtr<ID2D1Factory1> d2d_factory;
  HRESULT hr = made(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory1), nullptr,
                                      reinterpret_cast<void**>(d2d_factory.GetAddressOf())),
                    d2d_factory);
  if (FAILED(hr)) return hr;

  hr = made(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                reinterpret_cast<IUnknown**>(gfx.text_factory.GetAddressOf())),
            gfx.text_factory);
  if (FAILED(hr)) return hr;

  // No usable hardware device (a remote session, a broken driver): the software rasteriser.
  hr = create_device(D3D_DRIVER_TYPE_HARDWARE, device);
  if (FAILED(hr)) hr = create_device(D3D_DRIVER_TYPE_WARP, device);
  if (FAILED(hr)) return hr;

  ComPtr<IDXGIDevice1> dxgi_device;
  hr = made(device.As(&dxgi_device), dxgi_device);
  if (FAILED(hr)) return hr;
  // Only a latency tweak: the layer draws the same without it.
  static_cast<void>(dxgi_device->SetMaximumFrameLatency(1));

  ComPtr<ID2D1Device> d2d_device;
  hr = made(d2d_factory->CreateDevice(dxgi_device.Get(), d2d_device.GetAddressOf()), d2d_device);
  if (FAILED(hr)) return hr;
  hr = made(d2d_device->CreateDeviceContext(D2D1_DEVICE_CONTEXT_OPTIONS_NONE, gfx.device_context.GetAddressOf()),
            gfx.device_context);
  if (FAILED(hr)) return hr;
  // Everything is laid out in physical pixels.
  gfx.device_context->SetDpi(96.0f, 96.0f);
  gfx.device_context->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);

  ComPtr<IDXGIAdapter> adapter;
  hr = made(dxgi_device->GetAdapter(adapter.GetAddressOf()), adapter);
  if (FAILED(hr)) return hr;
  return made(adapter->GetParent(IID_PPV_ARGS(dxgi_factory.GetAddressOf())), dxgi_factory);
}

// Two flip-model buffers the size of the client area.
HRESULT create_swap_chain(Gfx& gfx, HWND window, ID3D11Device* device, IDXGIFactory2* dxgi_factory) {
  const ClientSize size = client_size(window);
  DXGI_SWAP_CHAIN_DESC1 desc{};
  desc.Width = swap_chain_extent(size.width);
  desc.Height = swap_chain_extent(size.height);
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.Stereo = FALSE;
  desc.SampleDesc.Count = 1;
  desc.SampleDesc.Quality = 0;
  desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  desc.BufferCount = 2;
  desc.Scaling = DXGI_SCALING_NONE;
  desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
  desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
  desc.Flags = 0;
  const HRESULT hr = made(
      dxgi_factory->CreateSwapChainForHwnd(device, window, &desc, nullptr, nullptr, gfx.swap_chain.GetAddressOf()),
      gfx.swap_chain);
  if (FAILED(hr)) return hr;
  // Alt+Enter would try to go full screen, which this window never does; harmless if refused.
  static_cast<void>(dxgi_factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER));
  return hr;
}

// The render target's brush, and the stroke style icons drawn as shapes use.
HRESULT create_brushes(Gfx& gfx) {
  HRESULT hr = made(gfx.device_context.As(&gfx.render_target), gfx.render_target);
  if (FAILED(hr)) return hr;
  const D2D1_COLOR_F black{0.0f, 0.0f, 0.0f, 1.0f};
  hr = made(gfx.render_target->CreateSolidColorBrush(&black, nullptr, gfx.brush.GetAddressOf()), gfx.brush);
  if (FAILED(hr)) return hr;

  // Round ends and joins; without them the icons only look squarer.
  ComPtr<ID2D1Factory> factory;
  gfx.render_target->GetFactory(factory.GetAddressOf());
  if (factory) {
    const D2D1_STROKE_STYLE_PROPERTIES round{D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND,
                                             D2D1_LINE_JOIN_ROUND, 10.0f, D2D1_DASH_STYLE_SOLID, 0.0f};
    static_cast<void>(factory->CreateStrokeStyle(&round, nullptr, 0, gfx.icon_stroke.GetAddressOf()));
  }
  return hr;
}

}  // namespace

GfxCreation create_gfx(HWND window, UINT dpi, std::string_view letters, std::wstring_view locale) {
  GfxCreation out;
  Gfx gfx;
  HRESULT& hr = out.error;
  ComPtr<ID3D11Device> device;
  ComPtr<IDXGIFactory2> dxgi_factory;
  hr = create_devices(gfx, device, dxgi_factory);
  if (FAILED(hr)) return out;
  hr = create_swap_chain(gfx, window, device.Get(), dxgi_factory.Get());
  if (FAILED(hr)) return out;
  hr = create_brushes(gfx);
  if (FAILED(hr)) return out;

  gfx.scale = dpi_scale(dpi);
  gfx.locale = locale;
  choose_fonts(gfx, letters);
  auto formats = make_formats(gfx, hr);
  if (!formats) return out;
  gfx.formats = std::move(*formats);

  hr = rebuild_target(gfx);
  if (FAILED(hr)) return out;
  out.gfx = std::move(gfx);
  return out;
}

void choose_fonts(Gfx& gfx, std::string_view letters) {
  const std::u32string wanted = distinct_code_points(letters);
  const std::optional<FontFacts> facts = gather_font_facts(gfx.text_factory.Get(), wanted, system_message_font());
  if (!facts) return;
  FontPlan plan = plan_fonts(*facts, wanted);
  gfx.font_fallback = make_font_fallback(gfx.text_factory.Get(), plan);
  gfx.icons_as_shapes = plan.icons_as_shapes;
  gfx.text_family = std::move(plan.text_family);
}

ClientSize client_size(HWND window) {
  RECT rect{};
  if (!::GetClientRect(window, &rect)) return {};
  const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  return {width > 0 ? static_cast<UINT>(width) : 0u, height > 0 ? static_cast<UINT>(height) : 0u};
}

HRESULT rebuild_target(Gfx& gfx) {
  ComPtr<IDXGISurface> surface;
  HRESULT hr = made(gfx.swap_chain->GetBuffer(0, IID_PPV_ARGS(surface.GetAddressOf())), surface);
  if (FAILED(hr)) return hr;
  D2D1_BITMAP_PROPERTIES1 props{};
  props.pixelFormat = D2D1_PIXEL_FORMAT{DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE};
  props.dpiX = 96.0f;
  props.dpiY = 96.0f;
  props.bitmapOptions = D2D1_BITMAP_OPTIONS_TARGET | D2D1_BITMAP_OPTIONS_CANNOT_DRAW;
  props.colorContext = nullptr;
  ComPtr<ID2D1Bitmap1> bitmap;
  hr = made(gfx.device_context->CreateBitmapFromDxgiSurface(surface.Get(), &props, bitmap.GetAddressOf()), bitmap);
  if (FAILED(hr)) return hr;
  gfx.target = std::move(bitmap);
  return S_OK;
}

void resize_gfx(Gfx& gfx, UINT width, UINT height) {
  // The buffers cannot be resized while anything still refers to them.
  gfx.device_context->SetTarget(nullptr);
  gfx.target.Reset();
  const HRESULT hr = gfx.swap_chain->ResizeBuffers(0, swap_chain_extent(width), swap_chain_extent(height),
                                                   DXGI_FORMAT_UNKNOWN, 0);
  // A failure leaves no target: frames then draw nothing until the next resize or device loss.
  if (SUCCEEDED(hr)) static_cast<void>(rebuild_target(gfx));
}

bool set_gfx_dpi(Gfx& gfx, UINT dpi) {
  gfx.scale = dpi_scale(dpi);
  HRESULT hr = S_OK;
  auto formats = make_formats(gfx, hr);
  if (!formats) return false;
  gfx.formats = std::move(*formats);
  return true;
}

void begin_frame(Gfx& gfx, Color background) {
  if (gfx.target) gfx.device_context->SetTarget(gfx.target.Get());
  gfx.render_target->BeginDraw();
  const D2D1_MATRIX_3X2_F identity{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
  gfx.render_target->SetTransform(&identity);
  const D2D1_COLOR_F clear = to_d2d(background);
  gfx.render_target->Clear(&clear);
}

FrameResult end_frame(Gfx& gfx) {
  const HRESULT end_draw = gfx.render_target->EndDraw(nullptr, nullptr);
  gfx.device_context->SetTarget(nullptr);
  if (target_lost(end_draw)) return FrameResult::DeviceLost;
  // Any other EndDraw error only spoils this frame; presenting still tells us whether the
  // device itself is gone.
  return frame_result(end_draw, gfx.swap_chain->Present(1, 0));
}

void fill_rect(Gfx& gfx, RectF box, Color color) {
  set_brush(gfx, color);
  const D2D1_RECT_F rect = to_d2d(box);
  gfx.render_target->FillRectangle(&rect, gfx.brush.Get());
}

void fill_round_rect(Gfx& gfx, EdgesF edges, float radius, Color color) {
  set_brush(gfx, color);
  const D2D1_ROUNDED_RECT rect{D2D1_RECT_F{edges.left, edges.top, edges.right, edges.bottom}, radius, radius};
  gfx.render_target->FillRoundedRectangle(&rect, gfx.brush.Get());
}

void stroke_round_rect(Gfx& gfx, EdgesF edges, float radius, float width, Color color) {
  set_brush(gfx, color);
  const D2D1_ROUNDED_RECT rect{D2D1_RECT_F{edges.left, edges.top, edges.right, edges.bottom}, radius, radius};
  gfx.render_target->DrawRoundedRectangle(&rect, gfx.brush.Get(), width);
}

ComPtr<IDWriteTextLayout> line_layout(const Gfx& gfx, std::string_view text, FontRole role, float max_width,
                                      bool centred) {
  IDWriteTextFormat* format = format_of(gfx, role);
  ComPtr<IDWriteTextLayout> layout = make_layout(gfx, text, format, max_width, kLineMaxHeight);
  if (!layout) return nullptr;
  // The setters below only change the look (wrapping, the ellipsis, alignment); a layout that
  // refused one is still worth drawing.
  static_cast<void>(layout->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP));
  ComPtr<IDWriteInlineObject> ellipsis;
  static_cast<void>(gfx.text_factory->CreateEllipsisTrimmingSign(format, ellipsis.GetAddressOf()));
  const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
  static_cast<void>(layout->SetTrimming(&trimming, ellipsis.Get()));
  static_cast<void>(
      layout->SetTextAlignment(centred ? DWRITE_TEXT_ALIGNMENT_CENTER : DWRITE_TEXT_ALIGNMENT_LEADING));
  return layout;
}

ComPtr<IDWriteTextLayout> wrapped_layout(const Gfx& gfx, std::string_view text, FontRole role, float width) {
  IDWriteTextFormat* format = format_of(gfx, role);
  const std::wstring wide = to_wide(text);
  // The lines are chosen here rather than by DirectWrite, whose breaks differ between systems
  // and split Korean words and Japanese phrases; unmeasured text is left to DirectWrite.
  const std::optional<std::wstring> lines = broken_into_lines(gfx, wide, format, width);
  ComPtr<IDWriteTextLayout> layout = make_layout(gfx, lines ? *lines : wide, format, width, kWrappedMaxHeight);
  if (layout) {
    static_cast<void>(layout->SetWordWrapping(lines ? DWRITE_WORD_WRAPPING_NO_WRAP : DWRITE_WORD_WRAPPING_WRAP));
  }
  return layout;
}

std::optional<TextSize> layout_size(IDWriteTextLayout* layout) {
  if (layout == nullptr) return std::nullopt;
  DWRITE_TEXT_METRICS metrics{};
  if (FAILED(layout->GetMetrics(&metrics))) return std::nullopt;
  // A label's trailing spaces take room too.
  return TextSize{metrics.widthIncludingTrailingWhitespace, metrics.height};
}

void draw_text_line(Gfx& gfx, std::string_view text, FontRole role, RectF box, Color color, bool centred) {
  const ComPtr<IDWriteTextLayout> layout = line_layout(gfx, text, role, box.width, centred);
  const std::optional<TextSize> size = layout_size(layout.Get());
  if (!size) return;
  set_brush(gfx, color);
  const D2D1_POINT_2F origin{box.x, centred_top(box.y, box.height, size->height)};
  gfx.render_target->DrawTextLayout(origin, layout.Get(), gfx.brush.Get(), D2D1_DRAW_TEXT_OPTIONS_CLIP);
}

void draw_glyph(Gfx& gfx, std::string_view glyph, RectF box, Color color, float size_factor) {
  if (gfx.icons_as_shapes) {
    if (const std::optional<GlyphShape> shape = glyph_shape(glyph)) {
      draw_icon(gfx, icon_drawing(*shape), icon_square(box, size_factor * font_size(FontRole::Glyph, gfx.scale)), color);
      return;
    }
  }
  ComPtr<IDWriteTextLayout> layout =
      make_layout(gfx, glyph, format_of(gfx, FontRole::Glyph), box.width, kLineMaxHeight);
  if (!layout) return;
  // As in line_layout: a refused setter changes the look, not whether to draw.
  static_cast<void>(layout->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP));
  if (size_factor != 1.0f) {
    const DWRITE_TEXT_RANGE all{0, std::numeric_limits<UINT32>::max()};
    static_cast<void>(layout->SetFontSize(size_factor * font_size(FontRole::Glyph, gfx.scale), all));
  }
  static_cast<void>(layout->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER));
  const std::optional<TextSize> size = layout_size(layout.Get());
  if (!size) return;
  set_brush(gfx, color);
  const D2D1_POINT_2F origin{box.x, centred_top(box.y, box.height, size->height)};
  gfx.render_target->DrawTextLayout(origin, layout.Get(), gfx.brush.Get(), D2D1_DRAW_TEXT_OPTIONS_NONE);
}

void draw_layout(Gfx& gfx, IDWriteTextLayout* layout, PointF origin, Color color) {
  if (layout == nullptr) return;
  set_brush(gfx, color);
  gfx.render_target->DrawTextLayout(D2D1_POINT_2F{origin.x, origin.y}, layout, gfx.brush.Get(),
                                    D2D1_DRAW_TEXT_OPTIONS_NONE);
}

void draw_bitmap(Gfx& gfx, ID2D1Bitmap* bitmap, RectF box) {
  if (bitmap == nullptr) return;
  const D2D1_RECT_F rect = to_d2d(box);
  gfx.render_target->DrawBitmap(bitmap, &rect, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
}

}  // namespace tw
