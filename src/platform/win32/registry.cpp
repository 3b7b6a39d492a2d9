// Registry keys over advapi32.  Each method is one call into the ANSI API;
// results come back as the API's own codes.
#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/platform.h"

// ntdll's own deletion of a key through its handle; advapi32 offers none.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

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

}  // namespace

namespace detail {
void CloseKeyHandle(std::uintptr_t handle) { RegCloseKey(AsKey(handle)); }
}  // namespace detail

long RegKey::Open(Root root, const char* path, uint32_t mask, uint32_t options) {
  Close();
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExA(RootKey(root), path, options, mask, &key);
  if (result != ERROR_SUCCESS) return result;
  handle_.Reset(reinterpret_cast<std::uintptr_t>(key));
  return kSuccess;
}

long RegKey::Open(const RegKey& parent, const char* path, uint32_t mask, uint32_t options) {
  Close();
  if (!parent.Valid()) return kErrorInvalidHandle;
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExA(AsKey(parent.handle_.Get()), path, options, mask, &key);
  if (result != ERROR_SUCCESS) return result;
  handle_.Reset(reinterpret_cast<std::uintptr_t>(key));
  return kSuccess;
}

long RegKey::ReadValue(const char* name, uint32_t capacity, uint32_t* type,
                       std::string* data) const {
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

long RegKey::WriteText(const char* name, const std::string& text) {
  const char* bytes = text.c_str();
  return RegSetValueExA(AsKey(handle_.Get()), name, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(bytes),
                        static_cast<DWORD>(std::strlen(bytes) + 1));
}

long RegKey::WriteDword(const char* name, uint32_t value) {
  const DWORD dword = value;
  return RegSetValueExA(AsKey(handle_.Get()), name, 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&dword), sizeof dword);
}

long RegKey::CountSubkeys(uint32_t* count) const {
  DWORD subkeys = 0;
  const LONG result =
      RegQueryInfoKeyA(AsKey(handle_.Get()), nullptr, nullptr, nullptr, &subkeys,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr);
  if (result != ERROR_SUCCESS) return result;
  *count = subkeys;
  return kSuccess;
}

long RegKey::SubkeyName(uint32_t index, std::string* name) const {
  char buffer[kSubkeyNameCapacity] = {};
  const LONG result =
      RegEnumKeyA(AsKey(handle_.Get()), index, buffer, kSubkeyNameCapacity);
  if (result != ERROR_SUCCESS) return result;
  // Bounded even if the API ever filled the buffer without a terminator.
  name->assign(buffer, strnlen(buffer, sizeof buffer));
  return kSuccess;
}

long RegKey::Delete() {
  const NTSTATUS status = NtDeleteKey(AsKey(handle_.Get()));
  return NT_SUCCESS(status) ? kSuccess : static_cast<long>(RtlNtStatusToDosError(status));
}

long RegKey::DeleteValue(const char* name) {
  return RegDeleteValueA(AsKey(handle_.Get()), name);
}

}  // namespace qf::platform
