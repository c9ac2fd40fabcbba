#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "app/system/settings.h"
#include "common/cmdline.h"
#include "common/text.h"
#include "shell/explorer_command.h"
#include "support/saved_registry_value.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

std::vector<std::wstring> arguments_of(const std::vector<std::wstring>& lines, std::wstring_view exe) {
  std::vector<std::wstring> arguments;
  for (const std::wstring& line : lines) {
    EXPECT_LE(line.size(), kCommandLineLimit);
    EXPECT_EQ(line.rfind(L"\"" + std::wstring(exe) + L"\" ", 0), 0u);
    for (std::wstring& argument : split_command_line(line)) arguments.push_back(std::move(argument));
  }
  return arguments;
}

TEST(ShellCommandLines, EveryPathComesBackAsOneArgumentAndLongSelectionsSplit) {
  const std::wstring exe = L"C:\\Program Files\\Tarnwick\\tarnwick.exe";
  const std::vector<std::vector<std::wstring>> selections{
      {L"D:\\Work\\report.docx"},
      {L"D:\\", L"E:\\"},  // roots: the backslash before the closing quote is doubled
      {L"C:\\Tärnwick 目録\\a  b.txt", L"\\\\server\\share\\x", L"C:\\with; semi&colon^s %PATH%"},
      {L"\\\\?\\C:\\con", L"C:\\trail\\\\"},
  };
  for (const auto& paths : selections) {
    const std::vector<std::wstring> lines = shell_command_lines(exe, paths);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(arguments_of(lines, exe), paths) << to_utf8(lines.front());
  }
  // Thousands of long paths: several lines, none too long, every path once and in order.
  std::vector<std::wstring> many;
  for (int i = 0; i < 3000; ++i) many.push_back(L"D:\\" + std::wstring(200, L'x') + L"\\" + std::to_wstring(i));
  const std::vector<std::wstring> lines = shell_command_lines(exe, many);
  EXPECT_GT(lines.size(), 10u);
  EXPECT_EQ(arguments_of(lines, exe), many);
  EXPECT_TRUE(shell_command_lines(exe, {}).empty());
}

struct Release {
  void operator()(IUnknown* p) const { p->Release(); }
};
template <class T>
using Com = std::unique_ptr<T, Release>;

Com<IShellItemArray> items_of(const std::vector<std::wstring>& paths) {
  std::vector<PIDLIST_ABSOLUTE> lists;
  for (const std::wstring& path : paths) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (SUCCEEDED(::SHParseDisplayName(path.c_str(), nullptr, &list, 0, nullptr))) lists.push_back(list);
  }
  IShellItemArray* items = nullptr;
  if (lists.size() == paths.size()) {
    static_cast<void>(::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                                          const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()), &items));
  }
  for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
  return Com<IShellItemArray>(items);
}

std::string taken(LPWSTR text) {
  std::string out = text == nullptr ? std::string() : to_utf8(text);
  ::CoTaskMemFree(text);
  return out;
}

// As File Explorer does it: the DLL loaded from the program's folder, its factory, the
// command's title, icon and state, and Invoke, which starts "tarnwick.exe" beside it (here the
// curl stand-in, which writes down what it was given).
TEST(ShellExtension, LoadedLikeFileExplorerItNamesShowsAndStartsTheProgram) {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  test::TempDir folder;
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tarnwick-shell.dll").c_str(), (folder / L"tarnwick-shell.dll").c_str(), FALSE));
  ASSERT_TRUE(::CopyFileW((test::program_dir() + L"\\tw_curl.exe").c_str(), (folder / L"tarnwick.exe").c_str(), FALSE));
  const std::wstring file = folder / L"a b ä.txt", sub = folder / L"목록 folder";
  ASSERT_TRUE(test::write_file(file, "x"));
  ASSERT_TRUE(test::make_dir(sub));

  const HMODULE dll = ::LoadLibraryW((folder / L"tarnwick-shell.dll").c_str());
  ASSERT_NE(dll, nullptr);
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(WINAPI*)();
  const auto get_class_object = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
  const auto can_unload_now = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
  ASSERT_TRUE(get_class_object && can_unload_now);
  EXPECT_EQ(can_unload_now(), S_OK);
  IClassFactory* raw_factory = nullptr;
  EXPECT_EQ(get_class_object(CLSID_ShellWindows, IID_IClassFactory, reinterpret_cast<void**>(&raw_factory)),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(get_class_object(kExplorerCommandClsid, IID_IClassFactory, reinterpret_cast<void**>(&raw_factory)), S_OK);
  Com<IClassFactory> factory(raw_factory);
  IExplorerCommand* raw_command = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IExplorerCommand, reinterpret_cast<void**>(&raw_command)), S_OK);
  Com<IExplorerCommand> command(raw_command);
  factory.reset();
  EXPECT_EQ(can_unload_now(), S_FALSE);

  {
    const test::SavedRegistryValue language(HKEY_CURRENT_USER, L"Software\\Tarnwick", L"Language");
    for (const auto& [code, title] : {std::pair{"de", "Mit Tarnwick entsperren"}, {"ko", "Tarnwick 으로 잠금 풀기"},
                                      {"xx", "Unlock with Tarnwick"}}) {
      write_string_setting(kSettingsKey, kValueLanguage, code);
      LPWSTR text = nullptr;
      EXPECT_EQ(command->GetTitle(nullptr, &text), S_OK);
      EXPECT_EQ(taken(text), title) << code;
    }
  }
  LPWSTR icon = nullptr;
  EXPECT_EQ(command->GetIcon(nullptr, &icon), S_OK);
  EXPECT_EQ(taken(icon), to_utf8(folder / L"tarnwick.exe,-1"));

  for (const auto& [paths, want] : {std::pair{std::vector<std::wstring>{file}, ECS_ENABLED},
                                    {std::vector<std::wstring>{sub}, ECS_ENABLED},
                                    {std::vector<std::wstring>{file, sub}, ECS_ENABLED}}) {
    const Com<IShellItemArray> items = items_of(paths);
    ASSERT_TRUE(items);
    EXPCMDSTATE state = ECS_DISABLED;
    EXPECT_EQ(command->GetState(items.get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, want) << to_utf8(paths.front());
  }
  EXPCMDSTATE state = ECS_ENABLED;
  EXPECT_EQ(command->GetState(nullptr, FALSE, &state), S_OK);
  EXPECT_EQ(state, ECS_HIDDEN);

  const Com<IShellItemArray> both = items_of({file, sub});
  ASSERT_TRUE(both);
  ASSERT_EQ(command->Invoke(both.get(), nullptr), S_OK);
  const std::wstring record = folder / L"curl-args.bin";
  for (int i = 0; i < 200 && test::read_file(record).find('\n') == std::string::npos; ++i) ::Sleep(50);
  EXPECT_EQ(test::read_file(record), to_utf8(file) + '\0' + to_utf8(sub) + '\0' + '\n');

  command.reset();
  EXPECT_EQ(can_unload_now(), S_OK);
  ::FreeLibrary(dll);
  ::CoUninitialize();
}

}  // namespace
}  // namespace tw
