#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tw::test {

// Keeps a registry value as it is now (type and bytes, or its absence) and puts it back when
// it goes, whatever a test wrote meanwhile.
class SavedRegistryValue {
 public:
  SavedRegistryValue(HKEY root, std::wstring subkey, std::wstring name)
      : root_(root), subkey_(std::move(subkey)), name_(std::move(name)) {
    DWORD bytes = 0;
    if (::RegGetValueW(root_, subkey_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr, &bytes) !=
        ERROR_SUCCESS) {
      return;
    }
    std::vector<unsigned char> data(bytes);
    if (::RegGetValueW(root_, subkey_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_, data.data(),
                       &bytes) == ERROR_SUCCESS) {
      data.resize(bytes);
      data_ = std::move(data);
    }
  }
  ~SavedRegistryValue() {
    if (data_) {
      ::RegSetKeyValueW(root_, subkey_.c_str(), name_.c_str(), type_, data_->data(), static_cast<DWORD>(data_->size()));
    } else {
      ::RegDeleteKeyValueW(root_, subkey_.c_str(), name_.c_str());
    }
  }
  SavedRegistryValue(const SavedRegistryValue&) = delete;
  SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

  // Writes a text value of this type (REG_SZ or REG_EXPAND_SZ).
  bool set(const std::wstring& text, DWORD type = REG_SZ) const {
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetKeyValueW(root_, subkey_.c_str(), name_.c_str(), type, text.c_str(), bytes) == ERROR_SUCCESS;
  }

 private:
  HKEY root_;
  std::wstring subkey_, name_;
  DWORD type_ = REG_NONE;
  std::optional<std::vector<unsigned char>> data_;
};

}  // namespace tw::test
