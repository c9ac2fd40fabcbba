#pragma once

// Message boxes: confirmations, refusals, results and the About box.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

enum class ConfirmKind : std::uint8_t {
  Question,     // an action that takes effort to undo: default No
  Warning,      // an action that can lose data: default No
  Information,  // a refusal or a result: OK only
  Offer,        // an offer to take up (an update): default Yes
};

UINT confirm_flags(ConfirmKind kind);

// How a message box is shown: MessageBoxW, or a test's stand-in (WindowPlatform holds it).
using MessageBoxFunction = int(WINAPI*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// A message box captioned "Tarnwick"; true only when the user answered Yes.
bool confirm(HWND owner, std::string_view text, ConfirmKind kind, MessageBoxFunction box = &::MessageBoxW);

// "Tarnwick 0.1.0", the description, the product page and the legal line.
std::string about_text();
void show_about(HWND owner, MessageBoxFunction box = &::MessageBoxW);

}  // namespace tw
