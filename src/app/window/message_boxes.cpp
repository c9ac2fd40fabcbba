#include "app/window/message_boxes.h"

#include "app/language/catalogue.h"
#include "common/text.h"
#include "version.h"

namespace tw {
namespace {

int message_box(MessageBoxFunction box, HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  return box(owner, to_wide(text).c_str(), to_wide(caption).c_str(), flags);
}

}  // namespace

UINT confirm_flags(ConfirmKind kind) {
  switch (kind) {
    case ConfirmKind::Question:
      return MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
    case ConfirmKind::Warning:
      return MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;
    case ConfirmKind::Information:
      return MB_OK | MB_ICONINFORMATION;
    case ConfirmKind::Offer:
      return MB_YESNO | MB_ICONINFORMATION;
  }
  return MB_OK | MB_ICONINFORMATION;
}

bool confirm(const FreeTime& free, std::string_view text, ConfirmKind kind) {
  return message_box(free.box_, free.owner_, text, "Tarnwick", confirm_flags(kind)) == IDYES;
}

std::string about_text() {
  std::string text = "Tarnwick " TW_VERSION_TEXT "\n\n";
  text += localized(msg::kAboutText);
  text += "\n\n" TW_MAKER_URL "tarnwick/\n";
  text += "Copyright © 2026 " TW_MAKER_NAME ". All rights reserved.";
  return text;
}

void show_about(const FreeTime& free) {
  static_cast<void>(message_box(free.box_, free.owner_, about_text(), localized(msg::kAbout), MB_OK | MB_ICONINFORMATION));
}

}  // namespace tw
