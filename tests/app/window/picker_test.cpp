#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "app/window/picker.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using Microsoft::WRL::ComPtr;

TEST(Picker, OptionsKeepTheDialogsOwn) {
  const FILEOPENDIALOGOPTIONS base = FOS_NOCHANGEDIR | FOS_PATHMUSTEXIST;
  EXPECT_EQ(picker_options(base, false), base | FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT);
  EXPECT_EQ(picker_options(base, true), base | FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT | FOS_PICKFOLDERS);
}

struct ComApartment {
  ComApartment() { ok = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  ~ComApartment() {
    if (ok) ::CoUninitialize();
  }
  bool ok = false;
};

TEST(Picker, ResultsKeepTheirOrderAndLeaveOutVirtualItems) {
  const ComApartment com;
  ASSERT_TRUE(com.ok);
  const test::TempDir dir;
  const std::wstring b = dir / L"b.txt", a = dir / L"ä.txt";
  ASSERT_TRUE(test::write_file(b) && test::write_file(a));

  PIDLIST_ABSOLUTE lists[3] = {};
  ASSERT_TRUE(SUCCEEDED(::SHParseDisplayName(b.c_str(), nullptr, &lists[0], 0, nullptr)));
  ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderIDList(FOLDERID_ComputerFolder, 0, nullptr, &lists[1])));
  ASSERT_TRUE(SUCCEEDED(::SHParseDisplayName(a.c_str(), nullptr, &lists[2], 0, nullptr)));
  ComPtr<IShellItemArray> items;
  const HRESULT made = ::SHCreateShellItemArrayFromIDLists(3, const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists), &items);
  for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
  ASSERT_TRUE(SUCCEEDED(made));

  EXPECT_EQ(file_system_paths(items.Get()), (std::vector<Target>{b, a}));
}

}  // namespace
}  // namespace tw
