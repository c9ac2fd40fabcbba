#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "discovery/paths.h"

namespace tw {

// Why a target that nothing was found holding may still not delete.
enum class DiagnosisKind : std::uint8_t {
  Gone = 0,            // it no longer exists
  PathTooLong = 1,     // over 259 UTF-16 units
  ReadOnly = 2,        // a read-only file, or a folder with read-only files inside
  NoPermission = 3,    // deleting it is refused, not for sharing
  InUseUnseen = 4,     // something holds it that the search did not see
  LooksDeletable = 5,  // nothing stands in the way
  DriveNotInUse = 6,   // a drive on which nothing is open
};

struct Diagnosis {
  Target target;
  DiagnosisKind kind = DiagnosisKind::LooksDeletable;
  std::uint64_t read_only = 0;  // the count ReadOnly speaks of
  bool folder = false;          // the target is a folder (ReadOnly then speaks of files inside)
  bool shared = false;          // other computers may have it open, which only an administrator can list
};

// What the file system says about a target, links not followed.
struct TargetFacts {
  bool exists = false;
  DWORD attributes = 0;
  DWORD reparse_tag = 0;
  std::size_t length = 0;            // UTF-16 units of the path
  std::optional<DWORD> delete_error;  // why opening it for deletion failed; nothing if it opened
};

// The diagnosis those facts call for; `read_only_inside` is the listing's count for a folder.
Diagnosis decide_diagnosis(const Target& target, const TargetFacts& facts, std::uint64_t read_only_inside);

// Reads the facts and decides.
Diagnosis diagnose_target(const Target& target, std::uint64_t read_only_inside);

// A drive nothing was found open on: not in use, or gone when its root cannot be read. Its
// root is never opened for deletion, which no drive allows.
Diagnosis diagnose_drive(const Target& root);

// What a diagnosis says to the user; what to try next depends on whether the search was deep
// and the program elevated.
std::string diagnosis_text(const Diagnosis& d, bool deep, bool elevated);

}  // namespace tw
