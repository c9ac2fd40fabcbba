#include "app/window/window_focus.h"

#include <vector>

#include "app/system/explorer_entry.h"
#include "app/window/access_tree.h"

namespace tw {

void repaint(const MainWindow& w) { ::InvalidateRect(w.state.window, nullptr, FALSE); }

ViewSize view_size(const MainWindow& w) {
  RECT client{};
  ::GetClientRect(w.state.window, &client);
  return ViewSize{static_cast<float>(client.right - client.left), static_cast<float>(client.bottom - client.top),
                  dpi_scale(w.state.dpi)};
}

Layout current_layout(const MainWindow& w, RowsLaidOut rows) {
  const TextMetrics metrics = w.gfx ? layer_metrics(*w.gfx) : fixed_metrics();
  // The empty view's tip depends on the File Explorer entry, checked whenever it is shown.
  const bool installed = shows_empty_view(w.state) && is_explorer_menu_installed();
  return layout_view(w.state, view_size(w), metrics, installed, rows);
}

void refresh_access(MainWindow& w) {
  if (!w.access) return;
  const Layout layout = current_layout(w, RowsLaidOut::All);
  std::vector<AccessNode> nodes = access_tree(layout, w.state);
  const std::optional<std::size_t> focused = focused_node(nodes, w.state);
  POINT origin{0, 0};
  ::ClientToScreen(w.state.window, &origin);
  update_access_tree(*w.access, std::move(nodes), focused, origin);
}

void show_focused(MainWindow& w) {
  WindowState& s = w.state;
  const Layout layout = current_layout(w);
  if (s.focus && in_row(s.focus->hit.kind) && s.focus->hit.row < s.rows.size()) {
    const float top = layout.rows_top + static_cast<float>(s.focus->hit.row) * layout.row_pitch;
    const float bottom = top + layout.row_pitch;
    s.scroll = scroll_to_show(s.scroll, top, bottom, layout.header_height, layout.size.height - layout.footer_height,
                              max_scroll(layout, s));
  }
  repaint(w);
  if (w.access) {
    refresh_access(w);
    announce_focus(*w.access);
  }
}

void settle_focus(MainWindow& w) {
  WindowState& s = w.state;
  const std::optional<Focus> was = s.focus;
  refocus_rows(s, focus_ids(s, focus_order(current_layout(w), s)));
  if (!s.focus) return;
  const bool moved = !was || was->hit.kind != s.focus->hit.kind || was->pid != s.focus->pid ||
                     was->start_time != s.focus->start_time;
  if (moved) show_focused(w);
}

void stop_search(MainWindow& w) {
  if (!stop_scan(w.state)) return;
  settle_focus(w);  // Stop itself goes until the result comes
  repaint(w);
}

}  // namespace tw
