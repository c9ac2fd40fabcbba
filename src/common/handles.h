#pragma once

#include <windows.h>

#include <utility>

namespace tw {

// One owner for one Windows resource; `Traits` says what "none" is and how to release it.
template <class Traits>
class Unique {
 public:
  using Type = typename Traits::Type;

  Unique() noexcept = default;
  explicit Unique(Type value) noexcept : value_(value) {}
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : value_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Unique() { reset(); }

  [[nodiscard]] Type get() const noexcept { return value_; }
  [[nodiscard]] bool valid() const noexcept { return Traits::valid(value_); }
  explicit operator bool() const noexcept { return valid(); }

  [[nodiscard]] Type release() noexcept { return std::exchange(value_, Traits::none()); }
  void reset(Type value = Traits::none()) noexcept {
    const Type old = std::exchange(value_, value);
    if (Traits::valid(old)) Traits::close(old);
  }
  // For out-parameters: releases what is held and hands out the slot.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::none();
};

struct KernelHandleTraits {  // processes, threads, files, events, tokens, mutexes
  using Type = HANDLE;
  static Type none() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type none() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { ::FindClose(h); }
};

// Handles whose "none" is a null pointer, released by one call.
template <class T, auto Release>
struct NullIsNone {
  using Type = T;
  static Type none() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { Release(h); }
};

using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueFind = Unique<FindHandleTraits>;
using UniqueKey = Unique<NullIsNone<HKEY, &::RegCloseKey>>;
using UniqueModule = Unique<NullIsNone<HMODULE, &::FreeLibrary>>;
using UniqueIcon = Unique<NullIsNone<HICON, &::DestroyIcon>>;
using UniqueMenu = Unique<NullIsNone<HMENU, &::DestroyMenu>>;
using UniqueGdiObject = Unique<NullIsNone<HGDIOBJ, &::DeleteObject>>;
using UniqueLocal = Unique<NullIsNone<HLOCAL, &::LocalFree>>;

}  // namespace tw
