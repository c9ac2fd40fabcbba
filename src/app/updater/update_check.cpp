#include "app/updater/update_check.h"

#include <algorithm>
#include <utility>

#include "app/language/catalogue.h"
#include "app/system/messages.h"
#include "app/updater/download.h"
#include "common/handles.h"
#include "common/slot.h"
#include "common/text.h"
#include "common/thread.h"
#include "common/win32.h"

namespace tw {
namespace {

Slot<CheckResult>& check_slot() {
  static Slot<CheckResult> slot;
  return slot;
}

// The file's first `limit` bytes, or the system's error code.
DWORD read_file_start(const std::wstring& path, std::size_t limit, std::string& bytes) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ::GetLastError();
  bytes.clear();
  char buffer[64 * 1024];
  while (bytes.size() < limit) {
    const DWORD wanted = static_cast<DWORD>(std::min(sizeof buffer, limit - bytes.size()));
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, wanted, &read, nullptr)) return ::GetLastError();
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  return 0;
}

}  // namespace

void check_for_update(HWND window, bool manual) {
  CheckResult result;
  if (const std::optional<std::wstring> folder = temp_folder(); !folder) {
    result = failed_check(system_error_text(::GetLastError()), manual);
  } else {
    const std::wstring path = *folder + L"update.json";
    std::string bytes;  // one byte more than a manifest may have is enough to refuse a larger file
    if (std::optional<std::string> failure = download_with_curl(manifest_address(current_language()), path)) {
      result = failed_check(std::move(*failure), manual);
    } else if (const DWORD error = read_file_start(path, kMaxManifestBytes + 1, bytes); error != 0) {
      result = failed_check(system_error_text(error), manual);
    } else {
      // Kept only when it could not be read, or was a manifest's size but not text.
      if (bytes.size() > kMaxManifestBytes || is_valid_utf8(bytes)) {
        static_cast<void>(::DeleteFileW(path.c_str()));  // a leftover does no harm
      }
      result = check_result_of(bytes, manual);
    }
  }
  store_check_result(std::move(result));
  static_cast<void>(::PostMessageW(window, kMsgUpdateChecked, 0, 0));  // a window that is gone wants nothing
}

bool start_check_for_update(HWND window, bool manual) {
  return start_detached_thread([window, manual] { check_for_update(window, manual); });
}

void store_check_result(CheckResult result) { check_slot().store(std::move(result)); }

std::optional<CheckResult> take_check_result() { return check_slot().take(); }

}  // namespace tw
