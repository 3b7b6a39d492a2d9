// One owner for every kind of handle: move-only, released on every path.
//
// A handle kind is one line, its type, its close call and the value that
// means "no handle":
//   using UniqueFindHandle = UniqueAny<HANDLE, &::FindClose, -1>;
// The close call's result is ignored: a handle is released once, and nothing
// can be done about a failure to release it.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace qf::platform {

template <typename T, auto Close, std::intptr_t Invalid = 0>
class UniqueAny {
 public:
  UniqueAny() noexcept = default;
  explicit UniqueAny(T handle) noexcept : handle_(handle) {}
  ~UniqueAny() { Reset(); }
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.Release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  static T InvalidValue() noexcept {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<T>(Invalid);
    } else {
      return static_cast<T>(Invalid);
    }
  }

  T Get() const noexcept { return handle_; }
  bool Valid() const noexcept { return handle_ != InvalidValue(); }
  // Gives the handle up without closing it.
  [[nodiscard]] T Release() noexcept { return std::exchange(handle_, InvalidValue()); }
  // Closes the handle held, if any, and takes `handle`.
  void Reset(T handle = InvalidValue()) noexcept {
    const T old = std::exchange(handle_, handle);
    if (old != InvalidValue()) Close(old);
  }
  // Closes the handle held and gives the slot to a call that fills it.
  T* Put() noexcept {
    Reset();
    return &handle_;
  }

 private:
  T handle_ = InvalidValue();
};

}  // namespace qf::platform
