// What the Win32 backend's files share: the exact conversion of names at
// the boundary, and the codes of failed calls.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "common/utf.h"

namespace qf::platform::win32 {

// UTF-8 to the system's UTF-16; false when `utf8` is not valid UTF-8.
inline bool Wide(std::string_view utf8, std::wstring* out) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  std::u16string units;
  if (!ToUtf16(utf8, &units)) return false;
  out->assign(units.begin(), units.end());
  return true;
}

// The system's UTF-16 to UTF-8; false when it holds a lone surrogate.
inline bool Utf8(const wchar_t* text, size_t length, std::string* out) {
  return ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length), out);
}

// The code of the call that just failed.  A failing call that leaves no code
// must still not read as success to the caller.
inline long LastError() {
  const DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? static_cast<long>(code) : ERROR_GEN_FAILURE;
}

}  // namespace qf::platform::win32
