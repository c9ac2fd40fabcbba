#include "app/window/uia_shim.h"

#include <string>

#include "common/text.h"

namespace tw {
namespace {

template <class F>
void find(HMODULE module, const char* name, F& function) {
  function = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

const UiaApi* uia_calls() {
  static const UiaApi calls = [] {
    UiaApi c;
    const HMODULE module = ::LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return c;
    find(module, "UiaReturnRawElementProvider", c.return_raw_element_provider);
    find(module, "UiaHostProviderFromHwnd", c.host_provider_from_hwnd);
    find(module, "UiaRaiseAutomationEvent", c.raise_automation_event);
    find(module, "UiaDisconnectProvider", c.disconnect_provider);
    find(module, "UiaRaiseNotificationEvent", c.raise_notification_event);
    return c;
  }();
  return calls.return_raw_element_provider && calls.host_provider_from_hwnd ? &calls : nullptr;
}

void set_bool(VARIANT* v, bool value) {
  v->vt = VT_BOOL;
  v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}
void set_long(VARIANT* v, long value) {
  v->vt = VT_I4;
  v->lVal = value;
}
void set_text(VARIANT* v, std::string_view text) {
  const std::wstring wide = to_wide(text);
  v->vt = VT_BSTR;
  v->bstrVal = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

long control_type(AccessRole role) {
  switch (role) {
    case AccessRole::Button:
      return kButtonControl;
    case AccessRole::List:
      return kListControl;
    case AccessRole::ListItem:
      return kListItemControl;
    case AccessRole::Group:
      return kGroupControl;
    case AccessRole::Text:
      break;
  }
  return kTextControl;
}

}  // namespace tw
