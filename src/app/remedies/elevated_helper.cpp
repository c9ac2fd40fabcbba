#include "app/remedies/elevated_helper.h"

#include <objbase.h>
#include <shellapi.h>

namespace tw {

UniqueHandle start_elevated_helper(HWND owner, const std::wstring& exe, const std::wstring& parameters) {
  if (exe.empty()) return UniqueHandle();
  // The shell may use COM for the elevation prompt.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = L"runas";
  info.lpFile = exe.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  const BOOL started = ::ShellExecuteExW(&info);
  UniqueHandle process(started ? info.hProcess : nullptr);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return process;
}

}  // namespace tw
