// The DLL's entry points: File Explorer asks it for the command's class factory, and asks from
// time to time whether it may unload it.
#include <windows.h>

#include <new>

#include "common/com_object.h"
#include "shell/explorer_command.h"

namespace tw {
namespace {

class CommandFactory final : public ComObject<CommandFactory, IClassFactory> {
 public:
  CommandFactory() { lock_module(); }
  ~CommandFactory() { unlock_module(); }
  CommandFactory(const CommandFactory&) = delete;
  CommandFactory& operator=(const CommandFactory&) = delete;

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IExplorerCommand* command = make_explorer_command();
    if (command == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = command->QueryInterface(iid, out);
    command->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      lock_module();
    } else {
      unlock_module();
    }
    return S_OK;
  }
};

}  // namespace
}  // namespace tw

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    tw::set_module(instance);
    static_cast<void>(::DisableThreadLibraryCalls(instance));
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != tw::kExplorerCommandClsid) return CLASS_E_CLASSNOTAVAILABLE;
  tw::CommandFactory* factory = new (std::nothrow) tw::CommandFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = factory->QueryInterface(iid, out);
  factory->Release();
  return result;
}

STDAPI DllCanUnloadNow() { return tw::module_in_use() ? S_FALSE : S_OK; }
