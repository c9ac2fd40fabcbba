// Test helper: reads a window's UI Automation tree from another process, the way a screen
// reader does, through the flat client functions of uiautomationcore.dll.
//
//   tw_uia_client dump HWND_HEX
//   tw_uia_client invoke HWND_HEX NAME [INDEX]
//   tw_uia_client hold HWND_HEX NAME WAIT_MS
//
// dump prints every element from the window's root down, depth first, one UTF-8 line each:
//   DEPTH<TAB>CONTROLTYPE_ID<TAB>NAME<TAB>LEFT,TOP,WIDTH,HEIGHT<TAB>FLAGS
// The root has depth 0. The rectangle is the BoundingRectangle in screen pixels rounded to
// integers, empty when the element has none. FLAGS is a comma-separated subset of
// focusable,focused,offscreen,live in that order ("live" for any LiveSetting but Off). A
// control character in a name is written as \xHH; anything else, backslashes included, as it
// is. The dump also checks that every element has a RuntimeId of its own and that each
// child's Parent is the element it was reached from; with a limit of 64 levels and 5000
// elements, a provider whose navigation runs in a circle fails instead of hanging the test.
//
// invoke finds the INDEX-th element (default 0, depth-first order) whose Name is exactly NAME
// and calls its Invoke pattern.
//
// hold finds the first element named NAME, keeps it, prints "held", then waits until a line
// (or the end of input) arrives on stdin or WAIT_MS pass. Then it reads the kept element's
// Name again and invokes it, printing "name HRESULT" and "invoke HRESULT" (8 hex digits), so
// a test can see what an element removed meanwhile answers. stdin may be an anonymous pipe,
// which works under Wine.
//
// Exit status: 0 success (for hold: both calls returned, whatever they answered); 1 invoke
// failed, its HRESULT in hex as the last line on stderr; 2 bad usage; 3 the window has no
// provider or its tree cannot be read; 4 no element has that name.
//
// What Wine 8 does, which this code relies on or works around:
// - The provider's methods run in the window's process on uiautomationcore's own MTA
//   threads, not the window's thread, so this program needs no message loop. It joins the
//   MTA; the calls work without COM too.
// - UiaNavigate accepts only a true condition and a cache request for TreeScope_Element
//   (other conditions or scopes give E_NOTIMPL, a null condition E_INVALIDARG). It never
//   passes a provider's failure on: the navigation answers S_OK and no element.
// - The element comes back as the first cell of the returned array, a VT_I8 that
//   UiaHUiaNodeFromVariant turns into a node the caller then owns.
// - BoundingRectangle is not implemented: E_NOTIMPL, so the rectangle column stays empty.
//   Windows gives VT_R8|VT_ARRAY of left, top, width, height.
// - UiaGetPatternProvider, InvokePattern_Invoke and UiaPatternRelease are unimplemented
//   stubs, which raise exception 0x80000100 and then start the debugger, hanging the
//   program. They are called on a thread of their own that a vectored handler ends when
//   that exception comes; the call then counts as E_NOTIMPL.
// - A property read from an element whose provider answers UIA_E_ELEMENTNOTAVAILABLE
//   succeeds with the "not supported" value; only once the provider has called
//   UiaDisconnectProvider for it (while it still answered) do reads fail, with
//   UIA_E_ELEMENTNOTAVAILABLE. A provider process that has ended gives 0x800706BA.
// - UiaNodeFromHandle fails (E_NOTIMPL) for a window that has no provider of its own;
//   Windows instead gives the window's default element.
#include <windows.h>
#include <oleauto.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/handles.h"
#include "common/text.h"

namespace {

// The parts of UIAutomationCoreApi.h used here. mingw-w64's copy lacks most of them and the
// DLL has no import library there, so the functions are looked up at run time.
struct NodeObject;
using Node = NodeObject*;
struct PatternObject;
using Pattern = PatternObject*;

struct Condition {
  int type;  // ConditionType
};
struct CacheRequest {
  Condition* view_condition;
  int scope;  // TreeScope
  int* properties;
  int property_count;
  int* patterns;
  int pattern_count;
  int element_mode;  // AutomationElementMode
};

constexpr int kConditionTrue = 0;
constexpr int kTreeScopeElement = 1;
constexpr int kElementModeFull = 1;

constexpr int kNavigateParent = 0;
constexpr int kNavigateNextSibling = 1;
constexpr int kNavigateFirstChild = 3;

constexpr int kBoundingRectangle = 30001;
constexpr int kControlType = 30003;
constexpr int kName = 30005;
constexpr int kHasKeyboardFocus = 30008;
constexpr int kIsKeyboardFocusable = 30009;
constexpr int kIsOffscreen = 30022;
constexpr int kLiveSetting = 30135;
constexpr int kInvokePattern = 10000;

constexpr DWORD kWineStubException = 0x80000100;

constexpr int kExitInvokeFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnreadable = 3;
constexpr int kExitNotFound = 4;

constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxElements = 5000;

struct Api {
  HRESULT(WINAPI* node_from_handle)(HWND, Node*) = nullptr;
  BOOL(WINAPI* node_release)(Node) = nullptr;
  HRESULT(WINAPI* get_property_value)(Node, int, VARIANT*) = nullptr;
  HRESULT(WINAPI* navigate)(Node, int, Condition*, CacheRequest*, SAFEARRAY**, BSTR*) = nullptr;
  HRESULT(WINAPI* node_from_variant)(VARIANT*, Node*) = nullptr;
  HRESULT(WINAPI* get_runtime_id)(Node, SAFEARRAY**) = nullptr;
  HRESULT(WINAPI* get_pattern_provider)(Node, int, Pattern*) = nullptr;
  HRESULT(WINAPI* invoke)(Pattern) = nullptr;
  BOOL(WINAPI* pattern_release)(Pattern) = nullptr;
};
Api g_api;

template <class F>
bool look_up(HMODULE dll, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
  return slot != nullptr;
}

bool load_api() {
  const HMODULE dll = ::LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (dll == nullptr) return false;
  return look_up(dll, "UiaNodeFromHandle", g_api.node_from_handle) &&
         look_up(dll, "UiaNodeRelease", g_api.node_release) &&
         look_up(dll, "UiaGetPropertyValue", g_api.get_property_value) && look_up(dll, "UiaNavigate", g_api.navigate) &&
         look_up(dll, "UiaHUiaNodeFromVariant", g_api.node_from_variant) &&
         look_up(dll, "UiaGetRuntimeId", g_api.get_runtime_id) &&
         look_up(dll, "UiaGetPatternProvider", g_api.get_pattern_provider) &&
         look_up(dll, "InvokePattern_Invoke", g_api.invoke) && look_up(dll, "UiaPatternRelease", g_api.pattern_release);
}

void release_node(Node node) { g_api.node_release(node); }
using UniqueNode = tw::Unique<tw::NullIsNone<Node, &release_node>>;
using UniqueArray = tw::Unique<tw::NullIsNone<SAFEARRAY*, &::SafeArrayDestroy>>;

struct Variant {
  VARIANT value;
  Variant() { ::VariantInit(&value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&value); }
};

void write(HANDLE out, std::string_view text) {
  DWORD written = 0;
  ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
void print(std::string_view line) { write(::GetStdHandle(STD_OUTPUT_HANDLE), std::string(line) + "\n"); }
void complain(std::string_view line) { write(::GetStdHandle(STD_ERROR_HANDLE), std::string(line) + "\n"); }

std::string hex(HRESULT hr) {
  char text[16] = {};
  const auto end = std::to_chars(text, text + sizeof text, static_cast<std::uint32_t>(hr), 16).ptr;
  std::string digits(text, end);
  return std::string(8 - digits.size(), '0') + digits;
}

template <class T>
std::optional<T> parse_number(const wchar_t* argument, int base) {
  const std::string text = tw::to_utf8(argument);
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A failed read of the element, or nothing when it read or the property is not implemented
// (Wine's answer for BoundingRectangle).
std::optional<HRESULT> read_property(Node node, int property, Variant& out) {
  const HRESULT hr = g_api.get_property_value(node, property, &out.value);
  if (FAILED(hr) && hr != E_NOTIMPL) return hr;
  return std::nullopt;
}

struct Element {
  int control_type = 0;
  std::wstring name;
  std::optional<std::array<double, 4>> rectangle;
  bool focusable = false;
  bool focused = false;
  bool offscreen = false;
  bool live = false;
};

bool is_true(const Variant& v) { return v.value.vt == VT_BOOL && v.value.boolVal != VARIANT_FALSE; }

std::optional<std::array<double, 4>> rectangle_of(const Variant& v) {
  if (v.value.vt != (VT_ARRAY | VT_R8) || ::SafeArrayGetDim(v.value.parray) != 1) return std::nullopt;
  LONG low = 0;
  LONG high = -1;
  ::SafeArrayGetLBound(v.value.parray, 1, &low);
  ::SafeArrayGetUBound(v.value.parray, 1, &high);
  if (high - low != 3) return std::nullopt;
  std::array<double, 4> r{};
  for (LONG i = 0; i < 4; ++i) {
    LONG index = low + i;
    if (FAILED(::SafeArrayGetElement(v.value.parray, &index, &r[static_cast<std::size_t>(i)]))) return std::nullopt;
  }
  return r;
}

// The element's properties; the HRESULT of the first read that failed otherwise.
HRESULT read_element(Node node, Element& e) {
  Variant name, type, rectangle, focusable, focused, offscreen, live;
  for (auto [property, value] : {std::pair{kName, &name}, {kControlType, &type}, {kBoundingRectangle, &rectangle},
                                 {kIsKeyboardFocusable, &focusable}, {kHasKeyboardFocus, &focused},
                                 {kIsOffscreen, &offscreen}, {kLiveSetting, &live}}) {
    if (const auto failed = read_property(node, property, *value)) return *failed;
  }
  if (name.value.vt == VT_BSTR && name.value.bstrVal != nullptr) {
    e.name.assign(name.value.bstrVal, ::SysStringLen(name.value.bstrVal));
  }
  if (type.value.vt == VT_I4) e.control_type = type.value.lVal;
  e.rectangle = rectangle_of(rectangle);
  e.focusable = is_true(focusable);
  e.focused = is_true(focused);
  e.offscreen = is_true(offscreen);
  e.live = live.value.vt == VT_I4 && live.value.lVal != 0;
  return S_OK;
}

std::string escaped_name(const std::wstring& name) {
  std::string out;
  for (const char c : tw::to_utf8(name)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string dump_line(int depth, const Element& e) {
  std::string line = std::to_string(depth) + '\t' + std::to_string(e.control_type) + '\t' + escaped_name(e.name) + '\t';
  if (e.rectangle) {
    const auto& r = *e.rectangle;
    line += std::to_string(std::lround(r[0])) + ',' + std::to_string(std::lround(r[1])) + ',' +
            std::to_string(std::lround(r[2])) + ',' + std::to_string(std::lround(r[3]));
  }
  line += '\t';
  std::string flags;
  for (const auto& [set, word] : {std::pair{e.focusable, "focusable"}, {e.focused, "focused"},
                                  {e.offscreen, "offscreen"}, {e.live, "live"}}) {
    if (!set) continue;
    if (!flags.empty()) flags += ',';
    flags += word;
  }
  return line + flags;
}

// The element one step away, or an empty node when there is none (Wine also answers so when
// the step failed).
UniqueNode navigate(Node from, int direction, HRESULT& hr) {
  Condition any{kConditionTrue};
  CacheRequest request{&any, kTreeScopeElement, nullptr, 0, nullptr, 0, kElementModeFull};
  UniqueArray data;
  BSTR structure = nullptr;
  hr = g_api.navigate(from, direction, &any, &request, data.put(), &structure);
  ::SysFreeString(structure);
  if (FAILED(hr) || !data) return UniqueNode();
  LONG first[2] = {0, 0};
  Variant cell;
  UniqueNode node;
  if (SUCCEEDED(::SafeArrayGetElement(data.get(), first, &cell.value))) {
    if (FAILED(g_api.node_from_variant(&cell.value, node.put()))) node.reset();
  }
  return node;
}

std::vector<LONG> runtime_id(Node node) {
  UniqueArray id;
  std::vector<LONG> parts;
  if (FAILED(g_api.get_runtime_id(node, id.put())) || !id) return parts;
  LONG low = 0;
  LONG high = -1;
  ::SafeArrayGetLBound(id.get(), 1, &low);
  ::SafeArrayGetUBound(id.get(), 1, &high);
  for (LONG i = low; i <= high; ++i) {
    LONG part = 0;
    ::SafeArrayGetElement(id.get(), &i, &part);
    parts.push_back(part);
  }
  return parts;
}

// Visits the tree depth first; `visit(node, depth)` returns false to stop, and may move the
// node out to keep it. Empty when the walk ended normally or was stopped, otherwise why the
// tree could not be read.
class Walker {
 public:
  using Visit = std::function<bool(UniqueNode&, int)>;
  explicit Walker(Visit visit) : visit_(std::move(visit)) {}

  std::optional<std::string> walk(UniqueNode& root) {
    walk_from(root, 0);
    return problem_;
  }

 private:
  // False once the walk is to end.
  bool walk_from(UniqueNode& node, int depth) {
    if (++count_ > kMaxElements) return fail("more than " + std::to_string(kMaxElements) + " elements");
    // Runtime ids are unique, so one met twice means navigation runs in a circle.
    const std::vector<LONG> own_id = runtime_id(node.get());
    if (own_id.empty()) return fail("an element at depth " + std::to_string(depth) + " has no RuntimeId");
    if (!seen_.insert(own_id).second) return fail("an element is reached twice (depth " + std::to_string(depth) + ")");
    if (!visit_(node, depth)) return false;
    HRESULT hr = S_OK;
    UniqueNode child = navigate(node.get(), kNavigateFirstChild, hr);
    if (FAILED(hr)) return fail("navigating to a first child failed: " + hex(hr));
    if (child && depth + 1 > kMaxDepth) return fail("deeper than " + std::to_string(kMaxDepth) + " levels");
    while (child) {
      // Screen readers walk up as well as down; a wrong Parent strands them.
      const UniqueNode parent = navigate(child.get(), kNavigateParent, hr);
      if (!parent || runtime_id(parent.get()) != own_id) {
        return fail("an element at depth " + std::to_string(depth + 1) +
                    " does not name the element it was reached from as its Parent");
      }
      if (!walk_from(child, depth + 1)) return false;
      child = navigate(child.get(), kNavigateNextSibling, hr);
      if (FAILED(hr)) return fail("navigating to a next sibling failed: " + hex(hr));
    }
    return true;
  }

  bool fail(std::string why) {
    problem_ = std::move(why);
    return false;
  }

  Visit visit_;
  std::size_t count_ = 0;
  std::set<std::vector<LONG>> seen_;
  std::optional<std::string> problem_;
};

// Unimplemented Wine functions raise kWineStubException. Such calls run on a thread of their
// own, which this handler ends; the call then answers E_NOTIMPL.
thread_local bool t_guarded = false;

LONG CALLBACK end_guarded_thread(EXCEPTION_POINTERS* exception) {
  if (t_guarded && exception->ExceptionRecord->ExceptionCode == kWineStubException) ::ExitThread(0);
  return EXCEPTION_CONTINUE_SEARCH;
}

HRESULT call_guarded(const std::function<HRESULT()>& call) {
  static const PVOID handler = ::AddVectoredExceptionHandler(1, &end_guarded_thread);
  static_cast<void>(handler);
  struct Job {
    const std::function<HRESULT()>* call;
    std::optional<HRESULT> result;
  } job{&call, std::nullopt};
  const LPTHREAD_START_ROUTINE run = [](void* parameter) -> DWORD {
    auto* j = static_cast<Job*>(parameter);
    t_guarded = true;
    j->result = (*j->call)();
    return 0;
  };
  const tw::UniqueHandle thread(::CreateThread(nullptr, 0, run, &job, 0, nullptr));
  if (!thread) return HRESULT_FROM_WIN32(::GetLastError());
  ::WaitForSingleObject(thread.get(), INFINITE);
  return job.result.value_or(E_NOTIMPL);
}

HRESULT invoke(Node node) {
  return call_guarded([node] {
    Pattern pattern = nullptr;
    HRESULT hr = g_api.get_pattern_provider(node, kInvokePattern, &pattern);
    if (SUCCEEDED(hr) && pattern == nullptr) hr = E_NOINTERFACE;  // no Invoke pattern on this element
    if (FAILED(hr)) return hr;
    hr = g_api.invoke(pattern);
    g_api.pattern_release(pattern);
    return hr;
  });
}

// The window's root element, or the exit status when there is none.
std::optional<int> open_root(HWND window, UniqueNode& root) {
  const HRESULT hr = g_api.node_from_handle(window, root.put());
  if (SUCCEEDED(hr) && root) return std::nullopt;
  complain("the window has no UI Automation element: " + hex(hr));
  return kExitUnreadable;
}

int dump(HWND window) {
  UniqueNode root;
  if (const auto status = open_root(window, root)) return *status;
  std::string out;
  HRESULT read_failure = S_OK;
  Walker walker([&](UniqueNode& node, int depth) {
    Element element;
    read_failure = read_element(node.get(), element);
    if (FAILED(read_failure)) return false;
    out += dump_line(depth, element) + '\n';
    return true;
  });
  if (const auto problem = walker.walk(root)) {
    complain("the tree cannot be read: " + *problem);
    return kExitUnreadable;
  }
  if (FAILED(read_failure)) {
    complain("the tree cannot be read: reading an element failed: " + hex(read_failure));
    return kExitUnreadable;
  }
  write(::GetStdHandle(STD_OUTPUT_HANDLE), out);
  return 0;
}

// Finds the `index`-th element named `name` into `found`; the exit status when that fails.
std::optional<int> find_named(HWND window, const std::wstring& name, std::uint32_t index, UniqueNode& found) {
  UniqueNode root;
  if (const auto status = open_root(window, root)) return *status;
  std::uint32_t seen = 0;
  HRESULT read_failure = S_OK;
  Walker walker([&](UniqueNode& node, int) {
    Variant value;
    if (const auto failed = read_property(node.get(), kName, value)) {
      read_failure = *failed;
      return false;
    }
    const bool match = value.value.vt == VT_BSTR && value.value.bstrVal != nullptr &&
                       std::wstring_view(value.value.bstrVal, ::SysStringLen(value.value.bstrVal)) == name;
    if (!match || seen++ != index) return true;
    found = std::move(node);
    return false;
  });
  if (const auto problem = walker.walk(root)) {
    complain("the tree cannot be read: " + *problem);
    return kExitUnreadable;
  }
  if (FAILED(read_failure)) {
    complain("the tree cannot be read: reading a name failed: " + hex(read_failure));
    return kExitUnreadable;
  }
  if (!found) {
    complain("no element named \"" + tw::to_utf8(name) + "\" at index " + std::to_string(index));
    return kExitNotFound;
  }
  return std::nullopt;
}

int invoke_named(HWND window, const std::wstring& name, std::uint32_t index) {
  UniqueNode element;
  if (const auto status = find_named(window, name, index, element)) return *status;
  const HRESULT hr = invoke(element.get());
  if (hr == S_OK) return 0;
  complain(hex(hr));
  return kExitInvokeFailed;
}

// Waits for a line or the end of input on stdin, at most `wait_ms`.
void wait_for_go(DWORD wait_ms) {
  const tw::UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const LPTHREAD_START_ROUTINE read_line = [](void* event) -> DWORD {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD read = 0;
    for (;;) {
      const bool ok = ::ReadFile(in, &c, 1, &read, nullptr) != FALSE;
      const bool ended = (ok && read == 0) || (!ok && ::GetLastError() == ERROR_BROKEN_PIPE);
      if (ended || (ok && c == '\n')) {
        ::SetEvent(static_cast<HANDLE>(event));
        return 0;
      }
      if (!ok) return 0;  // no usable stdin: only the time limit ends the wait
    }
  };
  // Left running when the time is up; the process ends it on exit.
  const tw::UniqueHandle reader(::CreateThread(nullptr, 0, read_line, go.get(), 0, nullptr));
  ::WaitForSingleObject(go.get(), wait_ms);
}

int hold(HWND window, const std::wstring& name, DWORD wait_ms) {
  UniqueNode element;
  if (const auto status = find_named(window, name, 0, element)) return *status;
  print("held");
  wait_for_go(wait_ms);
  Variant value;
  const HRESULT name_hr = g_api.get_property_value(element.get(), kName, &value.value);
  print("name " + hex(name_hr));
  print("invoke " + hex(invoke(element.get())));
  return 0;
}

int usage() {
  complain(
      "usage: tw_uia_client dump HWND_HEX\n"
      "       tw_uia_client invoke HWND_HEX NAME [INDEX]\n"
      "       tw_uia_client hold HWND_HEX NAME WAIT_MS");
  return kExitUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return usage();
  const std::wstring command = argv[1];
  std::wstring_view window_text = argv[2];
  if (window_text.starts_with(L"0x") || window_text.starts_with(L"0X")) window_text.remove_prefix(2);
  const auto window_value = parse_number<std::uint64_t>(std::wstring(window_text).c_str(), 16);
  if (!window_value || *window_value == 0) return usage();
  const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*window_value));

  // Screen pixels, whatever the scaling of the window's monitor.
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  static_cast<void>(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  if (!load_api()) {
    complain("uiautomationcore.dll lacks the client functions");
    return kExitUnreadable;
  }

  if (command == L"dump" && argc == 3) return dump(window);
  if (command == L"invoke" && (argc == 4 || argc == 5)) {
    const auto index = argc == 5 ? parse_number<std::uint32_t>(argv[4], 10) : std::optional<std::uint32_t>(0);
    if (!index) return usage();
    return invoke_named(window, argv[3], *index);
  }
  if (command == L"hold" && argc == 5) {
    const auto wait_ms = parse_number<DWORD>(argv[4], 10);
    if (!wait_ms) return usage();
    return hold(window, argv[3], *wait_ms);
  }
  return usage();
}
