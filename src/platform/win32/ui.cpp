// Beeps, message boxes and system message texts over user32 and kernel32.
#include <windows.h>

#include "platform/platform.h"

namespace qf::platform {
namespace {

// Owns a buffer that FormatMessageA allocated, so it is released on every
// path, including a failing copy.
class LocalBuffer {
 public:
  LocalBuffer() = default;
  ~LocalBuffer() {
    if (text_ != nullptr) LocalFree(text_);
  }
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;

  char** Receive() { return &text_; }
  const char* Text() const { return text_; }

 private:
  char* text_ = nullptr;
};

}  // namespace

void Beep() { MessageBeep(0); }

void ShowMessage(const char* text, const char* caption, uint32_t icon) {
  MessageBoxA(nullptr, text, caption, MB_OK | icon);
}

long SystemErrorText(uint32_t code, std::string* text) {
  LocalBuffer buffer;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the "buffer" argument is where the
  // address of the allocated text goes.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(buffer.Receive()), 0, nullptr);
  if (length == 0 || buffer.Text() == nullptr) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<long>(error) : ERROR_GEN_FAILURE;
  }
  text->assign(buffer.Text(), length);
  return kSuccess;
}

}  // namespace qf::platform
