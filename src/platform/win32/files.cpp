// The current directory, attributes, listings and removal over kernel32.
#include <windows.h>

#include <utility>
#include <vector>

#include "platform/platform.h"

namespace qf::platform {
namespace {

// The code of the call that just failed.  A failing call that leaves no code
// must still not read as success to the caller.
long LastError() {
  const DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? static_cast<long>(code) : ERROR_GEN_FAILURE;
}

HANDLE AsFind(std::uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

void TakeEntry(const WIN32_FIND_DATAA& data, FileEntry* entry) {
  entry->name.assign(data.cFileName, strnlen(data.cFileName, MAX_PATH));
  entry->attributes = data.dwFileAttributes;
}

}  // namespace

namespace detail {
void CloseFindHandle(std::uintptr_t handle) { FindClose(AsFind(handle)); }
}  // namespace detail

long FileFind::Start(const char* pattern, FileEntry* first) {
  Close();
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return LastError();
  // 0 means "no listing" in handle_, and a valid find handle is never 0.
  handle_.Reset(reinterpret_cast<std::uintptr_t>(find));
  TakeEntry(data, first);
  return kSuccess;
}

long FileFind::Next(FileEntry* entry) {
  // Without a listing there is no handle to hand to the API at all.
  if (!handle_.Valid()) return kErrorInvalidHandle;
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(AsFind(handle_.Get()), &data)) return LastError();
  TakeEntry(data, entry);
  return kSuccess;
}

long GetCurrentDir(std::string* path) {
  // The length can change between calls (another thread may set it), so
  // ask again until the text fits; the result is never cut short.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return LastError();
    if (length < buffer.size()) {  // fitted: length excludes the NUL
      path->assign(buffer.data(), length);
      return kSuccess;
    }
    buffer.resize(length);  // too small: length includes the NUL
  }
}

long SetCurrentDir(const char* path) {
  return SetCurrentDirectoryA(path) ? kSuccess : LastError();
}

long GetAttributes(const char* path, uint32_t* attributes) {
  const DWORD found = GetFileAttributesA(path);
  if (found == INVALID_FILE_ATTRIBUTES) return LastError();
  *attributes = found;
  return kSuccess;
}

long EraseFile(const char* path) {
  return DeleteFileA(path) ? kSuccess : LastError();
}

long RemoveDir(const char* path) {
  return RemoveDirectoryA(path) ? kSuccess : LastError();
}

}  // namespace qf::platform
