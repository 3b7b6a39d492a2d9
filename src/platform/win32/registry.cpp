// Registry keys over advapi32.  Each method is one call into the API, with
// the API's own result code.  Keys and value names travel through the wide
// calls, converted exactly; values that are not names (counts, flags) are
// read and written through the ANSI calls as the bytes they are stored as,
// by names that must be ASCII, which every code page shows exactly.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/ntdll.h"
#include "platform/win32/win32.h"


namespace qf::platform {
namespace {

HKEY AsKey(std::uintptr_t handle) { return reinterpret_cast<HKEY>(handle); }

HKEY RootKey(Root root) {
  switch (root) {
    case Root::CurrentUser: return HKEY_CURRENT_USER;
    case Root::LocalMachine: return HKEY_LOCAL_MACHINE;
    case Root::Users: return HKEY_USERS;
  }
  return nullptr;  // not reached; the API rejects a null root
}

// A value name the ANSI calls carry exactly: plain ASCII.
bool IsAscii(const char* name) {
  for (const char* c = name; c != nullptr && *c != '\0'; ++c)
    if (static_cast<unsigned char>(*c) >= 0x80) return false;
  return true;
}

long OpenKey(HKEY parent, const char* path, uint32_t mask, uint32_t options, HKEY* key) {
  std::wstring wide;
  if (!win32::Wide(path ? path : "", &wide)) return ERROR_INVALID_NAME;
  return RegOpenKeyExW(parent, wide.c_str(), options, mask, key);
}

}  // namespace

namespace detail {
void CloseKeyHandle(std::uintptr_t handle) { RegCloseKey(AsKey(handle)); }
}  // namespace detail

long RegKey::Open(Root root, const char* path, uint32_t mask, uint32_t options) {
  Close();
  HKEY key = nullptr;
  const long result = OpenKey(RootKey(root), path, mask, options, &key);
  if (result != ERROR_SUCCESS) return result;
  handle_.Reset(reinterpret_cast<std::uintptr_t>(key));
  return kSuccess;
}

long RegKey::Open(const RegKey& parent, const char* path, uint32_t mask, uint32_t options) {
  Close();
  if (!parent.Valid()) return kErrorInvalidHandle;
  HKEY key = nullptr;
  const long result = OpenKey(AsKey(parent.handle_.Get()), path, mask, options, &key);
  if (result != ERROR_SUCCESS) return result;
  handle_.Reset(reinterpret_cast<std::uintptr_t>(key));
  return kSuccess;
}

long RegKey::ReadValue(const char* name, uint32_t capacity, uint32_t* type,
                       std::string* data) const {
  if (!IsAscii(name)) return ERROR_INVALID_NAME;
  // Never a null buffer: with one, the API reports the size and succeeds,
  // which would let a zero capacity "read" a value that does not fit.
  std::vector<BYTE> buffer(capacity == 0 ? 1 : capacity);
  DWORD stored_type = 0;
  DWORD size = capacity;
  const LONG result = RegQueryValueExA(AsKey(handle_.Get()), name, nullptr,
                                       &stored_type, buffer.data(), &size);
  if (result != ERROR_SUCCESS) return result;
  // The caller's out-parameters change only now, on success.
  *type = stored_type;
  data->assign(reinterpret_cast<const char*>(buffer.data()),
               size < capacity ? size : capacity);
  return kSuccess;
}

long RegKey::ReadPath(const char* name, uint32_t capacity, std::string* text) const {
  std::wstring wideName;
  if (!win32::Wide(name ? name : "", &wideName)) return ERROR_INVALID_NAME;
  std::vector<wchar_t> buffer(capacity == 0 ? 1 : capacity);
  DWORD type = 0;
  DWORD size = capacity * sizeof(wchar_t);
  const LONG result = RegQueryValueExW(AsKey(handle_.Get()), wideName.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (result != ERROR_SUCCESS) return result;
  std::string converted;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    // The text up to the first NUL, and nothing beyond the bytes returned.
    size_t length = std::min<size_t>(size / sizeof(wchar_t), capacity);
    for (size_t i = 0; i < length; ++i) {
      if (buffer[i] == L'\0') length = i;
    }
    if (!win32::Utf8(buffer.data(), length, &converted)) return ERROR_INVALID_DATA;
  } else {
    // Any other type holds bytes, no UTF-16 text: they are taken as text, in
    // the capacity's bytes, only when they are ASCII, which reads the same
    // in any code page.
    if (size > capacity) return ERROR_MORE_DATA;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (DWORD i = 0; i < size && bytes[i] != 0; ++i) {
      if (bytes[i] >= 0x80) return ERROR_INVALID_DATA;
      converted.push_back(static_cast<char>(bytes[i]));
    }
  }
  *text = std::move(converted);
  return kSuccess;
}

long RegKey::WriteText(const char* name, const std::string& text) {
  if (!IsAscii(name)) return ERROR_INVALID_NAME;
  const char* bytes = text.c_str();
  return RegSetValueExA(AsKey(handle_.Get()), name, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(bytes),
                        static_cast<DWORD>(std::strlen(bytes) + 1));
}

long RegKey::WriteDword(const char* name, uint32_t value) {
  if (!IsAscii(name)) return ERROR_INVALID_NAME;
  const DWORD dword = value;
  return RegSetValueExA(AsKey(handle_.Get()), name, 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&dword), sizeof dword);
}

long RegKey::CountSubkeys(uint32_t* count) const {
  DWORD subkeys = 0;
  const LONG result =
      RegQueryInfoKeyW(AsKey(handle_.Get()), nullptr, nullptr, nullptr, &subkeys,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr);
  if (result != ERROR_SUCCESS) return result;
  *count = subkeys;
  return kSuccess;
}

long RegKey::SubkeyName(uint32_t index, std::string* name) const {
  wchar_t buffer[kSubkeyNameCapacity] = {};
  DWORD length = kSubkeyNameCapacity;
  const LONG result = RegEnumKeyExW(AsKey(handle_.Get()), index, buffer, &length, nullptr,
                                    nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return result;
  // A name that cannot be carried exactly would name another key, or none.
  std::string converted;
  if (!win32::Utf8(buffer, std::min<DWORD>(length, kSubkeyNameCapacity), &converted))
    return ERROR_INVALID_DATA;
  *name = std::move(converted);
  return kSuccess;
}

long RegKey::Delete() {
  const NTSTATUS status = NtDeleteKey(AsKey(handle_.Get()));
  return NT_SUCCESS(status) ? kSuccess : static_cast<long>(RtlNtStatusToDosError(status));
}

long RegKey::DeleteValue(const char* name) {
  std::wstring wide;
  if (!win32::Wide(name ? name : "", &wide)) return ERROR_INVALID_NAME;
  return RegDeleteValueW(AsKey(handle_.Get()), wide.c_str());
}

}  // namespace qf::platform
