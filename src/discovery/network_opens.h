#pragma once

// Files this computer's server has open for other computers: opens inside the folders it
// shares, who made them and from where, and closing one. Windows shows such opens as held by
// "System", so only the server can tell them apart.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// One open the server keeps for another computer.
struct NetworkOpen {
  std::uint32_t id = 0;           // the server's id for it, which closing takes
  std::uint32_t permissions = 0;  // PERM_FILE_READ (1), PERM_FILE_WRITE (2), PERM_FILE_CREATE (4)
  std::uint32_t locks = 0;
  std::wstring path;              // the local path, spelled as the share that reached it
  std::string user;               // the account that opened it, as the server names it
};

// Who holds an open from another computer, as a holder row shows it.
struct RemoteOpener {
  std::string user;
  std::string computer;  // empty when the server's sessions do not tell
  std::uint32_t permissions = 0;
  std::uint32_t locks = 0;
};

// A connection from another computer, as the server lists it to anyone.
struct NetSession {
  std::string user;
  std::string computer;  // its name or address, without leading backslashes
};

// What asking the server for its opens came to.
enum class NetAnswer : std::uint8_t {
  Listed,        // the list (perhaps empty)
  AccessDenied,  // only administrators may list opens
  NoServer,      // no server service runs here: nothing is shared
  Failed,
};

struct NetworkOpenList {
  NetAnswer answer = NetAnswer::Listed;
  std::vector<NetworkOpen> opens;
};

// What closing one open came to. Carried as a remedy's result, so the values stay put.
enum class DisconnectResult : std::uint8_t { Failed = 0, Closed = 1, AlreadyGone = 2, AccessDenied = 3 };

// The real calls. The share list comes from the server's registry key, which any user may
// read (NetShareEnum gives paths only to administrators) and reading which loads no DLL.
std::vector<std::wstring> shared_folder_paths();
NetworkOpenList server_file_opens(const std::wstring& base_path);  // NetFileEnum, level 3; empty: all
std::vector<NetSession> server_sessions();                         // NetSessionEnum, level 10
std::uint32_t server_close_open(std::uint32_t id);                 // NetFileClose: its status

// The server calls; tests put stand-ins, as Wine runs no server.
struct NetworkOpensApi {
  std::vector<std::wstring> (*shared_folders)() = &shared_folder_paths;
  NetworkOpenList (*file_opens)(const std::wstring& base_path) = &server_file_opens;
  std::vector<NetSession> (*sessions)() = &server_sessions;
  std::uint32_t (*close_open)(std::uint32_t id) = &server_close_open;
};

// A NET_API_STATUS of a listing, and of a close, in the program's words.
NetAnswer net_answer(std::uint32_t status);
DisconnectResult disconnect_result(std::uint32_t status);

// The local folder of a disk share from its registry value (lines such as "Path=C:\Data",
// "Type=0"); nothing for printers, devices and values without a path.
std::optional<std::wstring> disk_share_path(std::wstring_view lines);

// Whether a share and a target overlap: one lies inside the other (by path_key).
bool share_touches(std::string_view share_key, std::string_view target_key);

// `path`, found under `share` (any spelling and case of it), spelled under `share_spelling`
// instead; nothing when it does not lie under `share`.
std::optional<std::wstring> respell_under(std::wstring_view path, std::wstring_view share,
                                          std::wstring_view share_spelling);

// The computer a user's opens come from: the one computer the user has sessions from, or
// empty when there is none or more than one (it cannot be told which).
std::string computer_of(std::string_view user, const std::vector<NetSession>& sessions);

}  // namespace tw
