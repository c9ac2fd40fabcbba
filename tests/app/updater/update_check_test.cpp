#include <gtest/gtest.h>

#include "app/language/catalogue.h"
#include "app/updater/update_check.h"
#include "common/text.h"
#include "support/standin_site.h"

namespace tw {
namespace {

using test::kDigest;
using test::manifest_with;

TEST(UpdateCheck, FetchesJudgesAndCleansUp) {
  test::StandInSite site;
  ASSERT_TRUE(site.ready());
  const std::wstring file = site.temp() + L"update.json";
  const auto check = [](bool manual) {
    check_for_update(nullptr, manual);  // the post fails: no window here
    return take_check_result();
  };

  ASSERT_TRUE(site.serve(L"update.json", manifest_with(R"(,"size":42)")));
  std::optional<CheckResult> r = check(true);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->outcome, CheckOutcome::Available);
  EXPECT_EQ(r->manifest, (Manifest{"0.2.0", "https://dl.example/Setup.exe", kDigest, 42}));
  EXPECT_TRUE(r->manual);
  EXPECT_FALSE(take_check_result());  // taken means gone
  EXPECT_FALSE(test::file_exists(file));
  ASSERT_EQ(site.curl_runs().size(), 1u);
  EXPECT_EQ(site.curl_runs()[0].back(), TW_MAKER_URL "tarnwick/update.json?v=0.1.0&lang=" + std::string(current_language()));
  EXPECT_EQ(site.curl_runs()[0][7], to_utf8(file));

  ASSERT_TRUE(site.serve(L"update.json", "not json"));
  r = check(false);
  EXPECT_EQ(r->failure, "manifest");
  EXPECT_FALSE(r->manual);
  EXPECT_FALSE(test::file_exists(file));

  // A file far larger than any manifest is refused and removed; only its start is read.
  ASSERT_TRUE(site.serve(L"update.json", manifest_with(R"(,"notes":")" + std::string(4 << 20, 'x') + "\"")));
  EXPECT_EQ(check(true)->failure, "manifest");
  EXPECT_FALSE(test::file_exists(file));

  // Bytes that are no text stay where they are.
  ASSERT_TRUE(site.serve(L"update.json", "{\"version\":\"\xFF\"}"));
  EXPECT_EQ(check(true)->failure, "stream did not contain valid UTF-8");
  EXPECT_TRUE(test::file_exists(file));

  ASSERT_TRUE(site.fail(L"update.json", 28));
  EXPECT_EQ(check(true)->failure, localized(msg::kDownloadFailed));
}

}  // namespace
}  // namespace tw
