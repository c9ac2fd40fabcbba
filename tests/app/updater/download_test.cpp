#include <gtest/gtest.h>

#include "app/language/catalogue.h"
#include "app/updater/download.h"
#include "common/text.h"
#include "support/standin_site.h"

namespace tw {
namespace {

// The address reaches curl.exe as one argument, whatever it holds.
TEST(UpdateCurl, RunsSystemCurlWithItsOwnArgumentsOnly) {
  test::StandInSite site;
  ASSERT_TRUE(site.ready());
  ASSERT_TRUE(site.serve(L"update.json", "{}"));
  const std::wstring out = site.temp() + L"out file.json";
  const std::string path = to_utf8(out);
  EXPECT_EQ(download_with_curl("https://h.example/x/update.json?v=1", out), std::nullopt);
  EXPECT_EQ(test::read_file(out), "{}");

  const std::string hostile[] = {
      "https://h.example/a b",
      R"(https://h.example/"quoted" -o C:\evil.exe ")",
      R"(https://h.example/back\slash\\)",
      R"(https://h.example/x\" --output y \\")",
      R"(https://h.example/tail\)",
      "https://h.example/tab\there",
  };
  for (const std::string& url : hostile) {
    EXPECT_EQ(download_with_curl(url, out), std::string(localized(msg::kDownloadFailed))) << url;
  }
  const auto runs = site.curl_runs();
  ASSERT_EQ(runs.size(), 1 + std::size(hostile));
  EXPECT_EQ(runs[0], (std::vector<std::string>{"-fsSL", "--globoff", "--proto", "=https", "--max-time", "600", "-o", path,
                                               "https://h.example/x/update.json?v=1"}));
  for (std::size_t i = 0; i < std::size(hostile); ++i) {
    EXPECT_EQ(runs[i + 1], (std::vector<std::string>{"-fsSL", "--globoff", "--proto", "=https", "--max-time", "600", "-o", path,
                                                     hostile[i]}));
  }

  // No curl.exe: the system's own words.
  site.remove_curl();
  const std::optional<std::string> missing = download_with_curl("https://h.example/update.json", out);
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->ends_with(" (os error 2)")) << *missing;

  ::SetEnvironmentVariableW(L"SystemRoot", nullptr);
  EXPECT_EQ(curl_program(), L"C:\\Windows\\System32\\curl.exe");
}

// Behind a proxy that inspects TLS, Windows' curl cannot check revocation: tried once more
// without that check, and only for that failure.
TEST(UpdateCurl, RetriesOnceWithoutTheRevocationCheckWhenThatFailed) {
  test::StandInSite site;
  ASSERT_TRUE(site.ready());
  ASSERT_TRUE(site.serve(L"update.json", "{}"));
  ASSERT_TRUE(site.serve(L"update.json.revocation", ""));
  const std::wstring out = site.temp() + L"update.json";
  EXPECT_EQ(download_with_curl("https://h.example/update.json", out), std::nullopt);
  auto runs = site.curl_runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(std::count(runs[0].begin(), runs[0].end(), "--ssl-no-revoke"), 0);
  EXPECT_EQ(runs[1][6], "--ssl-no-revoke");
  EXPECT_EQ(runs[1].back(), "https://h.example/update.json");

  // Any other failure is final.
  ASSERT_TRUE(site.fail(L"other.json", 28));
  EXPECT_EQ(download_with_curl("https://h.example/other.json", out), std::string(localized(msg::kDownloadFailed)));
  EXPECT_EQ(site.curl_runs().size(), 3u);
}

TEST(UpdateCurl, TakesTheUsersHttpsProxyFromWindowsSetting) {
  EXPECT_EQ(https_proxy_from(L""), L"");
  EXPECT_EQ(https_proxy_from(L"proxy.corp:8080"), L"http://proxy.corp:8080");
  EXPECT_EQ(https_proxy_from(L"http=web:80;https=secure:8443;ftp=f:21"), L"http://secure:8443");
  EXPECT_EQ(https_proxy_from(L"HTTPS=secure:8443 http=web:80"), L"http://secure:8443");
  EXPECT_EQ(https_proxy_from(L"http=web:80"), L"");  // https goes direct
  EXPECT_EQ(https_proxy_from(L"https=http://secure:8443"), L"http://secure:8443");
  EXPECT_EQ(https_proxy_from(L";;all:3128;"), L"http://all:3128");
  const std::vector<std::wstring> args = curl_arguments(L"C:\\t\\o", L"https://h/u", CurlOptions{true, L"http://p:1"});
  EXPECT_EQ(args, (std::vector<std::wstring>{L"-fsSL", L"--globoff", L"--proto", L"=https", L"--max-time", L"600", L"--ssl-no-revoke",
                                            L"--proxy", L"http://p:1", L"-o", L"C:\\t\\o", L"https://h/u"}));
}

}  // namespace
}  // namespace tw
