#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>

#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/text.h"
#include "support/holder_process.h"
#include "support/saved_environment.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

// The DLLs the programs use that Windows looks for in the program's own folder first. Not
// version.dll: Wine's own user32.dll imports it (Windows' does not), so under Wine it is found
// beside the program before any of the program's code runs.
constexpr const wchar_t* kPlantedNames[] = {L"dwmapi",   L"d2d1",    L"dwrite", L"d3d11", L"dxgi",
                                            L"winhttp",  L"wintrust", L"crypt32", L"bcrypt", L"mpr",
                                            L"rstrtmgr", L"uiautomationcore"};

std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
  return text;
}

std::wstring folder_of(const std::wstring& path) { return lower(path.substr(0, path.find_last_of(L'\\'))); }

// The paths (in lower case) of the modules a running process has loaded, once it has loaded
// `awaited`; nothing if it ended or never did.
std::vector<std::wstring> module_paths_once_loaded(HANDLE process, const std::wstring& awaited) {
  for (int tries = 0; tries < 300; ++tries) {
    HMODULE modules[512];
    DWORD bytes = 0;
    std::vector<std::wstring> paths;
    if (::EnumProcessModulesEx(process, modules, sizeof modules, &bytes, LIST_MODULES_ALL)) {
      for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
        wchar_t path[MAX_PATH] = {};
        if (::GetModuleFileNameExW(process, modules[i], path, MAX_PATH)) paths.push_back(lower(path));
      }
    }
    for (const std::wstring& p : paths) {
      if (p.ends_with(L"\\" + awaited)) return paths;
    }
    if (::WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return {};
  }
  return {};
}

// Copies of both programs in a folder of their own, with the DLL that leaves a mark planted
// beside them under each of those names; WINEDLLOVERRIDES for their children makes Wine look
// in the program's folder first, as Windows does for these DLLs.
std::wstring plant_beside_copies(const test::TempDir& copy) {
  std::wstring overrides = L"mscoree,mshtml=;";
  for (const wchar_t* name : kPlantedNames) {
    const std::wstring planted = (copy / name) + L".dll";
    if (!::CopyFileW((test::program_dir() + L"\\tw_planted.dll").c_str(), planted.c_str(), FALSE)) return {};
    overrides += std::wstring(name) + L",";
  }
  overrides.back() = L'=';
  for (const wchar_t* program : {L"tarnwick.exe", L"tarnwick-cli.exe"}) {
    if (!::CopyFileW((test::program_dir() + L"\\" + program).c_str(), (copy / program).c_str(), FALSE)) return {};
  }
  return overrides + L"n,b";
}

// The names of the planted DLLs that left a mark, the marks then removed.
std::string planted_dlls_loaded(const std::wstring& marks) {
  std::string names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((marks + L"\\*.dll").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names += to_utf8(found.cFileName) + " ";
    ::DeleteFileW((marks + L"\\" + found.cFileName).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

struct PlantedRun {
  const wchar_t* program;
  std::vector<std::wstring> arguments;
  std::optional<DWORD> exit;  // nothing: the window, ended once it has searched
  const char* output;         // what standard output must hold, if anything
};

TEST(PlantedDlls, NeitherProgramLoadsADllFromItsOwnFolderInAnyMode) {
  const test::TempDir files, copy;
  const std::wstring held = files / L"held.txt", marks = copy / L"marks";
  ASSERT_TRUE(test::write_file(held, "x"));
  auto holder = test::HolderProcess::start({L"--open", held});
  ASSERT_TRUE(holder);
  ASSERT_TRUE(test::make_dir(marks));
  const std::wstring overrides = plant_beside_copies(copy);
  ASSERT_FALSE(overrides.empty());
  constexpr const wchar_t* kVariables[] = {L"WINEDLLOVERRIDES", L"TW_PLANTED_MARKS"};
  const test::SavedEnvironment saved(kVariables);
  ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.c_str());
  ::SetEnvironmentVariableW(L"TW_PLANTED_MARKS", marks.c_str());

  // The window and the command line search with the Restart Manager (rstrtmgr.dll) and
  // describe the holder.
  const PlantedRun runs[] = {
      {L"tarnwick.exe", {L"--fresh", L"--deep", held}, std::nullopt, nullptr},
      {L"tarnwick.exe", {L"--delete-on-reboot", files / L"missing.txt"}, 1, nullptr},
      {L"tarnwick-cli.exe", {L"find", L"--deep", L"--json", held}, 1, "Tarnwick test holder"},
  };
  for (const PlantedRun& run : runs) {
    const std::string what = to_utf8(std::wstring(run.program) + L" " + run.arguments.front());
    const std::wstring out = copy / L"out.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandle o(::CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    UniqueHandle nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   OPEN_EXISTING, 0, nullptr));
    auto started = test::start_process(copy / run.program, run.arguments, copy.path().c_str(),
                                       test::StandardHandles{nul.get(), o.get(), nul.get()});
    ASSERT_TRUE(started) << what;
    const UniqueHandle process = std::move(started->process);
    if (!run.exit) {
      // It searched with System32's Restart Manager, and nothing came from the program's folder.
      const std::vector<std::wstring> modules = module_paths_once_loaded(process.get(), L"rstrtmgr.dll");
      EXPECT_FALSE(modules.empty()) << what;
      for (const std::wstring& m : modules) {
        EXPECT_TRUE(m.ends_with(L"\\tarnwick.exe") || folder_of(m) != lower(copy.path())) << to_utf8(m);
      }
      ::TerminateProcess(process.get(), 0);
    }
    DWORD code = 99;
    if (::WaitForSingleObject(process.get(), 30'000) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), code);
    ::GetExitCodeProcess(process.get(), &code);
    o.reset();
    if (run.exit) {
      EXPECT_EQ(code, *run.exit) << what;
    }
    if (run.output) {
      EXPECT_NE(test::read_file(out).find(run.output), std::string::npos) << what;
    }
    EXPECT_EQ(planted_dlls_loaded(marks), "") << what;
  }
  EXPECT_EQ(test::run_program(L"tarnwick.exe", {L"--unregister"}), 0u);
}

}  // namespace
}  // namespace tw
