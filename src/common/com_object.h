#pragma once

// IUnknown written once for the COM objects the program makes itself.

#include <windows.h>

#include <unknwn.h>

#include <atomic>

namespace tw {

// The IID of a COM interface. Specialise it for an interface declared without one.
template <class Interface>
struct ComIid {
  static const IID& value() { return __uuidof(Interface); }
};

// Asks `from` for `Interface`, as QueryInterface does, with the cast written once.
template <class Interface>
HRESULT query_interface(IUnknown* from, Interface** out) {
  return from->QueryInterface(ComIid<Interface>::value(), reinterpret_cast<void**>(out));
}

// COM interfaces have no virtual destructor by design (Release destroys), which GCC's
// -Wnon-virtual-dtor cannot know; Release deletes through the final class, never a base.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// A COM object that implements `Interfaces`: QueryInterface over them and IUnknown (the first
// interface is its identity), and a count any thread may change, which deletes the object at
// zero. Made with one reference, the maker's. `Derived` (declared final) may hide
// `bool offers(REFIID)` to refuse an interface it implements but does not give now.
template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == ComIid<IUnknown>::value()) {
      *out = identity();
    } else if (!(take<Interfaces>(iid, out) || ...)) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  bool offers(REFIID) { return true; }

 protected:
  ComObject() = default;
  ~ComObject() = default;

 private:
  template <class First, class...>
  struct Front {
    using Type = First;
  };

  IUnknown* identity() { return static_cast<typename Front<Interfaces...>::Type*>(this); }

  template <class Interface>
  bool take(REFIID iid, void** out) {
    if (iid != ComIid<Interface>::value() || !static_cast<Derived*>(this)->offers(iid)) return false;
    *out = static_cast<Interface*>(this);
    return true;
  }

  std::atomic<ULONG> refs_{1};
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace tw
