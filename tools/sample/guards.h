// Owners of the Win32 handles the sample tool opens: each is released when
// its owner goes out of scope, on every path.
#pragma once

#include <windows.h>

namespace qfsample {

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
  void Close() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

class FileGuard {
 public:
  explicit FileGuard(HANDLE handle) : handle_(handle) {}
  ~FileGuard() {
    if (Valid()) CloseHandle(handle_);
  }
  FileGuard(const FileGuard&) = delete;
  FileGuard& operator=(const FileGuard&) = delete;

  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

class FindGuard {
 public:
  FindGuard(const char* pattern, WIN32_FIND_DATAA* first)
      : handle_(FindFirstFileA(pattern, first)) {}
  ~FindGuard() {
    if (Valid()) FindClose(handle_);
  }
  FindGuard(const FindGuard&) = delete;
  FindGuard& operator=(const FindGuard&) = delete;

  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAA* entry) { return FindNextFileA(handle_, entry) != FALSE; }

 private:
  HANDLE handle_;
};

}  // namespace qfsample
