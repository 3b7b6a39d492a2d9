// Registry link keys under HKEY_CURRENT_USER for the Win32 tests: made the
// way Windows makes them, and removed as themselves, never through to their
// targets (deleting a tree with RegDeleteTreeA would follow them).
#pragma once

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "platform/unique_any.h"

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace qf_win32_test {

using OwnedHandle = qf::platform::UniqueAny<HANDLE, &::CloseHandle>;
using OwnedKey = qf::platform::UniqueAny<HKEY, &::RegCloseKey>;

// The registry's own name of HKEY_CURRENT_USER, which a link's
// "SymbolicLinkValue" must use: "\Registry\User\<the user's SID>"; "" when
// the process token cannot tell.
inline std::wstring CurrentUserRegistryPath() {
  OwnedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return L"";
  std::vector<BYTE> buffer(256);
  DWORD size = 0;
  wchar_t* sid = nullptr;
  if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &size) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid))
    return L"";
  std::wstring path = std::wstring(L"\\Registry\\User\\") + sid;
  LocalFree(sid);
  return path;
}

// Makes the key `path` a link to `targetPath`, both under HKEY_CURRENT_USER
// (ASCII paths); the target need not exist.  Returns the failing call's code.
inline LONG MakeCurrentUserKeyLink(const std::string& path, const std::string& targetPath) {
  std::wstring target = CurrentUserRegistryPath();
  if (target.empty()) return ERROR_NO_SUCH_USER;
  for (char c : "\\" + targetPath) target += static_cast<wchar_t>(c);
  OwnedKey key;
  const LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                      REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                                      nullptr, key.Put(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  // The target's path without a terminator.
  return RegSetValueExW(key.Get(), L"SymbolicLinkValue", 0, REG_LINK,
                        reinterpret_cast<const BYTE*>(target.data()),
                        static_cast<DWORD>(target.size() * sizeof(wchar_t)));
}

// Deletes the link key `path` under HKEY_CURRENT_USER itself; its target stays.
inline void DeleteCurrentUserKeyLink(const std::string& path) {
  OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS,
                    key.Put()) == ERROR_SUCCESS)
    NtDeleteKey(key.Get());
}

}  // namespace qf_win32_test
