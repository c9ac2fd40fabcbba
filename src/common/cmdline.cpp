#include "common/cmdline.h"

namespace tw {
namespace {

constexpr bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> split_command_line(std::wstring_view line) {
  std::size_t p = 0;
  const auto at = [&](std::size_t i) { return i < line.size() ? line[i] : L'\0'; };

  // Program name: quotes toggle, nothing is escaped.
  bool quoted = false;
  while (p < line.size() && line[p] != L'\0') {
    if (line[p] == L'"') {
      quoted = !quoted;
    } else if (!quoted && is_blank(line[p])) {
      break;
    }
    ++p;
  }

  std::vector<std::wstring> args;
  for (;;) {
    while (is_blank(at(p))) ++p;
    if (at(p) == L'\0') break;

    std::wstring arg;
    quoted = false;
    for (;;) {
      std::size_t slashes = 0;
      while (at(p) == L'\\') {
        ++p;
        ++slashes;
      }
      bool copy = true;
      if (at(p) == L'"') {
        if (slashes % 2 == 0) {
          if (quoted && at(p + 1) == L'"') {
            ++p;  // "" inside quotes: one literal quote, still quoted
          } else {
            copy = false;
            quoted = !quoted;
          }
        }
        slashes /= 2;
      }
      arg.append(slashes, L'\\');
      const wchar_t c = at(p);
      if (c == L'\0' || (!quoted && is_blank(c))) break;
      if (copy) arg.push_back(c);
      ++p;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::wstring quote_argument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    if (c == L'"') {
      out.append(2 * slashes + 1, L'\\');  // every backslash escaped, then the quote
    } else {
      out.append(slashes, L'\\');
    }
    slashes = 0;
    out.push_back(c);
  }
  out.append(2 * slashes, L'\\');  // the closing quote must not be escaped
  out.push_back(L'"');
  return out;
}

std::wstring join_arguments(const std::vector<std::wstring>& arguments) {
  std::wstring out;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) out.push_back(L' ');
    out += quote_argument(arguments[i]);
  }
  return out;
}

std::wstring build_command_line(std::wstring_view program, const std::vector<std::wstring>& arguments) {
  std::wstring out = L"\"";
  out += program;
  out += L"\"";
  if (!arguments.empty()) {
    out.push_back(L' ');
    out += join_arguments(arguments);
  }
  return out;
}

}  // namespace tw
