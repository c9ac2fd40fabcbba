#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "app/language/catalogue.h"
#include "app/system/messages.h"
#include "app/system/settings.h"
#include "app/updater/manifest.h"
#include "app/updater/update_install.h"
#include "app/window/main_window.h"
#include "app/window/message_boxes.h"
#include "app/window/update_prompts.h"
#include "common/text.h"
#include "support/standin_site.h"
#include "support/test_window.h"

namespace tw {
namespace {

struct Box {
  std::wstring text, caption;
  UINT flags = 0;
};
std::vector<Box> g_boxes;

int answer_yes(HWND, const wchar_t* text, const wchar_t* caption, UINT flags) {
  g_boxes.push_back(Box{text, caption, flags});
  return IDYES;
}

std::uint64_t now_seconds() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  return unix_seconds(now);
}

// The real window procedure on a headless window, with the stand-in site and message box.
class UpdateFlow : public testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
    ASSERT_TRUE(site_.ready());
    state_ = test::open_test_main_window(WindowApi{&answer_yes});
    ASSERT_TRUE(state_);
    window_ = state_->window;
    g_boxes.clear();
  }
  void TearDown() override {
    test::close_test_main_window(window_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tarnwick");
  }

  // Runs the window's messages until `done` or 20 seconds have gone.
  template <class Done>
  bool pump_until(Done done) {
    const ULONGLONG until = ::GetTickCount64() + 20'000;
    while (!done()) {
      if (::GetTickCount64() > until) return false;
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == kMsgUpdateChecked) ++checks_seen_;
        if (msg.message == WM_QUIT) quit_seen_ = true;
        ::DispatchMessageW(&msg);
      }
      ::Sleep(10);
    }
    return true;
  }
  // Starts a check through `act` and runs the window until its result was handled.
  void finish_check(const std::function<void(MainWindow&)>& act) {
    const int seen = checks_seen_;
    ASSERT_TRUE(with_main_window(act));
    ASSERT_TRUE(pump_until([&] { return checks_seen_ > seen; }));
  }
  void manual_check(bool manual = true) {
    finish_check([manual](MainWindow& w) { start_update_check(w, manual); });
  }
  // A start-up whose check is not due does its work before it returns.
  static void start_up_without_check() { ASSERT_TRUE(with_main_window(&run_automatic_update_check)); }
  static std::optional<std::uint64_t> stamp() {
    const std::optional<std::string> text = read_string_setting(kSettingsKey, kValueLastUpdateCheck);
    return text ? std::optional(parse_last_update_check(text)) : std::nullopt;
  }

  test::StandInSite site_;
  HWND window_ = nullptr;
  WindowState* state_ = nullptr;
  int checks_seen_ = 0;
  bool quit_seen_ = false;
};

TEST_F(UpdateFlow, ManualChecksSayHowItWentAutomaticOnesStayQuiet) {
  ASSERT_TRUE(site_.serve(L"update.json", R"({"version":"0.1","url":"https://d/x","sha256":""})"));
  manual_check();
  EXPECT_EQ(state_->notice, std::string(localized(msg::kUpToDate)) + " (0.1.0)");
  state_->notice.reset();
  manual_check(false);
  EXPECT_EQ(state_->notice, std::nullopt);

  ASSERT_TRUE(site_.fail(L"update.json", 22));
  manual_check();
  EXPECT_EQ(state_->notice, localized(msg::kDownloadFailed));
  state_->notice.reset();
  manual_check(false);
  EXPECT_EQ(state_->notice, std::nullopt);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(stamp(), std::nullopt);  // manual checks leave the daily stamp alone
}

TEST_F(UpdateFlow, AutomaticCheckAtMostDailyAndStampedFirst) {
  ASSERT_TRUE(site_.fail(L"update.json", 6));  // a failure counts as a check all the same

  write_dword_setting(kValueAutoUpdate, 0);
  start_up_without_check();
  EXPECT_EQ(stamp(), std::nullopt);
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Tarnwick", L"AutoUpdate");

  const std::uint64_t now = now_seconds();
  write_string_setting(kSettingsKey, kValueLastUpdateCheck, std::to_string(now - 100));
  start_up_without_check();
  EXPECT_EQ(stamp(), now - 100);

  for (const std::uint64_t last : {now - 86'400, now + 86'400}) {  // a day ago; from a clock that ran ahead
    write_string_setting(kSettingsKey, kValueLastUpdateCheck, std::to_string(last));
    finish_check(&run_automatic_update_check);
    ASSERT_TRUE(stamp());
    EXPECT_GE(*stamp(), now);
    EXPECT_LE(*stamp(), now_seconds());
  }
  EXPECT_EQ(site_.curl_runs().size(), 2u);
  EXPECT_EQ(state_->notice, std::nullopt);

  // The machine's policy wins over the user's value either way.
  const auto set_policy = [](DWORD value) {
    return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tarnwick", L"AutoUpdate", REG_DWORD, &value,
                             sizeof value) == ERROR_SUCCESS;
  };
  ASSERT_TRUE(set_policy(0));
  write_dword_setting(kValueAutoUpdate, 1);
  write_string_setting(kSettingsKey, kValueLastUpdateCheck, "1");
  start_up_without_check();
  EXPECT_EQ(stamp(), 1u);
  ASSERT_TRUE(set_policy(1));
  write_dword_setting(kValueAutoUpdate, 0);
  finish_check(&run_automatic_update_check);
  EXPECT_GE(stamp().value_or(0), now);
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tarnwick");
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Tarnwick", L"AutoUpdate");
  EXPECT_EQ(site_.curl_runs().size(), 3u);

  // Written just now: the next start leaves it.
  const std::optional<std::uint64_t> written = stamp();
  start_up_without_check();
  EXPECT_EQ(stamp(), written);
  EXPECT_EQ(site_.curl_runs().size(), 3u);
}

TEST_F(UpdateFlow, OfferAcceptedDownloadVerifiedInstallerStartedWindowGone) {
  const std::wstring signed_installer = test::test_installer(L"signed.exe");
  const FileDigest facts = digest_file(signed_installer);
  ASSERT_EQ(facts.error, 0u);
  std::string upper = facts.sha256;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(site_.serve(L"update.json", R"({"version":"0.2.0","url":"https://dl.example/files/Setup.exe",)"
                                          R"("sha256":")" + upper + R"(","size":)" + std::to_string(facts.size) + "}"));
  ASSERT_TRUE(site_.serve_copy(L"Setup.exe", signed_installer));

  ASSERT_TRUE(with_main_window([](MainWindow& w) { start_update_check(w, true); }));
  EXPECT_EQ(state_->notice, localized(msg::kCheckingForUpdates));
  ASSERT_TRUE(pump_until([&] { return !::IsWindow(window_); }));

  ASSERT_EQ(g_boxes.size(), 1u);
  // The registry was cleaned and Wine's display language is English.
  EXPECT_EQ(g_boxes[0].text, L"A new version is available: 0.2.0\n(current 0.1.0)\n\nUpdate now?");
  EXPECT_EQ(g_boxes[0].caption, L"Tarnwick");
  EXPECT_EQ(g_boxes[0].flags, UINT{MB_YESNO | MB_ICONINFORMATION});

  const auto runs = site_.curl_runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].back(), TW_MAKER_URL "tarnwick/update.json?v=0.1.0&lang=en");
  EXPECT_EQ(runs[1].back(), "https://dl.example/files/Setup.exe");

  // The installer runs from the temporary folder (a path with a space) and stays there.
  const std::wstring installer = site_.temp() + L"Tarnwick-Setup-0.2.0.exe";
  ASSERT_TRUE(pump_until([&] { return test::file_exists(installer + L".args"); }));
  EXPECT_EQ(test::split_at_nul(test::read_file(installer + L".args")),
            (std::vector<std::string>{"/SILENT", "/SUPPRESSMSGBOXES", "/NORESTART", "/UPDATE=1"}));
  EXPECT_TRUE(test::file_exists(installer));

  // Gone the short way: the placement is not saved, and the message loop is told to end.
  EXPECT_FALSE(has_main_window());
  EXPECT_EQ(read_placement(), std::nullopt);
  EXPECT_TRUE(quit_seen_);
  // Let the installer finish before its folder goes.
  pump_until([&] { return ::DeleteFileW(installer.c_str()) != 0; });
}

}  // namespace
}  // namespace tw
