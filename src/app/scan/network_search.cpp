#include "app/scan/network_search.h"

#include <algorithm>
#include <set>

#include "common/handles.h"
#include "discovery/file_identity.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

struct Share {
  std::wstring path;      // as the server was told it
  std::wstring resolved;  // as the file system names it now
  std::vector<std::size_t> targets;  // the targets it overlaps
};

std::wstring resolved_spelling(const std::wstring& path) {
  if (const UniqueHandle file = open_for_identity(exact_path(path))) {
    if (auto name = final_path_name(file.get())) return strip_long_prefix(std::wstring_view(*name));
  }
  return path;
}

std::vector<Share> overlapping_shares(const std::vector<std::wstring>& folders,
                                      const std::vector<std::vector<std::string>>& target_keys) {
  std::vector<Share> shares;
  for (const std::wstring& folder : folders) {
    Share share{folder, resolved_spelling(folder), {}};
    const std::string keys[] = {path_key(std::wstring_view(share.path)), path_key(std::wstring_view(share.resolved))};
    for (std::size_t i = 0; i < target_keys.size(); ++i) {
      const bool touches = std::any_of(std::begin(keys), std::end(keys), [&](const std::string& k) {
        return std::any_of(target_keys[i].begin(), target_keys[i].end(),
                           [&](const std::string& t) { return share_touches(k, t); });
      });
      if (touches) share.targets.push_back(i);
    }
    if (!share.targets.empty()) shares.push_back(std::move(share));
  }
  return shares;
}

Holder network_holder(const NetworkOpen& open, std::wstring path) {
  Holder h;
  h.kind = HolderKind::NetworkOpen;
  h.pid = open.id;
  h.title = open.user;
  h.files = {std::move(path)};
  h.remote = RemoteOpener{open.user, {}, open.permissions, open.locks};
  return h;
}

}  // namespace

NetworkFindings find_network_opens(const std::vector<Target>& targets, const NetworkOpensApi& api) {
  NetworkFindings found;
  found.unseen.assign(targets.size(), false);
  const std::vector<std::wstring> folders = api.shared_folders();
  if (folders.empty()) return found;
  std::vector<std::vector<std::string>> target_keys;
  std::vector<std::string> resolved_keys, all_keys;
  for (const Target& t : targets) {
    resolved_keys.push_back(resolved_key(t));
    target_keys.push_back({literal_key(t), resolved_keys.back()});
    all_keys.insert(all_keys.end(), target_keys.back().begin(), target_keys.back().end());
  }
  const KeyIndex index(all_keys);
  std::set<std::uint32_t> seen;
  for (const Share& share : overlapping_shares(folders, target_keys)) {
    const NetworkOpenList list = api.file_opens(share.path);
    if (list.answer == NetAnswer::AccessDenied) {
      for (const std::size_t i : share.targets) found.unseen[i] = true;
    }
    for (const NetworkOpen& open : list.opens) {
      const std::wstring path = respell_under(open.path, share.path, share.resolved).value_or(open.path);
      if (!index.find(path_key(std::wstring_view(path))) || !seen.insert(open.id).second) continue;
      found.holders.push_back(network_holder(open, spell_as_target(path, targets, resolved_keys)));
    }
  }
  if (!found.holders.empty()) {
    const std::vector<NetSession> sessions = api.sessions();
    for (Holder& h : found.holders) h.remote.computer = computer_of(h.remote.user, sessions);
  }
  return found;
}

}  // namespace tw
