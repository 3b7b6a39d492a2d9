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

// `path` without its "\\?\" or "\??\" prefix ("C:\x"; "UNC\server\share" as
// "\\server\share"), converted exactly, straight from the system's buffer.
inline long DosPathUtf8(std::wstring_view path, std::string* out) {
  if (path.size() >= 4 && (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\??\\") == 0)) {
    path.remove_prefix(4);
    if (path.size() >= 4 && _wcsnicmp(path.data(), L"UNC\\", 4) == 0) {
      std::string share;  // "\server\share"
      if (!Utf8(path.data() + 3, path.size() - 3, &share)) return ERROR_INVALID_NAME;
      *out = "\\" + share;
      return ERROR_SUCCESS;
    }
  }
  return Utf8(path.data(), path.size(), out) ? ERROR_SUCCESS : ERROR_INVALID_NAME;
}

// The code of the call that just failed.  A failing call that leaves no code
// must still not read as success to the caller.
inline long LastError() {
  const DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? static_cast<long>(code) : ERROR_GEN_FAILURE;
}

}  // namespace qf::platform::win32
