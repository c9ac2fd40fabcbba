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

// How a message box is shown: MessageBoxW, or a test's stand-in (WindowApi holds it).
using MessageBoxFunction = int(WINAPI*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// Leave to open a box, a menu or a picker: each runs a message loop of its own, so none opens
// while a handler holds the window's state. Only the runner of the window's deferred work,
// which runs once the state is free, makes one, for the work it runs.
class FreeTime {
 public:
  FreeTime(const FreeTime&) = delete;
  FreeTime& operator=(const FreeTime&) = delete;
  HWND owner() const { return owner_; }

 private:
  friend class FreeTimeRunner;
  friend bool confirm(const FreeTime& free, std::string_view text, ConfirmKind kind);
  friend void show_about(const FreeTime& free);
  FreeTime(HWND owner, MessageBoxFunction box) : owner_(owner), box_(box) {}
  HWND owner_;
  MessageBoxFunction box_;
};

// A message box captioned "Tarnwick", owned by the window; true only when the user answered Yes.
bool confirm(const FreeTime& free, std::string_view text, ConfirmKind kind);

// "Tarnwick 0.1.0", the description, the product page and the legal line.
std::string about_text();
void show_about(const FreeTime& free);

}  // namespace tw
