#include <gtest/gtest.h>

#include <string>

#include "common/casemap.h"
#include "common/text.h"
#include "gfx/gfx.h"

namespace tw {
namespace {

// A layer with only its text half: DirectWrite works without a display, Direct3D does not.
Gfx text_only_gfx(UINT dpi) {
  Gfx gfx;
  EXPECT_TRUE(SUCCEEDED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                            reinterpret_cast<IUnknown**>(gfx.text_factory.GetAddressOf()))));
  EXPECT_TRUE(set_gfx_dpi(gfx, dpi));
  return gfx;
}

std::wstring family_of(IDWriteTextFormat* format) {
  wchar_t name[64] = {};
  EXPECT_TRUE(SUCCEEDED(format->GetFontFamilyName(name, 64)));
  return name;
}

TEST(GfxText, FormatsAreMadeAtTheWindowsDpi) {
  Gfx gfx = text_only_gfx(144);
  EXPECT_FLOAT_EQ(gfx.scale, 1.5f);
  const float expected[] = {17.25f, 19.5f, 19.5f, 30.0f, 24.0f};
  const DWRITE_FONT_WEIGHT weights[] = {DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_WEIGHT_NORMAL,
                                        DWRITE_FONT_WEIGHT_SEMI_BOLD, DWRITE_FONT_WEIGHT_SEMI_BOLD,
                                        DWRITE_FONT_WEIGHT_NORMAL};
  for (std::size_t i = 0; i < kFontRoleCount; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(gfx.formats[i]);
    EXPECT_FLOAT_EQ(gfx.formats[i]->GetFontSize(), expected[i]);
    EXPECT_EQ(gfx.formats[i]->GetFontWeight(), weights[i]);
    EXPECT_EQ(family_of(gfx.formats[i].Get()), i == 4 ? L"Segoe MDL2 Assets" : L"Segoe UI");
  }

  // A new DPI replaces every format; 0 (an unknown window) counts as 96. Formats carry the
  // interface language's locale, so that shared characters take that language's forms.
  gfx.locale = L"ja-JP";
  ASSERT_TRUE(set_gfx_dpi(gfx, 0));
  EXPECT_FLOAT_EQ(gfx.formats[static_cast<int>(FontRole::Body)]->GetFontSize(), 13.0f);
  wchar_t locale[32] = {};
  ASSERT_TRUE(SUCCEEDED(gfx.formats[static_cast<int>(FontRole::Body)]->GetLocaleName(locale, 32)));
  EXPECT_TRUE(equal_ascii_folded(std::wstring_view(locale), std::wstring_view(L"ja-JP"))) << locale;
  EXPECT_FLOAT_EQ(font_size(FontRole::Small, dpi_scale(120)), 14.375f);
}

TEST(GfxText, AFailedDpiChangeKeepsTheOldFormats) {
  Gfx gfx = text_only_gfx(96);
  const ComPtr<IDWriteTextFormat> body = gfx.formats[1];
  gfx.text_factory.Reset();  // nothing can be made now
  EXPECT_FALSE(set_gfx_dpi(gfx, 192));
  EXPECT_EQ(gfx.formats[1], body);
  EXPECT_FLOAT_EQ(gfx.scale, 2.0f);
}

TEST(GfxText, LayoutsNeedAFactoryAndMeasureWithinTheirWidth) {
  EXPECT_FALSE(line_layout(Gfx{}, "text", FontRole::Body, 100.0f));
  EXPECT_FALSE(wrapped_layout(Gfx{}, "text", FontRole::Body, 100.0f));
  EXPECT_FALSE(layout_size(nullptr));

  Gfx gfx = text_only_gfx(96);
  const auto line = line_layout(gfx, "a line of text", FontRole::Body, 0.0f, true);
  ASSERT_TRUE(line);
  EXPECT_FLOAT_EQ(line->GetMaxWidth(), 1.0f);  // never narrower than one pixel
  EXPECT_EQ(line->GetWordWrapping(), DWRITE_WORD_WRAPPING_NO_WRAP);
  EXPECT_EQ(line->GetTextAlignment(), DWRITE_TEXT_ALIGNMENT_CENTER);
  DWRITE_TRIMMING trimming{};
  ComPtr<IDWriteInlineObject> sign;
  ASSERT_TRUE(SUCCEEDED(line->GetTrimming(&trimming, sign.GetAddressOf())));
  EXPECT_EQ(trimming.granularity, DWRITE_TRIMMING_GRANULARITY_CHARACTER);

  const auto para = wrapped_layout(gfx, "many words in a paragraph", FontRole::Small, 240.0f);
  ASSERT_TRUE(para);
  EXPECT_FLOAT_EQ(para->GetMaxHeight(), 10000.0f);

  // A Korean paragraph breaks only where it has spaces, each line within the width.
  gfx.locale = L"ko-KR";
  choose_fonts(gfx, "가나다");
  ASSERT_TRUE(set_gfx_dpi(gfx, 96));
  const std::wstring tip = L"파일 탐색기에서 마우스 오른쪽 단추 → 'Tarnwick 으로 잠금 풀기' 로도 쓸 수 있습니다 "
                           L"(Windows 11 에서는 '더 많은 옵션 표시' 안에 있습니다).";
  for (const float width : {180.0f, 260.0f, 330.0f, 400.0f, 470.0f, 540.0f}) {
    SCOPED_TRACE(width);
    const auto ko = wrapped_layout(gfx, to_utf8(tip), FontRole::Body, width);
    ASSERT_TRUE(ko);
    EXPECT_EQ(ko->GetWordWrapping(), DWRITE_WORD_WRAPPING_NO_WRAP);  // the lines are set before it lays out
    DWRITE_LINE_METRICS lines[16] = {};
    UINT32 count = 0;
    ASSERT_TRUE(SUCCEEDED(ko->GetLineMetrics(lines, 16, &count)));
    EXPECT_GT(count, 1u);
    std::size_t start = 0;
    for (UINT32 i = 0; i < count; ++i) {
      if (start > 0) {
        EXPECT_EQ(tip[start - 1], L' ') << "a line starts inside a word at " << start;
      }
      start += lines[i].length;
    }
    EXPECT_EQ(start, tip.size());
    DWRITE_TEXT_METRICS metrics{};
    ASSERT_TRUE(SUCCEEDED(ko->GetMetrics(&metrics)));
    EXPECT_LE(metrics.width, width);
  }
  gfx.locale.clear();

  // A label's trailing spaces are part of its width (measured in a family this system has).
  choose_fonts(gfx, "Aa");
  ASSERT_TRUE(set_gfx_dpi(gfx, 96));
  const auto bare = layout_size(line_layout(gfx, "Close", FontRole::Body, 1000.0f).Get());
  const auto spaced = layout_size(line_layout(gfx, "Close   ", FontRole::Body, 1000.0f).Get());
  ASSERT_TRUE(bare && spaced);
  EXPECT_GT(spaced->width, bare->width);
}

TEST(GfxGeometry, CentringRoundsHalfAwayFromZero) {
  EXPECT_FLOAT_EQ(centred_top(10.0f, 20.0f, 15.0f), 13.0f);  // 2.5 → 3
  EXPECT_FLOAT_EQ(centred_top(10.0f, 20.0f, 17.4f), 11.0f);  // 1.3 → 1
  EXPECT_FLOAT_EQ(centred_top(10.0f, 10.0f, 13.0f), 8.0f);   // −1.5 → −2: taller text overhangs evenly
  EXPECT_FLOAT_EQ(centred_top(0.0f, 16.0f, 17.0f), -1.0f);   // −0.5 → −1
  EXPECT_EQ(swap_chain_extent(0), 1u);
  EXPECT_EQ(swap_chain_extent(640), 640u);
}

TEST(GfxFrame, DeviceLossComesFromEndDrawOrPresent) {
  const auto recreate = static_cast<HRESULT>(0x8899000CL);
  const auto removed = static_cast<HRESULT>(0x887A0005L);
  const auto reset = static_cast<HRESULT>(0x887A0007L);
  EXPECT_EQ(frame_result(S_OK, S_OK), FrameResult::Ok);
  EXPECT_EQ(frame_result(recreate, S_OK), FrameResult::DeviceLost);
  EXPECT_EQ(frame_result(S_OK, removed), FrameResult::DeviceLost);
  EXPECT_EQ(frame_result(S_OK, reset), FrameResult::DeviceLost);
  // Another drawing error spoils one frame only; an occluded window is not lost either.
  EXPECT_EQ(frame_result(E_FAIL, S_OK), FrameResult::Ok);
  EXPECT_EQ(frame_result(S_OK, static_cast<HRESULT>(0x087A0001L)), FrameResult::Ok);  // DXGI_STATUS_OCCLUDED
}

LRESULT CALLBACK plain_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return ::DefWindowProcW(window, message, wparam, lparam);
}

TEST(GfxCreate, FailsCleanlyWithoutDirect3D) {
  // The test prefix runs Wine's null display driver, where Direct3D is missing: the
  // program then runs without a layer, so creation must fail with a reason and not crash.
  WNDCLASSW cls{};
  cls.lpfnWndProc = plain_proc;
  cls.hInstance = ::GetModuleHandleW(nullptr);
  cls.lpszClassName = L"TwGfxTest";
  ASSERT_NE(::RegisterClassW(&cls), 0);
  const HWND window = ::CreateWindowExW(0, cls.lpszClassName, L"gfx", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                        nullptr, nullptr, cls.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  const ClientSize size = client_size(window);
  EXPECT_GT(size.width, 0u);

  const GfxCreation created = create_gfx(window, 96, "Aa");
  EXPECT_FALSE(created.gfx);
  EXPECT_TRUE(FAILED(created.error));
  ::DestroyWindow(window);

  const ClientSize gone = client_size(window);  // a window that no longer exists has no size
  EXPECT_EQ(gone.width, 0u);
  EXPECT_EQ(gone.height, 0u);
}

}  // namespace
}  // namespace tw
