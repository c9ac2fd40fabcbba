#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/window/access_tree.h"

struct IRawElementProviderSimple;

namespace tw {

// What a screen reader asked the window to do, carried out on the window's thread.
enum class AccessRequestKind : std::uint8_t { Invoke, Focus };
struct AccessRequest {
  AccessRequestKind kind = AccessRequestKind::Invoke;
  std::string id;  // the element's, looked up again when the request is carried out
};

// The window's UI Automation provider: a fragment root for the window and an element for each
// node of the accessible tree. UI Automation calls it on threads of its own, so it keeps its
// own copy of the tree; the window's thread replaces that copy whenever the view changes.
// It is made on the first WM_GETOBJECT: a window no client asks about pays nothing.
class AccessProvider;

// Made for `window` when uiautomationcore.dll is there; nothing otherwise.
std::shared_ptr<AccessProvider> make_access_provider(HWND window);

// The answer to WM_GETOBJECT for UI Automation's root object id; 0 for other ids.
LRESULT answer_get_object(AccessProvider& provider, WPARAM wparam, LPARAM lparam);
bool is_automation_request(LPARAM lparam);

// Replaces the provider's tree. Elements no longer in it are disconnected first, so a client
// that still holds one gets an error, not stale answers. Announces a changed headline or
// notice (a search ended, a remedy's outcome) without moving the focus.
void update_access_tree(AccessProvider& provider, std::vector<AccessNode> nodes, std::optional<std::size_t> focused,
                        POINT client_origin);

// The window moved: boxes are reported from its client area's new screen position.
void move_access_tree(AccessProvider& provider, POINT client_origin);

// The window's new title, as the window's thread set it; the root's name answers from it.
void set_access_title(AccessProvider& provider, std::wstring_view title);

// Tells clients that the keyboard focus moved to the tree's focused node.
void announce_focus(AccessProvider& provider);

// What clients asked for since the last call; the window posts itself kMsgAccessRequest
// when there is something.
std::vector<AccessRequest> take_access_requests(AccessProvider& provider);

// The window is going: every element is disconnected and the window tells UI Automation.
void close_access_provider(AccessProvider& provider);

// For tests in this process: the root, as a client would reach it.
IRawElementProviderSimple* access_root(AccessProvider& provider);

}  // namespace tw
