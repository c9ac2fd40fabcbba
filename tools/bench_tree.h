#pragma once
// The benchmarks' file tree: FOLDERS folders of FILES empty files under one root.

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "common/handles.h"

namespace tw::bench {

// The tree's shape and the rounds, from the command line: [FOLDERS [FILES_PER_FOLDER [ROUNDS]]].
struct TreeRun {
  int folders = 200;
  int per_folder = 250;
  int rounds = 5;
};
inline TreeRun tree_run(int argc, char** argv, int default_rounds) {
  TreeRun run;
  if (argc > 1) run.folders = std::atoi(argv[1]);
  if (argc > 2) run.per_folder = std::atoi(argv[2]);
  run.rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : default_rounds;
  return run;
}

// A root of this process's own under the temporary folder: "<temp>tw-bench-NAME-<pid>".
inline std::wstring temp_root(const wchar_t* name) {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"tw-bench-" + name + L"-" + std::to_wstring(::GetCurrentProcessId());
}

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
