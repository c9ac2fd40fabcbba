// Test helper standing in for curl.exe, which Windows has and Wine has not. A test copies
// it to <folder>\System32\curl.exe and makes <folder> the SystemRoot of the code under test.
//
// Every run appends its arguments to "curl-args.bin" beside itself: each argument in UTF-8
// followed by a NUL, then a line feed after the run. It answers the address (its last
// argument) from the "site" folder beside itself: the file named like the address's last
// path segment, query left off, is copied to the path after "-o". When "<name>.exit" exists
// instead, it exits with the number in it and writes nothing; an address without a file
// exits with 22, curl's code for an HTTP error. When "<name>.revocation" exists, it fails as
// Windows' curl does when the revocation server cannot be reached (35) unless told
// "--ssl-no-revoke".
#include <windows.h>

#include <string>

#include "common/handles.h"
#include "common/text.h"

namespace {

std::wstring own_folder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

void append(const std::wstring& path, const std::string& bytes) {
  tw::UniqueHandle file(
      ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string read_all(const std::wstring& path) {
  tw::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring folder = own_folder();
  std::string record;
  std::wstring output;
  bool no_revoke = false;
  for (int i = 1; i < argc; ++i) {
    record += tw::to_utf8(argv[i]);
    record += '\0';
    if (std::wstring(argv[i]) == L"-o" && i + 1 < argc) output = argv[i + 1];
    if (std::wstring(argv[i]) == L"--ssl-no-revoke") no_revoke = true;
  }
  append(folder + L"curl-args.bin", record + "\n");
  if (argc < 2 || output.empty()) return 2;

  std::wstring name = argv[argc - 1];
  name = name.substr(0, name.find(L'?'));
  name = name.substr(name.rfind(L'/') + 1);
  const std::wstring served = folder + L"site\\" + name;
  if (!no_revoke && ::GetFileAttributesW((served + L".revocation").c_str()) != INVALID_FILE_ATTRIBUTES) return 35;
  if (::GetFileAttributesW((served + L".exit").c_str()) != INVALID_FILE_ATTRIBUTES) {
    return std::stoi(read_all(served + L".exit"));
  }
  if (name.empty() || !::CopyFileW(served.c_str(), output.c_str(), FALSE)) return 22;
  return 0;
}
