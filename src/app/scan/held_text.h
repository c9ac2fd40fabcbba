#pragma once

// How a holder's row and the command line's table name what it holds: the first file, the
// ways it is held when it is not plainly open, and how many more.

#include <string>
#include <string_view>

#include "app/language/catalogue.h"
#include "procs/holders.h"

namespace tw {

// In the interface language: "report.db (mapped into memory) and 2 more".
std::string held_text(const Holder& holder);

// What a holder's row and the table call it: its title, or for an open by another computer
// "Opened over the network by USER".
std::string shown_title(const Holder& holder);

// The same in a given language and its table.
std::string held_text_in(const Holder& holder, std::string_view language, const TranslationTable& table);

}  // namespace tw
