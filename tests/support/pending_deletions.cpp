#include "support/pending_deletions.h"

#include <windows.h>

namespace tw::test {
namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPending[] = L"PendingFileRenameOperations";

std::wstring unprefixed(const std::wstring& source) { return source.starts_with(L"\\??\\") ? source.substr(4) : source; }

}  // namespace

std::vector<std::wstring> pending_pairs() {
  DWORD bytes = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::wstring data(bytes / sizeof(wchar_t), L'\0');
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, data.data(),
                     &bytes) != ERROR_SUCCESS) {
    return {};
  }
  data.resize(bytes / sizeof(wchar_t));
  // Empty new names make empty strings inside the list, so it is split by pairs, not by
  // its first empty string.
  std::vector<std::wstring> strings;
  std::size_t start = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] != L'\0') continue;
    strings.push_back(data.substr(start, i - start));
    start = i + 1;
  }
  if (strings.size() % 2 != 0) strings.pop_back();  // the list's own terminator
  return strings;
}

std::vector<std::wstring> pending_under(const std::wstring& folder) {
  std::vector<std::wstring> found;
  const std::vector<std::wstring> pairs = pending_pairs();
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    const std::wstring source = unprefixed(pairs[i]);
    if (source.starts_with(folder) && pairs[i + 1].empty()) found.push_back(source);
  }
  return found;
}

void forget_pending_under(const std::wstring& folder) {
  const std::vector<std::wstring> pairs = pending_pairs();
  std::wstring kept;
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (unprefixed(pairs[i]).starts_with(folder)) continue;
    kept += pairs[i] + L'\0' + pairs[i + 1] + L'\0';
  }
  if (kept.empty()) {
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    return;
  }
  kept.push_back(L'\0');
  ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ, kept.data(),
                    static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
}

}  // namespace tw::test
