#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>
#include <uiautomationcore.h>

#include <cstdio>
#include <sstream>
#include <thread>

#include "app/window/accessibility.h"
#include "app/window/main_window.h"
#include "common/text.h"
#include "procs/process_facts.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"
#include "support/test_window.h"

namespace tw {
namespace {

constexpr LPARAM kUiaRootObjectId = -25;
constexpr HRESULT kElementNotAvailable = static_cast<HRESULT>(0x80040201L);

HolderRow row_of(std::uint32_t pid, const char* title, bool has_window = true) {
  Holder h;
  h.title = title;
  h.exe_name = "p.exe";
  h.pid = pid;
  h.has_window = has_window;
  h.start_time = creation_time(pid).value_or(pid);
  return HolderRow{h, ActionState{}};
}

// Handles this thread's messages (UI Automation asks the window for its provider with a sent
// message) until `done` or 60 s: a client starting under Wine on a busy machine takes long.
template <class Done>
bool pump_until(Done done) {
  for (const ULONGLONG deadline = ::GetTickCount64() + 60'000; !done();) {
    if (::GetTickCount64() > deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    test::dispatch_waiting_messages();
  }
  return true;
}


// tw_uia_client in another process, its output in a file, its input a pipe; this thread
// keeps handling messages while it works.
class Client {
 public:
  Client(const test::TempDir& dir, const std::vector<std::wstring>& arguments) : out_(dir / L"client.txt") {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandle out(::CreateFileW(out_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    HANDLE read = nullptr, write = nullptr;
    if (!out || !::CreatePipe(&read, &write, &inherit, 0)) return;
    UniqueHandle child_in(read);
    input_.reset(write);
    ::SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    auto started = test::start_process(test::program_dir() + L"\\tw_uia_client.exe", arguments, nullptr,
                                       test::StandardHandles{child_in.get(), out.get(), out.get()});
    if (started) process_ = std::move(started->process);
  }
  ~Client() {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.get(), 9);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  std::string output() const { return test::read_file(out_); }
  void say_go() {
    DWORD written = 0;
    static_cast<void>(::WriteFile(input_.get(), "go\n", 3, &written, nullptr));
  }
  // Its exit status once it ended, with this thread handling messages meanwhile.
  std::optional<DWORD> finish() {
    if (!pump_until([&] { return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; })) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  std::wstring out_;
  UniqueHandle input_, process_;
};

std::wstring hex(HWND window) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
  return text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A headless main window with two rows, as a finished search leaves it.
class Accessible : public testing::Test {
 protected:
  void SetUp() override {
    state_ = test::open_test_main_window();
    ASSERT_TRUE(state_);
    window_ = state_->window;
    ::ShowWindow(window_, SW_SHOWNORMAL);
    state_->targets = {L"D:\\Work\\a.txt"};
    state_->summary = ScanSummary{};
    state_->summary->files_checked = 1;
    state_->summary->deep = true;
    state_->elevated = true;
    state_->deep = true;
    state_->rows = {row_of(101, "Word"), row_of(102, "Backup", false)};
  }
  void TearDown() override { test::close_test_main_window(window_); }

  HWND window_ = nullptr;
  WindowState* state_ = nullptr;
  test::TempDir dir_;
};

// A screen reader in another process reads the tree: roles, names, parents and children, and
// which element has the keyboard focus.
TEST_F(Accessible, AClientReadsTheWindowAsItIsDrawn) {
  set_focus(*state_, Hit{HitKind::RowClose, 0});
  Client client(dir_, {L"dump", hex(window_)});
  ASSERT_TRUE(client.started());
  EXPECT_EQ(client.finish(), 0u) << client.output();
  std::vector<std::string> fields;
  for (const std::string& line : lines_of(client.output())) {
    std::string name = line.substr(0, line.find('\t', line.find('\t', line.find('\t') + 1) + 1));  // depth, type, name
    const std::string flags = line.substr(line.rfind('\t') + 1);
    fields.push_back(name + (flags.empty() ? "" : " [" + flags + "]"));
  }
  EXPECT_EQ(fields, (std::vector<std::string>{
                        "0\t50032\ttest",
                        "1\t50000\tAdd files or a folder [focusable]",
                        "1\t50000\tSearch again [focusable]",
                        "1\t50000\tSettings menu [focusable]",
                        "1\t50026\tD:\\Work\\a.txt, File",
                        "1\t50020\t2 programs are holding it [live]",
                        "1\t50020\t'Close' asks the program to close its windows. If something is unsaved, the program "
                        "will ask you.\\x0A'Force quit' ends the program at once. Anything unsaved in it may be lost.",
                        "1\t50008\t2 programs are holding it",
                        "2\t50007\tWord, p.exe \xC2\xB7 PID 101 [focusable]",
                        "3\t50000\tClose [focusable,focused]",
                        "2\t50007\tBackup, No window (a command prompt, background task, etc.), p.exe \xC2\xB7 PID 102 "
                        "[focusable]",
                        "3\t50000\tForce quit [focusable]",
                        "1\t50000\tMove to Recycle Bin [focusable]",
                    }));
}

// A client holding an element that a new search took away gets an error from it, not a crash
// and not the old answers.
TEST_F(Accessible, AnElementThatWentAnswersWithAnError) {
  Client client(dir_, {L"hold", hex(window_), L"Force quit", L"15000"});
  ASSERT_TRUE(client.started());
  ASSERT_TRUE(pump_until([&] { return client.output().find("held") != std::string::npos; })) << client.output();

  // The search again finds only Word: Backup's row and its button go.
  with_main_window([](MainWindow& w) {
    w.state.rows = {row_of(101, "Word")};
    ::InvalidateRect(w.state.window, nullptr, FALSE);
  });
  ::UpdateWindow(window_);
  client.say_go();
  EXPECT_EQ(client.finish(), 0u) << client.output();
  EXPECT_NE(client.output().find("name 80040201"), std::string::npos) << client.output();
}

// The provider as UI Automation uses it, in this process: Wine's client cannot invoke or read
// rectangles, so these are asked of the provider directly.
TEST_F(Accessible, InvokingCloseDoesWhatAClickDoes) {
  auto program = test::HolderProcess::start({L"--window", L"Report"});
  ASSERT_TRUE(program);
  state_->scan_id = 3;
  state_->rows = {row_of(program->pid(), "Report")};
  ASSERT_NE(::SendMessageW(window_, WM_GETOBJECT, 0, kUiaRootObjectId), 0);
  IRawElementProviderFragment* root = nullptr;
  ASSERT_TRUE(with_main_window([&](MainWindow& w) {
    ASSERT_TRUE(w.access);
    ASSERT_EQ(access_root(*w.access)->QueryInterface(__uuidof(IRawElementProviderFragment),
                                                      reinterpret_cast<void**>(&root)),
              S_OK);
  }));
  ASSERT_TRUE(root);

  // Depth first to the element whose automation id ends in "/close".
  const auto automation_id = [](IRawElementProviderFragment* e) {
    IRawElementProviderSimple* simple = nullptr;
    std::string id;
    if (e->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(&simple)) == S_OK) {
      VARIANT v;
      ::VariantInit(&v);
      if (simple->GetPropertyValue(30011, &v) == S_OK && v.vt == VT_BSTR) id = to_utf8(std::wstring_view(v.bstrVal));
      ::VariantClear(&v);
      simple->Release();
    }
    return id;
  };
  std::function<IRawElementProviderFragment*(IRawElementProviderFragment*)> find_close =
      [&](IRawElementProviderFragment* at) -> IRawElementProviderFragment* {
    IRawElementProviderFragment* child = nullptr;
    at->Navigate(NavigateDirection_FirstChild, &child);
    while (child != nullptr) {
      const std::string id = automation_id(child);
      if (id.size() > 6 && id.ends_with("/close")) return child;
      if (IRawElementProviderFragment* found = find_close(child)) {
        child->Release();
        return found;
      }
      IRawElementProviderFragment* next = nullptr;
      child->Navigate(NavigateDirection_NextSibling, &next);
      child->Release();
      child = next;
    }
    return nullptr;
  };
  IRawElementProviderFragment* close = find_close(root);
  ASSERT_TRUE(close);

  // Where it is drawn, in screen pixels.
  UiaRect rect{};
  EXPECT_EQ(close->get_BoundingRectangle(&rect), S_OK);
  EXPECT_GT(rect.width, 20.0);
  EXPECT_DOUBLE_EQ(rect.height, 34.0);
  // In physical pixels at every DPI: 34 at 96 DPI is 51 at 144.
  with_main_window([](MainWindow& w) { w.state.dpi = 144; });
  ::InvalidateRect(window_, nullptr, FALSE);
  ::UpdateWindow(window_);
  EXPECT_EQ(close->get_BoundingRectangle(&rect), S_OK);
  EXPECT_DOUBLE_EQ(rect.height, 51.0);
  with_main_window([](MainWindow& w) { w.state.dpi = 96; });
  ::InvalidateRect(window_, nullptr, FALSE);
  ::UpdateWindow(window_);
  EXPECT_EQ(close->get_BoundingRectangle(&rect), S_OK);

  // Moved, the window is not painted again; its boxes still follow it.
  RECT frame{};
  ASSERT_TRUE(::GetWindowRect(window_, &frame));
  ASSERT_TRUE(::SetWindowPos(window_, nullptr, frame.left + 40, frame.top + 30, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  UiaRect moved{};
  EXPECT_EQ(close->get_BoundingRectangle(&moved), S_OK);
  EXPECT_DOUBLE_EQ(moved.left, rect.left + 40);
  EXPECT_DOUBLE_EQ(moved.top, rect.top + 30);

  // Invoking returns at once; the window then clicks, and the program closes.
  const IID invoke_iid = {0x54fcb24b, 0xe18e, 0x47a2, {0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75, 0x99, 0xa2}};
  IUnknown* invoke = nullptr;
  ASSERT_EQ(close->QueryInterface(invoke_iid, reinterpret_cast<void**>(&invoke)), S_OK);
  // IInvokeProvider has one method after IUnknown's three.
  using InvokeFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*);
  const InvokeFn call = reinterpret_cast<InvokeFn*>(*reinterpret_cast<void***>(invoke))[3];
  EXPECT_EQ(call(invoke), S_OK);
  EXPECT_EQ(state_->rows[0].action.kind, ActionKind::Idle);  // nothing happens inside the call
  EXPECT_TRUE(pump_until([&] { return state_->rows[0].action.kind == ActionKind::Closed; }));
  EXPECT_EQ(::WaitForSingleObject(program->process(), 5'000), WAIT_OBJECT_0);

  // The row is closed: its button went, and the element held for it says so.
  ::InvalidateRect(window_, nullptr, FALSE);
  ::UpdateWindow(window_);
  EXPECT_EQ(call(invoke), kElementNotAvailable);
  EXPECT_EQ(close->get_BoundingRectangle(&rect), kElementNotAvailable);
  invoke->Release();
  close->Release();
  root->Release();
}

// UI Automation asks from threads of its own, also while the window's thread is busy and
// handles no messages: the window's name must not wait for it, before or after a new title.
TEST_F(Accessible, TheWindowsNameAnswersWhileItsThreadIsBusy) {
  ASSERT_NE(::SendMessageW(window_, WM_GETOBJECT, 0, kUiaRootObjectId), 0);
  IRawElementProviderSimple* root = nullptr;
  ASSERT_TRUE(with_main_window([&](MainWindow& w) {
    ASSERT_TRUE(w.access);
    root = access_root(*w.access);
    root->AddRef();
  }));
  for (const wchar_t* title : {static_cast<const wchar_t*>(nullptr), L"Tarnwick (\u95DC\u7406\u54E1)"}) {
    if (title != nullptr) {
      ASSERT_TRUE(::SetWindowTextW(window_, title));
    }
    std::string name;
    UniqueHandle answered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread reader([&] {
      VARIANT v;
      ::VariantInit(&v);
      if (root->GetPropertyValue(30005, &v) == S_OK && v.vt == VT_BSTR) name = to_utf8(std::wstring_view(v.bstrVal));
      ::VariantClear(&v);
      ::SetEvent(answered.get());
    });
    // Waiting here handles no sent message, as a busy window's thread does not.
    EXPECT_EQ(::WaitForSingleObject(answered.get(), 3'000), WAIT_OBJECT_0);
    pump_until([&] { return ::WaitForSingleObject(answered.get(), 0) == WAIT_OBJECT_0; });
    reader.join();
    EXPECT_EQ(name, title == nullptr ? "test" : to_utf8(std::wstring_view(title)));
  }
  root->Release();
}

}  // namespace
}  // namespace tw
