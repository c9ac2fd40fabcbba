#include "support/standin_site.h"

#include "common/handles.h"

namespace tw::test {
namespace {

std::optional<std::wstring> get_env(const wchar_t* name) {
  const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return std::nullopt;
  std::wstring value(n, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), n));
  return value;
}

void put_env(const wchar_t* name, const std::optional<std::wstring>& value) {
  ::SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

}  // namespace

StandInSite::StandInSite()
    : temp_(dir_ / L"my temp\\"), old_root_(get_env(L"SystemRoot")), old_tmp_(get_env(L"TMP")),
      old_temp_(get_env(L"TEMP")) {
  ready_ = make_dir(dir_ / L"System32") && make_dir(dir_ / L"System32\\site") && make_dir(temp_) &&
           ::CopyFileW((program_dir() + L"\\tw_curl.exe").c_str(), (dir_ / L"System32\\curl.exe").c_str(), FALSE);
  put_env(L"SystemRoot", dir_.path());
  put_env(L"TMP", temp_);
  put_env(L"TEMP", temp_);
}

StandInSite::~StandInSite() {
  put_env(L"SystemRoot", old_root_);
  put_env(L"TMP", old_tmp_);
  put_env(L"TEMP", old_temp_);
}

bool StandInSite::serve(std::wstring_view name, std::string_view bytes) const {
  return write_file(dir_ / (L"System32\\site\\" + std::wstring(name)), bytes);
}

bool StandInSite::serve_copy(std::wstring_view name, const std::wstring& source) const {
  return ::CopyFileW(source.c_str(), (dir_ / (L"System32\\site\\" + std::wstring(name))).c_str(), FALSE) != 0;
}

bool StandInSite::fail(std::wstring_view name, int exit_code) const {
  return serve(std::wstring(name) + L".exit", std::to_string(exit_code));
}

void StandInSite::remove_curl() const { ::DeleteFileW((dir_ / L"System32\\curl.exe").c_str()); }

std::vector<std::vector<std::string>> StandInSite::curl_runs() const {
  std::vector<std::vector<std::string>> runs;
  const std::string log = read_file(dir_ / L"System32\\curl-args.bin");
  std::size_t start = 0;
  for (std::size_t end; (end = log.find(std::string_view("\0\n", 2), start)) != std::string::npos; start = end + 2) {
    runs.push_back(split_at_nul(std::string_view(log).substr(start, end + 1 - start)));
  }
  return runs;
}

std::vector<std::string> split_at_nul(std::string_view bytes) {
  std::vector<std::string> pieces;
  for (std::size_t end; (end = bytes.find('\0')) != std::string_view::npos; bytes.remove_prefix(end + 1)) {
    pieces.emplace_back(bytes.substr(0, end));
  }
  return pieces;
}

bool file_exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring test_installer(std::wstring_view name) {
  if (name == L"tw_installer.exe") return program_dir() + L"\\tw_installer.exe";
  return program_dir() + L"\\signed\\" + std::wstring(name);
}

}  // namespace tw::test
