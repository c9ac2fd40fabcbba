#include "discovery/network_opens.h"

#include <windows.h>
#include <lm.h>

#include <algorithm>

#include "common/casemap.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/paths.h"

namespace tw {
namespace {

// Owns a buffer the network calls allocated.
struct NetBuffer {
  LPBYTE data = nullptr;
  NetBuffer() = default;
  NetBuffer(const NetBuffer&) = delete;
  NetBuffer& operator=(const NetBuffer&) = delete;
  ~NetBuffer() {
    if (data) ::NetApiBufferFree(data);
  }
};

std::string text_of(const wchar_t* text) { return text ? to_utf8(text) : std::string(); }

constexpr wchar_t kSharesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";

}  // namespace

std::optional<std::wstring> disk_share_path(std::wstring_view lines) {
  std::optional<std::wstring> path;
  bool disk = true;
  while (!lines.empty()) {
    const std::size_t end = lines.find(L'\0');
    const std::wstring_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::wstring_view::npos ? lines.size() : end + 1);
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) continue;
    std::wstring name(line.substr(0, equals));
    for (wchar_t& c : name) c = ascii_lower(c);
    const std::wstring_view value = line.substr(equals + 1);
    if (name == L"path" && !value.empty()) path = std::wstring(value);
    // Only the low bits say what is shared; the high ones mark special and temporary shares.
    if (name == L"type") disk = (std::wcstoul(std::wstring(value).c_str(), nullptr, 10) & 0xFF) == STYPE_DISKTREE;
  }
  if (!disk) return std::nullopt;
  return path;
}

std::vector<std::wstring> shared_folder_paths() {
  std::vector<std::wstring> paths;
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSharesKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return paths;
  const UniqueKey key(raw);
  std::wstring name(16'384, L'\0');
  std::vector<wchar_t> data(4'096);
  for (DWORD i = 0;; ++i) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LSTATUS status = ::RegEnumValueW(key.get(), i, name.data(), &name_size, nullptr, &type,
                                           reinterpret_cast<LPBYTE>(data.data()), &bytes);
    if (status == ERROR_MORE_DATA) {
      data.resize(bytes / sizeof(wchar_t) + 1);
      --i;  // the same value again, with room for it
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    if (type != REG_MULTI_SZ) continue;
    if (auto path = disk_share_path(std::wstring_view(data.data(), bytes / sizeof(wchar_t)))) paths.push_back(*path);
  }
  return paths;
}

NetworkOpenList server_file_opens(const std::wstring& base_path) {
  NetworkOpenList list;
  DWORD_PTR resume = 0;
  NET_API_STATUS status = ERROR_MORE_DATA;
  while (status == ERROR_MORE_DATA) {
    NetBuffer buffer;
    DWORD read = 0, total = 0;
    LPWSTR base = base_path.empty() ? nullptr : const_cast<LPWSTR>(base_path.c_str());
    status = ::NetFileEnum(nullptr, base, nullptr, 3, &buffer.data,
                           MAX_PREFERRED_LENGTH, &read, &total, &resume);
    list.answer = net_answer(status);
    if (list.answer != NetAnswer::Listed || !buffer.data) break;
    const auto* files = reinterpret_cast<const FILE_INFO_3*>(buffer.data);
    for (DWORD i = 0; i < read; ++i) {
      const FILE_INFO_3& f = files[i];
      list.opens.push_back(NetworkOpen{f.fi3_id, f.fi3_permissions, f.fi3_num_locks,
                                       f.fi3_pathname ? std::wstring(f.fi3_pathname) : std::wstring(),
                                       text_of(f.fi3_username)});
    }
  }
  return list;
}

std::vector<NetSession> server_sessions() {
  std::vector<NetSession> sessions;
  DWORD resume = 0;
  NET_API_STATUS status = ERROR_MORE_DATA;
  while (status == ERROR_MORE_DATA) {
    NetBuffer buffer;
    DWORD read = 0, total = 0;
    status = ::NetSessionEnum(nullptr, nullptr, nullptr, 10, &buffer.data, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if ((status != NERR_Success && status != ERROR_MORE_DATA) || !buffer.data) break;
    const auto* entries = reinterpret_cast<const SESSION_INFO_10*>(buffer.data);
    for (DWORD i = 0; i < read; ++i) {
      std::string computer = text_of(entries[i].sesi10_cname);
      computer.erase(0, computer.find_first_not_of('\\'));
      sessions.push_back(NetSession{text_of(entries[i].sesi10_username), std::move(computer)});
    }
  }
  return sessions;
}

std::uint32_t server_close_open(std::uint32_t id) { return ::NetFileClose(nullptr, id); }

NetAnswer net_answer(std::uint32_t status) {
  switch (status) {
    case NERR_Success:
    case ERROR_MORE_DATA:
      return NetAnswer::Listed;
    case ERROR_ACCESS_DENIED:
      return NetAnswer::AccessDenied;
    case NERR_ServerNotStarted:
    case NERR_ServiceNotInstalled:
    case RPC_S_SERVER_UNAVAILABLE:
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
      return NetAnswer::NoServer;
    default:
      break;
  }
  return NetAnswer::Failed;
}

DisconnectResult disconnect_result(std::uint32_t status) {
  switch (status) {
    case NERR_Success:
      return DisconnectResult::Closed;
    case NERR_FileIdNotFound:
      return DisconnectResult::AlreadyGone;
    case ERROR_ACCESS_DENIED:
      return DisconnectResult::AccessDenied;
    default:
      break;
  }
  return DisconnectResult::Failed;
}

bool share_touches(std::string_view share_key, std::string_view target_key) {
  return key_matches(share_key, target_key) || key_matches(target_key, share_key);
}

std::optional<std::wstring> respell_under(std::wstring_view path, std::wstring_view share,
                                          std::wstring_view share_spelling) {
  const std::string share_key = path_key(share);
  if (!key_matches(share_key, path_key(path))) return std::nullopt;
  // Keys keep the separators, so the share has as many components in the path as in its key.
  const std::wstring plain = strip_long_prefix(path);
  const std::wstring_view trimmed = without_trailing_backslashes(std::wstring_view(plain));
  const auto components = static_cast<std::size_t>(std::count(share_key.begin(), share_key.end(), '\\')) + 1;
  std::size_t pos = std::wstring_view::npos;
  for (std::size_t i = 0, from = 0; i < components; ++i, from = pos + 1) {
    pos = trimmed.find(L'\\', from);
    if (pos == std::wstring_view::npos) break;
  }
  if (pos == std::wstring_view::npos) return std::wstring(share_spelling);
  return join_path(without_trailing_backslashes(share_spelling), trimmed.substr(pos + 1));
}

std::string computer_of(std::string_view user, const std::vector<NetSession>& sessions) {
  const std::string wanted = to_lower_full(user);
  std::string found;
  for (const NetSession& s : sessions) {
    if (s.computer.empty() || to_lower_full(s.user) != wanted) continue;
    if (found.empty()) {
      found = s.computer;
    } else if (to_lower_full(found) != to_lower_full(s.computer)) {
      return {};
    }
  }
  return found;
}

}  // namespace tw
