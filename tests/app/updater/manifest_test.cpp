#include <gtest/gtest.h>

#include "app/updater/manifest.h"
#include "support/standin_site.h"

namespace tw {
namespace {

using test::kDigest;
using test::manifest_with;

TEST(UpdateManifest, FollowsItsRulesExactly) {
  const Manifest base{"0.2.0", "https://dl.example/Setup.exe", kDigest, 0};
  const auto sized = [&](std::uint64_t size) {
    Manifest m = base;
    m.size = size;
    return m;
  };
  struct Case {
    std::string text;
    std::optional<Manifest> expected;
  };
  const Case cases[] = {
      {manifest_with(""), base},
      {manifest_with(R"(,"size":123456)"), sized(123456)},
      {manifest_with(R"(,"size":18446744073709551615)"), sized(18446744073709551615u)},
      // Sizes that are no non-negative 64-bit integer count as not given.
      {manifest_with(R"(,"size":18446744073709551616)"), base},
      {manifest_with(R"(,"size":"123")"), base},
      {manifest_with(R"(,"size":-5)"), base},
      {manifest_with(R"(,"size":12.5)"), base},
      {manifest_with(R"(,"size":1e3)"), base},
      {manifest_with(R"(,"size":null)"), base},
      // Numbers no double holds are read as 0, wherever they stand; strings that look like
      // them are left alone.
      {manifest_with(R"(,"size":1e400)"), base},
      {manifest_with(R"(,"size":-1E+400)"), base},
      {manifest_with(R"(,"size":1e-400)"), base},
      {manifest_with(R"(,"notes":[1e999,{"x":"1e400 \"1e400\""}],"size":7)"), sized(7)},
      {R"({"version":"0.2.0","url":"https://dl.example/1e400","sha256":")" + std::string(kDigest) + "\"}",
       Manifest{"0.2.0", "https://dl.example/1e400", kDigest, 0}},
      // Upper-case digests are stored in lower case; other members and their order do not matter.
      {R"( {"sha256":"0123456789ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef","notes":[1,{"x":2}],)"
       R"("url":"https://dl.example/Setup.exe","version":"0.2.0"} )" "\r\n\t",
       base},
      // A name given twice in any object makes the manifest ambiguous, however it is spelled;
      // the same name in different objects does not.
      {R"({"version":"9.9","version":"0.2.0","url":"https://dl.example/Setup.exe","sha256":")" + std::string(kDigest) +
           "\"}",
       std::nullopt},
      {manifest_with(R"(,"versio\u006e":"9.9")"), std::nullopt},
      {manifest_with(R"(,"sha256":")" + std::string(kDigest) + "\""), std::nullopt},
      {manifest_with(R"(,"notes":{"a":1,"b":{"c":2,"c":3}})"), std::nullopt},
      {manifest_with(R"(,"notes":[{"a":1,"a":2}])"), std::nullopt},
      {manifest_with(R"(,"notes":[{"a":1},{"a":2}],"more":{"version":"9.9","a":{"a":3}},"size":7)"), sized(7)},
      {std::string("\xEF\xBB\xBF") + manifest_with(""), std::nullopt},  // a byte-order mark
      {manifest_with("") + " x", std::nullopt},
      {manifest_with("") + "{}", std::nullopt},
      // The parser would stop at a NUL and never see what follows it.
      {manifest_with("") + std::string(1, '\0') + "garbage", std::nullopt},
      {manifest_with("") + std::string(1, '\0'), std::nullopt},
      {manifest_with(R"(,"notes":")") + std::string(1, '\0') + "\"", std::nullopt},
      // No manifest is this large, whatever it holds.
      {manifest_with(R"(,"notes":")" + std::string(kMaxManifestBytes, 'x') + "\""), std::nullopt},
      {std::string("[") + manifest_with("") + "]", std::nullopt},
      {R"("0.2.0")", std::nullopt},
      {"null", std::nullopt},
      {"", std::nullopt},
      {R"({"version":"0.2.0","url":"https://dl.example/Setup.exe"})", std::nullopt},
      {R"({"version":"0.2.0","url":"https://dl.example/Setup.exe","sha256":7})", std::nullopt},
      {R"({"Version":"0.2.0","url":"https://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
      {R"({"version":"v0.2.0","url":"https://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
      {R"({"version":"0.2.0-beta","url":"https://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
      {R"({"version":"","url":"https://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
      {R"({"version":"0.2","url":"https://dl.example/Setup.exe","sha256":"x"})", Manifest{"0.2", base.url, "x", 0}},
      {R"({"version":")" + std::string(32, '1') + R"(","url":"https://d","sha256":""})",
       Manifest{std::string(32, '1'), "https://d", "", 0}},
      {R"({"version":")" + std::string(33, '1') + R"(","url":"https://d","sha256":""})", std::nullopt},
      {R"({"version":0.2,"url":"https://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
      {R"({"version":"0.2.0","url":"HTTPS://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
      {R"({"version":"0.2.0","url":"http://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
      {R"({"version":"0.2.0","url":" https://dl.example/Setup.exe","sha256":"x"})", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_manifest(c.text), c.expected) << c.text;
}

TEST(UpdateVersion, ParsesAndComparesLikeReleaseNumbers) {
  using V = std::vector<std::uint32_t>;
  const std::pair<std::string_view, V> parsed[] = {
      {"0.1.0", {0, 1, 0}},      {"", {0}},           {" \tv1.2 \n", {1, 2}},      {"vv3", {3}},
      {"V3", {0}},               {"1..2", {1, 0, 2}}, {"+4.5", {4, 5}},            {"1.-2", {1, 0}},
      {"1.+", {1, 0}},           {"1.++2", {1, 0}},   {"1.2a.3", {1, 0, 3}},        {".", {0, 0}},
      {"1.4294967295", {1, 4294967295u}},             {"1.4294967296", {1, 0}},    {"0.99999999999999999999", {0, 0}},
  };
  for (const auto& [text, expected] : parsed) EXPECT_EQ(parse_version(text), expected) << text;

  const V current = parse_version(kCurrentVersion);
  for (const std::string_view newer : {"0.1.0.1", "0.10.0", "0.2", "1"}) {
    EXPECT_TRUE(is_newer_version(parse_version(newer), current)) << newer;
  }
  for (const std::string_view older : {"0.1", "0.1.0", "0.1.0.0", "0.0.9", "0.0.99999"}) {
    EXPECT_FALSE(is_newer_version(parse_version(older), current)) << older;
  }
}

TEST(UpdateCheckResult, TextThatIsNoUtf8FailsBeforeItIsParsed) {
  CheckResult r = check_result_of("{\"version\":\"0.1\",\"url\":\"https://d\",\"sha256\":\"\xEF\xBF\xBD\"}", false);
  EXPECT_EQ(r.outcome, CheckOutcome::UpToDate);
  EXPECT_FALSE(r.manual);
  for (const std::string_view bad : {"\x80", "{\"a\":\"\xC0\xAF\"}", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82",
                                     "\xF0\x9F\x98", "\xFF"}) {
    r = check_result_of(bad, true);
    EXPECT_EQ(r.failure, "stream did not contain valid UTF-8") << testing::PrintToString(bad);
  }
}

TEST(UpdateCadence, DailyWhileAutomaticUpdatesAreOn) {
  constexpr std::uint64_t now = 1'800'000'000;
  EXPECT_TRUE(automatic_check_due(std::nullopt, now, 0));
  EXPECT_TRUE(automatic_check_due(1u, now, now - 86'400));
  EXPECT_FALSE(automatic_check_due(1u, now, now - 86'399));
  EXPECT_FALSE(automatic_check_due(std::nullopt, now, now));
  EXPECT_FALSE(automatic_check_due(0u, now, 0));
  // A stamp from a clock that ran ahead does not hold the check off until that day.
  EXPECT_TRUE(automatic_check_due(std::nullopt, now, now + 1));
  EXPECT_FALSE(automatic_check_due(0u, now, now + 1));

  EXPECT_EQ(unix_seconds(FILETIME{0xD53E8000, 0x019DB1DE}), 0u);  // 1970-01-01 exactly
  EXPECT_EQ(unix_seconds(FILETIME{0, 0}), 0u);                    // before 1970
  const std::uint64_t ticks = 116'444'736'000'000'000ull + 1'800'000'000ull * 10'000'000 + 9'999'999;
  EXPECT_EQ(unix_seconds(FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}), now);
}

}  // namespace
}  // namespace tw
