#include "support/temp_dir.h"

#include <windows.h>

#include <atomic>

#include "common/handles.h"

namespace tw::test {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, base);
  for (;;) {
    path_ = std::wstring(base) + L"tw-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++);
    if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

TempDir::~TempDir() { remove_tree(path_); }

std::wstring TempDir::operator/(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }

bool write_file(const std::wstring& path, std::string_view content) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return content.empty() ||
         (::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
          written == content.size());
}

bool make_dir(const std::wstring& path) { return ::CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool set_read_only(const std::wstring& path) {
  return ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
}

void remove_tree(const std::wstring& given) {
  // Verbatim, so that names such as "con" or "trail." go too.
  const std::wstring path = given.starts_with(L"\\\\?\\") ? given : L"\\\\?\\" + given;
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (find) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        remove_tree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find.get(), &data));
  }
  find.reset();
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryW(path.c_str());
}

std::wstring program_dir() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(n);
  return buffer.substr(0, buffer.find_last_of(L'\\'));
}

std::string read_file(const std::wstring& path) {
  std::string text;
  const UniqueHandle f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  if (!f) return text;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(f.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
  return text;
}

std::wstring link_fixtures_dir() { return program_dir() + L"\\link-fixtures"; }

bool write_file_exactly(const std::wstring& folder, std::wstring_view name) {
  return write_file(L"\\\\?\\" + folder + L"\\" + std::wstring(name));
}

}  // namespace tw::test
