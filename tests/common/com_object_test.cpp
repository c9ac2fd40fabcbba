#include <gtest/gtest.h>

#include <windows.h>

#include <objidl.h>
#include <oleidl.h>

#include <iterator>
#include <latch>
#include <thread>
#include <vector>

#include "common/com_object.h"

namespace tw {
namespace {

// Two interfaces that share IUnknown, each answering with a mark of its own, so a pointer
// cast through the wrong base shows; IOleWindow is given only while `window` is on.
class Probe final : public ComObject<Probe, IPersist, IOleWindow> {
 public:
  explicit Probe(bool& destroyed) : destroyed_(destroyed) {}
  ~Probe() { destroyed_ = true; }

  bool window = true;
  bool offers(REFIID iid) { return iid != ComIid<IOleWindow>::value() || window; }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override {
    *out = ComIid<IPersist>::value();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    *out = HWND_MESSAGE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  bool& destroyed_;
};

// Which of Probe's interfaces a pointer is, by asking it: the mark it answers with.
enum class Is { None, Unknown, Persist, Window };
Is what_is(REFIID iid, void* p) {
  if (p == nullptr) return Is::None;
  if (iid == ComIid<IPersist>::value()) {
    CLSID id{};
    return static_cast<IPersist*>(p)->GetClassID(&id) == S_OK && id == ComIid<IPersist>::value() ? Is::Persist : Is::None;
  }
  if (iid == ComIid<IOleWindow>::value()) {
    HWND hwnd = nullptr;
    return static_cast<IOleWindow*>(p)->GetWindow(&hwnd) == S_OK && hwnd == HWND_MESSAGE ? Is::Window : Is::None;
  }
  return Is::Unknown;
}

TEST(ComObject, GivesItsInterfacesWithOneIdentityAndCounts) {
  struct Case {
    const IID& iid;
    bool window;
    HRESULT hr;
    Is is;
  };
  const Case cases[] = {
      {ComIid<IUnknown>::value(), true, S_OK, Is::Unknown},
      {ComIid<IPersist>::value(), true, S_OK, Is::Persist},
      {ComIid<IOleWindow>::value(), true, S_OK, Is::Window},
      {ComIid<IOleWindow>::value(), false, E_NOINTERFACE, Is::None},  // refused by `offers`
      {ComIid<IPersist>::value(), false, S_OK, Is::Persist},
      {ComIid<IClassFactory>::value(), true, E_NOINTERFACE, Is::None},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    bool destroyed = false;
    Probe* probe = new Probe(destroyed);
    probe->window = c.window;
    void* out = &destroyed;  // must come back null when refused
    EXPECT_EQ(probe->QueryInterface(c.iid, &out), c.hr) << i;
    EXPECT_EQ(what_is(c.iid, out), c.is) << i;
    if (out != nullptr) {
      // Whichever interface it came through, IUnknown is the same pointer.
      IUnknown* identity = nullptr;
      ASSERT_EQ(static_cast<IUnknown*>(out)->QueryInterface(ComIid<IUnknown>::value(),
                                                            reinterpret_cast<void**>(&identity)),
                S_OK);
      EXPECT_EQ(identity, static_cast<IUnknown*>(static_cast<IPersist*>(probe))) << i;
      EXPECT_EQ(identity->Release(), 2u) << i;
      EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u) << i;
    }
    EXPECT_FALSE(destroyed) << i;
    EXPECT_EQ(probe->Release(), 0u) << i;
    EXPECT_TRUE(destroyed) << i;
  }
}

TEST(ComObject, CountsFromManyThreadsAndGoesAtZero) {
  bool destroyed = false;
  Probe* probe = new Probe(destroyed);
  IUnknown* unknown = static_cast<IPersist*>(probe);  // called as a client would, not inlined
  std::latch start(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([unknown, &start] {
      start.arrive_and_wait();
      for (int i = 0; i < 200'000; ++i) {
        unknown->AddRef();
        unknown->Release();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(probe->Release(), 0u);
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace tw
