// Developer tool: runs one scan on the paths given and prints what it found as JSON.
//
//   tarnwick-scan [--deep] PATH...
//
// Every holder with all its facts, the diagnoses when nothing holds the targets, and the
// counters. Built with the program, never shipped.
#include <windows.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/scan/search.h"
#include "common/cmdline.h"
#include "common/text.h"
#include "discovery/path_spelling.h"

namespace {

const char* kind_name(tw::HolderKind kind) {
  switch (kind) {
    case tw::HolderKind::Program:
      return "Program";
    case tw::HolderKind::FileExplorer:
      return "FileExplorer";
    case tw::HolderKind::Service:
      return "Service";
    case tw::HolderKind::WindowsComponent:
      return "WindowsComponent";
    case tw::HolderKind::NetworkOpen:
      return "NetworkOpen";
  }
  return "?";
}

const char* diagnosis_name(tw::DiagnosisKind kind) {
  switch (kind) {
    case tw::DiagnosisKind::Gone:
      return "Gone";
    case tw::DiagnosisKind::PathTooLong:
      return "PathTooLong";
    case tw::DiagnosisKind::ReadOnly:
      return "ReadOnly";
    case tw::DiagnosisKind::NoPermission:
      return "NoPermission";
    case tw::DiagnosisKind::InUseUnseen:
      return "InUseUnseen";
    case tw::DiagnosisKind::DriveNotInUse:
      return "DriveNotInUse";
    case tw::DiagnosisKind::LooksDeletable:
      return "LooksDeletable";
  }
  return "?";
}

nlohmann::json to_json(const tw::ScanResult& r) {
  nlohmann::json holders = nlohmann::json::array();
  for (const tw::Holder& h : r.holders) {
    nlohmann::json files = nlohmann::json::array();
    for (const std::wstring& f : h.files) files.push_back(tw::to_utf8(f));
    holders.push_back({{"pid", h.pid},
                       {"start_time", h.start_time},
                       {"kind", kind_name(h.kind)},
                       {"title", h.title},
                       {"exe_name", h.exe_name},
                       {"window_title", h.window_title},
                       {"has_window", h.has_window},
                       {"image_path", h.image_path ? nlohmann::json(tw::to_utf8(*h.image_path)) : nlohmann::json()},
                       {"services", h.services},
                       {"unattributed", h.unattributed},
                       {"files", files}});
  }
  nlohmann::json diagnoses = nlohmann::json::array();
  for (const tw::Diagnosis& d : r.diagnoses) {
    diagnoses.push_back({{"target", tw::to_utf8(d.target)}, {"kind", diagnosis_name(d.kind)}, {"read_only", d.read_only}});
  }
  return {{"files_checked", r.files_checked}, {"folders", r.folders}, {"inaccessible", r.inaccessible}, {"unexamined", r.unexamined},
          {"truncated", r.truncated},         {"deep", r.deep},       {"drive", r.drive},     {"gave_up", r.gave_up},
          {"holders", holders},               {"diagnoses", diagnoses}};
}

}  // namespace

int main() {
  ::SetConsoleOutputCP(CP_UTF8);
  const auto arguments = tw::split_command_line(::GetCommandLineW());
  bool deep = false;
  std::vector<tw::Target> targets;
  for (const std::wstring& a : arguments) {
    if (a == L"--deep") {
      deep = true;
    } else if (auto path = tw::normalise_path(a)) {
      targets.push_back(std::move(*path));
    }
  }
  if (targets.empty()) {
    std::fprintf(stderr, "usage: tarnwick-scan [--deep] PATH...\n");
    return 2;
  }
  const tw::ScanResult result = tw::search_targets(targets, deep, {});
  const std::string text = to_json(result).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  return 0;
}
