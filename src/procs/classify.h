#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/win32.h"

namespace tw {

// What kind of holder a process is; decides which remedies its row offers.
enum class HolderKind : std::uint8_t {
  Program = 0,           // can be asked to close or be ended
  FileExplorer = 1,      // the shell: restarted instead of closed
  Service = 2,           // a service or a session-0 process: not ended from here
  WindowsComponent = 3,  // part of Windows: not ended from here
  NetworkOpen = 4,       // a file another computer opened in a shared folder: disconnected
};

// Classifies a process from its identifier, executable file name, image path, session and
// the Restart Manager's service flag. The Restart Manager's "critical" flag is the caller's
// to apply.
HolderKind classify(std::uint32_t pid, std::string_view exe_name, const std::optional<std::wstring>& image_path,
                    std::optional<std::uint32_t> session, bool is_service);

}  // namespace tw
