#include <gtest/gtest.h>

#include <windows.h>
#include <lm.h>

#include <optional>
#include <string>

#include "discovery/network_opens.h"

namespace tw {
namespace {

// The server's answers in the program's words, the registry's share values, and an open's path
// spelled under another spelling of its share.
TEST(NetworkOpens, TheServersAnswersSharesAndSpellingsReadRight) {
  struct Status {
    std::uint32_t status;
    NetAnswer listing;
    DisconnectResult closing;
  } const statuses[] = {
      {NERR_Success, NetAnswer::Listed, DisconnectResult::Closed},
      {ERROR_MORE_DATA, NetAnswer::Listed, DisconnectResult::Failed},
      {ERROR_ACCESS_DENIED, NetAnswer::AccessDenied, DisconnectResult::AccessDenied},
      {NERR_FileIdNotFound, NetAnswer::Failed, DisconnectResult::AlreadyGone},
      {NERR_ServerNotStarted, NetAnswer::NoServer, DisconnectResult::Failed},
      {NERR_ServiceNotInstalled, NetAnswer::NoServer, DisconnectResult::Failed},
      {RPC_S_SERVER_UNAVAILABLE, NetAnswer::NoServer, DisconnectResult::Failed},
      {ERROR_NOT_SUPPORTED, NetAnswer::NoServer, DisconnectResult::Failed},
      {ERROR_INVALID_PARAMETER, NetAnswer::Failed, DisconnectResult::Failed},
  };
  for (const Status& s : statuses) {
    EXPECT_EQ(net_answer(s.status), s.listing) << s.status;
    EXPECT_EQ(disconnect_result(s.status), s.closing) << s.status;
  }

  using namespace std::string_literals;
  struct Value {
    std::wstring lines;
    std::optional<std::wstring> path;
  } const values[] = {
      {L"CSCFlags=0\0MaxUses=4294967295\0Path=C:\\Data\0Permissions=0\0Remark=\0Type=0\0"s, L"C:\\Data"},
      {L"path=D:\\Music\0TYPE=0\0"s, L"D:\\Music"},                       // any letter case
      {L"Path=C:\\Temp share\0Type=2147483648\0"s, L"C:\\Temp share"},      // a special disk share
      {L"Path=\0Type=1\0"s, std::nullopt},                                 // a printer
      {L"Path=C:\\x\0Type=3\0"s, std::nullopt},                            // IPC
      {L"Remark=no path\0Type=0\0"s, std::nullopt},
  };
  for (const Value& v : values) EXPECT_EQ(disk_share_path(v.lines), v.path);

  struct Spelling {
    const wchar_t* path;
    const wchar_t* share;
    const wchar_t* spelling;
    std::optional<std::wstring> respelled;
  } const spellings[] = {
      {L"C:\\DATA\\Reports\\q1.xlsx", L"c:\\data", L"C:\\Data", L"C:\\Data\\Reports\\q1.xlsx"},
      {L"C:\\PROGRA~1\\Shared\\a.txt", L"C:\\PROGRA~1\\Shared\\", L"C:\\Program Files\\Shared",
       L"C:\\Program Files\\Shared\\a.txt"},
      {L"\\\\?\\C:\\Data\\a.txt", L"C:\\Data", L"C:\\Data", L"C:\\Data\\a.txt"},
      {L"C:\\Data", L"C:\\Data", L"C:\\Data", L"C:\\Data"},
      {L"D:\\x\\y.txt", L"D:\\", L"E:\\", L"E:\\x\\y.txt"},
      {L"C:\\Database\\a.txt", L"C:\\Data", L"C:\\Data", std::nullopt},  // a longer name is another folder
      {L"C:\\Other\\a.txt", L"C:\\Data", L"C:\\Data", std::nullopt},
  };
  for (const Spelling& s : spellings) EXPECT_EQ(respell_under(s.path, s.share, s.spelling), s.respelled) << s.path;

  EXPECT_TRUE(share_touches("c:\\data", "c:\\data\\reports"));  // a target inside a share
  EXPECT_TRUE(share_touches("c:\\data\\reports", "c:\\data"));  // a share inside a target
  EXPECT_FALSE(share_touches("c:\\data", "c:\\database"));

  const std::vector<NetSession> sessions = {
      {"ana", "LAPTOP-7"}, {"ANA", "laptop-7"}, {"bo", "10.0.0.5"}, {"bo", "DESK"}, {"cy", ""}};
  EXPECT_EQ(computer_of("Ana", sessions), "LAPTOP-7");
  EXPECT_EQ(computer_of("bo", sessions), "");  // two computers: which one cannot be told
  EXPECT_EQ(computer_of("cy", sessions), "");
  EXPECT_EQ(computer_of("dee", sessions), "");
}

// Wine runs no server: the listings answer with a failure or nothing instead of crashing or
// hanging. (Wine lacks NetFileClose altogether: calling it aborts the process.)
TEST(NetworkOpens, TheRealServerCallsFailCalmlyWhereNoServerRuns) {
  const NetworkOpenList all = server_file_opens(L"");
  const NetworkOpenList some = server_file_opens(L"C:\\windows");
  EXPECT_TRUE(all.opens.empty());
  EXPECT_TRUE(some.opens.empty());
  EXPECT_TRUE(server_sessions().empty());
  EXPECT_EQ(all.answer, NetAnswer::NoServer);
  for (const std::wstring& path : shared_folder_paths()) EXPECT_FALSE(path.empty());
}

}  // namespace
}  // namespace tw
