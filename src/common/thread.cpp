#include "common/thread.h"

#include <windows.h>

#include <memory>

#include "common/handles.h"

namespace tw {

bool start_detached_thread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  const auto entry = [](void* parameter) -> DWORD {
    const std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(parameter));
    (*run)();
    return 0;
  };
  UniqueHandle thread(::CreateThread(nullptr, 0, entry, owned.get(), 0, nullptr));
  if (!thread) return false;
  static_cast<void>(owned.release());  // the thread frees it
  return true;
}

}  // namespace tw
