// Companion libraries over kernel32: load, look up, call, release.
#include <windows.h>

#include <utility>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace qf::platform {
namespace {

HMODULE AsModule(std::uintptr_t handle) {
  return reinterpret_cast<HMODULE>(handle);
}

}  // namespace

namespace detail {
void CloseLibraryHandle(std::uintptr_t handle) { FreeLibrary(AsModule(handle)); }
}  // namespace detail

long Library::Load(const char* name) {
  Close();
  std::wstring wide;
  if (!win32::Wide(name ? name : "", &wide)) return ERROR_INVALID_NAME;
  const HMODULE module = LoadLibraryW(wide.c_str());
  if (module == nullptr) return win32::LastError();
  handle_.Reset(reinterpret_cast<std::uintptr_t>(module));
  return kSuccess;
}

void* Library::Lookup(const char* entry) const {
  // GetProcAddress on a null module would search the program itself.
  if (!handle_.Valid()) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(AsModule(handle_.Get()), entry));
}

void CallTextEntry(void* entry, const char* text) {
  using TextEntry = void(__stdcall*)(const char*);
  reinterpret_cast<TextEntry>(entry)(text);
}

}  // namespace qf::platform
