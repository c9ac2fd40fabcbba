#include "app/scan/held_text.h"

#include "common/numbers.h"

namespace tw {
namespace {

// One message per combination, so each language words and punctuates the list its own way;
// none where the file is plainly open, as most are.
const Message* ways_message(HoldWays w) {
  if (w.loaded && w.mapped) return w.open ? &msg::kHeldOpenLoadedMapped : &msg::kHeldLoadedMapped;
  if (w.loaded) return w.open ? &msg::kHeldOpenLoaded : &msg::kHeldLoaded;
  if (w.mapped) return w.open ? &msg::kHeldOpenMapped : &msg::kHeldMapped;
  return nullptr;
}

template <class Words>
std::string held_text_with(const Holder& h, Words words) {
  if (h.files.empty()) return h.unattributed ? std::string(words(msg::kRowFileInFolder)) : std::string();
  std::string first = h.held;
  if (const Message* m = ways_message(held_ways(h, 0))) {
    const std::string name[] = {h.held};
    first = fill_placeholders(words(*m), name);
  }
  if (h.files.size() == 1) return first;
  const std::string args[] = {first, group_thousands(h.files.size() - 1)};
  return fill_placeholders(words(msg::kNameAndMore), args);
}

}  // namespace

std::string held_text(const Holder& holder) {
  return held_text_with(holder, [](const Message& m) { return localized(m); });
}

std::string held_text_in(const Holder& holder, std::string_view language, const TranslationTable& table) {
  return held_text_with(holder, [&](const Message& m) { return localized_in(m, language, table); });
}

std::string shown_title(const Holder& holder) {
  if (holder.kind != HolderKind::NetworkOpen) return holder.title;
  const std::string user[] = {holder.remote.user};
  return fill_placeholders(localized(msg::kNetworkOpenTitle), user);
}

}  // namespace tw
