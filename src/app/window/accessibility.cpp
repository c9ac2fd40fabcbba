// The window's UI Automation provider, in order:
//   where each node's neighbours are, and AccessProvider, the provider's own copy of the tree;
//   answers both kinds of object give alike, and navigation from a node to its neighbour;
//   Element, the COM object for one node, and Root, the window's;
//   AccessProvider's members;
//   the window's calls (make, answer, update, announce, close) and their helpers before them.
#include "app/window/accessibility.h"

#include <oleauto.h>
#include <uiautomationcore.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "app/window/uia_shim.h"
#include "app/window/window_messages.h"
#include "common/com_object.h"
#include "common/text.h"

namespace tw {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Where each node's neighbours are, worked out once per tree.
struct Links {
  std::size_t first_child = kNone, last_child = kNone, next = kNone, previous = kNone;
};

std::vector<Links> links_of(const std::vector<AccessNode>& nodes) {
  std::vector<Links> links(nodes.size());
  std::map<std::size_t, std::size_t> last_child;  // by parent (kTopLevel for the window)
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const std::size_t parent = nodes[i].parent;
    const auto it = last_child.find(parent);
    if (it != last_child.end()) {
      links[it->second].next = i;
      links[i].previous = it->second;
    } else if (parent != kTopLevel) {
      links[parent].first_child = i;
    }
    if (parent != kTopLevel) links[parent].last_child = i;
    last_child[parent] = i;
  }
  return links;
}

class Element;
class Root;

}  // namespace

// The provider's own copy of the tree, shared by the root and the elements under its lock.
class AccessProvider {
 public:
  explicit AccessProvider(HWND window, const UiaApi& uia) : window_(window), uia_(uia) {}
  ~AccessProvider();
  AccessProvider(const AccessProvider&) = delete;
  AccessProvider& operator=(const AccessProvider&) = delete;

  HWND window() const { return window_; }
  const UiaApi& uia() const { return uia_; }
  std::mutex& mutex() { return mutex_; }

  // Under the lock.
  const std::vector<AccessNode>& nodes() const { return nodes_; }
  const std::vector<Links>& links() const { return links_; }
  std::optional<std::size_t> index_of(const std::string& id) const {
    const auto it = index_.find(id);
    if (it == index_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::size_t> focused() const { return focused_; }
  POINT origin() const { return origin_; }
  void set_origin(POINT origin) { origin_ = origin; }
  const std::string& title() const { return title_; }
  void set_title(std::string title) { title_ = std::move(title); }
  std::vector<std::size_t> top_level() const;

  // The element for a node, made on first use and the same object afterwards. Under the lock.
  IRawElementProviderSimple* element_for(std::size_t index);
  IRawElementProviderSimple* root();

  void set_root(Root* root) { root_ = root; }
  void replace(std::vector<AccessNode> nodes, std::optional<std::size_t> focused, POINT origin,
               std::vector<Element*>& gone);
  void request(AccessRequest request);
  std::vector<AccessRequest> take_requests();
  void forget_all(std::vector<Element*>& gone);
  // The elements that exist for nodes not in `nodes`, each with a reference for the caller.
  std::vector<Element*> leaving(const std::vector<AccessNode>& nodes);

  std::weak_ptr<AccessProvider> weak_self_;

 private:
  HWND window_;
  const UiaApi& uia_;
  std::mutex mutex_;
  std::vector<AccessNode> nodes_;
  std::vector<Links> links_;
  std::map<std::string, std::size_t> index_;
  std::map<std::string, Element*> elements_;  // each holds a reference of ours
  std::optional<std::size_t> focused_;
  POINT origin_{};
  // The window's title as its own thread last set it: asking the window from here would wait
  // on that thread.
  std::string title_;
  Root* root_ = nullptr;  // holds a reference of ours
  std::vector<AccessRequest> requests_;
};

namespace {

// Answers every object here gives alike.
HRESULT server_side(ProviderOptions* out) {
  if (out == nullptr) return E_POINTER;
  *out = ProviderOptions_ServerSideProvider;  // never UseComThreading: its calls would wait on the window
  return S_OK;
}
template <class T>
HRESULT nothing(T** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return S_OK;
}

// Runs `act` on the provider under its lock; the error once the window let it go.
template <class Act>
HRESULT under_lock(const std::weak_ptr<AccessProvider>& provider, Act&& act) {
  const std::shared_ptr<AccessProvider> p = provider.lock();
  if (!p) return kElementNotAvailable;
  const std::lock_guard<std::mutex> lock(p->mutex());
  return act(*p);
}

// From a node (or from the window, kNone) to its neighbour. Under the lock.
HRESULT navigate_among(AccessProvider& p, std::size_t index, NavigateDirection direction,
                       IRawElementProviderFragment** out) {
  std::size_t to = kNone;
  bool to_root = false;
  if (index == kNone) {
    const std::vector<std::size_t> top = p.top_level();
    if (direction == NavigateDirection_FirstChild && !top.empty()) to = top.front();
    if (direction == NavigateDirection_LastChild && !top.empty()) to = top.back();
  } else {
    const Links& links = p.links()[index];
    switch (direction) {
      case NavigateDirection_Parent:
        to = p.nodes()[index].parent;
        to_root = to == kTopLevel;
        break;
      case NavigateDirection_NextSibling:
        to = links.next;
        break;
      case NavigateDirection_PreviousSibling:
        to = links.previous;
        break;
      case NavigateDirection_FirstChild:
        to = links.first_child;
        break;
      case NavigateDirection_LastChild:
        to = links.last_child;
        break;
    }
  }
  IRawElementProviderSimple* target = to_root ? p.root() : to == kNone ? nullptr : p.element_for(to);
  if (target == nullptr) return S_OK;
  return query_interface(target, out);
}

// One node of the tree. It knows its node only by id, so it answers for whatever that node is
// now, and with an error once the node is gone.
class Element final
    : public ComObject<Element, IRawElementProviderSimple, IRawElementProviderFragment, InvokeProvider> {
 public:
  Element(std::weak_ptr<AccessProvider> provider, std::string id, int runtime_id)
      : provider_(std::move(provider)), id_(std::move(id)), runtime_id_(runtime_id) {}

  void mark_gone() { gone_ = true; }

  // Only a button can be invoked.
  bool offers(REFIID iid) { return iid != ComIid<InvokeProvider>::value() || is_button(); }

  // IRawElementProviderSimple
  HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* out) override { return server_side(out); }
  HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return with_node([&](AccessProvider&, const AccessNode& node, std::size_t) {
      if (pattern == kInvokePattern && node.role == AccessRole::Button) {
        *out = static_cast<InvokeProvider*>(this);
        AddRef();
      }
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* out) override {
    if (out == nullptr) return E_POINTER;
    out->vt = VT_EMPTY;
    return with_node([&](AccessProvider& p, const AccessNode& node, std::size_t index) {
      const bool focusable = node.role == AccessRole::Button || node.role == AccessRole::ListItem;
      switch (property) {
        case kNameProperty:
          set_text(out, node.name);
          break;
        case kControlTypeProperty:
          set_long(out, control_type(node.role));
          break;
        case kAutomationIdProperty:
          set_text(out, node.id);
          break;
        case kHasKeyboardFocusProperty:
          set_bool(out, p.focused() == index);
          break;
        case kIsKeyboardFocusableProperty:
          set_bool(out, focusable);
          break;
        case kIsEnabledProperty:
        case kIsControlElementProperty:
        case kIsContentElementProperty:
          set_bool(out, true);
          break;
        case kIsOffscreenProperty:
          set_bool(out, node.offscreen);
          break;
        case kIsInvokePatternAvailableProperty:
          set_bool(out, node.role == AccessRole::Button);
          break;
        case kLiveSettingProperty:
          if (node.live) set_long(out, kLivePolite);
          break;
        default:
          break;  // not ours to say: VT_EMPTY
      }
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
    return nothing(out);
  }

  // IRawElementProviderFragment
  HRESULT STDMETHODCALLTYPE Navigate(NavigateDirection direction, IRawElementProviderFragment** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return with_node([&](AccessProvider& p, const AccessNode&, std::size_t index) {
      return navigate_among(p, index, direction, out);
    });
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (gone_) return kElementNotAvailable;
    SAFEARRAY* ids = ::SafeArrayCreateVector(VT_I4, 0, 2);
    if (ids == nullptr) return E_OUTOFMEMORY;
    LONG at = 0;
    int value = kUiaAppendRuntimeId;
    static_cast<void>(::SafeArrayPutElement(ids, &at, &value));
    at = 1;
    value = runtime_id_;
    static_cast<void>(::SafeArrayPutElement(ids, &at, &value));
    *out = ids;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BoundingRectangle(UiaRect* out) override {
    if (out == nullptr) return E_POINTER;
    *out = UiaRect{};
    return with_node([&](AccessProvider& p, const AccessNode& node, std::size_t) {
      if (node.box) {
        *out = UiaRect{static_cast<double>(p.origin().x) + node.box->x, static_cast<double>(p.origin().y) + node.box->y,
                       node.box->width, node.box->height};
      }
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override { return nothing(out); }
  HRESULT STDMETHODCALLTYPE SetFocus() override { return ask(AccessRequestKind::Focus); }
  HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (gone_) return kElementNotAvailable;
    return under_lock(provider_, [&](AccessProvider& p) { return query_interface(p.root(), out); });
  }

  // IInvokeProvider: returns at once, as UI Automation wants; the window clicks the button.
  HRESULT STDMETHODCALLTYPE Invoke() override { return ask(AccessRequestKind::Invoke); }

 private:
  bool is_button() {
    bool button = false;
    static_cast<void>(with_node([&](AccessProvider&, const AccessNode& node, std::size_t) {
      button = node.role == AccessRole::Button;
      return S_OK;
    }));
    return button;
  }

  // Runs `act` on the element's node under the provider's lock; the error when it is gone.
  template <class Act>
  HRESULT with_node(Act&& act) {
    if (gone_) return kElementNotAvailable;
    return under_lock(provider_, [&](AccessProvider& p) {
      const std::optional<std::size_t> index = p.index_of(id_);
      if (!index) return kElementNotAvailable;
      return act(p, p.nodes()[*index], *index);
    });
  }

  HRESULT ask(AccessRequestKind kind) {
    const std::shared_ptr<AccessProvider> p = provider_.lock();
    if (!p || gone_) return kElementNotAvailable;
    {
      const std::lock_guard<std::mutex> lock(p->mutex());
      if (!p->index_of(id_)) return kElementNotAvailable;
    }
    p->request(AccessRequest{kind, id_});
    return S_OK;
  }

  std::weak_ptr<AccessProvider> provider_;
  std::string id_;
  int runtime_id_;
  std::atomic<bool> gone_{false};
};

// The window itself: the fragment root, whose host provider gives the frame's own properties.
class Root final : public ComObject<Root, IRawElementProviderSimple, IRawElementProviderFragment,
                                    IRawElementProviderFragmentRoot> {
 public:
  explicit Root(std::weak_ptr<AccessProvider> provider) : provider_(std::move(provider)) {}

  HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* out) override { return server_side(out); }
  HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID, IUnknown** out) override { return nothing(out); }
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* out) override {
    if (out == nullptr) return E_POINTER;
    out->vt = VT_EMPTY;
    const std::shared_ptr<AccessProvider> p = provider_.lock();
    if (!p) return kElementNotAvailable;
    if (property == kNameProperty) {
      const std::lock_guard<std::mutex> lock(p->mutex());
      set_text(out, p->title());
    } else if (property == kControlTypeProperty) {
      set_long(out, kWindowControl);
    } else if (property == kFrameworkIdProperty) {
      set_text(out, "Tarnwick");
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const std::shared_ptr<AccessProvider> p = provider_.lock();
    if (!p) return kElementNotAvailable;
    return p->uia().host_provider_from_hwnd(p->window(), out);
  }

  HRESULT STDMETHODCALLTYPE Navigate(NavigateDirection direction, IRawElementProviderFragment** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return under_lock(provider_, [&](AccessProvider& p) { return navigate_among(p, kNone, direction, out); });
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override {
    return nothing(out);  // the host provider gives the window's
  }
  HRESULT STDMETHODCALLTYPE get_BoundingRectangle(UiaRect* out) override {
    if (out == nullptr) return E_POINTER;
    *out = UiaRect{};  // the host provider gives the window's
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override { return nothing(out); }
  HRESULT STDMETHODCALLTYPE SetFocus() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
    if (out == nullptr) return E_POINTER;
    *out = this;
    AddRef();
    return S_OK;
  }

  // IRawElementProviderFragmentRoot
  HRESULT STDMETHODCALLTYPE ElementProviderFromPoint(double x, double y, IRawElementProviderFragment** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return under_lock(provider_, [&](AccessProvider& p) {
      const std::optional<std::size_t> found = node_at(p, x - p.origin().x, y - p.origin().y);
      return found ? query_interface(p.element_for(*found), out) : S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetFocus(IRawElementProviderFragment** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return under_lock(provider_, [&](AccessProvider& p) {
      return p.focused() ? query_interface(p.element_for(*p.focused()), out) : S_OK;
    });
  }

 private:
  // The node shown at a point of the client area. Under the lock.
  static std::optional<std::size_t> node_at(const AccessProvider& p, double x, double y) {
    // The last node that contains the point is the innermost: children follow their parents.
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < p.nodes().size(); ++i) {
      const AccessNode& n = p.nodes()[i];
      if (!n.box || n.offscreen) continue;
      if (x >= n.box->x && y >= n.box->y && x < n.box->x + n.box->width && y < n.box->y + n.box->height) found = i;
    }
    return found;
  }

  std::weak_ptr<AccessProvider> provider_;
};

}  // namespace

std::vector<std::size_t> AccessProvider::top_level() const {
  std::vector<std::size_t> top;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    if (nodes_[i].parent == kTopLevel) top.push_back(i);
  }
  return top;
}

IRawElementProviderSimple* AccessProvider::element_for(std::size_t index) {
  static std::atomic<int> next_runtime_id{1};
  const std::string& id = nodes_[index].id;
  auto [it, made] = elements_.try_emplace(id, nullptr);
  if (made) {
    // The provider lives in a shared pointer the window holds; the elements hold it weakly.
    it->second = new Element(weak_self_, id, next_runtime_id++);
  }
  return it->second;
}

IRawElementProviderSimple* AccessProvider::root() { return root_; }

void AccessProvider::replace(std::vector<AccessNode> nodes, std::optional<std::size_t> focused, POINT origin,
                             std::vector<Element*>& gone) {
  std::map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < nodes.size(); ++i) index.emplace(nodes[i].id, i);
  for (auto it = elements_.begin(); it != elements_.end();) {
    if (index.contains(it->first)) {
      ++it;
    } else {
      gone.push_back(it->second);
      it = elements_.erase(it);
    }
  }
  links_ = links_of(nodes);
  nodes_ = std::move(nodes);
  index_ = std::move(index);
  focused_ = focused;
  origin_ = origin;
}

void AccessProvider::request(AccessRequest request) {
  bool first = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    first = requests_.empty();
    requests_.push_back(std::move(request));
  }
  if (first) static_cast<void>(::PostMessageW(window_, kMsgAccessRequest, 0, 0));  // a window that is gone wants nothing
}

std::vector<AccessRequest> AccessProvider::take_requests() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(requests_, {});
}

void AccessProvider::forget_all(std::vector<Element*>& gone) {
  for (auto& [id, element] : elements_) gone.push_back(element);
  elements_.clear();
  nodes_.clear();
  links_.clear();
  index_.clear();
  focused_.reset();
}

std::vector<Element*> AccessProvider::leaving(const std::vector<AccessNode>& nodes) {
  std::map<std::string, bool> staying;
  for (const AccessNode& n : nodes) staying[n.id] = true;
  std::vector<Element*> out;
  for (const auto& [id, element] : elements_) {
    if (staying.contains(id)) continue;
    element->AddRef();
    out.push_back(element);
  }
  return out;
}

AccessProvider::~AccessProvider() {
  for (auto& [id, element] : elements_) {
    element->mark_gone();
    element->Release();
  }
  if (root_ != nullptr) root_->Release();
}

namespace {

// Tells UI Automation that these elements left the tree, while they still answer (it asks
// them as it lets go). Without the lock: the calls come back in.
void disconnect(const AccessProvider& provider, const std::vector<Element*>& leaving) {
  if (!provider.uia().disconnect_provider) return;
  for (Element* element : leaving) {
    static_cast<void>(provider.uia().disconnect_provider(element));
  }
}

// From now on they answer with an error; the references go.
void let_go(std::vector<Element*>& elements) {
  for (Element* element : elements) {
    element->mark_gone();
    element->Release();
  }
  elements.clear();
}

// Says a changed text aloud: a notification where Windows has them, else a live region change.
void announce(const AccessProvider& provider, IRawElementProviderSimple* element, const std::string& text) {
  const UiaApi& uia = provider.uia();
  if (uia.raise_notification_event) {
    const std::wstring wide = to_wide(text);
    BSTR display = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    BSTR activity = ::SysAllocString(L"Tarnwick.Status");
    static_cast<void>(uia.raise_notification_event(element, kNotificationActionCompleted,
                                                   kNotificationImportantMostRecent, display, activity));
    ::SysFreeString(display);
    ::SysFreeString(activity);
  } else if (uia.raise_automation_event) {
    static_cast<void>(uia.raise_automation_event(element, kLiveRegionChangedEvent));
  }
}

// The element of a node by id, with a reference for the caller; none when it is not there.
IRawElementProviderSimple* element_by_id(AccessProvider& provider, const std::string& id) {
  const std::lock_guard<std::mutex> lock(provider.mutex());
  const std::optional<std::size_t> index = provider.index_of(id);
  if (!index) return nullptr;
  IRawElementProviderSimple* element = provider.element_for(*index);
  element->AddRef();
  return element;
}

}  // namespace

std::shared_ptr<AccessProvider> make_access_provider(HWND window) {
  const UiaApi* uia = uia_calls();
  if (uia == nullptr) return nullptr;
  auto provider = std::make_shared<AccessProvider>(window, *uia);
  provider->weak_self_ = provider;
  // Made on the window's thread, where reading the title never waits.
  const int length = ::GetWindowTextLengthW(window);
  std::wstring title(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  title.resize(static_cast<std::size_t>(std::max(::GetWindowTextW(window, title.data(), length + 1), 0)));
  provider->set_title(to_utf8(title));
  provider->set_root(new Root(provider));
  return provider;
}

bool is_automation_request(LPARAM lparam) { return static_cast<LONG>(lparam) == kUiaRootObjectId; }

LRESULT answer_get_object(AccessProvider& provider, WPARAM wparam, LPARAM lparam) {
  if (!is_automation_request(lparam)) return 0;
  return provider.uia().return_raw_element_provider(provider.window(), wparam, lparam, provider.root());
}

void update_access_tree(AccessProvider& provider, std::vector<AccessNode> nodes, std::optional<std::size_t> focused,
                        POINT client_origin) {
  std::vector<std::pair<std::string, std::string>> changed;  // live nodes with a new text
  std::vector<Element*> leaving, dropped;
  {
    const std::lock_guard<std::mutex> lock(provider.mutex());
    for (const std::size_t i : changed_live_nodes(provider.nodes(), nodes)) changed.emplace_back(nodes[i].id, nodes[i].name);
    leaving = provider.leaving(nodes);
  }
  disconnect(provider, leaving);
  {
    const std::lock_guard<std::mutex> lock(provider.mutex());
    provider.replace(std::move(nodes), focused, client_origin, dropped);
  }
  let_go(dropped);
  let_go(leaving);
  for (const auto& [id, text] : changed) {
    if (IRawElementProviderSimple* element = element_by_id(provider, id)) {
      announce(provider, element, text);
      element->Release();
    }
  }
}

void move_access_tree(AccessProvider& provider, POINT client_origin) {
  const std::lock_guard<std::mutex> lock(provider.mutex());
  provider.set_origin(client_origin);
}

void set_access_title(AccessProvider& provider, std::wstring_view title) {
  std::string text = to_utf8(title);
  const std::lock_guard<std::mutex> lock(provider.mutex());
  provider.set_title(std::move(text));
}

void announce_focus(AccessProvider& provider) {
  std::string id;
  {
    const std::lock_guard<std::mutex> lock(provider.mutex());
    if (!provider.focused()) return;
    id = provider.nodes()[*provider.focused()].id;
  }
  IRawElementProviderSimple* element = element_by_id(provider, id);
  if (element == nullptr) return;
  if (provider.uia().raise_automation_event) {
    static_cast<void>(provider.uia().raise_automation_event(element, kFocusChangedEvent));
  }
  element->Release();
}

std::vector<AccessRequest> take_access_requests(AccessProvider& provider) { return provider.take_requests(); }

void close_access_provider(AccessProvider& provider) {
  std::vector<Element*> leaving, dropped;
  {
    const std::lock_guard<std::mutex> lock(provider.mutex());
    leaving = provider.leaving({});
  }
  disconnect(provider, leaving);
  {
    const std::lock_guard<std::mutex> lock(provider.mutex());
    provider.forget_all(dropped);
  }
  let_go(dropped);
  let_go(leaving);
  if (provider.uia().disconnect_provider) static_cast<void>(provider.uia().disconnect_provider(provider.root()));
  // Windows' way of saying the window's provider is gone.
  static_cast<void>(provider.uia().return_raw_element_provider(provider.window(), 0, 0, nullptr));
}

IRawElementProviderSimple* access_root(AccessProvider& provider) { return provider.root(); }

}  // namespace tw
