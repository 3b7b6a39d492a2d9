// Owners of the Win32 handles the preview opens on the real machine: each is
// released when its owner goes out of scope, on every path.
#pragma once

#include <windows.h>

namespace qfpreview {

class KeyGuard {
 public:
  KeyGuard() = default;
  ~KeyGuard() { Close(); }
  KeyGuard(const KeyGuard&) = delete;
  KeyGuard& operator=(const KeyGuard&) = delete;

  HKEY* Out() {
    Close();
    return &key_;
  }
  HKEY Get() const { return key_; }
  bool Valid() const { return key_ != nullptr; }
  void Close() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// A kernel handle (a directory or file opened for reading).
class HandleGuard {
 public:
  HandleGuard() = default;
  ~HandleGuard() { Close(); }
  HandleGuard(HandleGuard&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  HandleGuard& operator=(HandleGuard&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;

  HANDLE* Out() {
    Close();
    return &handle_;
  }
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (Valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace qfpreview
