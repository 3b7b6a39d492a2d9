// Registry keys over advapi32.  Each method is one call into the API, with
// the API's own result code.  Keys, value names and texts all travel through
// the wide calls, converted exactly: nothing is narrowed to the ANSI code
// page, where best fit would read a fullwidth "ＴＲＵＥ" as "TRUE".
#include <windows.h>
#include <winternl.h>

#include <algorithm>
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

// The types whose data is UTF-16 text.
bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

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
  std::wstring wideName;
  if (!win32::Wide(name ? name : "", &wideName)) return ERROR_INVALID_NAME;
  // Room for `capacity` units, which a text's capacity counts; another type
  // is held to `capacity` bytes below.  Never a null buffer: with one, the
  // API reports the size and succeeds, which would let a zero capacity
  // "read" a value that does not fit.
  std::vector<wchar_t> buffer(capacity == 0 ? 1 : capacity);
  DWORD storedType = 0;
  DWORD size = capacity * sizeof(wchar_t);
  const LONG result = RegQueryValueExW(AsKey(handle_.Get()), wideName.c_str(), nullptr,
                                       &storedType, reinterpret_cast<BYTE*>(buffer.data()),
                                       &size);
  if (result != ERROR_SUCCESS) return result;
  std::string converted;
  if (IsText(storedType)) {
    // Every unit returned, NULs too, and nothing beyond them.
    const size_t units = std::min<size_t>(size / sizeof(wchar_t), capacity);
    if (data != nullptr && !win32::Utf8(buffer.data(), units, &converted))
      return ERROR_INVALID_DATA;
  } else {
    if (size > capacity) return ERROR_MORE_DATA;
    converted.assign(reinterpret_cast<const char*>(buffer.data()), size);
  }
  // The caller's out-parameters change only now, on success.
  *type = storedType;
  if (data != nullptr) *data = std::move(converted);
  return kSuccess;
}

namespace {

// RegSetValueExW of `size` bytes at `bytes`.
long SetValue(HKEY key, const char* name, DWORD type, const void* bytes, size_t size) {
  std::wstring wideName;
  if (!win32::Wide(name ? name : "", &wideName)) return ERROR_INVALID_NAME;
  return RegSetValueExW(key, wideName.c_str(), 0, type, static_cast<const BYTE*>(bytes),
                        static_cast<DWORD>(size));
}

}  // namespace

long RegKey::WriteText(const char* name, const std::string& text) {
  std::wstring wide;
  if (!win32::Wide(text, &wide)) return ERROR_INVALID_DATA;
  return SetValue(AsKey(handle_.Get()), name, REG_SZ, wide.c_str(),
                  (wide.size() + 1) * sizeof(wchar_t));
}

long RegKey::WriteDword(const char* name, uint32_t value) {
  const DWORD dword = value;
  return SetValue(AsKey(handle_.Get()), name, REG_DWORD, &dword, sizeof dword);
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
