#include "app/scan/diagnosis.h"

#include <span>

#include "app/language/catalogue.h"
#include "common/numbers.h"
#include "common/handles.h"
#include "discovery/file_list.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

constexpr std::size_t kLongestPath = 259;
constexpr DWORD kAllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TargetFacts read_facts(const Target& target) {
  TargetFacts facts;
  // The length that matters is the one File Explorer and other programs meet: the plain one.
  facts.length = strip_long_prefix(std::wstring_view(target)).size();
  const std::wstring exact = exact_path(target);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(exact.c_str(), GetFileExInfoStandard, &data)) return facts;
  facts.exists = true;
  facts.attributes = data.dwFileAttributes;
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // The tag tells a link from other reparse points; attribute access is never refused for
    // sharing.
    UniqueHandle entry(::CreateFileW(exact.c_str(), FILE_READ_ATTRIBUTES, kAllSharing, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (entry && ::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &info, sizeof info)) {
      facts.reparse_tag = info.ReparseTag;
    }
  }
  UniqueHandle deletable(::CreateFileW(exact.c_str(), DELETE, kAllSharing, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!deletable) facts.delete_error = ::GetLastError();
  return facts;
}

}  // namespace

Diagnosis decide_diagnosis(const Target& target, const TargetFacts& facts, std::uint64_t read_only_inside) {
  Diagnosis d{target, DiagnosisKind::LooksDeletable, read_only_inside,
              facts.exists && (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
  if (!facts.exists) {
    d.kind = DiagnosisKind::Gone;
  } else if (facts.length > kLongestPath) {
    d.kind = DiagnosisKind::PathTooLong;
  } else if (facts.delete_error) {
    d.kind = *facts.delete_error == ERROR_SHARING_VIOLATION ? DiagnosisKind::InUseUnseen : DiagnosisKind::NoPermission;
  } else if ((facts.attributes & FILE_ATTRIBUTE_READONLY) && entry_kind(facts.attributes, facts.reparse_tag) == EntryKind::File) {
    d.kind = DiagnosisKind::ReadOnly;
    d.read_only = 1;
  } else if (read_only_inside > 0) {
    d.kind = DiagnosisKind::ReadOnly;
  }
  return d;
}

Diagnosis diagnose_target(const Target& target, std::uint64_t read_only_inside) {
  return decide_diagnosis(target, read_facts(target), read_only_inside);
}

Diagnosis diagnose_drive(const Target& root) {
  const bool exists = ::GetFileAttributesW(exact_path(root).c_str()) != INVALID_FILE_ATTRIBUTES;
  return Diagnosis{root, exists ? DiagnosisKind::DriveNotInUse : DiagnosisKind::Gone, 0, exists};
}

namespace {
std::string text_for(const Message& m) { return std::string(localized(m)); }
std::string filled_with(const Message& m, const std::string& arg) { return fill_placeholders(localized(m), std::span(&arg, 1)); }
}  // namespace

std::string diagnosis_text(const Diagnosis& d, bool deep, bool elevated) {
  // In use, or seemingly free while files inside may be open: opens by other computers are
  // the likeliest holders the search could not list.
  if (d.shared && (d.kind == DiagnosisKind::InUseUnseen || d.kind == DiagnosisKind::LooksDeletable)) {
    return text_for(msg::kDiagnosisSharedTryAdmin);
  }
  switch (d.kind) {
    case DiagnosisKind::Gone:
      return text_for(msg::kDiagnosisGone);
    case DiagnosisKind::PathTooLong:
      return text_for(msg::kDiagnosisPathTooLong);
    case DiagnosisKind::ReadOnly:
      if (!d.folder) return text_for(msg::kDiagnosisReadOnlyFile);
      return d.read_only == 1 ? text_for(msg::kDiagnosisReadOnlyInsideOne)
                              : filled_with(msg::kDiagnosisReadOnlyInside, group_thousands(d.read_only));
    case DiagnosisKind::NoPermission:
      return text_for(msg::kDiagnosisNoPermission);
    case DiagnosisKind::InUseUnseen:
      return text_for(!deep       ? msg::kDiagnosisUnseenTryDeep
                     : !elevated ? msg::kDiagnosisUnseenTryAdmin
                                 : msg::kDiagnosisUnseenTryRestart);
    case DiagnosisKind::DriveNotInUse:
      return text_for(msg::kDiagnosisDriveNotInUse);
    case DiagnosisKind::LooksDeletable:
      break;
  }
  return text_for(msg::kDiagnosisLooksDeletable);
}

}  // namespace tw
