#pragma once

namespace tw {

// How a process holds a file. One process may hold one file in several ways at once: open
// through a handle, and mapped into its memory as well.
struct HoldWays {
  bool open = false;    // a handle to it, or the Restart Manager's report of one
  bool loaded = false;  // loaded as an image: the program itself, a DLL, a plug-in
  bool mapped = false;  // a view of it mapped into memory, with or without a handle
  friend bool operator==(const HoldWays&, const HoldWays&) = default;
};

inline constexpr HoldWays kHeldOpen{true, false, false};
inline constexpr HoldWays kHeldLoaded{false, true, false};
inline constexpr HoldWays kHeldMapped{false, false, true};

// Both ways at once.
constexpr HoldWays operator|(HoldWays a, HoldWays b) {
  return HoldWays{a.open || b.open, a.loaded || b.loaded, a.mapped || b.mapped};
}

}  // namespace tw
