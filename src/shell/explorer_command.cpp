#include "shell/explorer_command.h"

#include <atomic>
#include <new>

#include "app/language/catalogue.h"
#include "app/system/settings.h"
#include "common/com_object.h"
#include "common/handles.h"
#include "common/text.h"
#include "discovery/paths.h"

namespace tw {
namespace {

std::atomic<long> g_users{0};
std::atomic<HMODULE> g_module{nullptr};

// A copy of `text` that File Explorer frees with CoTaskMemFree.
HRESULT task_copy(std::wstring_view text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (*out == nullptr) return E_OUTOFMEMORY;
  text.copy(*out, text.size());
  (*out)[text.size()] = L'\0';
  return S_OK;
}

// tarnwick.exe beside this DLL.
std::wstring program_path() {
  const std::wstring dll = module_path(g_module.load());
  const std::size_t slash = dll.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : join_path(dll.substr(0, slash), L"tarnwick.exe");
}

// The file-system paths of the selection; items without one (Control Panel, a phone) are left out.
std::vector<std::wstring> selected_paths(IShellItemArray* items) {
  std::vector<std::wstring> paths;
  DWORD count = 0;
  if (items == nullptr || FAILED(items->GetCount(&count))) return paths;
  for (DWORD i = 0; i < count; ++i) {
    IShellItem* item = nullptr;
    if (FAILED(items->GetItemAt(i, &item)) || item == nullptr) continue;
    LPWSTR name = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) && name != nullptr) paths.emplace_back(name);
    ::CoTaskMemFree(name);
    item->Release();
  }
  return paths;
}

class ExplorerCommand final : public ComObject<ExplorerCommand, IExplorerCommand> {
 public:
  ExplorerCommand() { lock_module(); }
  ~ExplorerCommand() { unlock_module(); }
  ExplorerCommand(const ExplorerCommand&) = delete;
  ExplorerCommand& operator=(const ExplorerCommand&) = delete;

  HRESULT STDMETHODCALLTYPE GetTitle(IShellItemArray*, LPWSTR* name) override {
    const std::string title =
        shell_title(read_string_setting(kSettingsKey, kValueLanguage), ::GetUserDefaultUILanguage());
    return task_copy(to_wide(title), name);
  }
  HRESULT STDMETHODCALLTYPE GetIcon(IShellItemArray*, LPWSTR* icon) override {
    const std::wstring program = program_path();
    if (program.empty()) return E_FAIL;
    return task_copy(program + L",-1", icon);  // the program's icon, resource 1
  }
  HRESULT STDMETHODCALLTYPE GetToolTip(IShellItemArray*, LPWSTR* tip) override {
    if (tip != nullptr) *tip = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalName(GUID* name) override {
    if (name == nullptr) return E_POINTER;
    *name = kExplorerCommandClsid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state) override {
    if (state == nullptr) return E_POINTER;
    *state = ECS_HIDDEN;
    DWORD count = 0;
    SFGAOF attributes = 0;
    if (items != nullptr && SUCCEEDED(items->GetCount(&count)) && count > 0 &&
        SUCCEEDED(items->GetAttributes(SIATTRIBFLAGS_AND, SFGAO_FILESYSTEM, &attributes)) &&
        (attributes & SFGAO_FILESYSTEM) != 0) {
      *state = ECS_ENABLED;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(IShellItemArray* items, IBindCtx*) override;
  HRESULT STDMETHODCALLTYPE GetFlags(EXPCMDFLAGS* flags) override {
    if (flags == nullptr) return E_POINTER;
    *flags = ECF_DEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumSubCommands(IEnumExplorerCommand** commands) override {
    if (commands != nullptr) *commands = nullptr;
    return E_NOTIMPL;
  }
};

HRESULT STDMETHODCALLTYPE ExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) {
  const std::vector<std::wstring> paths = selected_paths(items);
  const std::wstring program = program_path();
  if (paths.empty() || program.empty()) return S_OK;
  // Every start after the first hands its paths to the first one's window.
  for (std::wstring& line : shell_command_lines(program, paths)) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started)) {
      return HRESULT_FROM_WIN32(::GetLastError());
    }
    // File Explorer may give the window it starts the foreground, as it does its own.
    static_cast<void>(::AllowSetForegroundWindow(started.dwProcessId));
    const UniqueHandle process(started.hProcess), thread(started.hThread);
  }
  return S_OK;
}

std::wstring quoted(std::wstring_view text) {
  std::wstring out = L"\"";
  out += text;
  const std::size_t last = text.find_last_not_of(L'\\');
  const std::size_t trailing = text.size() - (last == std::wstring_view::npos ? 0 : last + 1);
  out.append(trailing, L'\\');
  out += L'"';
  return out;
}

}  // namespace

std::string shell_title(const std::optional<std::string>& stored_language, LANGID ui_langid) {
  const std::string_view language = choose_language(stored_language, ui_langid);
  return std::string(localized_in(msg::kUnlockWithTarnwick, language, parse_translation(translation_document(language))));
}

std::vector<std::wstring> shell_command_lines(std::wstring_view exe, const std::vector<std::wstring>& paths) {
  std::vector<std::wstring> lines;
  const std::wstring program = quoted(exe);
  for (const std::wstring& path : paths) {
    const std::wstring argument = L" " + quoted(path);
    if (lines.empty() || lines.back().size() + argument.size() > kCommandLineLimit) lines.push_back(program);
    lines.back() += argument;
  }
  return lines;
}

IExplorerCommand* make_explorer_command() { return new (std::nothrow) ExplorerCommand(); }

void lock_module() { ++g_users; }
void unlock_module() { --g_users; }
bool module_in_use() { return g_users.load() != 0; }
void set_module(HMODULE module) { g_module = module; }

}  // namespace tw
