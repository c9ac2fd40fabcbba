#include "app/window/access_tree.h"

#include <algorithm>

#include "app/language/catalogue.h"

namespace tw {
namespace {

const char* button_id(HitKind kind) {
  switch (kind) {
    case HitKind::MenuButton:
      return "menu";
    case HitKind::Rescan:
      return "rescan";
    case HitKind::AddButton:
      return "add";
    case HitKind::DeepSearch:
      return "deep";
    case HitKind::SearchAsAdmin:
      return "admin";
    case HitKind::ChooseFiles:
      return "files";
    case HitKind::ChooseFolder:
      return "folder";
    case HitKind::RowClose:
      return "close";
    case HitKind::RowForceQuit:
      return "force";
    case HitKind::RowRestartExplorer:
      return "restart";
    case HitKind::RowStopService:
      return "stop-service";
    case HitKind::RowDisconnect:
      return "disconnect";
    case HitKind::RowReleaseFile:
      return "release";
    case HitKind::RecycleBin:
      return "recycle";
    case HitKind::DeleteOnRestart:
      return "delete";
    case HitKind::StopSearch:
      return "stop";
    case HitKind::Eject:
      return "eject";
    case HitKind::Row:
    case HitKind::Nothing:
      break;
  }
  return "";
}

// A button's name: its label, or for the icon buttons what they do.
std::string button_name(const ViewElement& e) {
  switch (e.hit.kind) {
    case HitKind::MenuButton:
      return std::string(localized(msg::kMenuButtonName));
    case HitKind::Rescan:
      return std::string(localized(msg::kRescanButtonName));
    case HitKind::AddButton:
      return std::string(localized(msg::kAddButtonName));
    default:
      return e.label;
  }
}

// The busy dots are animation, not words.
std::string without_dots(std::string text) {
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

std::string row_id(const Holder& h) { return "row/" + std::to_string(h.pid) + "/" + std::to_string(h.start_time); }

struct TreeBuilder {
  const Layout& l;
  const WindowState& s;
  std::vector<AccessNode> out;

  RectF scrolled(const RectF& b) const { return RectF{b.x, b.y - s.scroll, b.width, b.height}; }
  bool hidden(const RectF& client) const {
    return client.y + client.height <= l.header_height || client.y >= l.size.height - l.footer_height;
  }

  std::size_t add(std::string id, AccessRole role, std::string name, std::optional<RectF> box,
                  std::size_t parent = kTopLevel, Hit hit = {}, bool offscreen = false, bool live = false) {
    out.push_back(AccessNode{std::move(id), role, std::move(name), box, parent, hit, offscreen, live});
    return out.size() - 1;
  }

  void buttons(const std::vector<ViewElement>& elements, const char* prefix, bool scrolls,
               std::size_t parent = kTopLevel) {
    std::vector<const ViewElement*> sorted;
    for (const ViewElement& e : elements) sorted.push_back(&e);
    std::sort(sorted.begin(), sorted.end(), [](const ViewElement* a, const ViewElement* b) { return a->box.x < b->box.x; });
    for (const ViewElement* e : sorted) {
      const RectF box = scrolls ? scrolled(e->box) : e->box;
      add(std::string(prefix) + button_id(e->hit.kind), AccessRole::Button, button_name(*e), box, parent, e->hit,
          scrolls && hidden(box));
    }
  }

  void empty_view() {
    add("empty/title", AccessRole::Text, std::string(localized(msg::kEmptyDropHere)), l.drop_line_box);
    add("empty/tagline", AccessRole::Text, std::string(localized(msg::kEmptyTagline)), l.tagline_box);
    buttons(l.empty_buttons, "empty/", false);
    add("empty/tip", AccessRole::Text, l.tip, l.tip_box);
  }

  void rows() {
    const std::size_t list = add("holders", AccessRole::List, without_dots(l.headline), std::nullopt);
    for (const RowLayout& r : l.rows) {
      const Holder& h = s.rows[r.index].holder;
      std::string name = r.title;
      for (const std::string& part : {without_dots(r.pill), r.note, r.details}) {
        if (!part.empty()) name += ", " + part;
      }
      const RectF box = scrolled(r.box);
      const std::string id = row_id(h);
      const std::size_t item =
          add(id, AccessRole::ListItem, std::move(name), box, list, Hit{HitKind::Row, r.index}, hidden(box));
      for (std::size_t i = r.first_button; i < r.first_button + r.button_count; ++i) {
        const ViewElement& e = l.rows_buttons[i];
        const RectF button = scrolled(e.box);
        add(id + "/" + button_id(e.hit.kind), AccessRole::Button, e.label, button, item, e.hit, hidden(button));
      }
    }
    // The list's box spans its rows.
    if (!l.rows.empty()) {
      const RectF first = scrolled(l.rows.front().box), last = scrolled(l.rows.back().box);
      out[list].box = RectF{first.x, first.y, first.width, last.y + last.height - first.y};
    }
  }

  void target_view() {
    std::string card;
    for (const std::string& line : l.card_lines) card += line + ", ";
    card += l.summary;
    const RectF card_box = scrolled(l.card);
    add("card", AccessRole::Group, std::move(card), card_box, kTopLevel, {}, hidden(card_box));
    if (!l.headline.empty()) {
      const RectF box = scrolled(l.headline_box);
      add("headline", AccessRole::Text, without_dots(l.headline), box, kTopLevel, {}, hidden(box), true);
    }
    buttons(l.status_buttons, "status/", true);
    if (!l.explanation.empty()) {
      const RectF box = scrolled(RectF{l.column_left, l.explanation_top, l.column_width, l.explanation_height});
      add("explanation", AccessRole::Text, l.explanation, box, kTopLevel, {}, hidden(box));
    }
    if (!s.rows.empty()) rows();
    for (std::size_t i = 0; i < l.hints.size(); ++i) {
      const RectF box = scrolled(l.hints[i].box);
      add("hint/" + std::to_string(i), AccessRole::Text, l.hints[i].text, box, kTopLevel, {}, hidden(box));
    }
  }
};

}  // namespace

std::vector<AccessNode> access_tree(const Layout& layout, const WindowState& state) {
  TreeBuilder b{layout, state, {}};
  b.buttons(layout.header, "header/", false);
  if (shows_empty_view(state)) {
    b.empty_view();
  } else {
    b.target_view();
  }
  b.buttons(layout.footer, "footer/", false);
  if (layout.notice_box && state.notice) {
    b.add("notice", AccessRole::Text, *state.notice, layout.notice_box, kTopLevel, {}, false, true);
  }
  return std::move(b.out);
}

std::vector<std::size_t> changed_live_nodes(const std::vector<AccessNode>& before, const std::vector<AccessNode>& after) {
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (!after[i].live) continue;
    const auto old = std::find_if(before.begin(), before.end(), [&](const AccessNode& n) { return n.id == after[i].id; });
    if (old == before.end() || old->name != after[i].name) changed.push_back(i);
  }
  return changed;
}

std::optional<std::size_t> focused_node(const std::vector<AccessNode>& nodes, const WindowState& state) {
  if (!state.focus) return std::nullopt;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].hit.kind != HitKind::Nothing && nodes[i].hit == state.focus->hit) return i;
  }
  return std::nullopt;
}

}  // namespace tw
