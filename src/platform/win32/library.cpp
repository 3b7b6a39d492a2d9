// Companion libraries over kernel32: load, look up, call, release; and the
// places the system names, which the load and the root checks use.
#include <windows.h>

#include <utility>

#include "common/paths.h"
#include "platform/platform.h"
#include "platform/win32/folders.h"
#include "platform/win32/system_dirs.h"
#include "platform/win32/win32.h"

namespace qf::platform {
namespace {

HMODULE AsModule(std::uintptr_t handle) {
  return reinterpret_cast<HMODULE>(handle);
}

// The search flags, as the SDK names them (Windows 8, and Windows 7 with
// KB2533623).
constexpr DWORD kSearchApplicationDir = 0x00000200;
constexpr DWORD kSearchUserDirs = 0x00000400;
constexpr DWORD kSearchSystem32 = 0x00000800;
// For a library loaded by its full path: its own directory, then the system
// directory, for what it imports in turn.
constexpr DWORD kSearchDllLoadDir = 0x00000100;

bool Missing(long code) {
  return code == ERROR_MOD_NOT_FOUND || code == ERROR_FILE_NOT_FOUND ||
         code == ERROR_PATH_NOT_FOUND;
}

}  // namespace

namespace detail {
void CloseLibraryHandle(std::uintptr_t handle) { FreeLibrary(AsModule(handle)); }
}  // namespace detail

long WindowsDir(std::string* dir) { return win32::SystemWindowsDir(dir); }

long TempDir(std::string* dir) { return win32::AccountTempDir(dir); }

long ExpandEnvironment(const std::string& text, std::string* expanded) {
  return win32::ExpandText(text, expanded);
}

bool IsLocalDisk(std::string_view path) {
  const char drive = DriveLetterOf(path);
  return drive != 0 && win32::DriveIsLocalDisk(drive);
}

long Library::Load(const char* name) {
  Close();
  const std::string given = name ? name : "";
  std::wstring wide;
  // A bare name only: a path would be loaded from wherever it names.
  if (given.empty() || given.find_first_of("\\/:") != std::string::npos || !win32::Wide(given, &wide))
    return ERROR_INVALID_NAME;
  HMODULE module =
      LoadLibraryExW(wide.c_str(), nullptr, kSearchApplicationDir | kSearchSystem32 | kSearchUserDirs);
  long failed = module ? kSuccess : win32::LastError();
  // A system without the search flags refuses them: the host's directory
  // and the system directory are then tried by their full paths.
  const bool flagsKnown = failed != ERROR_INVALID_PARAMETER;
  const DWORD byPath = flagsKnown ? kSearchDllLoadDir | kSearchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH;
  if (!flagsKnown) {
    std::string dirs[2];
    if (win32::ModuleDir(nullptr, &dirs[0]) != kSuccess) dirs[0].clear();
    if (win32::SystemDir(&dirs[1]) != kSuccess) dirs[1].clear();
    failed = ERROR_MOD_NOT_FOUND;
    for (const std::string& dir : dirs) {
      std::wstring path;
      if (dir.empty() || !win32::Wide(dir + "\\" + given, &path)) continue;
      module = LoadLibraryExW(path.c_str(), nullptr, byPath);
      failed = module ? kSuccess : win32::LastError();
      if (!Missing(failed)) break;
    }
  }
  if (Missing(failed)) {
    std::string windows;
    std::wstring path;
    if (WindowsDir(&windows) == kSuccess && win32::Wide(windows + "\\" + given, &path)) {
      module = LoadLibraryExW(path.c_str(), nullptr, byPath);
      failed = module ? kSuccess : win32::LastError();
    }
  }
  if (failed != kSuccess) return failed;
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
