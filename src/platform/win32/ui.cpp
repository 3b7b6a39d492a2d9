// Beeps, message boxes and system message texts over user32 and kernel32.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace qf::platform {
namespace {

// The text FormatMessageW allocates, released on every path, including a
// failing copy.
using UniqueLocalText = UniqueAny<HLOCAL, &::LocalFree>;

}  // namespace

void Beep() { MessageBeep(0); }

void JournalDecision(Decision, const std::string&, int64_t, int64_t, const std::string&) {}

void JournalStepEnded() {}

void ShowMessage(const char* text, const char* caption, uint32_t icon) {
  // Texts that are no valid UTF-8 are shown as the system's "?" rather than
  // not at all: a box is only read, never used to reach anything.
  std::wstring wideText, wideCaption;
  if (!win32::Wide(text ? text : "", &wideText)) wideText = L"?";
  if (!win32::Wide(caption ? caption : "", &wideCaption)) wideCaption = L"?";
  MessageBoxW(nullptr, wideText.c_str(), caption ? wideCaption.c_str() : nullptr, MB_OK | icon);
}

long SystemErrorText(uint32_t code, std::string* text) {
  UniqueLocalText buffer;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the "buffer" argument is where the
  // address of the allocated text goes.
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPWSTR>(buffer.Put()), 0, nullptr);
  if (length == 0 || !buffer.Valid()) return win32::LastError();
  std::string converted;
  if (!win32::Utf8(static_cast<const wchar_t*>(buffer.Get()), length, &converted))
    return ERROR_INVALID_DATA;
  *text = std::move(converted);
  return kSuccess;
}

}  // namespace qf::platform
