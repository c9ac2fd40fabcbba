#include "app/remedies/recycle.h"

#include <shellapi.h>

#include <span>

#include "discovery/path_spelling.h"
#include "app/language/catalogue.h"
#include "common/numbers.h"
#include "common/text.h"

namespace tw {
namespace {

bool is_missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// FOF_NOCONFIRMATION alone still leaves progress, "file in use" and error dialogs, which wait
// for ever where nobody sees them. FOF_WANTNUKEWARNING stays in both: without it the shell
// deletes for good, silently, what it cannot recycle (a share, a drive without a Recycle Bin,
// an item too large for it).
FILEOP_FLAGS flags_for(RecycleUi ui) {
  const FILEOP_FLAGS always = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
  return ui == RecycleUi::None ? always | FOF_NO_UI : always;
}

}  // namespace

UINT drive_type_of(const std::wstring& path) {
  wchar_t volume[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1)) return DRIVE_UNKNOWN;
  return ::GetDriveTypeW(volume);
}

RecycleResult recycle_target(HWND owner, const Target& target, RecycleUi ui, const RecycleApi& api) {
  // The shell expands patterns and reads names loosely, so it is given only the one resolved
  // path of a target that exists, spelled so that it names exactly that.
  const auto resolved = resolve_target(target);
  if (!resolved) return RecycleResult::Failed;
  const std::wstring exact = exact_path(*resolved);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(exact.c_str(), GetFileExInfoStandard, &data)) {
    // Any other reason to be unreadable is no proof that it is not there.
    return is_missing(::GetLastError()) ? RecycleResult::Missing : RecycleResult::Failed;
  }
  // Such a name stays, and deleting at restart can take it.
  if (!plain_spelling_is_exact(*resolved)) return RecycleResult::Failed;
  // Only fixed disks have a Recycle Bin; elsewhere the shell would delete for good, or ask
  // about it where nobody may be there to answer.
  if (ui == RecycleUi::None && api.drive_type(exact) != DRIVE_FIXED) return RecycleResult::NoBin;
  std::wstring from = *resolved;
  from.append(2, L'\0');  // a list of one name, ended by an empty one
  SHFILEOPSTRUCTW op{};
  op.hwnd = owner;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = flags_for(ui);
  op.fAnyOperationsAborted = FALSE;
  if (api.file_operation(&op) != 0 || op.fAnyOperationsAborted) return RecycleResult::Failed;
  // Success is claimed only for what is really gone: a skipped item can leave both at 0.
  if (::GetFileAttributesExW(exact.c_str(), GetFileExInfoStandard, &data)) return RecycleResult::Failed;
  return is_missing(::GetLastError()) ? RecycleResult::Moved : RecycleResult::Failed;
}

std::vector<Target> recycle_targets(HWND owner, const std::vector<Target>& targets) {
  std::vector<Target> left_over;
  for (const Target& target : targets) {
    const RecycleResult result = recycle_target(owner, target, RecycleUi::Dialogs);
    if (result != RecycleResult::Moved && result != RecycleResult::Missing) left_over.push_back(target);
  }
  return left_over;
}

namespace {
constexpr std::size_t kListedInConfirmation = 5;

// The question, how many there are when more than one, the first few shown, and how many more.
std::string naming_shown(std::string_view question, const std::vector<std::string>& shown_paths) {
  std::string text(question);
  text += "\n";
  if (shown_paths.size() > 1) {
    const std::string count = group_thousands(shown_paths.size());
    text += "\n";
    text += fill_placeholders(localized(msg::kConfirmTargetCount), std::span(&count, 1));
  }
  for (std::size_t i = 0; i < shown_paths.size() && i < kListedInConfirmation; ++i) {
    text += "\n";
    text += shown_paths[i];
  }
  if (shown_paths.size() > kListedInConfirmation) {
    const std::string more = group_thousands(shown_paths.size() - kListedInConfirmation);
    text += "\n";
    text += fill_placeholders(localized(msg::kAndMore), std::span(&more, 1));
  }
  return text;
}

}  // namespace

std::string naming_targets(std::string_view question, const std::vector<Target>& targets) {
  std::vector<std::string> shown;
  shown.reserve(targets.size());
  for (const Target& t : targets) shown.push_back(to_utf8(t));
  return naming_shown(question, shown);
}

std::string recycle_confirmation_of(const std::vector<std::string>& shown_paths) {
  return naming_shown(localized(msg::kConfirmRecycle), shown_paths);
}

std::string recycle_confirmation_text(const std::vector<Target>& targets) {
  return naming_targets(localized(msg::kConfirmRecycle), targets);
}

}  // namespace tw
