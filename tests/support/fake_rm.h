#pragma once

#include <windows.h>

#include <restartmanager.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "rm/rm_query.h"

namespace tw::test {

// A process as the stand-in Restart Manager reports it, and the files it uses.
struct FakeProcess {
  RM_PROCESS_INFO info{};
  std::vector<std::wstring> files;
};

// An ordinary program with a main window.
FakeProcess fake_program(DWORD pid, std::wstring_view app_name, std::vector<std::wstring> files);

// A stand-in Restart Manager that answers like Windows: the users of the registered files,
// ERROR_MORE_DATA with the needed count when the array is too small, and failures on demand.
// It counts what it is asked and checks how it is asked. RmApi holds plain function pointers,
// as every replaceable platform call does, so the functions reach the object through one
// pointer: while a FakeRm lives it is the one the calls go to (objects nest; the newest wins).
class FakeRm {
 public:
  FakeRm();
  ~FakeRm();
  FakeRm(const FakeRm&) = delete;
  FakeRm& operator=(const FakeRm&) = delete;

  static RmApi api();

  // The system: which process uses which file. Tests may change it, also between calls.
  std::vector<FakeProcess> processes;

  // Failures on demand. A call number counts that function's calls from 1; 0 means never.
  std::uint32_t fail_start_call = 0;
  std::uint32_t fail_register_call = 0;
  std::uint32_t fail_list_call = 0;
  DWORD failure = ERROR_ACCESS_DENIED;
  // Registering this file on its own fails (a name the system refuses).
  std::wstring refuse_alone;
  // Runs at the start of every RmGetList call, with the call's number: a changing system.
  std::function<void(FakeRm&, std::uint32_t)> before_list;
  // A faulty success that claims this many entries more than the array holds.
  UINT overstate_count = 0;

  // What happened.
  std::uint32_t start_calls = 0;
  std::uint32_t sessions_opened = 0;
  std::uint32_t end_calls = 0;
  std::uint32_t sessions_ended = 0;
  std::uint32_t register_calls = 0;
  std::uint32_t list_calls = 0;
  std::uint32_t most_open = 0;       // sessions open at the same time, at most
  std::uint32_t protocol_errors = 0;  // calls no caller should make (unknown session, bad arguments)
  std::vector<std::vector<std::wstring>> registrations;  // each successful registration's files
  std::vector<UINT> list_capacities;                      // array size passed to each RmGetList
  std::chrono::steady_clock::duration time_inside{};      // spent in the fake's functions

  std::uint32_t open_sessions() const { return static_cast<std::uint32_t>(sessions_.size()); }
  // A session someone else in the process holds, as the Explorer restart would.
  DWORD open_foreign_session();
  bool is_open(DWORD session) const { return sessions_.count(session) != 0; }

 private:
  struct Session {
    std::unordered_set<std::wstring> files;
  };

  static DWORD WINAPI start_session(DWORD* session, DWORD flags, WCHAR key[]);
  static DWORD WINAPI register_resources(DWORD session, UINT file_count, LPCWSTR files[], UINT app_count,
                                         RM_UNIQUE_PROCESS apps[], UINT service_count, LPCWSTR services[]);
  static DWORD WINAPI get_list(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO apps[], LPDWORD reasons);
  static DWORD WINAPI end_session(DWORD session);

  DWORD open_session();

  std::map<DWORD, Session> sessions_;
  DWORD next_handle_ = 0;  // Windows starts at 0 too
  FakeRm* outer_ = nullptr;
};

}  // namespace tw::test
