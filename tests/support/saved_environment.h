#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tw::test {

// Keeps the values some environment variables have now and puts them back when it goes,
// whatever a test set them to meanwhile.
class SavedEnvironment {
 public:
  explicit SavedEnvironment(std::span<const wchar_t* const> names) : names_(names.begin(), names.end()) {
    for (const wchar_t* name : names_) {
      wchar_t buffer[4096];
      const DWORD n = ::GetEnvironmentVariableW(name, buffer, 4096);
      values_.push_back(n > 0 && n < 4096 ? std::optional<std::wstring>(buffer) : std::nullopt);
    }
  }
  ~SavedEnvironment() {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      ::SetEnvironmentVariableW(names_[i], values_[i] ? values_[i]->c_str() : nullptr);
    }
  }
  SavedEnvironment(const SavedEnvironment&) = delete;
  SavedEnvironment& operator=(const SavedEnvironment&) = delete;

 private:
  std::vector<const wchar_t*> names_;
  std::vector<std::optional<std::wstring>> values_;
};

}  // namespace tw::test
