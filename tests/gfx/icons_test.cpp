#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx/icons.h"

namespace tw {
namespace {

using Pixels = std::vector<std::uint8_t>;

Pixels solid(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
  Pixels out(static_cast<std::size_t>(width * height) * 4u);
  for (std::size_t i = 0; i < out.size(); i += 4) {
    out[i] = b;
    out[i + 1] = g;
    out[i + 2] = r;
    out[i + 3] = a;
  }
  return out;
}

TEST(IconPixels, PremultipliesWithRoundingToNearest) {
  const Pixels colour = {255, 1, 100, 128,  //
                         200, 254, 3, 255,  //
                         77, 88, 99, 0,     //
                         2, 128, 255, 1};
  const auto out = premultiplied_icon_pixels(colour, {}, 2, 2);
  ASSERT_TRUE(out);
  const Pixels expected = {128, 1, 50, 128,  // 255·128/255 = 128, 1·128/255 = 0.502 → 1, 50.196 → 50
                           200, 254, 3, 255,  //
                           0, 0, 0, 0,        //
                           0, 1, 1, 1};
  EXPECT_EQ(*out, expected);
}

TEST(IconPixels, AlphaFromTheMaskOnlyWhenTheIconHasNone) {
  Pixels colour = {10, 20, 30, 0, 40, 50, 60, 0};
  const Pixels mask = {0, 0, 0, 0, 255, 255, 255, 0};  // black: opaque, white: transparent
  EXPECT_EQ(premultiplied_icon_pixels(colour, mask, 2, 1), (Pixels{10, 20, 30, 255, 0, 0, 0, 0}));
  // Without a readable mask nothing becomes visible.
  EXPECT_EQ(premultiplied_icon_pixels(colour, {}, 2, 1), (Pixels{0, 0, 0, 0, 0, 0, 0, 0}));
  // One pixel with alpha: the icon has its own alpha channel, the mask is not looked at.
  colour[7] = 255;
  EXPECT_EQ(premultiplied_icon_pixels(colour, mask, 2, 1), (Pixels{0, 0, 0, 0, 40, 50, 60, 255}));
}

TEST(IconPixels, RefusesMissingColourOversizeAndShortBuffers) {
  EXPECT_FALSE(premultiplied_icon_pixels({}, solid(4, 4, 0, 0, 0, 0), 4, 4));  // no colour bitmap
  EXPECT_TRUE(premultiplied_icon_pixels(solid(512, 1, 1, 2, 3, 255), {}, 512, 1));
  EXPECT_FALSE(premultiplied_icon_pixels(solid(513, 1, 1, 2, 3, 255), {}, 513, 1));
  EXPECT_FALSE(premultiplied_icon_pixels(solid(1, 513, 1, 2, 3, 255), {}, 1, 513));
  EXPECT_FALSE(premultiplied_icon_pixels({}, {}, 0, 0));
  EXPECT_FALSE(premultiplied_icon_pixels(solid(2, 2, 1, 2, 3, 255), {}, 3, 2));  // buffer too short
  EXPECT_FALSE(premultiplied_icon_pixels(solid(2, 2, 1, 2, 3, 255), {}, -2, -2));
}

// An icon made through GDI: a 32-bit top-down colour bitmap with the given pixels, and a
// monochrome mask whose first row is black (opaque) and the rest white.
UniqueIcon make_icon(int width, int height, const Pixels& colour, bool with_colour = true) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const UniqueGdiObject colour_bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!colour_bitmap || bits == nullptr) return {};
  if (!colour.empty()) std::memcpy(bits, colour.data(), colour.size());

  const int mask_height = with_colour ? height : height * 2;  // a monochrome icon stacks AND over XOR
  const int stride = ((width + 15) / 16) * 2;                  // mask rows are WORD aligned
  std::vector<std::uint8_t> mask(static_cast<std::size_t>(stride * mask_height), 0xFF);
  std::fill(mask.begin(), mask.begin() + stride, std::uint8_t{0});
  const UniqueGdiObject mask_bitmap(::CreateBitmap(width, mask_height, 1, 1, mask.data()));
  if (!mask_bitmap) return {};

  ICONINFO icon{};
  icon.fIcon = TRUE;
  icon.hbmColor = with_colour ? static_cast<HBITMAP>(colour_bitmap.get()) : nullptr;
  icon.hbmMask = static_cast<HBITMAP>(mask_bitmap.get());
  return UniqueIcon(::CreateIconIndirect(&icon));
}

TEST(IconImage, ReadsRowsTopDownAndTakesAlphaFromTheMask) {
  Pixels colour = solid(16, 16, 0, 0, 200, 0);                 // red, no alpha anywhere
  for (std::size_t i = 0; i < 16 * 4; i += 4) colour[i] = 100;  // first row: also blue
  UniqueIcon icon = make_icon(16, 16, colour);
  ASSERT_TRUE(icon);
  const auto image = icon_image(std::move(icon));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 16);
  ASSERT_EQ(image->pixels.size(), 16u * 16u * 4u);
  EXPECT_EQ((Pixels(image->pixels.begin(), image->pixels.begin() + 4)), (Pixels{100, 0, 200, 255}));
  EXPECT_EQ((Pixels(image->pixels.end() - 4, image->pixels.end())), (Pixels{0, 0, 0, 0}));
}

TEST(IconImage, NothingForOversizeOrMonochromeIcons) {
  EXPECT_FALSE(icon_image(UniqueIcon()));
  UniqueIcon large = make_icon(600, 8, solid(600, 8, 1, 2, 3, 255));
  ASSERT_TRUE(large);
  EXPECT_FALSE(icon_image(std::move(large)));
  UniqueIcon mono = make_icon(16, 16, {}, false);
  ASSERT_TRUE(mono);
  EXPECT_FALSE(icon_image(std::move(mono)));
}

TEST(ExeIcons, SizeIs32PixelsScaledWithin16To256) {
  EXPECT_EQ(exe_icon_size(1.0f), 32);
  EXPECT_EQ(exe_icon_size(1.25f), 40);
  EXPECT_EQ(exe_icon_size(1.5f), 48);
  EXPECT_EQ(exe_icon_size(0.515625f), 17);  // 16.5 rounds up
  EXPECT_EQ(exe_icon_size(0.25f), 16);
  EXPECT_EQ(exe_icon_size(9.0f), 256);
}

TEST(ExeIcons, AMissingExecutableGetsTheGenericIcon) {
  UniqueIcon icon = load_exe_icon("Z:\\no such folder\\missing.exe", 32);
  ASSERT_TRUE(icon);
  EXPECT_TRUE(icon_image(std::move(icon)));
}

TEST(IconCache, OneAttemptPerPathUntilEmptied) {
  PathCache<int> cache;
  int made = 0;
  const auto make = [&made](std::string_view path) {
    ++made;
    return path.ends_with("broken.exe") ? 0 : static_cast<int>(path.size());
  };
  EXPECT_EQ(*cache_entry(cache, "C:\\a.exe", make), 8);
  EXPECT_EQ(*cache_entry(cache, "C:\\a.exe", make), 8);
  EXPECT_EQ(*cache_entry(cache, "C:\\broken.exe", make), 0);
  EXPECT_EQ(*cache_entry(cache, "C:\\broken.exe", make), 0);  // a failure is remembered too
  EXPECT_EQ(made, 2);
  EXPECT_EQ(cache_entry(cache, "", make), nullptr);  // no path, no entry
  EXPECT_EQ(made, 2);
  ASSERT_NE(find_entry(cache, "C:\\a.exe"), nullptr);
  EXPECT_EQ(find_entry(cache, "C:\\b.exe"), nullptr);

  cache.entries.clear();  // DPI change or a new layer
  EXPECT_EQ(*cache_entry(cache, "C:\\a.exe", make), 8);
  EXPECT_EQ(made, 3);
}

TEST(IconCache, KeepsComPointersItHandsOut) {
  ComPtr<IDWriteFactory> factory;
  ASSERT_TRUE(SUCCEEDED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                            reinterpret_cast<IUnknown**>(factory.GetAddressOf()))));
  PathCache<ComPtr<IDWriteTextFormat>> cache;
  IDWriteTextFormat* made = nullptr;
  const auto make = [&](std::string_view) {
    ComPtr<IDWriteTextFormat> format;
    EXPECT_TRUE(SUCCEEDED(factory->CreateTextFormat(L"Segoe UI", nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                                    DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, 12.0f,
                                                    L"", format.GetAddressOf())));
    made = format.Get();
    return format;
  };
  const ComPtr<IDWriteTextFormat>* entry = cache_entry(cache, "C:\\a.exe", make);
  ASSERT_NE(entry, nullptr);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(entry->Get(), made);
  EXPECT_EQ(cache_entry(cache, "C:\\a.exe", make)->Get(), made);
  EXPECT_EQ(find_entry(cache, "C:\\a.exe")->Get(), made);
}

}  // namespace
}  // namespace tw
