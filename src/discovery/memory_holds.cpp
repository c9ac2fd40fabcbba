#include "discovery/memory_holds.h"

#include <psapi.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "common/thread.h"

namespace tw {
namespace {

// A native name is at most 32,767 characters (a UNICODE_STRING's limit), so one buffer this
// size never truncates.
constexpr DWORD kNameBuffer = 32'768;

bool still_running(HANDLE process) {
  DWORD code = 0;
  return ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

}  // namespace

std::optional<std::vector<MemoryHold>> memory_holds(HANDLE process, const DosDeviceTable& devices) {
  std::unique_ptr<wchar_t[]> name(new (std::nothrow) wchar_t[kNameBuffer]);
  if (!name) return std::nullopt;
  std::vector<MemoryHold> holds;
  MEMORY_BASIC_INFORMATION region{};
  const void* last_allocation = nullptr;
  std::uintptr_t address = 0;
  // Ends at the top of the address space (the call then fails), or when the process is gone.
  while (::VirtualQueryEx(process, reinterpret_cast<const void*>(address), &region, sizeof region) == sizeof region) {
    const bool image = region.Type == MEM_IMAGE;
    // The regions of one allocation come one after another: one name each.
    if ((image || region.Type == MEM_MAPPED) && region.AllocationBase != last_allocation) {
      last_allocation = region.AllocationBase;
      const DWORD length = ::GetMappedFileNameW(process, region.AllocationBase, name.get(), kNameBuffer);
      if (length > 0 && length < kNameBuffer) {  // no name: memory backed by the paging file
        if (std::optional<std::wstring> path = dos_path_of_native(std::wstring_view(name.get(), length), devices)) {
          holds.push_back({std::move(*path), image ? kHeldLoaded : kHeldMapped});
        }
      }
    }
    const std::uintptr_t next = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  if (!still_running(process)) return std::nullopt;
  return holds;
}

MemoryWalkResult walk_memory_of(const std::vector<std::uint32_t>& pids, const KeyIndex& keys,
                                const DosDeviceTable& devices, StopFlag stop) {
  MemoryWalkResult result;
  const DWORD self = ::GetCurrentProcessId();
  for (const std::uint32_t pid : pids) {
    if (pid < 5 || pid == self) continue;
    if (stop_asked(stop)) {
      result.stopped = true;
      break;
    }
    const UniqueHandle process(::OpenProcess(kMemoryWalkRights, FALSE, pid));
    if (!process) {
      // "Invalid parameter" means it ended since it was listed; anything else, out of reach.
      if (::GetLastError() != ERROR_INVALID_PARAMETER) result.inaccessible.push_back(pid);
      continue;
    }
    const std::optional<std::vector<MemoryHold>> holds = memory_holds(process.get(), devices);
    if (!holds) continue;
    for (const MemoryHold& h : *holds) {
      if (keys.find(path_key(std::wstring_view(h.path)))) result.records.push_back(DeepRecord{pid, h.path, h.how, {}});
    }
  }
  return result;
}

MemoryWalkJob::MemoryWalkJob(MemoryWalkFn walk, std::shared_ptr<const KeyIndex> keys,
                             std::chrono::milliseconds silence)
    : walk_(walk), keys_(std::move(keys)), silence_(silence) {
  if (walk_ == nullptr) return;
  auto [sender, receiver] = make_channel<MemoryWalkResult>();
  auto out = std::make_shared<Sender<MemoryWalkResult>>(std::move(sender));
  // The thread holds its own copies and stop flag: it may outlive the search when abandoned.
  if (start_detached_thread([walk = walk_, keys = keys_, stop = stop_, out] {
        const DosDeviceTable devices = read_dos_devices();
        for (const std::uint32_t pid : running_process_ids()) {
          MemoryWalkResult one = walk({pid}, *keys, devices, stop.get());
          const bool stopped = one.stopped;
          if (!out->send(std::move(one)) || stopped) return;
        }
      })) {
    finds_.emplace(std::move(receiver));
  }
}

MemoryWalkJob::~MemoryWalkJob() { stop_->store(true); }

MemoryWalkResult MemoryWalkJob::finish(StopFlag stop) {
  MemoryWalkResult all;
  if (walk_ == nullptr) return all;
  if (!finds_) return walk_(running_process_ids(), *keys_, read_dos_devices(), stop);  // no thread: here
  auto silent_since = std::chrono::steady_clock::now();
  for (;;) {
    if (stop_asked(stop)) {
      stop_->store(true);
      all.stopped = true;
      return all;
    }
    std::optional<MemoryWalkResult> one;
    switch (finds_->receive_until(one, std::chrono::steady_clock::now() + std::chrono::milliseconds(50))) {
      case Receiver<MemoryWalkResult>::Wait::Value:
        silent_since = std::chrono::steady_clock::now();
        std::move(one->records.begin(), one->records.end(), std::back_inserter(all.records));
        all.inaccessible.insert(all.inaccessible.end(), one->inaccessible.begin(), one->inaccessible.end());
        all.stopped = all.stopped || one->stopped;
        break;
      case Receiver<MemoryWalkResult>::Wait::Timeout:
        if (std::chrono::steady_clock::now() - silent_since < silence_) break;
        stop_->store(true);
        all.abandoned = true;
        return all;
      case Receiver<MemoryWalkResult>::Wait::Closed:
        return all;
    }
  }
}

bool loads_as_image(std::wstring_view path) {
  static constexpr std::wstring_view kImages[] = {L"acm", L"ax",  L"cpl",  L"dll", L"drv", L"exe", L"ime", L"mui",
                                                  L"node", L"ocx", L"pyd", L"scr", L"sys", L"tsp", L"xll"};
  const std::size_t dot = path.find_last_of(L".\\/");
  if (dot == std::wstring_view::npos || path[dot] != L'.') return false;
  const std::wstring_view extension = path.substr(dot + 1);
  return std::any_of(std::begin(kImages), std::end(kImages), [&](std::wstring_view image) {
    return extension.size() == image.size() && std::equal(extension.begin(), extension.end(), image.begin(), [](wchar_t a, wchar_t b) {
             return (a >= L'A' && a <= L'Z' ? static_cast<wchar_t>(a - L'A' + L'a') : a) == b;
           });
  });
}

std::vector<std::uint32_t> running_process_ids() {
  std::vector<DWORD> ids(1024);
  for (int call = 0; call < 8; ++call) {
    DWORD bytes = 0;
    if (!::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return {};
    if (bytes < ids.size() * sizeof(DWORD)) {
      ids.resize(bytes / sizeof(DWORD));
      return std::vector<std::uint32_t>(ids.begin(), ids.end());
    }
    ids.resize(ids.size() * 2);  // a full buffer may have cut the list short
  }
  return {};
}

}  // namespace tw
