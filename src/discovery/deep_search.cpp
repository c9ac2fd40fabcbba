#include "discovery/deep_search.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "common/thread.h"
#include "common/win32.h"
#include "discovery/memory_holds.h"
#include "discovery/paths.h"

namespace tw {
namespace {

constexpr ULONG kSystemExtendedHandleInformation = 0x40;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr std::uint64_t kFirstTableSize = 8ull << 20;
constexpr std::uint64_t kTableGrowth = 4ull << 20;
constexpr std::uint64_t kTableLimit = 1ull << 30;
constexpr int kTableCalls = 12;
constexpr std::size_t kEntrySize = 40;
constexpr std::size_t kTableHeader = 16;
constexpr std::uint64_t kProgressStep = 2'000;
constexpr std::uint64_t kMaxRiskyUnanswered = 8;

template <class T>
T read_at(const unsigned char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Our own executable, opened to learn which type index file objects have here.
std::optional<UniqueHandle> open_own_executable() {
  const std::wstring path = own_executable_path();
  if (path.empty()) return std::nullopt;
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::nullopt;
  return file;
}

HANDLE as_handle(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

struct Worker {
  std::optional<NameQueryChannels> channels;
  NameHandleFn name_handle;

  void restart() {
    channels.reset();  // the old thread, if stuck, finds both ends gone when it returns
    channels = start_name_query_worker(name_handle);
  }
};

}  // namespace

bool name_query_may_hang(std::uint32_t access) {
  constexpr std::uint32_t kHanging[] = {0x0012019F, 0x00120189, 0x00120089, 0x001A019F};
  return std::find(std::begin(kHanging), std::end(kHanging), access) != std::end(kHanging);
}

std::optional<std::wstring> name_of_disk_handle(HANDLE handle) {
  if (::GetFileType(handle) != FILE_TYPE_DISK) return std::nullopt;
  // A volume with no drive letter has no DOS name; its volume name still places it on a drive.
  if (std::optional<std::wstring> name = final_path_name(handle)) return name;
  return final_path_name(handle, VOLUME_NAME_GUID);
}

LONG WINAPI nt_query_system_information(ULONG information_class, void* buffer, ULONG size, ULONG* returned) {
  static const auto query = loaded_function<QuerySystemInformationFn>(L"ntdll.dll", "NtQuerySystemInformation");
  if (query == nullptr) return static_cast<LONG>(0xC0000002);  // STATUS_NOT_IMPLEMENTED
  return query(information_class, buffer, size, returned);
}

std::optional<std::vector<HandleEntry>> read_handle_table(QuerySystemInformationFn query) {
  if (query == nullptr) return std::nullopt;
  std::uint64_t size = kFirstTableSize;
  for (int call = 0; call < kTableCalls; ++call) {
    const std::size_t bytes = static_cast<std::size_t>(size & ~std::uint64_t{7});
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[bytes]);
    if (!buffer) return std::nullopt;
    ULONG returned = 0;
    const LONG status = query(kSystemExtendedHandleInformation, buffer.get(), static_cast<ULONG>(bytes), &returned);
    if (status == kStatusInfoLengthMismatch) {
      size = std::min<std::uint64_t>(std::max<std::uint64_t>(size, returned) + kTableGrowth, 0xFFFFFFFFull);
      size = std::min(size, kTableLimit);
      continue;
    }
    if (status < 0 || bytes < kTableHeader) return std::nullopt;
    const auto declared = read_at<std::uint64_t>(buffer.get());
    const std::uint64_t count = std::min<std::uint64_t>(declared, (bytes - kTableHeader) / kEntrySize);
    std::vector<HandleEntry> entries(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const unsigned char* e = buffer.get() + kTableHeader + i * kEntrySize;
      entries[i] = HandleEntry{read_at<std::uint64_t>(e + 8), read_at<std::uint64_t>(e + 16),
                               read_at<std::uint32_t>(e + 24), read_at<std::uint16_t>(e + 30)};
    }
    return entries;
  }
  return std::nullopt;
}

void name_query_worker(Receiver<std::shared_ptr<NameRequest>> requests, Sender<std::optional<std::wstring>> replies,
                       NameHandleFn name_handle) {
  while (std::optional<std::shared_ptr<NameRequest>> request = requests.receive()) {
    std::optional<std::wstring> name = name_handle((*request)->handle());
    (*request)->done();  // here, off the searching thread, unless it gave up waiting first
    if (!replies.send(std::move(name))) return;  // abandoned: nobody waits any more
  }
}

std::optional<NameQueryChannels> start_name_query_worker(NameHandleFn name_handle) {
  auto [request_sender, request_receiver] = make_channel<std::shared_ptr<NameRequest>>();
  auto [reply_sender, reply_receiver] = make_channel<std::optional<std::wstring>>();
  // The far ends travel with the thread; std::function needs a copyable callable, so they
  // ride in a shared holder that only the thread uses.
  auto ends = std::make_shared<std::pair<Receiver<std::shared_ptr<NameRequest>>, Sender<std::optional<std::wstring>>>>(
      std::move(request_receiver), std::move(reply_sender));
  // Never joined: a thread stuck in a name query is left to end on its own.
  if (!start_detached_thread([ends, name_handle] {
        name_query_worker(std::move(ends->first), std::move(ends->second), name_handle);
      })) {
    return std::nullopt;
  }
  return NameQueryChannels{std::move(request_sender), std::move(reply_receiver)};
}

std::optional<std::vector<HandleEntry>> file_handles_of_others(QuerySystemInformationFn query) {
  // Which type index file objects have: find our own executable's handle in the table.
  std::optional<UniqueHandle> own = open_own_executable();
  if (!own) return std::nullopt;
  const std::optional<std::vector<HandleEntry>> table = read_handle_table(query);
  if (!table) return std::nullopt;
  const std::uint64_t self = ::GetCurrentProcessId();
  const std::uint64_t own_value = reinterpret_cast<std::uintptr_t>(own->get());
  const auto own_entry = std::find_if(table->begin(), table->end(), [&](const HandleEntry& e) {
    return e.pid == self && e.handle == own_value;
  });
  if (own_entry == table->end()) return std::nullopt;
  const std::uint16_t file_type = own_entry->type_index;

  std::vector<HandleEntry> candidates;
  for (const HandleEntry& e : *table) {
    if (e.type_index == file_type && e.pid != self && e.pid >= 5) candidates.push_back(e);
  }
  return candidates;
}

namespace {

// One pass over the candidate handles: the processes opened so far, the thread that names
// handles, and how many names did not come in time.
class DeepPass {
 public:
  DeepPass(const KeyIndex& target_keys, NameHandleFn name_handle, const DeepSearchLimits& limits,
           DeepSearchResult& result, std::unordered_set<std::uint64_t>& inaccessible)
      : target_keys_(target_keys),
        limits_(limits),
        result_(result),
        inaccessible_(inaccessible),
        worker_{std::nullopt, name_handle} {
    worker_.restart();
  }

  // Names one handle and records it when it is one of the targets. False when the search
  // cannot go on.
  bool examine(const HandleEntry& c) {
    const bool risky = name_query_may_hang(c.access);
    if (stuck_.contains(c.pid) || (risky && risky_unanswered_ >= kMaxRiskyUnanswered)) {
      ++result_.unexamined;  // never copied, so never held by us
      return true;
    }
    std::optional<UniqueHandle> copy = copy_of(c);
    if (!copy) return true;
    const auto request = std::make_shared<NameRequest>(std::move(*copy));
    if (!worker_.channels) worker_.restart();
    if (!worker_.channels) return false;  // no thread can be started: nothing more can be named
    if (!worker_.channels->requests.send(request)) {
      worker_.restart();
      return true;
    }
    wait_for_name(c, *request, risky);
    return !result_.gave_up;
  }

 private:
  // The handle, copied into this process; nothing when its process cannot be opened (counted)
  // or the handle not copied.
  std::optional<UniqueHandle> copy_of(const HandleEntry& c) {
    auto [slot, inserted] = processes_.try_emplace(c.pid);
    if (inserted) {
      slot->second.reset(::OpenProcess(PROCESS_DUP_HANDLE, FALSE, static_cast<DWORD>(c.pid)));
      if (!slot->second) inaccessible_.insert(c.pid);
    }
    if (!slot->second) return std::nullopt;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(slot->second.get(), as_handle(c.handle), ::GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
      return std::nullopt;
    }
    return UniqueHandle(copy);
  }

  void wait_for_name(const HandleEntry& c, NameRequest& request, bool risky) {
    std::optional<std::optional<std::wstring>> reply;
    const auto deadline = std::chrono::steady_clock::now() + limits_.name_deadline;
    switch (worker_.channels->replies.receive_until(reply, deadline)) {
      case Receiver<std::optional<std::wstring>>::Wait::Value:
        hung_in_a_row_ = 0;
        if (*reply && target_keys_.find(path_key(std::wstring_view(**reply)))) {
          result_.records.push_back(
              DeepRecord{static_cast<std::uint32_t>(c.pid), strip_long_prefix(**reply), kHeldOpen, {c.handle}});
        }
        break;
      case Receiver<std::optional<std::wstring>>::Wait::Timeout:
        request.done();  // the query may never return; the copy must not keep the file open
        // Its other handles would likely hang as well (a folder being watched, a drive that
        // sleeps): passed over, and counted, so that one program costs one wait.
        stuck_.insert(c.pid);
        ++result_.unexamined;
        if (risky) {
          ++risky_unanswered_;  // expected of such handles now and then
        } else {
          ++hung_;
          ++hung_in_a_row_;
          result_.gave_up = hung_in_a_row_ >= limits_.hung_in_a_row || hung_ >= limits_.hung_in_all;
        }
        if (!result_.gave_up) worker_.restart();
        break;
      case Receiver<std::optional<std::wstring>>::Wait::Closed:
        worker_.restart();
        break;
    }
  }

  const KeyIndex& target_keys_;
  const DeepSearchLimits& limits_;
  DeepSearchResult& result_;
  std::unordered_set<std::uint64_t>& inaccessible_;  // processes that could not be opened
  Worker worker_;
  std::unordered_map<std::uint64_t, UniqueHandle> processes_;  // an invalid handle: opening failed
  std::unordered_set<std::uint64_t> stuck_;  // processes with a handle that did not answer
  std::uint64_t hung_ = 0, hung_in_a_row_ = 0, risky_unanswered_ = 0;
};

bool record_less(const DeepRecord& a, const DeepRecord& b) {
  if (a.pid != b.pid) return a.pid < b.pid;
  if (path_components_less(a.path, b.path)) return true;
  if (path_components_less(b.path, a.path)) return false;
  const auto bits = [](HoldWays h) { return (h.open ? 4 : 0) + (h.loaded ? 2 : 0) + (h.mapped ? 1 : 0); };
  return bits(a.how) < bits(b.how);  // the same file held two ways: adjacent, in one order
}

// Sorted records of one pid, path and way become one, with all their handles.
void merge_repeats(std::vector<DeepRecord>& records) {
  std::vector<DeepRecord> merged;
  merged.reserve(records.size());
  for (DeepRecord& r : records) {
    if (!merged.empty() && merged.back().pid == r.pid && merged.back().how == r.how && merged.back().path == r.path) {
      std::vector<std::uint64_t>& into = merged.back().handles;
      into.insert(into.end(), r.handles.begin(), r.handles.end());
      continue;
    }
    merged.push_back(std::move(r));
  }
  for (DeepRecord& r : merged) {
    std::sort(r.handles.begin(), r.handles.end());
    r.handles.erase(std::unique(r.handles.begin(), r.handles.end()), r.handles.end());
  }
  records = std::move(merged);
}

}  // namespace

DeepSearchResult deep_search(const std::vector<std::string>& resolved_keys, std::uint64_t files_checked,
                             const ProgressSink& progress, const DeepSearchApi& api,
                             const DeepSearchLimits& limits, StopFlag stop) {
  DeepSearchResult result;
  const auto offer = [&](float fraction) {
    if (progress) progress(ScanProgress{files_checked, fraction, ScanPhase::DeepSearching});
  };

  const std::optional<std::vector<HandleEntry>> found = file_handles_of_others(api.query_system_information);
  if (!found) return result;
  const std::vector<HandleEntry>& candidates = *found;
  const auto target_keys = std::make_shared<const KeyIndex>(resolved_keys);
  std::unordered_set<std::uint64_t> inaccessible;
  {
    DeepPass pass(*target_keys, api.name_handle, limits, result, inaccessible);
    const float total = static_cast<float>(std::max<std::size_t>(candidates.size(), 1));
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      if (k % kProgressStep == 0) offer(static_cast<float>(k) / total);
      if (stop_asked(stop)) {
        result.stopped = true;
        break;
      }
      if (!pass.examine(candidates[k])) break;
    }
  }  // the processes opened are closed here

  // After the handles, not beside them: under load the two slowed each other more than the
  // overlap saved.
  MemoryWalkJob memory(result.stopped ? nullptr : api.walk_memory, target_keys);
  MemoryWalkResult walked = memory.finish(stop);
  result.records.insert(result.records.end(), std::make_move_iterator(walked.records.begin()),
                        std::make_move_iterator(walked.records.end()));
  inaccessible.insert(walked.inaccessible.begin(), walked.inaccessible.end());
  result.inaccessible = inaccessible.size();
  result.stopped = result.stopped || walked.stopped;
  if (walked.abandoned) ++result.unexamined;  // the memory of the processes after it went unseen
  std::sort(result.records.begin(), result.records.end(), &record_less);
  merge_repeats(result.records);
  offer(1.0f);
  return result;
}

}  // namespace tw
