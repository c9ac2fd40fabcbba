#pragma once

#include <cstdint>
#include <string>

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

// A handle through which a process holds a file: its value in that process and the file's
// final path as the deep search named it (without the "\\?\" prefix). Enough to find the very
// handle again, and to tell whether it still names that file.
struct HeldHandle {
  std::uint64_t value = 0;
  std::wstring path;
  friend bool operator==(const HeldHandle&, const HeldHandle&) = default;
};

}  // namespace tw
