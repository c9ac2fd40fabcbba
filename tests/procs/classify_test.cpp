#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "common/text.h"
#include "procs/classify.h"

namespace tw {
namespace {

// Sets SystemRoot in this process (nullptr removes it) and puts back what was there. Wine
// gives every new process its own, so only code running here sees the change.
class ScopedSystemRoot {
 public:
  explicit ScopedSystemRoot(const wchar_t* value) {
    wchar_t old[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SystemRoot", old, MAX_PATH);
    if (n > 0 && n < MAX_PATH) old_ = old;
    ::SetEnvironmentVariableW(L"SystemRoot", value);
  }
  ~ScopedSystemRoot() { ::SetEnvironmentVariableW(L"SystemRoot", old_ ? old_->c_str() : nullptr); }
  ScopedSystemRoot(const ScopedSystemRoot&) = delete;
  ScopedSystemRoot& operator=(const ScopedSystemRoot&) = delete;

 private:
  std::optional<std::wstring> old_;
};

struct Case {
  std::uint32_t pid;
  std::string exe_name;
  std::optional<std::wstring> image_path;
  std::optional<std::uint32_t> session;
  bool is_service;
  HolderKind expected;
};

void expect_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(classify(c.pid, c.exe_name, c.image_path, c.session, c.is_service), c.expected)
        << "pid " << c.pid << ", " << c.exe_name << ", " << (c.image_path ? to_utf8(*c.image_path) : "no image")
        << ", session " << (c.session ? std::to_string(*c.session) : "none") << ", service " << c.is_service;
  }
}

constexpr auto kProgram = HolderKind::Program;
constexpr auto kExplorer = HolderKind::FileExplorer;
constexpr auto kService = HolderKind::Service;
constexpr auto kComponent = HolderKind::WindowsComponent;

TEST(Classify, SystemProcessNamesWinOverServicesAndSessionZero) {
  const char* names[] = {
      "system", "secure system", "registry", "memory compression", "system idle process", "smss.exe",
      "csrss.exe", "wininit.exe", "winlogon.exe", "services.exe", "lsass.exe", "lsaiso.exe", "svchost.exe",
      "dwm.exe", "fontdrvhost.exe", "sihost.exe", "ctfmon.exe", "taskhostw.exe", "spoolsv.exe",
      "searchindexer.exe", "audiodg.exe", "wudfhost.exe", "conhost.exe", "msmpeng.exe", "nissrv.exe",
      "mpdefendercoreservice.exe", "securityhealthservice.exe", "securityhealthsystray.exe", "sgrmbroker.exe",
      "mssense.exe",
  };
  for (const char* name : names) {
    std::string upper = name;
    for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    expect_cases({{1000, name, std::nullopt, 1, false, kComponent}, {1000, upper, std::nullopt, 0, true, kComponent}});
  }
  expect_cases({
      {1000, "SvcHost.EXE", std::nullopt, 1, false, kComponent},
      {1000, "tas\xE2\x84\xAAhostw.exe", std::nullopt, 1, false, kComponent},  // KELVIN SIGN lower-cases to k
      {1000, "svchost", std::nullopt, 1, false, kProgram},                     // whole names only
      {1000, "my svchost.exe", std::nullopt, 1, false, kProgram},
      {0, "anything.exe", std::nullopt, 1, false, kComponent},
      {4, "notepad.exe", std::wstring(L"C:\\Apps\\notepad.exe"), 1, false, kComponent},
      {5, "notepad.exe", std::nullopt, 1, false, kProgram},
      {1000, "sqlservr.exe", std::nullopt, 1, true, kService},  // RmService, name not listed
      {1000, "updater.exe", std::nullopt, 0, false, kService},
      {1000, "updater.exe", std::nullopt, std::nullopt, false, kProgram},
  });
}

TEST(Classify, ExplorerIsTheShellOnlyInTheWindowsFolder) {
  {
    const ScopedSystemRoot root(L"C:\\WINDOWS");
    expect_cases({
        {1000, "explorer.exe", std::wstring(L"C:\\Windows\\explorer.exe"), 1, false, kExplorer},
        {1000, "EXPLORER.EXE", std::wstring(L"c:\\windows\\Explorer.exe"), 1, false, kExplorer},
        {1000, "explorer.exe", std::nullopt, 1, false, kExplorer},  // image path unreadable
        {1000, "explorer.exe", std::wstring(L"C:\\Windows\\System32\\explorer.exe"), 1, false, kProgram},
        {1000, "explorer.exe", std::wstring(L"D:\\Tools\\explorer.exe"), 1, false, kProgram},
        {1000, "explorer.exe", std::wstring(L"explorer.exe"), 1, false, kProgram},
        {1000, "explorer.exe", std::wstring(L"C:\\Windows\\explorer.exe"), 0, false, kService},
        {1000, "explorer.exe", std::wstring(L"C:\\Windows\\explorer.exe"), 1, true, kService},
    });
  }
  {
    const ScopedSystemRoot root(L"D:\\\x00C4RGER\\");  // only A-Z fold; a trailing backslash is no matter
    expect_cases({{1000, "explorer.exe", std::wstring(L"d:\\\x00C4rger\\explorer.exe"), 1, false, kExplorer},
                  {1000, "explorer.exe", std::wstring(L"D:\\\x00E4RGER\\explorer.exe"), 1, false, kProgram}});
  }
  {
    const ScopedSystemRoot root(nullptr);
    EXPECT_EQ(windows_folder(), L"C:\\Windows");
    expect_cases({{1000, "explorer.exe", std::wstring(L"C:\\WINDOWS\\explorer.exe"), 1, false, kExplorer}});
  }
  const std::wstring long_root = L"E:\\" + std::wstring(400, L'w');  // longer than MAX_PATH
  const ScopedSystemRoot root(long_root.c_str());
  EXPECT_EQ(windows_folder(), long_root);
}

}  // namespace
}  // namespace tw
