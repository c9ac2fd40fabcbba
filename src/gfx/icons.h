#pragma once

// Windows icons as Direct2D bitmaps, and the per-executable icon cache.

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/handles.h"
#include "gfx/gfx.h"

namespace tw {

inline constexpr int kMaxIconPixels = 512;

// 32-bit BGRA, top-down, premultiplied alpha.
struct IconImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
};

// The pixel work of icon_bitmap. `colour` and `mask` are top-down 32-bit BGRA rows of
// width × height pixels; an empty `colour` means the icon has no colour bitmap, an empty
// `mask` that it could not be read. When every alpha is 0 (an icon from before alpha
// channels) the mask decides: black is opaque, anything else transparent. Nothing when there
// is no colour bitmap, a side lies outside 1..512, or a buffer has the wrong size.
std::optional<std::vector<std::uint8_t>> premultiplied_icon_pixels(std::span<const std::uint8_t> colour,
                                                                   std::span<const std::uint8_t> mask,
                                                                   int width, int height);

// True when no pixel has any alpha, so the mask must supply it.
bool alpha_all_zero(std::span<const std::uint8_t> bgra);

// Reads an icon's pixels through GDI; the icon is destroyed in every case.
std::optional<IconImage> icon_image(UniqueIcon icon);
// icon_image on the layer's render target: 96 DPI, premultiplied. Null when there is none.
ComPtr<ID2D1Bitmap> icon_bitmap(Gfx& gfx, UniqueIcon icon);

// Side in pixels of the icon shown for an executable: 32 at 96 DPI, kept within 16..256.
int exe_icon_size(float scale);
// The executable's first icon at that size, else the generic icon of ".exe" files; the
// result may be null when both fail.
UniqueIcon load_exe_icon(std::string_view path, int size);

// Remembers one value per path, failures (empty values) included, so a path is tried once
// until the cache is emptied (on a DPI change or a new layer). Paths are the keys exactly as
// given; an empty path never gets an entry.
template <class Value>
struct PathCache {
  std::map<std::string, Value, std::less<>> entries;
};

// The entry for `path`, made with `make(path)` the first time; null for an empty path.
template <class Value, class Make>
const Value* cache_entry(PathCache<Value>& cache, std::string_view path, Make&& make) {
  if (path.empty()) return nullptr;
  auto it = cache.entries.find(path);
  if (it == cache.entries.end()) it = cache.entries.emplace(std::string(path), make(path)).first;
  // Not `&`: ComPtr's own operator& empties the pointer to hand out its slot.
  return std::addressof(it->second);
}

template <class Value>
const Value* find_entry(const PathCache<Value>& cache, std::string_view path) {
  const auto it = cache.entries.find(path);
  return it == cache.entries.end() ? nullptr : std::addressof(it->second);
}

using IconCache = PathCache<ComPtr<ID2D1Bitmap>>;

// The executable's icon bitmap from the cache, made on first use at the layer's scale; null
// when it could not be made (then the caller draws its fallback).
ID2D1Bitmap* exe_icon(IconCache& cache, Gfx& gfx, std::string_view path);

}  // namespace tw
