#include "app/updater/download.h"

#include <winhttp.h>

#include <algorithm>
#include <utility>
#include <variant>

#include "app/language/catalogue.h"
#include "common/casemap.h"
#include "common/cmdline.h"
#include "common/handles.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/paths.h"

namespace tw {

std::optional<std::wstring> temp_folder() {
  using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
  // Newer systems give processes of other users their own folder through this one.
  static const auto path2 = loaded_function<GetTempPath2>(L"kernel32.dll", "GetTempPath2W");
  const auto query = [](DWORD size, wchar_t* buffer) {
    return path2 != nullptr ? path2(size, buffer) : ::GetTempPathW(size, buffer);
  };
  std::wstring folder(MAX_PATH + 1, L'\0');
  DWORD length = query(static_cast<DWORD>(folder.size()), folder.data());
  if (length >= folder.size()) {  // too small: the length needed, terminator included
    folder.assign(length, L'\0');
    length = query(static_cast<DWORD>(folder.size()), folder.data());
    if (length >= folder.size()) return std::nullopt;
  }
  if (length == 0) return std::nullopt;
  folder.resize(length);
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

std::wstring curl_program() { return join_path(windows_folder(), L"System32\\curl.exe"); }

std::vector<std::wstring> curl_arguments(std::wstring_view output_path, std::wstring_view address,
                                         const CurlOptions& options) {
  // --globoff: the address is taken as it is, its braces and brackets never expanded into
  // other addresses.
  std::vector<std::wstring> args{L"-fsSL", L"--globoff", L"--proto", L"=https", L"--max-time", L"600"};
  if (options.no_revocation_check) args.emplace_back(L"--ssl-no-revoke");
  if (!options.proxy.empty()) args.insert(args.end(), {L"--proxy", options.proxy});
  args.insert(args.end(), {L"-o", std::wstring(output_path), std::wstring(address)});
  return args;
}

std::wstring https_proxy_from(std::wstring_view setting) {
  std::wstring for_all, for_https;
  std::size_t start = 0;
  while (start < setting.size()) {
    const std::size_t end = std::min(setting.find_first_of(L"; \t\r\n", start), setting.size());
    const std::wstring_view entry = setting.substr(start, end - start);
    start = end + 1;
    if (entry.empty()) continue;
    const std::size_t equals = entry.find(L'=');
    if (equals == std::wstring_view::npos) {
      if (for_all.empty()) for_all = entry;
    } else if (equal_ascii_folded(entry.substr(0, equals), std::wstring_view(L"https")) && for_https.empty()) {
      for_https = entry.substr(equals + 1);
    }
  }
  std::wstring proxy = for_https.empty() ? for_all : for_https;
  // A proxy named without its own scheme is spoken to in plain HTTP, as Windows does.
  if (!proxy.empty() && proxy.find(L"://") == std::wstring::npos) proxy.insert(0, L"http://");
  return proxy;
}

std::wstring windows_https_proxy() {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
  std::wstring proxy = config.lpszProxy ? https_proxy_from(config.lpszProxy) : std::wstring();
  // The strings are the caller's to free.
  for (LPWSTR text : {config.lpszAutoConfigUrl, config.lpszProxy, config.lpszProxyBypass}) {
    if (text) ::GlobalFree(text);
  }
  return proxy;
}

namespace {

// One run of curl: its exit code, or the system's error when it could not be run.
std::variant<DWORD, std::string> run_curl(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  // Every argument quoted on its own: an address from the manifest can only ever be the
  // address, never an option or a second file.
  StartResult run = start_program(program, build_command_line(program, arguments), CREATE_NO_WINDOW);
  if (!run.started) return system_error_text(run.error);
  const UniqueHandle& process = run.started->process;
  // curl's own time limit bounds the wait.
  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return system_error_text(::GetLastError());
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code)) return system_error_text(::GetLastError());
  return code;
}

}  // namespace

std::optional<std::string> download_with_curl(std::string_view address, const std::wstring& output_path) {
  const std::wstring program = curl_program();
  const std::wstring wide_address = to_wide(address);
  CurlOptions options;
  options.proxy = windows_https_proxy();
  for (;;) {
    auto outcome = run_curl(program, curl_arguments(output_path, wide_address, options));
    if (auto* failure = std::get_if<std::string>(&outcome)) return std::move(*failure);
    const DWORD code = std::get<DWORD>(outcome);
    if (code == 0) return std::nullopt;
    if (code != kCurlSslConnectError || options.no_revocation_check) return std::string(localized(msg::kDownloadFailed));
    options.no_revocation_check = true;
  }
}

}  // namespace tw
