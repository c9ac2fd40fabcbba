#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw {

// One process the Restart Manager named for a slice of the file list: what the holders of a
// scan are made from (the Restart Manager query fills it in).
struct RmFinding {
  std::optional<std::wstring> file;  // set when the slice was exactly this one file
  std::string app_name;              // strAppName up to its first NUL
  std::string service_name;          // strServiceShortName up to its first NUL; empty if no service
  std::uint64_t start_time = 0;      // process creation time, 100-ns units since 1601
  std::uint32_t pid = 0;
  std::uint32_t session_id = 0;
  bool is_service = false;   // ApplicationType RmService
  bool is_critical = false;  // ApplicationType RmCritical
};

}  // namespace tw
