#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "discovery/file_identity.h"
#include "discovery/paths.h"

namespace tw::test {

// What a file system answers when asked who a file is, the same for every file: the answers
// of those whose numbers are not unique. Only the 128-bit identifier can differ per file.
struct IdentityAnswers {
  enum class Wide : std::uint8_t { Fails, Zero, Ones, OnesIn64Bits, PerFile };
  const char* what = "";
  bool narrow_volume = true;               // the volume says its 64-bit numbers are identities
  std::optional<std::uint64_t> number;     // the 64-bit number (NtQueryInformationFile); nothing: fails
  Wide wide = Wide::Fails;                 // FileIdInfo's 128-bit identifier
  std::optional<std::uint64_t> by_handle;  // GetFileInformationByHandle's number
};

inline IdentityAnswers g_identity_answers;

// The identity calls, answering as `answers` says (one set of answers at a time).
inline FileIdentityApi identity_api_answering(const IdentityAnswers& answers) {
  g_identity_answers = answers;
  FileIdentityApi api;
  api.narrow_ids = [](HANDLE) { return g_identity_answers.narrow_volume; };
  api.file_index = [](HANDLE) { return g_identity_answers.number; };
  api.information_ex = [](HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID out, DWORD size) -> BOOL {
    using Wide = IdentityAnswers::Wide;
    if (kind != FileIdInfo || size < sizeof(FILE_ID_INFO) || g_identity_answers.wide == Wide::Fails) return FALSE;
    std::uint64_t low = 0, high = 0;
    switch (g_identity_answers.wide) {
      case Wide::Ones:
        low = high = ~std::uint64_t{0};
        break;
      case Wide::OnesIn64Bits:
        low = ~std::uint64_t{0};
        break;
      case Wide::PerFile:  // ReFS: the low half alike, the whole unique
        low = 7;
        high = std::hash<std::string>{}(path_key(std::wstring_view(final_path_name(file).value_or(L"")))) | 1;
        break;
      default:
        break;
    }
    FILE_ID_INFO info{};
    info.VolumeSerialNumber = 0x5EED;
    std::memcpy(info.FileId.Identifier, &low, sizeof low);
    std::memcpy(info.FileId.Identifier + sizeof low, &high, sizeof high);
    std::memcpy(out, &info, sizeof info);
    return TRUE;
  };
  api.information = [](HANDLE, LPBY_HANDLE_FILE_INFORMATION out) -> BOOL {
    if (!g_identity_answers.by_handle) return FALSE;
    *out = BY_HANDLE_FILE_INFORMATION{};
    out->dwVolumeSerialNumber = 0x5EED;
    out->nFileIndexHigh = static_cast<DWORD>(*g_identity_answers.by_handle >> 32);
    out->nFileIndexLow = static_cast<DWORD>(*g_identity_answers.by_handle);
    return TRUE;
  };
  return api;
}

// File systems whose numbers do not tell folders apart, as Windows answers for them.
inline const IdentityAnswers kSharedNumbers[] = {
    {"numbers of 0 (some network and user-mode file systems)", true, 0, IdentityAnswers::Wide::Zero, 0},
    {"numbers of all ones, to be ignored", true, ~std::uint64_t{0}, IdentityAnswers::Wide::Ones, ~std::uint64_t{0}},
    {"all ones in 64 bits, widened", true, ~std::uint64_t{0}, IdentityAnswers::Wide::OnesIn64Bits,
     ~std::uint64_t{0}},
    {"ReFS: 64-bit numbers collide, 128-bit ones do not", false, 7, IdentityAnswers::Wide::PerFile, 7},
    {"no number at all", true, std::nullopt, IdentityAnswers::Wide::Fails, std::nullopt},
};

}  // namespace tw::test
