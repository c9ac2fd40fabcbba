#include "app/cli/cli.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <nlohmann/json.hpp>

#include "app/language/catalogue.h"
#include "app/scan/diagnosis.h"
#include "common/numbers.h"
#include "common/text.h"
#include "common/win32.h"

namespace tw {
namespace {

std::optional<std::uint64_t> parse_number(std::wstring_view text, std::uint64_t max) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<CliVerb> verb_of(std::wstring_view word) {
  if (word == L"find") return CliVerb::Find;
  if (word == L"wait") return CliVerb::Wait;
  if (word == L"close") return CliVerb::Close;
  if (word == L"end") return CliVerb::End;
  if (word == L"restart-explorer") return CliVerb::RestartExplorer;
  if (word == L"recycle") return CliVerb::Recycle;
  if (word == L"delete-on-restart") return CliVerb::DeleteOnRestart;
  if (word == L"--help" || word == L"-h" || word == L"/?" || word == L"help") return CliVerb::Help;
  if (word == L"--version") return CliVerb::Version;
  return std::nullopt;
}

// Which options each command takes.
bool takes(CliVerb verb, std::wstring_view option) {
  const bool searches = verb == CliVerb::Find || verb == CliVerb::Wait;
  const bool acts = verb == CliVerb::Close || verb == CliVerb::End;
  if (option == L"--deep") return searches || acts;
  if (option == L"--json") return verb == CliVerb::Find || verb == CliVerb::Wait;
  if (option == L"--timeout") return verb == CliVerb::Wait;
  if (option == L"--all") return acts;
  if (option == L"--yes") {
    return acts || verb == CliVerb::RestartExplorer || verb == CliVerb::Recycle || verb == CliVerb::DeleteOnRestart;
  }
  return false;
}

std::string utf8(std::wstring_view text) { return to_utf8(text); }

std::string_view diagnosis_kind_name(DiagnosisKind kind) {
  switch (kind) {
    case DiagnosisKind::Gone:
      return "gone";
    case DiagnosisKind::PathTooLong:
      return "path_too_long";
    case DiagnosisKind::ReadOnly:
      return "read_only";
    case DiagnosisKind::NoPermission:
      return "no_permission";
    case DiagnosisKind::InUseUnseen:
      return "in_use_unseen";
    case DiagnosisKind::LooksDeletable:
      break;
  }
  return "looks_deletable";
}

// Columns are measured in characters, not bytes.
std::size_t width_of(std::string_view utf8_text) {
  return static_cast<std::size_t>(
      std::count_if(utf8_text.begin(), utf8_text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string holds_text(const Holder& h) {
  if (h.files.empty()) return h.unattributed ? std::string(localized(msg::kRowFileInFolder)) : std::string();
  if (h.files.size() == 1) return h.held;
  const std::string args[] = {h.held, std::to_string(h.files.size() - 1)};
  return fill_placeholders(localized(msg::kNameAndMore), args);
}

// What a console or terminal acts on rather than shows, or shows out of place.
bool acts_on_display(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029;
}

void append_escape(std::string& out, const char* format, unsigned value) {
  char escape[12];
  std::snprintf(escape, sizeof escape, format, value);
  out += escape;
}

}  // namespace

std::string printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    const char32_t cp = next_code_point(utf8, pos);
    const std::string_view bytes = utf8.substr(start, pos - start);
    if (cp == kReplacementChar && bytes != "\xEF\xBF\xBD") {
      // Not UTF-8: each byte as it is, since an 8-bit terminal may take one for a control.
      for (const char b : bytes) append_escape(out, "\\x%02x", static_cast<unsigned char>(b));
    } else if (acts_on_display(cp)) {
      append_escape(out, cp <= 0xFF ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(cp));
    } else {
      out.append(bytes);
    }
  }
  return out;
}

std::optional<ProcessRef> parse_process_ref(std::wstring_view text) {
  const std::size_t colon = text.find(L':');
  const auto pid = parse_number(text.substr(0, colon), 0xFFFFFFFFu);
  if (!pid || *pid == 0) return std::nullopt;
  ProcessRef ref{static_cast<std::uint32_t>(*pid), std::nullopt};
  if (colon != std::wstring_view::npos) {
    ref.start_time = parse_number(text.substr(colon + 1), UINT64_MAX);
    if (!ref.start_time) return std::nullopt;
  }
  return ref;
}

std::variant<CliCommand, std::string> parse_cli(const std::vector<std::wstring>& arguments) {
  if (arguments.empty()) return std::string("No command given.");
  const std::optional<CliVerb> verb = verb_of(arguments[0]);
  if (!verb) return "Unknown command: " + utf8(arguments[0]);
  CliCommand command;
  command.verb = *verb;
  bool options_done = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& a = arguments[i];
    if (!options_done && a == L"--") {
      options_done = true;
      continue;
    }
    if (!options_done && a.size() > 1 && a[0] == L'-') {
      if (a == L"--help" || a == L"-h") {
        CliCommand help;
        help.verb = CliVerb::Help;
        return help;
      }
      if (!takes(*verb, a)) return "Unknown option for this command: " + utf8(a);
      if (a == L"--deep") command.deep = true;
      if (a == L"--json") command.json = true;
      if (a == L"--all") command.all = true;
      if (a == L"--yes") command.yes = true;
      if (a == L"--timeout") {
        const auto seconds = i + 1 < arguments.size() ? parse_number(arguments[i + 1], 86'400) : std::nullopt;
        if (!seconds) return std::string("--timeout needs a number of seconds (at most 86400).");
        command.timeout_seconds = static_cast<std::uint32_t>(*seconds);
        ++i;
      }
      continue;
    }
    const bool by_process = (*verb == CliVerb::Close || *verb == CliVerb::End) && !command.all;
    if (by_process) {
      const std::optional<ProcessRef> ref = parse_process_ref(a);
      if (!ref) return "Not a process id: " + utf8(a);
      command.processes.push_back(*ref);
    } else {
      command.paths.push_back(a);
    }
  }
  switch (*verb) {
    case CliVerb::Help:
    case CliVerb::Version:
    case CliVerb::RestartExplorer:
      if (!command.paths.empty()) return std::string("This command takes no paths.");
      break;
    case CliVerb::Close:
    case CliVerb::End:
      if (command.all && !command.processes.empty()) return std::string("Give process ids, or --all and paths.");
      if (command.all ? command.paths.empty() : command.processes.empty()) {
        return std::string(command.all ? "Give the paths whose holders to act on." : "Give at least one process id.");
      }
      break;
    default:
      if (command.paths.empty()) return std::string("Give at least one path.");
      break;
  }
  return command;
}

std::string cli_usage() {
  return "Usage: tarnwick-cli COMMAND [OPTIONS] ...\n"
         "\n"
         "  find [--deep] [--json] PATH...           which programs hold the paths\n"
         "  wait [--deep] [--json] [--timeout SECONDS] PATH...\n"
         "                                           search again until nothing holds them (default 60 s)\n"
         "  close PID[:START]...                     ask programs to close their windows\n"
         "  close --all [--deep] PATH...             ... every program holding the paths\n"
         "  end [--yes] PID[:START]...               force programs to quit (unsaved work is lost)\n"
         "  end --all [--yes] [--deep] PATH...       ... every program holding the paths\n"
         "  restart-explorer [--yes]                 restart File Explorer\n"
         "  recycle [--yes] PATH...                  move the paths to the Recycle Bin\n"
         "  delete-on-restart [--yes] PATH...        delete the paths the next time Windows starts\n"
         "  --help, --version\n"
         "\n"
         "START is the start time `find --json` prints: a process started at another time is\n"
         "never ended. Ending, restarting File Explorer, recycling and scheduling need --yes\n"
         "or a yes at the console's prompt.\n"
         "\n"
         "Exit status: 0 success (nothing holds, or every action done); 1 something still\n"
         "holds, or an action was refused or failed; 2 wrong usage; 3 the search failed;\n"
         "4 the results could not be written (a closed pipe, a full disk).\n";
}

std::string_view kind_name(HolderKind kind) {
  switch (kind) {
    case HolderKind::Program:
      return "program";
    case HolderKind::FileExplorer:
      return "explorer";
    case HolderKind::Service:
      return "service";
    case HolderKind::WindowsComponent:
      break;
  }
  return "windows";
}

std::string local_time_text(std::uint64_t filetime) {
  if (filetime == 0) return {};
  const FILETIME utc = filetime_of(filetime);
  FILETIME local{};
  SYSTEMTIME t{};
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &t)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

namespace {

// What the view says of a deep search that nothing was found by: one of the handles it passed
// over may be the holder, and it may have stopped early.
std::string deep_search_notes(const ScanResult& result) {
  std::string out;
  if (result.deep && result.unexamined != 0) {
    const std::string count = group_thousands(result.unexamined);
    out += fill_placeholders(localized(msg::kDeepSkippedHandles), std::span(&count, 1)) + "\n";
  }
  if (result.gave_up) out += std::string(localized(msg::kDeepGaveUp)) + "\n";
  return out;
}

}  // namespace

std::string holders_table(const ScanResult& result, bool elevated) {
  std::string out;
  if (result.holders.empty()) {
    for (const Diagnosis& d : result.diagnoses) {
      out += printable(utf8(d.target)) + ": " + diagnosis_text(d, result.deep, elevated) + "\n";
    }
    return out + deep_search_notes(result);
  }
  std::vector<std::vector<std::string>> rows{{"PID", "PROGRAM", "KIND", "STARTED", "HOLDS"}};
  for (const Holder& h : result.holders) {
    rows.push_back({std::to_string(h.pid), printable(h.title), std::string(kind_name(h.kind)),
                    local_time_text(h.start_time), printable(holds_text(h))});
  }
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], width_of(row[c]));
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - width_of(row[c]) + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

std::string holders_json(const std::vector<Target>& targets, const ScanResult& result, bool elevated) {
  nlohmann::ordered_json doc;
  doc["targets"] = nlohmann::json::array();
  for (const Target& t : targets) doc["targets"].push_back(utf8(t));
  doc["deep"] = result.deep;
  doc["files_checked"] = result.files_checked;
  doc["truncated"] = result.truncated;
  doc["complete"] = !result.gave_up;
  doc["unexamined"] = result.unexamined;
  doc["holders"] = nlohmann::json::array();
  for (const Holder& h : result.holders) {
    nlohmann::ordered_json holder;
    holder["pid"] = h.pid;
    holder["start_time"] = h.start_time;
    holder["started"] = local_time_text(h.start_time);
    holder["name"] = h.exe_name;
    holder["description"] = h.title;
    holder["executable"] = h.image_path ? nlohmann::json(utf8(*h.image_path)) : nlohmann::json(nullptr);
    holder["kind"] = kind_name(h.kind);
    holder["window_title"] = h.window_title;
    holder["services"] = h.services;
    holder["holds"] = nlohmann::json::array();
    for (const std::wstring& f : h.files) holder["holds"].push_back(utf8(f));
    doc["holders"].push_back(std::move(holder));
  }
  doc["diagnoses"] = nlohmann::json::array();
  if (result.holders.empty()) {
    for (const Diagnosis& d : result.diagnoses) {
      doc["diagnoses"].push_back(nlohmann::ordered_json{{"target", utf8(d.target)},
                                                        {"kind", diagnosis_kind_name(d.kind)},
                                                        {"text", diagnosis_text(d, result.deep, elevated)}});
    }
  }
  // Text the program did not make (file names) may not be UTF-16 Windows can spell in UTF-8:
  // such characters are replaced rather than stopping the output.
  return doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int search_exit_code(const ScanResult& result) {
  if (!result.holders.empty()) return kExitStillHeld;
  if (result.gave_up) return kExitSearchFailed;
  return kExitSuccess;
}

double next_wait_delay(double previous) { return previous <= 0 ? 1.0 : std::min(previous * 1.5, 5.0); }

}  // namespace tw
