// Developer tool: opens a window, draws one frame with every operation of the drawing layer
// and stays open a few seconds (the first argument, default 6), for a look or a screenshot.
// Under Wine, where the usual families are missing, it shows the layer's own fallback.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "gfx/gfx.h"
#include "gfx/icons.h"

namespace {

using namespace tw;

std::optional<Gfx> g_gfx;
IconCache g_icons;
UINT g_dpi = 96;

void paint(HWND window) {
  Gfx& gfx = *g_gfx;
  const float s = gfx.scale;
  const ClientSize size = client_size(window);
  const float w = static_cast<float>(size.width);

  begin_frame(gfx, rgb(0xF3F3F3));
  fill_rect(gfx, {0, 0, w, 56 * s}, rgb(0x2B579A));
  draw_text_line(gfx, "Tarnwick drawing layer", FontRole::Title, {16 * s, 0, w - 32 * s, 56 * s}, rgb(0xFFFFFF));

  fill_round_rect(gfx, {16 * s, 72 * s, w - 16 * s, 152 * s}, 8 * s, rgb(0xFFFFFF));
  ID2D1Bitmap* icon = exe_icon(g_icons, gfx, "C:\\windows\\explorer.exe");
  ID2D1Bitmap* generic = exe_icon(g_icons, gfx, "C:\\no such folder\\missing.exe");
  std::printf("icons: explorer %s, generic %s\n", icon ? "yes" : "no", generic ? "yes" : "no");
  draw_bitmap(gfx, icon, {32 * s, 96 * s, 32 * s, 32 * s});
  draw_text_line(gfx, "explorer.exe", FontRole::BodyStrong, {80 * s, 80 * s, 300 * s, 32 * s}, rgb(0x1B1B1B));
  draw_text_line(gfx, "PID 1234 \xE2\x80\x94 holds C:\\Users\\me\\report.docx", FontRole::Small,
                 {80 * s, 108 * s, 300 * s, 28 * s}, rgb(0x5F5F5F));
  fill_round_rect(gfx, {w - 136 * s, 96 * s, w - 32 * s, 128 * s}, 4 * s, rgb(0x2B579A));
  draw_text_line(gfx, "Close", FontRole::Body, {w - 136 * s, 96 * s, 104 * s, 32 * s}, rgb(0xFFFFFF), true);

  fill_round_rect(gfx, {16 * s, 168 * s, w - 16 * s, 248 * s}, 8 * s, rgb(0xFFFFFF));
  draw_bitmap(gfx, generic, {32 * s, 192 * s, 32 * s, 32 * s});
  draw_text_line(gfx, "A name far too long for its box ends in an ellipsis and stays inside it",
                 FontRole::Body, {80 * s, 176 * s, 220 * s, 32 * s}, rgb(0x1B1B1B));
  fill_rect(gfx, {300 * s, 176 * s, 1, 32 * s}, rgb(0xD00000));  // the box's right edge
  draw_glyph(gfx, "\xE2\x86\xBB", {w - 80 * s, 192 * s, 32 * s, 32 * s}, rgb(0x2B579A), 1.5f);  // ↻

  const auto para = wrapped_layout(gfx,
                                   "A wrapped paragraph: the layout breaks lines at words within its width, "
                                   "and its metrics give the height the view reserves for it.",
                                   FontRole::Body, w - 64 * s);
  draw_layout(gfx, para.Get(), {32 * s, 268 * s}, rgb(0x1B1B1B));
  if (const auto measured = layout_size(para.Get())) {
    fill_rect(gfx, {32 * s, 268 * s + measured->height + 4 * s, measured->width, 2 * s}, rgb(0x107C10));
  }

  if (end_frame(gfx) == FrameResult::DeviceLost) {
    std::printf("device lost; recreating\n");
    g_icons.entries.clear();
    GfxCreation again = create_gfx(window, g_dpi, "Aa");
    g_gfx = std::move(again.gfx);
    ::InvalidateRect(window, nullptr, FALSE);
  } else {
    std::printf("frame presented\n");
  }
  std::fflush(stdout);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      if (g_gfx) paint(window);
      ::ValidateRect(window, nullptr);
      return 0;
    case WM_SIZE:
      if (g_gfx) resize_gfx(*g_gfx, LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_TIMER:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const UINT seconds = argc > 1 ? static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10)) : 6u;
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  // The shell's icon calls want COM on this thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  WNDCLASSW cls{};
  cls.lpfnWndProc = window_proc;
  cls.hInstance = ::GetModuleHandleW(nullptr);
  cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  cls.lpszClassName = L"Tarnwick.GfxDemo";
  if (::RegisterClassW(&cls) == 0) return 1;
  const HWND window = ::CreateWindowExW(0, cls.lpszClassName, L"gfx demo", WS_OVERLAPPEDWINDOW, 40, 40, 640, 440,
                                        nullptr, nullptr, cls.hInstance, nullptr);
  if (window == nullptr) return 1;
  g_dpi = ::GetDpiForWindow(window);

  GfxCreation created = create_gfx(window, g_dpi, "Aa");
  if (!created.gfx) {
    std::printf("create_gfx failed: 0x%08lX\n", static_cast<unsigned long>(created.error));
    return 2;
  }
  g_gfx = std::move(created.gfx);
  std::printf("layer created at %u DPI, text in \"%ls\"%s\n", g_dpi,
              g_gfx->text_family.empty() ? font_spec(FontRole::Body).family : g_gfx->text_family.c_str(),
              g_gfx->icons_as_shapes ? ", icons drawn as shapes" : "");

  ::ShowWindow(window, SW_SHOWNORMAL);
  ::SetTimer(window, 1, seconds * 1000u, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  g_icons.entries.clear();
  g_gfx.reset();
  if (SUCCEEDED(com)) ::CoUninitialize();
  return 0;
}
