#pragma once

// The File Explorer command of Windows 11's own context menu: "Unlock with Tarnwick" for the
// selected files, folders and drives, which starts tarnwick.exe beside this DLL with their
// paths, as the classic entry does. It does nothing else in File Explorer's process: no
// search, no waiting, nothing kept between calls.

#include <windows.h>

#include <shobjidl.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The class File Explorer creates, and its text as the package's manifest names it
// (package.sh reads it from here).
inline constexpr CLSID kExplorerCommandClsid{
    0xebb1d6a0, 0xd097, 0x4d4d, {0x9b, 0xc2, 0x63, 0xa2, 0x31, 0x14, 0xbc, 0xb8}};
inline constexpr wchar_t kExplorerCommandClsidText[] = L"{EBB1D6A0-D097-4D4D-9BC2-63A23114BCB8}";

// The command's title in the interface language: the stored "Language" when it is one of the
// codes, else Windows' display language.
std::string shell_title(const std::optional<std::string>& stored_language, LANGID ui_langid);

// The longest command line CreateProcessW takes, in characters, without its terminating NUL.
inline constexpr std::size_t kCommandLineLimit = 32'766;

// The command lines that start `exe` for `paths`, in order: each path quoted, as the classic
// entry's "%1" is, with the backslashes before a closing quote doubled so that a drive root
// stays one argument among several; as many paths to a line as fit in kCommandLineLimit. A
// path too long for a line of its own still gets one (CreateProcessW then refuses it).
std::vector<std::wstring> shell_command_lines(std::wstring_view exe, const std::vector<std::wstring>& paths);

// Makes the command object (one reference, the caller's), counted until it goes.
IExplorerCommand* make_explorer_command();

// Objects and locks that keep the DLL loaded.
void lock_module();
void unlock_module();
bool module_in_use();

// This DLL, as DllMain was given it.
void set_module(HMODULE module);

}  // namespace tw
