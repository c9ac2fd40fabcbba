#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/window/view.h"

namespace tw {

// What an element is to a screen reader.
enum class AccessRole : std::uint8_t { Button, List, ListItem, Text, Group };

inline constexpr std::size_t kTopLevel = static_cast<std::size_t>(-1);

// One element of the window as assistive technology sees it, made from the same layout that
// paints and hit-tests.
struct AccessNode {
  std::string id;  // the same for as long as the element lasts; a row's follows its program
  AccessRole role = AccessRole::Text;
  std::string name;
  std::optional<RectF> box;        // client coordinates
  std::size_t parent = kTopLevel;  // index of the parent in the list, or a child of the window
  Hit hit;                         // buttons: what invoking clicks; rows: what focusing focuses
  bool offscreen = false;          // scrolled out of view (or under the header or footer)
  bool live = false;               // its changes are announced
  friend bool operator==(const AccessNode&, const AccessNode&) = default;
};

// The elements in reading order, each after its parent: the header's buttons; then the empty
// view's texts and buttons, or the target card, the headline and explanation, the list of
// holders (each row, named with its program, state and what it holds, with its buttons) and
// the hints; the footer's buttons; the notice. `layout` must have every row laid out.
std::vector<AccessNode> access_tree(const Layout& layout, const WindowState& state);

// The live nodes of `after` whose text is new since `before`: what is said aloud without the
// focus moving (the end of a search, a notice).
std::vector<std::size_t> changed_live_nodes(const std::vector<AccessNode>& before, const std::vector<AccessNode>& after);

// The node the focus is on; none when the focus is on nothing the tree has.
std::optional<std::size_t> focused_node(const std::vector<AccessNode>& nodes, const WindowState& state);

}  // namespace tw
