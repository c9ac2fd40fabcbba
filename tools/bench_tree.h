#pragma once
// The benchmarks' file tree: FOLDERS folders of FILES empty files under one root.

#include <windows.h>

#include <string>

#include "common/handles.h"

namespace tw::bench {

inline bool make_tree(const std::wstring& root, int folders, int files_per_folder) {
  if (!::CreateDirectoryW(root.c_str(), nullptr)) return false;
  for (int f = 0; f < folders; ++f) {
    const std::wstring dir = root + L"\\folder" + std::to_wstring(f);
    if (!::CreateDirectoryW(dir.c_str(), nullptr)) return false;
    for (int i = 0; i < files_per_folder; ++i) {
      const std::wstring file = dir + L"\\file" + std::to_wstring(i) + L".txt";
      tw::UniqueHandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
      if (!h) return false;
    }
  }
  return true;
}

inline void remove_tree(const std::wstring& root, int folders, int files_per_folder) {
  for (int f = 0; f < folders; ++f) {
    const std::wstring dir = root + L"\\folder" + std::to_wstring(f);
    for (int i = 0; i < files_per_folder; ++i) {
      ::DeleteFileW((dir + L"\\file" + std::to_wstring(i) + L".txt").c_str());
    }
    ::RemoveDirectoryW(dir.c_str());
  }
  ::RemoveDirectoryW(root.c_str());
}

}  // namespace tw::bench
