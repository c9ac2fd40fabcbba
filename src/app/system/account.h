#pragma once

// Who this process runs as, and what that means for what it may touch.

#include <optional>
#include <string>
#include <string_view>

#include "discovery/paths.h"

namespace tw {

// Whether this process runs as a member of Administrators (elevated).
bool process_is_elevated();

// The account this process runs as, its SID as text ("S-1-5-21-..."); nothing when unknown.
std::optional<std::wstring> own_user_sid();

// Whether a copy started for `requested` (see StartupRequest::for_user) runs as another account:
// a standard user gave an administrator's name and password at the prompt. Unknown counts as
// another.
bool runs_for_another_user(const std::optional<std::wstring>& own, const std::optional<std::wstring>& requested);

// A target as a process of another logon reaches it: a drive letter mapped to a network share
// exists only in the logon that mapped it, so such a path is given in its UNC form.
std::wstring as_seen_from_another_logon(const Target& target);

// `target` with its drive ("X:") replaced by the share it is mapped to ("\\server\share").
std::wstring with_remote_name(std::wstring_view target, std::wstring_view remote);

}  // namespace tw
