// The places the system names: the Windows directory, the system directory
// and the account's temporary folder (kernel32).
#include "platform/win32/system_dirs.h"

#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace qf::platform::win32 {
namespace {

// Fills `buffer` by `get`, which gives the length without the NUL when it
// fits and the size it needs with the NUL when it does not; "C:\dir\" comes
// back as "C:\dir", but "C:\" stays.
template <typename Get>
long DirectoryOf(Get get, std::string* dir) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return LastError();
    if (length < buffer.size()) {
      std::wstring_view text(buffer.data(), length);
      while (text.size() > 3 && text.back() == L'\\') text.remove_suffix(1);
      return Utf8(text.data(), text.size(), dir) ? kSuccess : ERROR_INVALID_NAME;
    }
    buffer.resize(length + 1);
  }
}

}  // namespace

long SystemWindowsDir(std::string* dir) {
  return DirectoryOf([](wchar_t* b, DWORD n) { return GetSystemWindowsDirectoryW(b, n); }, dir);
}

long SystemDir(std::string* dir) {
  return DirectoryOf([](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); }, dir);
}

long AccountTempDir(std::string* dir) {
  using TempPath = DWORD(WINAPI*)(DWORD, LPWSTR);
  // Newer systems give SYSTEM's processes a folder of their own through
  // GetTempPath2W; older ones lack it.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto second =
      kernel ? reinterpret_cast<TempPath>(
                   reinterpret_cast<void*>(GetProcAddress(kernel, "GetTempPath2W")))
             : nullptr;
  const TempPath get = second ? second : &GetTempPathW;
  return DirectoryOf([get](wchar_t* b, DWORD n) { return get(n, b); }, dir);
}

long ExpandText(const std::string& text, std::string* expanded) {
  std::wstring wide;
  if (!Wide(text, &wide)) return ERROR_INVALID_NAME;
  std::vector<wchar_t> buffer(wide.size() + MAX_PATH);
  for (;;) {
    // The length counts the NUL, whether or not it fitted.
    const DWORD length = ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return LastError();
    if (length <= buffer.size())
      return Utf8(buffer.data(), length - 1, expanded) ? kSuccess : ERROR_INVALID_NAME;
    buffer.resize(length);
  }
}

bool DriveIsLocalDisk(char drive) {
  const wchar_t root[] = {static_cast<wchar_t>(drive), L':', L'\\', L'\0'};
  const UINT type = GetDriveTypeW(root);
  return type == DRIVE_FIXED || type == DRIVE_RAMDISK;
}

void EnvironmentVariables(std::vector<std::pair<std::string, std::string>>* variables) {
  wchar_t* block = GetEnvironmentStringsW();
  if (!block) return;
  for (const wchar_t* at = block; *at; at += std::wstring_view(at).size() + 1) {
    const std::wstring_view entry(at);
    const size_t equals = entry.find(L'=', 1);
    std::string name, value;
    if (entry.front() == L'=' || equals == std::wstring_view::npos || !Utf8(entry.data(), equals, &name) ||
        !Utf8(entry.data() + equals + 1, entry.size() - equals - 1, &value))
      continue;
    variables->emplace_back(std::move(name), std::move(value));
  }
  FreeEnvironmentStringsW(block);
}

}  // namespace qf::platform::win32
