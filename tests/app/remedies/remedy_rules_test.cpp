#include <gtest/gtest.h>

#include "app/remedies/remedy_rules.h"
#include "procs/end_process.h"

namespace tw {
namespace {

std::string letters(const std::vector<RemedyKind>& remedies) {
  std::string out;
  for (const RemedyKind r : remedies) out += r == RemedyKind::Close ? 'C' : r == RemedyKind::ForceQuit ? 'F' : 'R';
  return out;
}

// What the rows offer, and what a console says of each outcome (its own advice where the
// window's would name a button it does not have).
TEST(RemedyRules, OfferedRemediesAndOutcomeWords) {
  using K = HolderKind;
  using A = ActionKind;
  struct Case {
    K holder;
    bool has_window;
    A state;
    const char* offered;
  } const cases[] = {
      {K::Program, true, A::Idle, "C"},          {K::Program, true, A::NotClosed, "CF"},
      {K::Program, true, A::Failed, "CF"},       {K::Program, false, A::Idle, "F"},
      {K::Program, false, A::NotClosed, "F"},    {K::Program, true, A::Closing, ""},
      {K::Program, false, A::Ending, ""},        {K::Program, true, A::Closed, ""},
      {K::FileExplorer, true, A::Idle, "R"},     {K::FileExplorer, false, A::Failed, "R"},
      {K::FileExplorer, true, A::Restarted, ""}, {K::Service, true, A::Idle, ""},
      {K::WindowsComponent, false, A::Idle, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(letters(remedies_offered(c.holder, c.has_window, c.state)), c.offered)
        << int(c.holder) << "/" << c.has_window << "/" << int(c.state);
  }

  constexpr auto denied = static_cast<std::uint8_t>(ForceQuitResult::CouldNotEnd);
  struct Said {
    RemedyKind remedy;
    std::uint8_t result;
    bool elevated;
    const Message* words;
  } const said[] = {
      {RemedyKind::Close, 1, false, &msg::kStateClosed},
      {RemedyKind::Close, 0, false, &msg::kStateNotClosed},
      {RemedyKind::ForceQuit, denied, false, &msg::kCliNoPermissionToEnd},
      {RemedyKind::ForceQuit, denied, true, &msg::kWindowsRefusedEnding},
      {RemedyKind::RestartExplorer, 1, false, &msg::kStateRestarted},
      {RemedyKind::DeleteOnRestart, 1, false, nullptr},
  };
  for (const Said& c : said) {
    EXPECT_EQ(outcome_words(c.remedy, c.result, c.elevated, RemedySurface::Console), c.words)
        << int(c.remedy) << "/" << int(c.result);
  }
}

}  // namespace
}  // namespace tw
