// Beeps, message boxes and system message texts over user32 and kernel32.
#include <windows.h>

#include "platform/platform.h"

namespace qf::platform {
namespace {

// The text FormatMessageA allocates, released on every path, including a
// failing copy.
using UniqueLocalText = UniqueAny<HLOCAL, &::LocalFree>;

}  // namespace

void Beep() { MessageBeep(0); }

void ShowMessage(const char* text, const char* caption, uint32_t icon) {
  MessageBoxA(nullptr, text, caption, MB_OK | icon);
}

long SystemErrorText(uint32_t code, std::string* text) {
  UniqueLocalText buffer;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the "buffer" argument is where the
  // address of the allocated text goes.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(buffer.Put()), 0, nullptr);
  if (length == 0 || !buffer.Valid()) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<long>(error) : ERROR_GEN_FAILURE;
  }
  text->assign(static_cast<const char*>(buffer.Get()), length);
  return kSuccess;
}

}  // namespace qf::platform
