#include "procs/classify.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "common/casemap.h"
#include "common/win32.h"

namespace tw {
namespace {

// Lower case, as full Unicode lower-casing gives them.
constexpr std::string_view kSystemProcessNames[] = {
    "system", "secure system", "registry", "memory compression", "system idle process",
    "smss.exe", "csrss.exe", "wininit.exe", "winlogon.exe", "services.exe",
    "lsass.exe", "lsaiso.exe", "svchost.exe", "dwm.exe", "fontdrvhost.exe",
    "sihost.exe", "ctfmon.exe", "taskhostw.exe", "spoolsv.exe", "searchindexer.exe",
    "audiodg.exe", "wudfhost.exe", "conhost.exe", "msmpeng.exe", "nissrv.exe",
    "mpdefendercoreservice.exe", "securityhealthservice.exe", "securityhealthsystray.exe", "sgrmbroker.exe",
    "mssense.exe",
};

// Whether `exe_name` (any letter case) is one of the processes Windows itself runs.
bool is_system_process_name(std::string_view exe_name) {
  const std::string lower = to_lower_full(exe_name);
  return std::find(std::begin(kSystemProcessNames), std::end(kSystemProcessNames), lower) !=
         std::end(kSystemProcessNames);
}

}  // namespace

HolderKind classify(std::uint32_t pid, std::string_view exe_name, const std::optional<std::wstring>& image_path,
                    std::optional<std::uint32_t> session, bool is_service) {
  if (pid < 5) return HolderKind::WindowsComponent;  // the idle process (0) and System (4)
  if (is_system_process_name(exe_name)) return HolderKind::WindowsComponent;
  if (is_service || session == 0u) return HolderKind::Service;
  if (to_lower_full(exe_name) == "explorer.exe") {
    if (!image_path) return HolderKind::FileExplorer;
    const std::wstring_view path = *image_path;
    const std::size_t slash = path.find_last_of(L'\\');
    const std::wstring_view parent = slash == std::wstring_view::npos ? std::wstring_view() : path.substr(0, slash);
    // A copy of explorer.exe anywhere else is somebody's program, not the shell. A trailing
    // backslash in SystemRoot would otherwise hide the real one.
    const std::wstring root = windows_folder();
    if (!parent.empty() && equal_ascii_folded(parent, without_trailing_backslashes(root))) {
      return HolderKind::FileExplorer;
    }
  }
  return HolderKind::Program;
}

}  // namespace tw
