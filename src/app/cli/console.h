#pragma once

#include <windows.h>

#include <string_view>

namespace tw {

// Whether the standard handle is a console (not a pipe or a file).
bool is_console(DWORD standard_handle);

// Writes UTF-8 text to standard output or error: as UTF-16 to a console, whatever its code
// page, and as UTF-8 bytes to a pipe or a file.
void write_out(std::string_view utf8);
void write_err(std::string_view utf8);

// Whether a write to standard output failed (a closed pipe, a full disk): what a script
// reads is then incomplete.
bool output_failed();

// Asks a yes-or-no question at the console; false without a console to ask at, and for any
// answer but "y" or "yes".
bool ask_yes(std::string_view question);

// Ctrl+C and Ctrl+Break stop the program's waits instead of killing it at once.
void catch_interrupts();
bool interrupted();
// Waits up to `ms`; false when an interrupt came.
bool sleep_unless_interrupted(DWORD ms);

// A progress line on the console's error stream, redrawn in place; nothing when standard
// error is not a console. end_progress clears it.
void show_progress(std::string_view utf8);
void end_progress();

}  // namespace tw
