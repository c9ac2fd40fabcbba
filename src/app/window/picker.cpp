#include "app/window/picker.h"

#include <objbase.h>
#include <wrl/client.h>

#include <memory>

#include "app/language/catalogue.h"
#include "common/text.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

template <class T>
using ComPtr = Microsoft::WRL::ComPtr<T>;

struct CoTaskMemDeleter {
  void operator()(wchar_t* p) const noexcept { ::CoTaskMemFree(p); }
};

}  // namespace

FILEOPENDIALOGOPTIONS picker_options(FILEOPENDIALOGOPTIONS current, bool folder) {
  FILEOPENDIALOGOPTIONS options = current | FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT;
  if (folder) options |= FOS_PICKFOLDERS;
  return options;
}

std::string_view picker_title(bool folder) {
  return localized(folder ? msg::kPickerFolderTitle : msg::kPickerFilesTitle);
}

std::vector<Target> file_system_paths(IShellItemArray* items) {
  std::vector<Target> paths;
  DWORD count = 0;
  if (items == nullptr || FAILED(items->GetCount(&count))) return paths;
  for (DWORD i = 0; i < count; ++i) {
    ComPtr<IShellItem> item;
    if (FAILED(items->GetItemAt(i, &item))) continue;
    wchar_t* raw = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &raw))) continue;  // not in the file system
    const std::unique_ptr<wchar_t, CoTaskMemDeleter> name(raw);
    if (!name) continue;
    if (auto target = resolve_target(name.get(), RelativePaths::Refuse)) paths.push_back(std::move(*target));
  }
  return paths;
}

std::vector<Target> pick_paths(const FreeTime& free, bool folder) {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
    return {};
  }
  FILEOPENDIALOGOPTIONS current = 0;
  if (FAILED(dialog->GetOptions(&current))) current = 0;
  // Without these options the dialog could hand back the wrong kind of thing.
  if (FAILED(dialog->SetOptions(picker_options(current, folder)))) return {};
  static_cast<void>(dialog->SetTitle(to_wide(picker_title(folder)).c_str()));  // only the title would be missing
  if (FAILED(dialog->Show(free.owner()))) return {};  // cancelled, or it could not be shown
  ComPtr<IShellItemArray> results;
  if (FAILED(dialog->GetResults(&results))) return {};
  return file_system_paths(results.Get());
}

}  // namespace tw
