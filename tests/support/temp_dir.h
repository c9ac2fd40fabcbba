#pragma once

#include <string>
#include <string_view>

namespace tw::test {

// A fresh folder under the Windows temporary folder, removed with everything in it
// (read-only files included) when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  // path() joined with a relative name.
  std::wstring operator/(std::wstring_view name) const;

 private:
  std::wstring path_;
};

// A file's bytes, read while others may still write it; empty when it cannot be read.
std::string read_file(const std::wstring& path);

// Creates (or truncates) a file holding `content`; false on failure.
bool write_file(const std::wstring& path, std::string_view content = {});
bool make_dir(const std::wstring& path);
bool set_read_only(const std::wstring& path);
// Deletes a tree, clearing read-only attributes on the way.
void remove_tree(const std::wstring& path);

// The folder the running test program lives in (its helper programs sit beside it).
std::wstring program_dir();

// What the "links" fixture made beside the test programs: folder loops of Linux symbolic
// links ("loop-empty", "loop-files") and "alias", which is also drive Q:.
std::wstring link_fixtures_dir();
inline constexpr wchar_t kAliasDrive[] = L"Q:";

// Creates a file by its exact name ("con", "trail."), which only the verbatim spelling reaches.
bool write_file_exactly(const std::wstring& folder, std::wstring_view name);

}  // namespace tw::test
