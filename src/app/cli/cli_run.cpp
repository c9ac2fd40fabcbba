// Running a command-line command, in this order: resolving and checking its paths; one search
// with its progress, for find and wait; the processes close and end act on, the confirmation
// they need and what each outcome says; Restart Explorer, recycling and deletion at restart;
// and run_cli, which parses and dispatches.

#include "app/cli/cli_run.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "app/cli/cli.h"
#include "app/cli/cli_services.h"
#include "app/cli/cli_disconnect.h"
#include "app/cli/console.h"
#include "app/language/catalogue.h"
#include "app/remedies/delete_on_restart.h"
#include "app/remedies/eject.h"
#include "app/remedies/protected_paths.h"
#include "app/remedies/recycle.h"
#include "app/remedies/remedy_rules.h"
#include "app/scan/held_text.h"
#include "app/scan/search.h"
#include "app/system/account.h"
#include "common/numbers.h"
#include "common/text.h"
#include "discovery/path_spelling.h"
#include "discovery/paths.h"
#include "procs/end_process.h"
#include "procs/process_facts.h"
#include "rm/explorer_restart.h"
#include "version.h"

namespace tw {
namespace {

// Bad usage: the line that is wrong, and where help is.
void usage_error(const std::string& line) { write_err(line + "\n" + localized_text(msg::kCliHelpHint) + "\n"); }

// The paths as Windows resolves them, relative ones against the current folder; nothing
// when one names no file or folder (a pattern, a device), which is said on stderr.
std::optional<std::vector<Target>> resolve_paths(const std::vector<std::wstring>& paths) {
  std::vector<Target> targets;
  for (const std::wstring& p : paths) {
    std::optional<Target> t = normalise_path(p, RelativePaths::Resolve);
    if (!t) {
      usage_error(localized_filled(msg::kCliNotAPath, {printable(to_utf8(p))}));
      return std::nullopt;
    }
    targets.push_back(std::move(*t));
  }
  return targets;
}

// Only a file system that says so proves a path names nothing: an unreadable folder does not.
bool names_nothing(const Target& target) {
  if (::GetFileAttributesW(exact_path(target).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The paths to search, each of which must exist: a search for what is not there would answer
// that nothing holds it, and a script would take that for leave to go on.
std::optional<std::vector<Target>> paths_to_search(const std::vector<std::wstring>& paths) {
  std::optional<std::vector<Target>> targets = resolve_paths(paths);
  if (!targets) return std::nullopt;
  for (const Target& t : *targets) {
    if (names_nothing(t)) {
      usage_error(localized_filled(msg::kCliNoSuchPath, {printable(to_utf8(t))}));
      return std::nullopt;
    }
  }
  return targets;
}

std::string progress_text(const ScanProgress& p) {
  switch (p.phase) {
    case ScanPhase::Listing:
      return localized_filled(msg::kProgressListing, {group_thousands(p.files)});
    case ScanPhase::AskingWindows:
      return localized_filled(msg::kProgressAskingWindows, {group_thousands(p.files)}) + " (" +
             std::to_string(static_cast<int>(p.fraction * 100.0f)) + "%)";
    case ScanPhase::DeepSearching:
    case ScanPhase::Taken:
      break;
  }
  return localized_text(msg::kProgressDeepSearching) + " (" + std::to_string(static_cast<int>(p.fraction * 100.0f)) +
         "%)";
}

// One search, on a thread of its own so that Ctrl+C is answered at once; nothing when it was
// interrupted (the search is then left to end with the process).
std::optional<ScanResult> search(const std::vector<Target>& targets, bool deep) {
  auto done = std::make_shared<std::promise<ScanResult>>();
  std::future<ScanResult> result = done->get_future();
  const bool show = is_console(STD_ERROR_HANDLE);
  auto last = std::make_shared<std::atomic<std::uint64_t>>(0);
  std::thread worker([targets, deep, done, show, last] {
    const ProgressSink progress = [show, last](const ScanProgress& p) {
      if (!show) return;
      const std::uint64_t now = ::GetTickCount64();
      if (now - last->load() < 100) return;  // a few redraws a second are enough
      last->store(now);
      show_progress(progress_text(p));
    };
    done->set_value(search_targets(targets, deep, progress));
  });
  while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (interrupted()) {
      worker.detach();
      end_progress();
      return std::nullopt;
    }
  }
  worker.join();
  end_progress();
  return result.get();
}

void print_result(const CliCommand& c, const std::vector<Target>& targets, const ScanResult& r) {
  const bool elevated = process_is_elevated();
  write_out(c.json ? holders_json(targets, r, elevated) : holders_table(r, elevated));
}

int stopped() {
  write_err(localized_text(msg::kCliStopped) + "\n");
  return kExitSearchFailed;
}

int run_find(const CliCommand& c) {
  const auto targets = paths_to_search(c.paths);
  if (!targets) return kExitUsage;
  const std::optional<ScanResult> r = search(*targets, c.deep);
  if (!r) return stopped();
  print_result(c, *targets, *r);
  return search_exit_code(*r, process_is_elevated());
}

// A path that goes while it is waited for is let go: nothing can hold it any more.
int run_wait(const CliCommand& c) {
  const auto targets = paths_to_search(c.paths);
  if (!targets) return kExitUsage;
  const bool elevated = process_is_elevated();
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(c.timeout_seconds) * 1000;
  double delay = 0;
  for (;;) {
    const std::optional<ScanResult> r = search(*targets, c.deep);
    if (!r) return stopped();
    const int status = search_exit_code(*r, elevated);
    if (!waits_on(status)) {
      // Said when it is not a plain yes, so that the script's log shows why.
      if (status != kExitSuccess) print_result(c, *targets, *r);
      return status;
    }
    const ULONGLONG now = ::GetTickCount64();
    delay = next_wait_delay(delay);
    if (now >= deadline) {
      print_result(c, *targets, *r);
      return status;
    }
    const auto wait_ms = static_cast<DWORD>(std::min<ULONGLONG>(static_cast<ULONGLONG>(delay * 1000), deadline - now));
    if (!sleep_unless_interrupted(wait_ms)) return stopped();
  }
}

// A process to act on, with what it is called.
struct Named {
  std::uint32_t pid = 0;
  std::uint64_t start_time = 0;
  std::string name;
  HolderKind kind = HolderKind::Program;
};

std::string name_of(std::uint32_t pid) {
  const std::optional<std::wstring> image = image_path(pid);
  if (!image) return "PID " + std::to_string(pid);
  return file_name_of(*image);
}

// Only ids the system lists are running: OpenProcess may also answer for an id that merely
// resembles a running process's, and a process that exited while someone keeps a handle to
// it can still be opened.
bool is_listed(const std::vector<ProcessEntry>& running, std::uint32_t pid) {
  return std::any_of(running.begin(), running.end(), [pid](const ProcessEntry& e) { return e.pid == pid; });
}

// The processes a close or end names: given by id (each checked to be the one named), or
// found holding the paths. False when nothing can be acted on for a reason already said.
bool processes_of(const CliCommand& c, std::vector<Named>& out, int& code) {
  if (c.all) {
    const auto targets = paths_to_search(c.paths);
    if (!targets) {
      code = kExitUsage;
      return false;
    }
    const std::optional<ScanResult> r = search(*targets, c.deep);
    if (!r) {
      code = stopped();
      return false;
    }
    for (const Holder& h : r->holders) out.push_back(Named{h.pid, h.start_time, shown_title(h), h.kind});
    if (r->holders.empty()) {
      // Nothing to act on is no success when the file is in use all the same, or the search
      // could not look everywhere: the search's answer is the command's.
      const bool elevated = process_is_elevated();
      code = search_exit_code(*r, elevated);
      if (code != kExitSuccess) write_out(holders_table(*r, elevated));
    }
    return true;
  }
  const std::vector<ProcessEntry> running = process_list();
  for (const ProcessRef& ref : c.processes) {
    if (!is_listed(running, ref.pid) || !is_running(ref.pid, 0)) {
      write_err(localized_filled(msg::kCliNotRunning, {std::to_string(ref.pid)}) + "\n");
      code = kExitStillHeld;
      continue;
    }
    const std::optional<std::uint64_t> started = creation_time(ref.pid);
    if (started && ref.start_time && *ref.start_time != *started) {
      // The id names another process now: never touched.
      write_err(localized_filled(msg::kCliOtherProcess, {std::to_string(ref.pid)}) + "\n");
      code = kExitStillHeld;
      continue;
    }
    // One out of reach gives no start time; the remedies then say they could not act on it.
    // Its kind is refused exactly as a search's holder of that kind would be.
    const std::uint64_t start = started ? *started : ref.start_time.value_or(0);
    out.push_back(Named{ref.pid, start, name_of(ref.pid), classify_running(ref.pid)});
  }
  return true;
}

// Ending and the other actions that cannot be undone need --yes or a yes at the console.
bool confirmed(const CliCommand& c, std::string question) {
  if (c.yes) return true;
  if (ask_yes(question)) return true;
  write_err(localized_text(is_console(STD_INPUT_HANDLE) ? msg::kCliNotDone : msg::kCliNeedsYes) + "\n");
  return false;
}

// Says what an outcome reads as: on standard output when the remedy did what it should
// (then true), else on standard error.
bool say_outcome(const std::string& who, RemedyKind remedy, std::uint8_t result, bool elevated) {
  const std::string words =
      who + localized_text(*outcome_words(remedy, result, elevated, RemedySurface::Console)) + "\n";
  const ActionKind after = state_after(remedy, result);
  const bool done = after == ActionKind::Closed || after == ActionKind::Restarted;
  if (done) {
    write_out(words);
  } else {
    write_err(words);
  }
  return done;
}

int run_close_or_end(const CliCommand& c) {
  std::vector<Named> processes;
  int code = kExitSuccess;
  if (!processes_of(c, processes, code)) return code;
  const RemedyKind remedy = c.verb == CliVerb::End ? RemedyKind::ForceQuit : RemedyKind::Close;
  const bool elevated = process_is_elevated();
  for (const Named& p : processes) {
    const std::string name = printable(p.name);
    const std::string who = std::to_string(p.pid) + " " + name + ": ";
    if (!remedy_fits(remedy, p.kind)) {
      write_err(who +
                localized_text(p.kind == HolderKind::FileExplorer  ? msg::kCliUseRestartExplorer
                               : p.kind == HolderKind::NetworkOpen ? msg::kCliUseDisconnect
                                                                   : msg::kPartOfWindowsCantEnd) +
                "\n");
      code = kExitStillHeld;
      continue;
    }
    if (remedy == RemedyKind::ForceQuit && !confirmed(c, localized_filled(msg::kConfirmForceQuit, {name}))) {
      code = kExitStillHeld;
      continue;
    }
    const std::uint8_t result = remedy == RemedyKind::ForceQuit
                                    ? static_cast<std::uint8_t>(force_quit_process(p.pid, p.start_time))
                                    : static_cast<std::uint8_t>(close_process_windows(p.pid, p.start_time) ? 1 : 0);
    if (!say_outcome(who, remedy, result, elevated)) code = kExitStillHeld;
  }
  return code;
}

int run_restart_explorer(const CliCommand& c) {
  DWORD pid = 0;
  if (const HWND shell = ::GetShellWindow()) ::GetWindowThreadProcessId(shell, &pid);
  const std::optional<std::uint64_t> started = pid != 0 ? creation_time(pid) : std::nullopt;
  if (!started) {
    write_err(localized_text(msg::kCouldNotRestartExplorer) + "\n");
    return kExitStillHeld;
  }
  if (!confirmed(c, localized_text(msg::kConfirmRestartExplorer))) return kExitStillHeld;
  const std::uint8_t result = restart_explorer(pid, *started, process_is_elevated()) ? 1 : 0;
  return say_outcome("", RemedyKind::RestartExplorer, result, false) ? kExitSuccess : kExitStillHeld;
}

// The paths, resolved and none protected; nothing when they cannot be acted on (said).
std::optional<std::vector<Target>> unprotected(const CliCommand& c, int& code) {
  std::optional<std::vector<Target>> targets = resolve_paths(c.paths);
  if (!targets) {
    code = kExitUsage;
    return std::nullopt;
  }
  if (const std::optional<std::string> refusal = protected_refusal(*targets)) {
    write_err(*refusal + "\n");
    code = kExitStillHeld;
    return std::nullopt;
  }
  return targets;
}

int run_recycle(const CliCommand& c) {
  int code = kExitSuccess;
  const auto targets = unprotected(c, code);
  if (!targets) return code;
  std::vector<std::string> shown;
  for (const Target& t : *targets) shown.push_back(printable(to_utf8(t)));
  if (!confirmed(c, recycle_confirmation_of(shown))) return kExitStillHeld;
  // Nobody may be there to answer the shell (a service, SSH, a scheduled task).
  std::string moved;
  for (std::size_t i = 0; i < targets->size(); ++i) {
    const RecycleResult result = recycle_target(nullptr, (*targets)[i], RecycleUi::None);
    if (result == RecycleResult::Moved) {
      moved += shown[i] + ": " + localized_text(msg::kMovedToRecycleBin) + "\n";
      continue;
    }
    const Message& why = result == RecycleResult::Missing ? msg::kCliNoSuchPath
                         : result == RecycleResult::NoBin ? msg::kCliNoRecycleBin
                                                          : msg::kCliNotRecycled;
    write_err(localized_filled(why, {shown[i]}) + "\n");
    code = kExitStillHeld;
  }
  // All moved: one line says so; otherwise each one that was.
  write_out(code == kExitSuccess ? localized_text(msg::kMovedToRecycleBin) + "\n" : moved);
  return code;
}

// Schedules on a thread of its own, so that Ctrl+C is answered and progress shown while the
// folders are checked or the elevated helper is waited for. Ctrl+C stops it before anything
// is written; it is always waited for, so that what is said is what happened.
DeletePlan schedule_with_progress(const std::vector<Target>& targets, const std::wstring& helper) {
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> last{0};
  const auto throttled = [&last](const std::string& text) {
    const std::uint64_t now = ::GetTickCount64();
    if (now - last.load() < 100) return;  // a few redraws a second are enough
    last.store(now);
    show_progress(text);
  };
  DeleteControl control;
  control.stop = &stop;
  control.found = [&](std::size_t n) { throttled(localized_filled(msg::kDeleteChecking, {group_thousands(n)})); };
  control.waited = [&](std::uint64_t s) {
    throttled(localized_filled(msg::kDeleteWaitingForHelper, {std::to_string(s)}));
  };
  DeletePlan plan;
  std::atomic<bool> done{false};
  // The console's window owns the elevation prompt, so that it comes up in front of it.
  std::thread worker([&] {
    plan = delete_on_reboot_now(targets, ::GetConsoleWindow(), helper, control);
    done = true;
  });
  while (!done) {
    if (interrupted()) stop = true;
    ::Sleep(50);
  }
  worker.join();
  end_progress();
  return plan;
}

int run_delete_on_restart(const CliCommand& c) {
  int code = kExitSuccess;
  const auto targets = unprotected(c, code);
  if (!targets) return code;
  if (!confirmed(c, localized_text(msg::kConfirmDeleteOnRestart))) return kExitStillHeld;
  // Not elevated, the window program beside this one is started as the elevated helper.
  const std::wstring own = own_executable_path();
  const std::wstring helper = own.substr(0, own.find_last_of(L'\\') + 1) + L"tarnwick.exe";
  const DeletePlan plan = schedule_with_progress(*targets, helper);
  if (!plan) {
    write_err(delete_refusal_text(plan) + "\n");
    return plan.refusal == DeleteRefusal::Stopped ? kExitSearchFailed : kExitStillHeld;
  }
  write_out(localized_text(msg::kScheduled) + "\n");
  return kExitSuccess;
}

// Windows' refusal in words, on standard error.
void report_veto(const std::string& words) { write_err(printable(words) + "\n"); }

// The arguments were checked to be one drive's spelling. After a refusal the drive is searched,
// so that the user sees what is open on it.
int run_eject(const CliCommand& c) {
  const std::wstring root = drive_root(c.paths[0]).value_or(c.paths[0]);
  const EjectOutcome outcome = eject_drive(root);
  const std::string words = eject_outcome_text(outcome, drive_shown(root));
  const bool vetoed = outcome.refusal == EjectRefusal::None && !outcome.ejected;
  std::optional<ScanResult> in_the_way;
  if (vetoed) {
    if (!c.json) report_veto(words);  // before the search, which takes a while
    in_the_way = search({Target(root)}, false);
  }
  if (c.json) {
    write_out(eject_json(root, outcome, in_the_way ? &*in_the_way : nullptr));
  } else if (outcome.ejected) {
    write_out(words + "\n");
  } else if (outcome.refusal != EjectRefusal::None) {
    write_err(printable(words) + "\n");
  } else if (in_the_way) {
    write_out(holders_table(*in_the_way, process_is_elevated()));
  }
  return eject_exit_code(outcome);
}

int run_disconnect(const CliCommand& c) {
  const DisconnectRun run =
      disconnect_opens(c.opens, [&c](const std::string& question) { return confirmed(c, question); }, process_is_elevated());
  write_out(run.out);
  write_err(run.err);
  return run.code;
}

int run_command(const CliCommand& c) {
  switch (c.verb) {
    case CliVerb::Help:
      write_out(cli_usage());
      return kExitSuccess;
    case CliVerb::Version:
      write_out(std::string("tarnwick-cli ") + TW_VERSION_TEXT + "\n");
      return kExitSuccess;
    case CliVerb::Find:
      return run_find(c);
    case CliVerb::Wait:
      return run_wait(c);
    case CliVerb::Close:
    case CliVerb::End:
      return run_close_or_end(c);
    case CliVerb::RestartExplorer:
      return run_restart_explorer(c);
    case CliVerb::Recycle:
      return run_recycle(c);
    case CliVerb::DeleteOnRestart:
      return run_delete_on_restart(c);
    case CliVerb::Eject:
      return run_eject(c);
    case CliVerb::StopService:
      return run_stop_service(c, &confirmed);
    case CliVerb::Disconnect:
      return run_disconnect(c);
    case CliVerb::Unlock:
      return run_unlock(c);
  }
  return kExitUsage;
}

}  // namespace

std::optional<std::vector<Target>> cli_paths_to_search(const std::vector<std::wstring>& paths) {
  return paths_to_search(paths);
}
std::optional<ScanResult> cli_search(const std::vector<Target>& targets, bool deep) { return search(targets, deep); }
bool confirmed_by_user(const CliCommand& c, std::string question) { return confirmed(c, std::move(question)); }
int cli_stopped() { return stopped(); }

int run_cli(const std::vector<std::wstring>& arguments) {
  const std::variant<CliCommand, CliUsageError> parsed = parse_cli(arguments);
  if (const auto* error = std::get_if<CliUsageError>(&parsed)) {
    usage_error(usage_error_text(*error));
    return kExitUsage;
  }
  catch_interrupts();
  const int status = run_command(std::get<CliCommand>(parsed));
  // A script that lost the answer must not take the status for it.
  return output_failed() ? kExitOutputFailed : status;
}

}  // namespace tw
