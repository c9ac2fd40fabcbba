#pragma once

// The parts of UI Automation's API the window's provider uses, declared here: some SDKs'
// headers (mingw-w64's) lack them or cannot be included as they are.

#include <windows.h>

#include <oleauto.h>
#include <uiautomationcore.h>

#include <string_view>

#include "app/window/access_tree.h"
#include "common/com_object.h"

namespace tw {

// From uiautomationcoreapi.h and the UI Automation ids.
inline constexpr LPARAM kUiaRootObjectId = -25;
inline constexpr int kUiaAppendRuntimeId = 3;
inline constexpr HRESULT kElementNotAvailable = static_cast<HRESULT>(0x80040201L);
inline constexpr PATTERNID kInvokePattern = 10000;
inline constexpr EVENTID kFocusChangedEvent = 20005;
inline constexpr EVENTID kLiveRegionChangedEvent = 20024;
enum : PROPERTYID {
  kNameProperty = 30005,
  kControlTypeProperty = 30003,
  kAutomationIdProperty = 30011,
  kHasKeyboardFocusProperty = 30008,
  kIsKeyboardFocusableProperty = 30009,
  kIsEnabledProperty = 30010,
  kIsControlElementProperty = 30016,
  kIsContentElementProperty = 30017,
  kIsOffscreenProperty = 30022,
  kFrameworkIdProperty = 30024,
  kIsInvokePatternAvailableProperty = 30031,
  kLiveSettingProperty = 30135,
};
enum : long {
  kButtonControl = 50000,
  kListItemControl = 50007,
  kListControl = 50008,
  kTextControl = 50020,
  kGroupControl = 50026,
  kWindowControl = 50032,
};
inline constexpr long kLivePolite = 1;
// NotificationKind_ActionCompleted; NotificationProcessing_ImportantMostRecent (a newer status
// supersedes one not yet spoken).
inline constexpr int kNotificationActionCompleted = 2, kNotificationImportantMostRecent = 1;

// COM interfaces have no virtual destructor by design (Release destroys).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// IInvokeProvider.
struct InvokeProvider : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};
inline constexpr IID kInvokeProviderIid = {0x54fcb24b, 0xe18e, 0x47a2, {0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75, 0x99, 0xa2}};
template <>
struct ComIid<InvokeProvider> {
  static const IID& value() { return kInvokeProviderIid; }
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// uiautomationcore.dll, loaded once a client asks and never unloaded (its objects may live on).
struct UiaApi {
  LRESULT(WINAPI* return_raw_element_provider)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*) = nullptr;
  HRESULT(WINAPI* host_provider_from_hwnd)(HWND, IRawElementProviderSimple**) = nullptr;
  HRESULT(WINAPI* raise_automation_event)(IRawElementProviderSimple*, EVENTID) = nullptr;
  HRESULT(WINAPI* disconnect_provider)(IRawElementProviderSimple*) = nullptr;
  HRESULT(WINAPI* raise_notification_event)(IRawElementProviderSimple*, int, int, BSTR, BSTR) = nullptr;  // Windows 10 1709
};

// The calls, or nothing when the library or one of the calls every provider needs is missing.
const UiaApi* uia_calls();

// A VARIANT filled in place: the out-parameter UI Automation hands in.
void set_bool(VARIANT* v, bool value);
void set_long(VARIANT* v, long value);
void set_text(VARIANT* v, std::string_view text);

long control_type(AccessRole role);

}  // namespace tw
