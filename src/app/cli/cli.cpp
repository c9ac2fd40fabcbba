// The command line's decisions, with nothing run: reading numbers, commands and options; safe
// console text and process references; parsing a command line into a command or a usage fault,
// and the usage text; then what a search found, as a table or as JSON, its gaps and exit status.

#include "app/cli/cli.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <nlohmann/json.hpp>

#include "app/cli/cli_network.h"
#include "app/language/catalogue.h"
#include "app/scan/diagnosis.h"
#include "app/scan/held_text.h"
#include "common/casemap.h"
#include "common/numbers.h"
#include "common/text.h"
#include "common/win32.h"
#include "discovery/file_list.h"

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

// Commands and options in any letter case; only ASCII letters fold, so nothing else can
// stand in for one.
std::wstring folded(std::wstring_view word) {
  std::wstring out(word);
  for (wchar_t& c : out) c = ascii_lower(c);
  return out;
}

constexpr CliVerb kVerbs[] = {CliVerb::Find,    CliVerb::Wait,           CliVerb::Close,
                              CliVerb::End,     CliVerb::RestartExplorer, CliVerb::Recycle,
                              CliVerb::DeleteOnRestart, CliVerb::Eject, CliVerb::StopService, CliVerb::Disconnect,
                              CliVerb::Unlock};

std::optional<CliVerb> verb_of(std::wstring_view word) {
  const std::string name = to_utf8(folded(word));
  for (const CliVerb verb : kVerbs) {
    if (name == verb_name(verb)) return verb;
  }
  if (name == "--help" || name == "-h" || name == "/?" || name == "help") return CliVerb::Help;
  if (name == "--version") return CliVerb::Version;
  return std::nullopt;
}

// Which options each command takes.
bool takes(CliVerb verb, std::wstring_view option) {
  const bool searches = verb == CliVerb::Find || verb == CliVerb::Wait;
  const bool acts = verb == CliVerb::Close || verb == CliVerb::End;
  const bool unlocks = verb == CliVerb::Unlock;
  if (option == L"--deep") return searches || acts;
  if (option == L"--json") return searches || verb == CliVerb::Eject || unlocks;
  if (option == L"--timeout") return verb == CliVerb::Wait;
  if (option == L"--all") return acts || unlocks;
  if (option == L"--yes") {
    return acts || unlocks || verb == CliVerb::RestartExplorer || verb == CliVerb::Recycle || verb == CliVerb::DeleteOnRestart ||
           verb == CliVerb::StopService || verb == CliVerb::Disconnect;
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
    case DiagnosisKind::DriveNotInUse:
      return "drive_not_in_use";
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

namespace {

CliCommand help_command() {
  CliCommand help;
  help.verb = CliVerb::Help;
  return help;
}

CliUsageError fault(CliUsageFault kind, CliVerb verb, std::wstring argument = {}) {
  return CliUsageError{kind, std::move(argument), verb};
}

// An option, already in lower case, into the command; a fault when it is not one of its own.
std::optional<CliUsageError> take_option(const std::wstring& option, const std::vector<std::wstring>& arguments,
                                         std::size_t& i, CliCommand& command) {
  if (!takes(command.verb, option)) return fault(CliUsageFault::UnknownOption, command.verb, arguments[i]);
  if (option == L"--deep") command.deep = true;
  if (option == L"--json") command.json = true;
  if (option == L"--all") command.all = true;
  if (option == L"--yes") command.yes = true;
  if (option == L"--timeout") {
    const auto seconds = i + 1 < arguments.size() ? parse_number(arguments[i + 1], 86'400) : std::nullopt;
    if (!seconds) return fault(CliUsageFault::NeedsSeconds, command.verb);
    command.timeout_seconds = static_cast<std::uint32_t>(*seconds);
    ++i;
  }
  return std::nullopt;
}

// What the command still lacks, or has too much of, once every argument is read.
std::optional<CliUsageError> missing_from(const CliCommand& command) {
  switch (command.verb) {
    case CliVerb::Help:
    case CliVerb::Version:
    case CliVerb::RestartExplorer:
      if (!command.paths.empty()) return fault(CliUsageFault::TakesNoPaths, command.verb, command.paths[0]);
      break;
    case CliVerb::Close:
    case CliVerb::End:
      if (command.all && !command.processes.empty()) return fault(CliUsageFault::IdsAndAll, command.verb);
      if (command.all && command.paths.empty()) return fault(CliUsageFault::NoPaths, command.verb);
      if (!command.all && command.processes.empty()) return fault(CliUsageFault::NoProcessIds, command.verb);
      break;
    case CliVerb::Disconnect:
      if (command.opens.empty()) return fault(CliUsageFault::NoOpenIds, command.verb);
      break;
    case CliVerb::Unlock:
      if (command.all && !command.processes.empty()) return fault(CliUsageFault::IdsAndAll, command.verb);
      if (!command.all && command.processes.empty()) return fault(CliUsageFault::NoProcessIds, command.verb);
      if (command.paths.empty()) return fault(CliUsageFault::NoPaths, command.verb);
      break;
    case CliVerb::Eject:
      if (command.paths.size() != 1) return fault(CliUsageFault::NotOneDrive, command.verb);
      if (!drive_root(command.paths[0])) return fault(CliUsageFault::NotADrive, command.verb, command.paths[0]);
      break;
    case CliVerb::StopService:
      if (command.paths.empty()) return fault(CliUsageFault::NoServiceNames, command.verb);
      break;
    default:
      if (command.paths.empty()) return fault(CliUsageFault::NoPaths, command.verb);
      break;
  }
  return std::nullopt;
}

}  // namespace

std::variant<CliCommand, CliUsageError> parse_cli(const std::vector<std::wstring>& arguments) {
  if (arguments.empty()) return fault(CliUsageFault::NoCommand, CliVerb::Help);
  const std::optional<CliVerb> verb = verb_of(arguments[0]);
  if (!verb) return fault(CliUsageFault::UnknownCommand, CliVerb::Help, arguments[0]);
  CliCommand command;
  command.verb = *verb;
  if (*verb == CliVerb::Help) return help_command();  // "help find" is still a request for help
  bool options_done = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& a = arguments[i];
    if (!options_done && a == L"--") {
      options_done = true;
      continue;
    }
    if (!options_done && a.size() > 1 && a[0] == L'-') {
      const std::wstring option = folded(a);
      if (option == L"--help" || option == L"-h") return help_command();
      if (auto wrong = take_option(option, arguments, i, command)) return *wrong;
      continue;
    }
    if ((*verb == CliVerb::Close || *verb == CliVerb::End) && !command.all) {
      const std::optional<ProcessRef> ref = parse_process_ref(a);
      if (!ref) return fault(CliUsageFault::NotAProcessId, *verb, a);
      command.processes.push_back(*ref);
    } else if (*verb == CliVerb::Disconnect) {
      const std::optional<ProcessRef> id = parse_process_ref(a);  // a plain number, as a pid is
      if (!id || id->start_time) return fault(CliUsageFault::NotAnOpenId, *verb, a);
      command.opens.push_back(id->pid);
    } else if (std::optional<ProcessRef> ref;
               *verb == CliVerb::Unlock && command.paths.empty() && (ref = parse_process_ref(a))) {
      command.processes.push_back(*ref);  // ids first, then the paths whose handles are closed
    } else {
      command.paths.push_back(a);
    }
  }
  if (auto wrong = missing_from(command)) return *wrong;
  return command;
}

std::string usage_error_text(const CliUsageError& error) {
  const std::string argument = printable(utf8(error.argument));
  const std::string verb(verb_name(error.verb));
  const auto filled = [](const Message& m, std::vector<std::string> args) { return fill_placeholders(localized(m), args); };
  switch (error.fault) {
    case CliUsageFault::NoCommand:
      return std::string(localized(msg::kCliNoCommand));
    case CliUsageFault::UnknownCommand:
      return filled(msg::kCliUnknownCommand, {argument});
    case CliUsageFault::UnknownOption:
      return filled(msg::kCliUnknownOption, {verb, argument});
    case CliUsageFault::NeedsSeconds:
      return std::string(localized(msg::kCliNeedsSeconds));
    case CliUsageFault::NotAProcessId:
      return filled(msg::kCliNotAProcessId, {argument});
    case CliUsageFault::TakesNoPaths:
      return filled(msg::kCliTakesNoPaths, {verb, argument});
    case CliUsageFault::IdsAndAll:
      return std::string(localized(msg::kCliIdsOrAll));
    case CliUsageFault::NoPaths:
      return std::string(localized(msg::kCliNoPaths));
    case CliUsageFault::NotOneDrive:
      return std::string(localized(msg::kCliOneDrive));
    case CliUsageFault::NotADrive:
      return filled(msg::kCliNotADrive, {argument});
    case CliUsageFault::NoServiceNames:
      return std::string(localized(msg::kCliNoServiceNames));
    case CliUsageFault::NotAnOpenId:
      return filled(msg::kCliNotAnOpenId, {argument});
    case CliUsageFault::NoOpenIds:
      return std::string(localized(msg::kCliNoOpenIds));
    case CliUsageFault::NoProcessIds:
      break;
  }
  return std::string(localized(msg::kCliNoProcessIds));
}

std::string_view verb_name(CliVerb verb) {
  switch (verb) {
    case CliVerb::Help:
      return "help";
    case CliVerb::Version:
      return "--version";
    case CliVerb::Find:
      return "find";
    case CliVerb::Wait:
      return "wait";
    case CliVerb::Close:
      return "close";
    case CliVerb::End:
      return "end";
    case CliVerb::RestartExplorer:
      return "restart-explorer";
    case CliVerb::Recycle:
      return "recycle";
    case CliVerb::DeleteOnRestart:
      return "delete-on-restart";
    case CliVerb::StopService:
      return "stop-service";
    case CliVerb::Disconnect:
      return "disconnect";
    case CliVerb::Eject:
      return "eject";
    case CliVerb::Unlock:
      break;
  }
  return "unlock";
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
         "  eject [--json] DRIVE                     stop a removable drive so it can be pulled out\n"
         "  stop-service [--yes] NAME...             stop Windows services (those that depend on them first)\n"
         "  disconnect [--yes] ID...                 close files other computers opened in a shared\n"
         "                                           folder here (find shows their ids; unsaved work is lost)\n"
         "  unlock [--yes] [--json] PID[:START]... PATH...\n"
         "                                           close the programs' handles on the paths, leaving\n"
         "                                           them running (a deep search finds the handles)\n"
         "  unlock --all [--yes] [--json] PATH...    ... of every program holding the paths\n"
         "  help, --help, --version\n"
         "\n"
         "START is the start time `find --json` prints: a process started at another time is\n"
         "never ended. Ending, unlocking, restarting File Explorer, recycling, scheduling and\n"
         "stopping a service need --yes or a yes at the console's prompt.\n"
         "\n"
         "A drive (E:\\, a volume's name or the folder it is mounted at) is searched for what\n"
         "is open on it, every letter and mounted folder of its volume, without listing its\n"
         "files: a deep search, with or without --deep.\n"
         "\n"
         "Commands and options may be written in any letter case.\n"
         "\n"
         "Exit status:\n"
         "  0  success: nothing holds the paths, or every action was done\n"
         "  1  something still holds them, or an action was refused or failed\n"
         "  2  wrong usage, or a path that names nothing (find, wait, --all)\n"
         "  3  the search failed (a deep search that gave up, or Ctrl+C)\n"
         "  4  the results could not be written (a closed pipe, a full disk)\n"
         "  5  nothing was found holding them, yet something has one open\n"
         "     (try --deep, or a console run as administrator)\n"
         "  6  nothing was found holding them, but not everything could be searched\n"
         "     (a folder over 50,000 files, programs it could not open, handles passed over)\n"
         "  7  eject: not a drive, the drive Windows is on, or not a removable device\n"
         "The first that applies of 1, 3, 5, 6 is the status of find and wait; wait searches\n"
         "again while it is 1, 3 or 5.\n";
}

std::string_view kind_name(HolderKind kind) {
  switch (kind) {
    case HolderKind::Program:
      return "program";
    case HolderKind::FileExplorer:
      return "explorer";
    case HolderKind::Service:
      return "service";
    case HolderKind::NetworkOpen:
      return "network";
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

// The window's advice for a target in use that nothing was found holding names its buttons;
// here it names what to type.
std::string cli_diagnosis_text(const Diagnosis& d, bool deep, bool elevated) {
  if (d.shared && (d.kind == DiagnosisKind::InUseUnseen || d.kind == DiagnosisKind::LooksDeletable)) {
    return std::string(localized(msg::kCliDiagnosisSharedTryAdmin));
  }
  if (d.kind != DiagnosisKind::InUseUnseen) return diagnosis_text(d, deep, elevated);
  return std::string(localized(!deep       ? msg::kCliUnseenTryDeep
                               : !elevated ? msg::kCliUnseenTryAdmin
                                           : msg::kCliUnseenTryRestart));
}

// What the window says of where the search could not look. Handles passed over are worth
// naming only when nothing was found: then one of them may be the holder.
std::string search_notes(const ScanResult& result, bool elevated) {
  const auto line = [](const Message& m, std::uint64_t count) {
    const std::string text = group_thousands(count);
    return fill_placeholders(localized(m), std::span(&text, 1)) + "\n";
  };
  const SearchGaps gaps = search_gaps(result, elevated);
  std::string out;
  if (result.drive) out += std::string(localized(msg::kCliDriveSearched)) + "\n";
  if (gaps.listing_capped) out += line(msg::kTooManyFiles, kListingCap);
  if (gaps.processes_not_opened) out += line(msg::kCliInaccessibleProcesses, result.inaccessible);
  if (gaps.handles_passed_over && result.holders.empty()) out += line(msg::kDeepSkippedHandles, result.unexamined);
  if (gaps.stopped_early) out += std::string(localized(msg::kDeepGaveUp)) + "\n";
  // With nothing found, each shared target's diagnosis says so.
  if (gaps.network_opens_unseen && !result.holders.empty()) {
    out += std::string(localized(msg::kCliDiagnosisSharedTryAdmin)) + "\n";
  }
  return out;
}

// The gaps by the names JSON gives them.
nlohmann::json gap_names(const SearchGaps& gaps) {
  nlohmann::json names = nlohmann::json::array();
  if (gaps.listing_capped) names.push_back("listing_capped");
  if (gaps.processes_not_opened) names.push_back("processes_not_opened");
  if (gaps.handles_passed_over) names.push_back("handles_passed_over");
  if (gaps.stopped_early) names.push_back("stopped_early");
  if (gaps.network_opens_unseen) names.push_back("network_opens_not_listed");
  return names;
}

// Fixed words for scripts, in a fixed order; a file with no way recorded is open.
nlohmann::json way_names(HoldWays w) {
  nlohmann::json names = nlohmann::json::array();
  if (w.open || (!w.loaded && !w.mapped)) names.push_back("open");
  if (w.loaded) names.push_back("loaded");
  if (w.mapped) names.push_back("mapped");
  return names;
}

std::string_view status_name(int status) {
  switch (status) {
    case kExitStillHeld:
      return "held";
    case kExitSearchFailed:
      return "search_failed";
    case kExitInUseUnseen:
      return "in_use_unseen";
    case kExitIncomplete:
      return "incomplete";
    default:
      break;
  }
  return "free";
}

}  // namespace

std::string holders_table(const ScanResult& result, bool elevated) {
  std::string out;
  if (result.holders.empty()) {
    for (const Diagnosis& d : result.diagnoses) {
      out += printable(utf8(d.target)) + ": " + cli_diagnosis_text(d, result.deep, elevated) + "\n";
    }
    return out + search_notes(result, elevated);
  }
  std::vector<std::vector<std::string>> rows{{"PID", "PROGRAM", "KIND", "STARTED", "HOLDS"}};
  for (const Holder& h : result.holders) {
    rows.push_back({std::to_string(h.pid), printable(shown_title(h)), std::string(kind_name(h.kind)),
                    local_time_text(h.start_time), printable(held_text(h))});
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
  return out + search_notes(result, elevated);
}

namespace {

// Each holder in the format of `find --json`.
nlohmann::ordered_json holders_array(const ScanResult& result) {
  nlohmann::ordered_json holders = nlohmann::json::array();
  for (const Holder& h : result.holders) {
    nlohmann::ordered_json holder;
    holder["pid"] = h.pid;
    holder["start_time"] = h.start_time;
    holder["started"] = local_time_text(h.start_time);
    holder["name"] = h.exe_name;
    holder["description"] = shown_title(h);
    holder["executable"] = h.image_path ? nlohmann::json(utf8(*h.image_path)) : nlohmann::json(nullptr);
    holder["kind"] = kind_name(h.kind);
    holder["window_title"] = h.window_title;
    holder["services"] = h.services;
    holder["holds"] = nlohmann::json::array();
    for (const std::wstring& f : h.files) holder["holds"].push_back(utf8(f));
    holder["held"] = nlohmann::json::array();
    for (std::size_t i = 0; i < h.files.size(); ++i) {
      holder["held"].push_back(nlohmann::ordered_json{{"path", utf8(h.files[i])}, {"how", way_names(held_ways(h, i))}});
    }
    if (h.kind == HolderKind::NetworkOpen) add_network_open_fields(holder, h);
    holders.push_back(std::move(holder));
  }
  return holders;
}

}  // namespace

std::string holders_json(const std::vector<Target>& targets, const ScanResult& result, bool elevated) {
  nlohmann::ordered_json doc;
  doc["targets"] = nlohmann::json::array();
  for (const Target& t : targets) doc["targets"].push_back(utf8(t));
  doc["deep"] = result.deep;
  doc["drive"] = result.drive;
  doc["files_checked"] = result.files_checked;
  doc["truncated"] = result.truncated;
  doc["complete"] = !result.gave_up;
  doc["unexamined"] = result.unexamined;
  doc["inaccessible"] = result.inaccessible;
  doc["incomplete"] = gap_names(search_gaps(result, elevated));
  doc["status"] = status_name(search_exit_code(result, elevated));
  doc["holders"] = holders_array(result);
  doc["diagnoses"] = nlohmann::json::array();
  if (result.holders.empty()) {
    for (const Diagnosis& d : result.diagnoses) {
      doc["diagnoses"].push_back(nlohmann::ordered_json{{"target", utf8(d.target)},
                                                        {"kind", diagnosis_kind_name(d.kind)},
                                                        {"text", cli_diagnosis_text(d, result.deep, elevated)}});
    }
  }
  // Text the program did not make (file names) may not be UTF-16 Windows can spell in UTF-8:
  // such characters are replaced rather than stopping the output.
  return doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

SearchGaps search_gaps(const ScanResult& result, bool elevated) {
  SearchGaps gaps;
  gaps.listing_capped = result.truncated;
  // As administrator, what is left unopened are Windows' protected processes, which nothing
  // can end anyway; the window is silent about them too.
  gaps.processes_not_opened = result.deep && !elevated && result.inaccessible != 0;
  gaps.handles_passed_over = result.deep && result.unexamined != 0;
  gaps.stopped_early = result.gave_up;
  gaps.network_opens_unseen = result.network_unseen && !elevated;
  return gaps;
}

int search_exit_code(const ScanResult& result, bool elevated) {
  if (!result.holders.empty()) return kExitStillHeld;
  if (result.gave_up) return kExitSearchFailed;
  const auto unseen = [](const Diagnosis& d) { return d.kind == DiagnosisKind::InUseUnseen; };
  if (std::any_of(result.diagnoses.begin(), result.diagnoses.end(), unseen)) return kExitInUseUnseen;
  if (search_gaps(result, elevated).any()) return kExitIncomplete;
  return kExitSuccess;
}

bool waits_on(int search_status) {
  return search_status == kExitStillHeld || search_status == kExitSearchFailed || search_status == kExitInUseUnseen;
}

int eject_exit_code(const EjectOutcome& outcome) {
  if (outcome.refusal != EjectRefusal::None) return kExitNotEjectable;
  return outcome.ejected ? kExitSuccess : kExitStillHeld;
}

std::string eject_json(const std::wstring& root, const EjectOutcome& outcome, const ScanResult* in_the_way) {
  const auto text_or_null = [](std::string_view text) {
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(std::string(text));
  };
  const bool vetoed = outcome.refusal == EjectRefusal::None && !outcome.ejected;
  nlohmann::ordered_json doc;
  doc["drive"] = utf8(root);
  doc["ejected"] = outcome.ejected;
  doc["refusal"] = text_or_null(eject_refusal_name(outcome.refusal));
  doc["veto_type"] = vetoed ? nlohmann::json(std::string(veto_type_name(outcome.veto_type))) : nlohmann::json(nullptr);
  doc["veto_name"] = vetoed ? text_or_null(utf8(outcome.veto_name)) : nlohmann::json(nullptr);
  doc["vetoer"] = vetoed ? text_or_null(outcome.vetoer) : nlohmann::json(nullptr);
  doc["text"] = eject_outcome_text(outcome, drive_shown(root));
  if (in_the_way != nullptr) doc["holders"] = holders_array(*in_the_way);
  // Names from other drivers and programs may not be valid UTF-16.
  return doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

double next_wait_delay(double previous) { return previous <= 0 ? 1.0 : std::min(previous * 1.5, 5.0); }

}  // namespace tw
