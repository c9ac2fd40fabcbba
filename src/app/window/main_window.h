#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

#include "app/window/accessibility.h"
#include "app/window/message_boxes.h"
#include "app/window/window_state.h"
#include "gfx/gfx.h"
#include "gfx/icons.h"

namespace tw {

inline constexpr wchar_t kMainWindowClass[] = L"Tarnwick.Main";

// The system colours while a high-contrast theme is on; nothing otherwise.
std::optional<SystemColors> read_high_contrast();

// Whether Windows is set to show keyboard cues at all times.
bool keyboard_cues_always();

// The calls of the window that tests replace: every message box goes through `message_box`,
// targets are asked whether they are folders through `is_folder` as they come in, and the
// high-contrast theme is read through `high_contrast`.
struct WindowPlatform {
  MessageBoxFunction message_box = &::MessageBoxW;
  FolderTest is_folder = &target_is_folder;
  std::optional<SystemColors> (*high_contrast)() = &read_high_contrast;
};

// What the window procedure owns: the state, and the drawing layer when there is one.
struct MainWindow {
  WindowState state;
  WindowPlatform platform;
  std::optional<Gfx> gfx;
  IconCache icons;  // bitmaps belong to the layer: emptied whenever it changes
  ClientSize layer_size;  // the client size the layer's buffers were last made for
  std::shared_ptr<AccessProvider> access;  // once a UI Automation client has asked
};

// Hands the main window its state; from then on the window procedure has it. Main thread.
void install_main_window(std::unique_ptr<MainWindow> window);
bool has_main_window();

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// After the rows changed (a remedy started or ended, a result came): keeps the keyboard focus
// on what it was on, its row, or what came next, and tells screen readers when it moved.
void settle_focus(MainWindow& w);

// Stops the running search, if one can be stopped; the focus goes on from Stop.
void stop_search(MainWindow& w);

// Makes the window answer kMsgProbe; only developer builds call it.
void enable_window_probe();

// Leaves `body` to run once the current handler has let go of the state: message boxes,
// menus and pickers run message loops of their own and must not be opened while it is held.
// The body gets the main window's handle and its platform calls. Main thread only.
using FreeWork = std::function<void(HWND, const WindowPlatform&)>;
void defer_while_free(FreeWork body);

// Lends the state to `act` when no handler holds it; false (and `act` not run) otherwise,
// or when the window is gone.
bool with_main_window(const std::function<void(MainWindow&)>& act);

// Operations other parts of the program start from the window's thread.
void start_window_scan(MainWindow& w, bool deep);
void set_window_targets(MainWindow& w, std::span<const Target> paths, bool merge);
void show_notice(MainWindow& w, std::string text);

}  // namespace tw
