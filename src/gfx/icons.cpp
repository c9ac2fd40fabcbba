#include "gfx/icons.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>

#include "common/text.h"

namespace tw {
namespace {

using UniqueDc = Unique<NullIsNone<HDC, &::DeleteDC>>;

bool side_ok(int pixels) { return pixels >= 1 && pixels <= kMaxIconPixels; }

std::size_t buffer_size(int width, int height) {
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u;
}

// Top-down 32-bit rows of `bitmap`, or nothing unless all `height` lines could be read.
std::optional<std::vector<std::uint8_t>> read_pixels(HDC dc, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // negative: top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint8_t> pixels(buffer_size(width, height));
  const int lines = ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  if (lines != height) return std::nullopt;
  return pixels;
}

}  // namespace

bool alpha_all_zero(std::span<const std::uint8_t> bgra) {
  for (std::size_t i = 3; i < bgra.size(); i += 4) {
    if (bgra[i] != 0) return false;
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> premultiplied_icon_pixels(std::span<const std::uint8_t> colour,
                                                                   std::span<const std::uint8_t> mask,
                                                                   int width, int height) {
  if (colour.empty() || !side_ok(width) || !side_ok(height)) return std::nullopt;
  const std::size_t size = buffer_size(width, height);
  if (colour.size() != size) return std::nullopt;
  std::vector<std::uint8_t> out(colour.begin(), colour.end());
  if (alpha_all_zero(out) && mask.size() == size) {
    for (std::size_t i = 0; i < size; i += 4) out[i + 3] = mask[i] == 0 ? 255 : 0;
  }
  for (std::size_t i = 0; i < size; i += 4) {
    const unsigned alpha = out[i + 3];
    for (std::size_t c = 0; c < 3; ++c) out[i + c] = static_cast<std::uint8_t>((out[i + c] * alpha + 127u) / 255u);
  }
  return out;
}

std::optional<IconImage> icon_image(UniqueIcon icon) {
  if (!icon) return std::nullopt;
  ICONINFO info{};
  if (!::GetIconInfo(icon.get(), &info)) return std::nullopt;
  // GetIconInfo hands us copies of both bitmaps; they go with this scope.
  const UniqueGdiObject colour_bitmap(info.hbmColor);
  const UniqueGdiObject mask_bitmap(info.hbmMask);
  if (!colour_bitmap) return std::nullopt;

  BITMAP bm{};
  if (::GetObjectW(colour_bitmap.get(), sizeof bm, &bm) != static_cast<int>(sizeof bm)) return std::nullopt;
  if (!side_ok(bm.bmWidth) || !side_ok(bm.bmHeight)) return std::nullopt;
  const int width = bm.bmWidth, height = bm.bmHeight;

  const UniqueDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return std::nullopt;
  const auto colour = read_pixels(dc.get(), static_cast<HBITMAP>(colour_bitmap.get()), width, height);
  if (!colour) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> mask;
  if (alpha_all_zero(*colour) && mask_bitmap) {
    mask = read_pixels(dc.get(), static_cast<HBITMAP>(mask_bitmap.get()), width, height);
  }
  auto pixels = premultiplied_icon_pixels(*colour, mask ? std::span<const std::uint8_t>(*mask)
                                                        : std::span<const std::uint8_t>(), width, height);
  if (!pixels) return std::nullopt;
  return IconImage{width, height, std::move(*pixels)};
}

ComPtr<ID2D1Bitmap> icon_bitmap(Gfx& gfx, UniqueIcon icon) {
  const std::optional<IconImage> image = icon_image(std::move(icon));
  if (!image) return nullptr;
  D2D1_BITMAP_PROPERTIES props{};
  props.pixelFormat = D2D1_PIXEL_FORMAT{DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED};
  props.dpiX = 96.0f;
  props.dpiY = 96.0f;
  ComPtr<ID2D1Bitmap> bitmap;
  const HRESULT hr = gfx.render_target->CreateBitmap(
      D2D1_SIZE_U{static_cast<UINT32>(image->width), static_cast<UINT32>(image->height)}, image->pixels.data(),
      static_cast<UINT32>(image->width) * 4u, &props, bitmap.GetAddressOf());
  if (FAILED(hr)) return nullptr;
  return bitmap;
}

int exe_icon_size(float scale) {
  const long size = std::lround(32.0f * scale);
  return static_cast<int>(std::clamp(size, 16L, 256L));
}

UniqueIcon load_exe_icon(std::string_view path, int size) {
  UniqueIcon icon;
  const std::wstring wide = to_wide(path);
  // Only the large icon, at `size` (the low word); the high word would size the small one.
  const HRESULT hr = ::SHDefExtractIconW(wide.c_str(), 0, 0, icon.put(), nullptr, static_cast<UINT>(size));
  if (hr == S_OK && icon) return icon;
  icon.reset();
  SHFILEINFOW info{};
  if (::SHGetFileInfoW(L".exe", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_ICON | SHGFI_USEFILEATTRIBUTES) != 0) {
    icon.reset(info.hIcon);
  }
  return icon;
}

ID2D1Bitmap* exe_icon(IconCache& cache, Gfx& gfx, std::string_view path) {
  const ComPtr<ID2D1Bitmap>* entry = cache_entry(cache, path, [&gfx](std::string_view p) {
    return icon_bitmap(gfx, load_exe_icon(p, exe_icon_size(gfx.scale)));
  });
  return entry != nullptr ? entry->Get() : nullptr;
}

}  // namespace tw
