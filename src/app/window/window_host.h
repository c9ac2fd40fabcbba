#pragma once

// The window's host: the state and its borrow, work left for when the state is free,
// messages held while it is borrowed, and the operations every part of the window starts
// (a search, new targets, a notice). The message handlers sit above it and the parts they
// use between; nothing here knows a handler by name.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/remedies/eject.h"
#include "app/remedies/process_remedies.h"
#include "app/remedies/services.h"
#include "app/window/accessibility.h"
#include "app/window/message_boxes.h"
#include "app/window/window_state.h"
#include "gfx/gfx.h"
#include "gfx/icons.h"

namespace tw {

// The system colours while a high-contrast theme is on; nothing otherwise.
std::optional<SystemColors> read_high_contrast();

// Whether Windows is set to show keyboard cues at all times.
bool keyboard_cues_always();

// The calls of the window that tests replace: every message box goes through `message_box`,
// targets are asked whether they are folders through `is_folder` as they come in, the
// high-contrast theme is read through `high_contrast`, and drives are asked about and ejected
// through `eject` (under Wine no drive is removable).
struct WindowApi {
  MessageBoxFunction message_box = &::MessageBoxW;
  IsFolderFn is_folder = &target_is_folder;
  std::optional<SystemColors> (*high_contrast)() = &read_high_contrast;
  EjectApi eject{};
  ServiceApi services{};
  CloseOpenFn close_open = &server_close_open;  // Disconnect
};

// What the window procedure owns: the state, and the drawing layer when there is one.
struct MainWindow {
  WindowState state;
  WindowApi platform;
  std::optional<Gfx> gfx;
  IconCache icons;  // bitmaps belong to the layer: emptied whenever it changes
  ClientSize layer_size;  // the client size the layer's buffers were last made for
  std::shared_ptr<AccessProvider> access;  // once a UI Automation client has asked
};

// Hands the main window its state; from then on the window procedure has it. Main thread.
void install_main_window(std::unique_ptr<MainWindow> window);
bool has_main_window();

// What a handler answers, or kDefault when the system's default handling is (also) due,
// which runs once the state is free again.
using Answer = std::optional<LRESULT>;
inline constexpr Answer kHandled = 0;
inline constexpr Answer kDefault = std::nullopt;

// How a message that arrives while the state is borrowed waits for it, with copies of
// whatever its parameters point to (gone once its sender returns).
enum class Held : std::uint8_t {
  InTurn,         // every one, in order
  Latest,         // only the latest matters: it replaces one still waiting
  LatestPainted,  // validated at once, or Windows keeps asking; painted in full later
  LatestRect,     // with a copy of the RECT lParam points to
  HandOver,       // a hand-over's text copied, and its sender answered at once
};

// One message the window handles with its state.
struct MessageRow {
  UINT id = 0;
  Answer (*handler)(MainWindow&, WPARAM, LPARAM) = nullptr;
  Held held = Held::InTurn;
};

// The window procedure's part for messages that need the state: a message of `table` is
// handled with it, or held while it is borrowed; any other goes to DefWindowProcW. Then,
// once the state is free, what was held is replayed through the window's own procedure and
// the deferred work runs.
LRESULT dispatch_with_state(std::span<const MessageRow> table, HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam);

// Leaves `body` to run once the current handler has let go of the state: message boxes,
// menus and pickers run message loops of their own and must not be opened while it is held.
// The body gets the FreeTime that boxes, menus and pickers need, owned by the main window and
// showing boxes through its platform's call. Main thread only.
using FreeWork = std::function<void(const FreeTime&)>;
void defer_while_free(FreeWork body);

// Lends the state to `act` when no handler holds it; false (and `act` not run) otherwise,
// or when the window is gone.
bool with_main_window(const std::function<void(MainWindow&)>& act);

// UI Automation asks from inside any call, so its provider is reached whether the state is
// borrowed or not; made on request. Nothing when `window` has no state (or none could be made).
std::shared_ptr<AccessProvider> window_access(HWND window, bool make);

// The window is being destroyed: the state goes now, or when the handler holding it lets go.
void end_main_window();

// Operations other parts of the program start from the window's thread.
void start_window_scan(MainWindow& w, bool deep);
void set_window_targets(MainWindow& w, std::span<const Target> paths, bool merge);
void show_notice(MainWindow& w, std::string text);

}  // namespace tw
