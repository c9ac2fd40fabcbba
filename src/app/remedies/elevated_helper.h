#pragma once

#include <windows.h>

#include <string>

#include "common/handles.h"

namespace tw {

// Starts `exe` with `parameters` elevated (the UAC prompt, owned by `owner`), hidden, and
// returns its process to wait for; none when the user declined or nothing started. Callable
// from a worker thread: the call is done before it returns, and no error box of the shell's
// appears where nobody could answer it (the prompt itself still shows).
UniqueHandle start_elevated_helper(HWND owner, const std::wstring& exe, const std::wstring& parameters);

}  // namespace tw
