#include "app/remedies/recycle.h"

#include <shellapi.h>

#include <span>

#include "discovery/path_spelling.h"
#include "app/language/catalogue.h"
#include "common/numbers.h"
#include "common/text.h"

namespace tw {
namespace {

// Moves one target; true when it is gone.
bool recycle_one(HWND owner, const Target& target) {
  // The shell expands patterns and reads names loosely, so it is given only the one resolved
  // path of a target that exists, spelled so that it names exactly that.
  const auto resolved = resolve_target(target);
  if (!resolved) return false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(exact_path(*resolved).c_str(), GetFileExInfoStandard, &data)) {
    // Gone already. Any other reason to be unreadable is no proof of that.
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  // Such a name stays, and deleting at restart can take it.
  if (!plain_spelling_is_exact(*resolved)) return false;
  std::wstring from = *resolved;
  from.append(2, L'\0');  // a list of one name, ended by an empty one
  SHFILEOPSTRUCTW op{};
  op.hwnd = owner;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
  op.fAnyOperationsAborted = FALSE;
  return ::SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}

}  // namespace

std::vector<Target> recycle_targets(HWND owner, const std::vector<Target>& targets) {
  std::vector<Target> left_over;
  for (const Target& target : targets) {
    if (!recycle_one(owner, target)) left_over.push_back(target);
  }
  return left_over;
}

namespace {
constexpr std::size_t kListedInConfirmation = 5;
}  // namespace

std::string naming_targets(std::string_view question, const std::vector<Target>& targets) {
  std::string text(question);
  text += "\n";
  if (targets.size() > 1) {
    const std::string count = group_thousands(targets.size());
    text += "\n";
    text += fill_placeholders(localized(msg::kConfirmTargetCount), std::span(&count, 1));
  }
  for (std::size_t i = 0; i < targets.size() && i < kListedInConfirmation; ++i) {
    text += "\n";
    text += to_utf8(targets[i]);
  }
  if (targets.size() > kListedInConfirmation) {
    const std::string more = group_thousands(targets.size() - kListedInConfirmation);
    text += "\n";
    text += fill_placeholders(localized(msg::kAndMore), std::span(&more, 1));
  }
  return text;
}

std::string recycle_confirmation_text(const std::vector<Target>& targets) {
  return naming_targets(localized(msg::kConfirmRecycle), targets);
}

}  // namespace tw
