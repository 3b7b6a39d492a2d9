// Companion libraries over kernel32: load, look up, call, release.
#include <windows.h>

#include <utility>

#include "platform/platform.h"

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
  const HMODULE module = LoadLibraryA(name);
  if (module == nullptr) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<long>(error) : ERROR_GEN_FAILURE;
  }
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
