#include "app/cli/cli_network.h"

#include "common/text.h"

namespace tw {
namespace {

// PERM_FILE_READ, PERM_FILE_WRITE and PERM_FILE_CREATE, by fixed names for scripts.
nlohmann::json permission_names(std::uint32_t permissions) {
  nlohmann::json names = nlohmann::json::array();
  if (permissions & 1) names.push_back("read");
  if (permissions & 2) names.push_back("write");
  if (permissions & 4) names.push_back("create");
  return names;
}

}  // namespace

void add_network_open_fields(nlohmann::ordered_json& holder, const Holder& h) {
  holder["id"] = h.pid;
  holder["user"] = h.remote.user;
  holder["computer"] = h.remote.computer.empty() ? nlohmann::json(nullptr) : nlohmann::json(h.remote.computer);
  holder["path"] = h.files.empty() ? nlohmann::json(nullptr) : nlohmann::json(to_utf8(h.files.front()));
  holder["permissions"] = permission_names(h.remote.permissions);
  holder["locks"] = h.remote.locks;
}

}  // namespace tw
