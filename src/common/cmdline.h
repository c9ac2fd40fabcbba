#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Splits a command line the way the Microsoft C runtime builds argv, and drops the program
// name: arguments are separated by spaces and tabs; double quotes group; 2n backslashes
// before a quote give n backslashes and the quote toggles quoting; 2n+1 give n backslashes
// and a literal quote; "" inside quotes is a literal quote; other backslashes are literal.
// The program name ends at the first space or tab outside quotes and knows no escapes.
std::vector<std::wstring> split_command_line(std::wstring_view command_line);

// Quotes one argument so that split_command_line (and the C runtime) give it back as it is.
std::wstring quote_argument(std::wstring_view argument);

// Arguments quoted as needed and joined by single spaces.
std::wstring join_arguments(const std::vector<std::wstring>& arguments);

// A full command line: the program, always quoted (a program path cannot hold a quote),
// followed by the arguments.
std::wstring build_command_line(std::wstring_view program, const std::vector<std::wstring>& arguments);

}  // namespace tw
