#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"

namespace tw::test {

// A manifest for version 0.2.0 with this digest and any further members (",\"size\":5").
inline constexpr char kDigest[] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
inline std::string manifest_with(std::string_view members) {
  return R"({"version":"0.2.0","url":"https://dl.example/Setup.exe","sha256":")" + std::string(kDigest) + "\"" +
         std::string(members) + "}";
}

// The web as the update code sees it in a test: the stand-in curl.exe under a temporary
// SystemRoot, answering from files the test puts here, and a temporary folder of this
// process's own (TMP, with a space in its name). Both are set for this process only and
// put back when the object goes.
class StandInSite {
 public:
  StandInSite();
  ~StandInSite();
  StandInSite(const StandInSite&) = delete;
  StandInSite& operator=(const StandInSite&) = delete;

  bool ready() const { return ready_; }
  // The address's last path segment is what the stand-in looks for.
  bool serve(std::wstring_view name, std::string_view bytes) const;
  bool serve_copy(std::wstring_view name, const std::wstring& source) const;
  bool fail(std::wstring_view name, int exit_code) const;
  void remove_curl() const;

  // The argument lists curl.exe was started with, oldest first.
  std::vector<std::vector<std::string>> curl_runs() const;
  // The temporary folder the code under test sees, ending in a backslash.
  const std::wstring& temp() const { return temp_; }

 private:
  TempDir dir_;
  std::wstring temp_;
  std::optional<std::wstring> old_root_, old_tmp_, old_temp_;
  bool ready_ = false;
};

// NUL-terminated pieces.
std::vector<std::string> split_at_nul(std::string_view bytes);
bool file_exists(const std::wstring& path);
// A copy of the stand-in installer signed at test time (signed.exe, signed-no-stop.exe,
// signed-other-case.exe), or the unsigned stand-in itself (tw_installer.exe).
std::wstring test_installer(std::wstring_view name);

}  // namespace tw::test
