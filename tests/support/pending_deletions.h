#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tw::test {

// The value Windows keeps deletions at restart in: pairs of "\??\" source and (empty) new
// name, as strings.
std::vector<std::wstring> pending_pairs();

// The deletions registered for paths under `folder` (without "\??\"), in registration order.
std::vector<std::wstring> pending_under(const std::wstring& folder);

// Takes back what a test registered under `folder`, leaving everything else.
void forget_pending_under(const std::wstring& folder);

// A temporary folder whose registered deletions are taken back at the end.
struct ScheduleDir : TempDir {
  ~ScheduleDir() { forget_pending_under(path()); }
};

}  // namespace tw::test
