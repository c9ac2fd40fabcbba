#include <gtest/gtest.h>

#include "app/language/catalogue.h"
#include "app/window/message_boxes.h"
#include "common/text.h"
#include "support/test_window.h"

namespace tw {
namespace {

struct BoxCall {
  HWND owner = nullptr;
  std::wstring text, caption;
  UINT flags = 0;
  int calls = 0;
  int answer = IDNO;
};
BoxCall g_box;

int stand_in(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  g_box.owner = owner;
  g_box.text = text;
  g_box.caption = caption;
  g_box.flags = flags;
  ++g_box.calls;
  return g_box.answer;
}

// Boxes open only in the window's free time, so they are shown from a test window's.
class ConfirmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_box = BoxCall{};
    const WindowState* state = test::open_test_main_window(WindowApi{&stand_in});
    ASSERT_NE(state, nullptr);
    owner = state->window;
  }
  void TearDown() override { test::close_test_main_window(owner); }

  bool confirm_when_free(std::string_view text, ConfirmKind kind) {
    bool yes = false;
    test::run_when_free(owner, [&](const FreeTime& free) { yes = confirm(free, text, kind); });
    return yes;
  }

  HWND owner = nullptr;
};

TEST_F(ConfirmTest, FlagsCaptionAndOnlyYesConsents) {
  g_box.answer = IDYES;
  EXPECT_TRUE(confirm_when_free("Force 'Ä' to quit?", ConfirmKind::Warning));
  EXPECT_EQ(g_box.owner, owner);
  EXPECT_EQ(g_box.text, L"Force 'Ä' to quit?");
  EXPECT_EQ(g_box.caption, L"Tarnwick");
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));

  confirm_when_free("x", ConfirmKind::Question);
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
  confirm_when_free("x", ConfirmKind::Offer);
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
  confirm_when_free("x", ConfirmKind::Information);
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));

  for (const int answer : {IDNO, IDOK, IDCANCEL, 0}) {
    g_box.answer = answer;
    EXPECT_FALSE(confirm_when_free("x", ConfirmKind::Question)) << answer;
  }
}

TEST_F(ConfirmTest, AboutBox) {
  test::run_when_free(owner, [](const FreeTime& free) { show_about(free); });
  EXPECT_EQ(g_box.calls, 1);
  EXPECT_EQ(g_box.caption, to_wide(localized(msg::kAbout)));
  EXPECT_EQ(g_box.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  const std::string expected_start =
      "Tarnwick 0.1.0\n\n" + std::string(localized(msg::kAboutText)) + "\n\n" TW_MAKER_URL "tarnwick/\n";
  const std::string text = to_utf8(g_box.text);
  ASSERT_GT(text.size(), expected_start.size());
  EXPECT_EQ(text.substr(0, expected_start.size()), expected_start);
  EXPECT_EQ(text.find('\n', expected_start.size()), std::string::npos);  // the legal line is the last
}

}  // namespace
}  // namespace tw
