// Shows the main view in a named state, drawn by the program's own view code, for looking
// at it (scripts/screenshots takes the pictures).
//
//   gallery STATE [--dark] [--high-contrast] [--focus] [--dpi N] [--seconds N]
//
// STATE: empty, listing, asking, deep, stopping, one, mixed, released, windows, diagnoses,
// hints, notice, stopped, stopped-none, closing (a row closing with the keyboard focus, beside
// one that can only be forced to quit), ending (the only row being forced to quit), network
// (files other computers opened in a shared folder, one being disconnected), release (rows
// that can release the file only, one of them releasing).
// --high-contrast draws with the colours of Windows' "High Contrast Black" theme; --focus puts
// the keyboard focus, drawn, on the first row's first button (or, without rows, Stop, or else
// the first element). The window closes itself after --seconds (default 4).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>

#include "app/language/catalogue.h"
#include "app/window/view.h"
#include "common/cmdline.h"
#include "common/text.h"

namespace {

using namespace tw;

struct Gallery {
  WindowState state;
  std::optional<Gfx> gfx;
  IconCache icons;
  bool focus = false;
};
Gallery* g_gallery = nullptr;

// The gallery's paths are made up, so the file system cannot say which are folders: here a
// name without an extension is one ("D:\\Work", "D:\\Work\\Archive").
bool looks_like_folder(const Target& t) {
  const std::size_t name = t.find_last_of(L'\\');
  return t.find(L'.', name == Target::npos ? 0 : name) == Target::npos;
}

Holder make_holder(std::uint32_t pid, const char* title, HolderKind kind, bool window, const char* window_title = "") {
  Holder h;
  h.pid = pid;
  h.title = title;
  h.exe_name = std::string(title) + ".exe";
  h.kind = kind;
  h.has_window = window;
  h.window_title = window_title;
  h.image_path = L"C:\\windows\\system32\\notepad.exe";
  h.files = {L"D:\\Work\\Quarterly report.docx"};
  h.held = "Quarterly report.docx";
  return h;
}

WindowState preset(const std::wstring& name) {
  WindowState s;
  if (name == L"empty") return s;
  s.targets = {L"D:\\Work\\Quarterly report.docx"};
  s.summary = ScanSummary{};
  s.summary->files_checked = 1;
  if (name == L"listing" || name == L"asking" || name == L"deep" || name == L"stopping") {
    s.targets = {L"D:\\Work"};
    s.summary.reset();
    s.tick = 1;
    s.progress = name == L"listing"  ? ScanProgress{12'500, 0.0f, ScanPhase::Listing}
                 : name == L"asking" ? ScanProgress{48'210, 0.4f, ScanPhase::AskingWindows}
                                     : ScanProgress{48'210, 0.3f, ScanPhase::DeepSearching};
    s.deep = name == L"deep" || name == L"stopping";
    s.stopping = name == L"stopping";
  } else if (name == L"stopped" || name == L"stopped-none") {
    s.targets = {L"D:\\Work"};
    if (name == L"stopped") {
      s.rows = {{make_holder(4120, "Word", HolderKind::Program, true, "Quarterly report.docx - Word"), {}}};
    }
    s.summary->folders = 1;
    s.summary->files_checked = 23'480;
    s.summary->deep = s.deep = name == L"stopped";
    s.summary->stopped = true;
  } else if (name == L"one") {
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true, "Quarterly report.docx - Word"), {}}};
  } else if (name == L"mixed" || name == L"released") {
    const bool done = name == L"released";
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true, "Quarterly report.docx - Word"),
               {done ? ActionKind::Closed : ActionKind::Closing, {}}},
              {make_holder(5230, "Photos", HolderKind::Program, true), {done ? ActionKind::Closed : ActionKind::NotClosed, {}}},
              {make_holder(6100, "backup-agent", HolderKind::Program, false), {done ? ActionKind::Closed : ActionKind::Idle, {}}},
              {make_holder(3010, "Windows Explorer", HolderKind::FileExplorer, true),
               {done ? ActionKind::Restarted : ActionKind::Failed, std::string(localized(msg::kCouldNotRestartExplorer))}}};
    s.rows[2].holder.ways = {kHeldOpen | kHeldMapped};  // a backup agent reads it through a mapped view
    if (!done) {
      s.rows.push_back({make_holder(1200, "Print Spooler", HolderKind::Service, false), {}});
      s.rows.back().holder.services = {"Spooler"};
      s.rows.push_back({make_holder(4, "System", HolderKind::WindowsComponent, false), {}});
    }
    s.tick = 2;
  } else if (name == L"closing") {
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true, "Quarterly report.docx - Word"), {ActionKind::Closing, {}}},
              {make_holder(6100, "backup-agent", HolderKind::Program, false), {}}};
    s.focus = Focus{Hit{HitKind::Row, 0}, 4120, 0, HitKind::RowClose};  // its Close button was focused
    s.focus_cues = s.has_focus = true;
    s.tick = 2;
  } else if (name == L"ending") {
    s.rows = {{make_holder(6100, "backup-agent", HolderKind::Program, false), {ActionKind::Ending, {}}}};
    s.tick = 1;
  } else if (name == L"service") {
    s.rows = {{make_holder(2210, "Windows Search", HolderKind::WindowsComponent, false), {}},
              {make_holder(1200, "Print Spooler", HolderKind::Service, false), {ActionKind::Stopping, {}}}};
    s.rows[0].holder.stoppable_services = {"WSearch"};
    s.rows[1].holder.services = s.rows[1].holder.stoppable_services = {"Spooler"};
    s.focus = Focus{Hit{HitKind::RowStopService, 0}, 2210, 0, HitKind::Nothing};
    s.focus_cues = s.has_focus = true;
    s.tick = 1;
  } else if (name == L"windows") {
    s.rows = {{make_holder(4, "System", HolderKind::WindowsComponent, false), {}}};
  } else if (name == L"diagnoses") {
    s.targets = {L"D:\\Work\\old.tmp", L"D:\\Work\\Archive", L"D:\\Work\\locked.pst"};
    s.summary->diagnoses = {Diagnosis{s.targets[0], DiagnosisKind::Gone, 0, false},
                            Diagnosis{s.targets[1], DiagnosisKind::ReadOnly, 3, true},
                            Diagnosis{s.targets[2], DiagnosisKind::InUseUnseen, 0, false}};
  } else if (name == L"hints") {
    s.targets = {L"D:\\Work"};
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true), {}}};
    s.summary->folders = 1;
    s.summary->files_checked = 50'000;
    s.summary->truncated = true;
    s.summary->deep = true;
    s.summary->inaccessible = 3;
    s.summary->gave_up = true;
  } else if (name == L"eject") {
    s.targets = {L"E:\\"};
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true, "Trip notes.docx - Word"), {}}};
    s.rows[0].holder.files = {L"E:\\Trip notes.docx"};
    s.rows[0].holder.held = "Trip notes.docx";
    s.summary->drive = true;
    s.summary->deep = true;  // a drive search is deep by nature
    s.eject_offered = true;
  } else if (name == L"network") {
    // Files other computers opened in a shared folder, beside a program of this one.
    s.targets = {L"D:\\Shared\\Team"};
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true, "Budget.xlsx - Word"), {}}};
    for (const auto& [id, user, computer, file] : {std::tuple{134217741u, "ana", "LAPTOP-7", L"Budget.xlsx"},
                                                  std::tuple{134217745u, "bo", "", L"Minutes\\March.docx"}}) {
      Holder h;
      h.kind = HolderKind::NetworkOpen;
      h.pid = id;
      h.title = user;
      h.remote = RemoteOpener{user, computer, 3, 0};
      h.files = {std::wstring(L"D:\\Shared\\Team\\") + file};
      h.held = to_utf8(file);
      s.rows.push_back({std::move(h), {}});
    }
    s.rows.back().action = ActionState{ActionKind::Disconnecting, {}};
    s.tick = 1;
  } else if (name == L"release") {
    s.targets = {L"D:\\Work"};
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true, "Quarterly report.docx - Word"), {}},
              {make_holder(6100, "backup-agent", HolderKind::Program, false), {}},
              {make_holder(7300, "Photos", HolderKind::Program, true), {ActionKind::Releasing, {}}}};
    for (HolderRow& r : s.rows) r.holder.handles = {HeldHandle{0x1A4, L"D:\\Work\\Quarterly report.docx"}};
    s.summary->folders = 1;
    s.summary->files_checked = 12;
    s.summary->deep = true;
    s.tick = 2;
  } else if (name == L"notice") {
    s.rows = {{make_holder(4120, "Word", HolderKind::Program, true), {ActionKind::Closed, {}}}};
    s.notice = std::string(localized(msg::kMovedToRecycleBin));
  }
  s.targets_hold_folder = std::any_of(s.targets.begin(), s.targets.end(), &looks_like_folder);
  return s;
}

LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT && g_gallery && g_gallery->gfx) {
    Gallery& g = *g_gallery;
    const ClientSize client = client_size(window);
    resize_gfx(*g.gfx, client.width, client.height);
    const ViewSize size{static_cast<float>(client.width), static_cast<float>(client.height), g.gfx->scale};
    Layout layout = layout_view(g.state, size, layer_metrics(*g.gfx), true);
    if (g.focus && !g.state.focus) {
      const std::vector<Hit> order = focus_order(layout, g.state);
      auto first = std::find_if(order.begin(), order.end(), [](const Hit& h) {
        return in_row(h.kind) && h.kind != HitKind::Row;
      });
      if (first == order.end()) first = std::find(order.begin(), order.end(), Hit{HitKind::StopSearch});
      if (!order.empty()) set_focus(g.state, first != order.end() ? *first : order.front());
      g.state.focus_cues = g.state.has_focus = true;
      layout = layout_view(g.state, size, layer_metrics(*g.gfx), true);
    }
    begin_frame(*g.gfx, background_color(g.state));
    paint_view(*g.gfx, layout, g.state, g.icons);
    static_cast<void>(end_frame(*g.gfx));  // a lost device just leaves this picture unpainted
    ::ValidateRect(window, nullptr);
    return 0;
  }
  if (message == WM_TIMER || message == WM_CLOSE) {
    ::DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const auto args = split_command_line(::GetCommandLineW());
  if (args.empty()) return 2;
  Gallery gallery;
  gallery.state = preset(args[0]);
  UINT dpi = 96;
  UINT seconds = 4;
  bool focus = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == L"--dark") gallery.state.dark = true;
    if (args[i] == L"--high-contrast") {
      gallery.state.high_contrast =
          SystemColors{0x000000, 0xFFFFFF, 0x1AEBFF, 0x000000, 0x000000, 0xFFFFFF, 0x3FF23F, 0xFFFF00};
    }
    if (args[i] == L"--focus") focus = true;
    if (args[i] == L"--dpi" && i + 1 < args.size()) dpi = static_cast<UINT>(std::wcstoul(args[++i].c_str(), nullptr, 10));
    if (args[i] == L"--seconds" && i + 1 < args.size()) seconds = static_cast<UINT>(std::wcstoul(args[++i].c_str(), nullptr, 10));
  }
  gallery.state.dpi = dpi;
  gallery.focus = focus;
  g_gallery = &gallery;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"Tarnwick.Gallery";
  ::RegisterClassExW(&wc);
  const int width = static_cast<int>(880 * dpi / 96), height = static_cast<int>(640 * dpi / 96);
  const HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"Tarnwick", WS_POPUP, 0, 0, width, height, nullptr,
                                        nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  gallery.state.window = window;
  gallery.gfx = create_gfx(window, dpi, script_letters(current_language()), text_locale(current_language())).gfx;
  if (!gallery.gfx) return 1;
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::SetTimer(window, 1, seconds * 1000, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  return 0;
}
