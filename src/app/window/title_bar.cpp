#include "app/window/title_bar.h"

namespace tw {

HRESULT set_dark_title_bar(HWND window, bool dark, SetWindowAttributeFn set) {
  const BOOL value = dark;
  const HRESULT hr = set(window, dwm::DWMWA_USE_IMMERSIVE_DARK_MODE, &value, sizeof value);
  if (SUCCEEDED(hr)) return hr;
  return set(window, dwm::DWMWA_USE_IMMERSIVE_DARK_MODE_BEFORE_20H1, &value, sizeof value);
}

}  // namespace tw
