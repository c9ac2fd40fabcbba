#include <gtest/gtest.h>

#include "app/remedies/remedy_rules.h"
#include "discovery/network_opens.h"
#include "procs/end_process.h"

namespace tw {
namespace {

std::string letters(const std::vector<RemedyKind>& remedies) {
  std::string out;
  for (const RemedyKind r : remedies) {
    out += r == RemedyKind::Close ? 'C' : r == RemedyKind::ForceQuit ? 'F' : r == RemedyKind::Disconnect ? 'D' : 'R';
  }
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
      {K::NetworkOpen, false, A::Idle, "D"},     {K::NetworkOpen, false, A::Failed, "D"},
      {K::NetworkOpen, false, A::Disconnecting, ""}, {K::NetworkOpen, false, A::Disconnected, ""},
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
      {RemedyKind::Disconnect, std::uint8_t(DisconnectResult::Closed), false, &msg::kStateDisconnected},
      {RemedyKind::Disconnect, std::uint8_t(DisconnectResult::AlreadyGone), false, &msg::kNoLongerOpen},
      {RemedyKind::Disconnect, std::uint8_t(DisconnectResult::AccessDenied), false, &msg::kCliDisconnectNeedsAdmin},
      {RemedyKind::Disconnect, std::uint8_t(DisconnectResult::AccessDenied), true, &msg::kCouldNotDisconnect},
      {RemedyKind::Disconnect, std::uint8_t(DisconnectResult::Failed), false, &msg::kCouldNotDisconnect},
  };
  for (const Said& c : said) {
    EXPECT_EQ(outcome_words(c.remedy, c.result, c.elevated, RemedySurface::Console), c.words)
        << int(c.remedy) << "/" << int(c.result);
  }
  // Only an open by another computer is disconnected, and nothing else is done to one.
  for (const K k : {K::Program, K::FileExplorer, K::Service, K::WindowsComponent}) {
    EXPECT_FALSE(remedy_fits(RemedyKind::Disconnect, k)) << int(k);
  }
  for (const RemedyKind r : {RemedyKind::Close, RemedyKind::ForceQuit, RemedyKind::RestartExplorer}) {
    EXPECT_FALSE(remedy_fits(r, K::NetworkOpen)) << int(r);
  }
  EXPECT_TRUE(any_remedy_fits(K::NetworkOpen));
  EXPECT_TRUE(is_busy(running_state(RemedyKind::Disconnect)));
}

}  // namespace
}  // namespace tw
