#include "app/window/update_prompts.h"

#include <utility>

#include "app/language/catalogue.h"
#include "app/system/machine_install.h"
#include "app/system/settings.h"
#include "app/updater/manifest.h"
#include "app/updater/update_check.h"
#include "app/updater/update_install.h"
#include "app/window/message_boxes.h"
#include "common/win32.h"

namespace tw {

std::string offer_text(std::string_view offered_version) {
  std::string text(localized(msg::kNewVersionAvailable));
  text += ' ';
  text += offered_version;
  text += "\n(";
  text += localized(msg::kCurrentVersion);
  text += ' ';
  text += kCurrentVersion;
  text += ")\n\n";
  text += localized(msg::kUpdateNow);
  return text;
}

void start_update_check(MainWindow& w, bool manual) {
  if (manual) show_notice(w, std::string(localized(msg::kCheckingForUpdates)));
  const HWND window = w.state.window;
  // Without a thread there is no check; the next one may fare better.
  static_cast<void>(start_check_for_update(window, manual));
}

void run_automatic_update_check(MainWindow& w) {
  FILETIME now_time{};
  ::GetSystemTimePreciseAsFileTime(&now_time);
  const std::uint64_t now = unix_seconds(now_time);
  const std::uint64_t last = parse_last_update_check(read_string_setting(kSettingsKey, kValueLastUpdateCheck));
  const auto auto_update = effective_auto_update(auto_update_policy(), read_dword_setting(kValueAutoUpdate));
  if (!automatic_check_due(auto_update, now, last)) return;
  // Stamped before the check, so a check that fails is not repeated within the day.
  write_string_setting(kSettingsKey, kValueLastUpdateCheck, std::to_string(now));
  start_update_check(w, false);
}

void on_update_checked(MainWindow& w) {
  std::optional<CheckResult> result = take_check_result();
  if (!result) return;
  switch (result->outcome) {
    case CheckOutcome::Available:
      // The offer is a message box: it waits until the state is free.
      defer_while_free([manifest = std::move(result->manifest)](const FreeTime& free) {
        if (!confirm(free, offer_text(manifest.version), ConfirmKind::Offer)) return;
        const bool started = start_update_download(manifest, free.owner());
        with_main_window([started](MainWindow& window) {
          show_notice(window, std::string(localized(started ? msg::kDownloadingUpdate : msg::kDownloadFailed)));
        });
      });
      return;
    case CheckOutcome::UpToDate:
      if (result->manual) show_notice(w, std::string(localized(msg::kUpToDate)) + " (" + kCurrentVersion + ")");
      return;
    case CheckOutcome::Failed:
      if (result->manual) show_notice(w, std::move(result->failure));
      return;
  }
}

void on_download_finished(MainWindow& w) {
  std::optional<DownloadResult> result = take_download_result();
  if (!result) return;
  if (!result->ready) {
    show_notice(w, std::move(result->failure));
    return;
  }
  // The installer replaces this program's files, so the window goes without further ado;
  // closing it the usual way would also save its placement.
  // Not started: saying why beats the window simply staying. The result holds the installer
  // against changes until it has been started: what runs is what was checked.
  if (const DWORD error = run_installer(result->path); error != 0) {
    show_notice(w, system_error_text(error));
  } else {
    ::DestroyWindow(w.state.window);
  }
}

}  // namespace tw
