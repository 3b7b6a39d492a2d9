#include "companion_log.h"

#include <cstring>

#include "platform/unique_any.h"

namespace {

HMODULE g_module = nullptr;

using FileGuard = qf::platform::UniqueAny<HANDLE, &::CloseHandle, -1>;

// Fills `path` (MAX_PATH bytes) with the log's path; false if none fits.
bool LogPath(char* path) {
  const DWORD length = GetEnvironmentVariableA("QF_COMPANION_LOG", path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return true;
  const DWORD own = GetModuleFileNameA(g_module, path, MAX_PATH);
  if (own == 0 || own >= MAX_PATH) return false;
  char* slash = std::strrchr(path, '\\');
  char* name = slash != nullptr ? slash + 1 : path;
  const char kName[] = "companions.log";
  if (static_cast<size_t>(name - path) + sizeof kName > MAX_PATH) return false;
  std::memcpy(name, kName, sizeof kName);
  return true;
}

}  // namespace

void SetLogModule(HMODULE module) { g_module = module; }

void AppendLogLine(const char* line) {
  char path[MAX_PATH];
  if (!LogPath(path)) return;
  FileGuard file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return;
  char buffer[1024];
  const size_t length = std::strlen(line);
  if (length + 2 > sizeof buffer) return;
  std::memcpy(buffer, line, length);
  std::memcpy(buffer + length, "\r\n", 2);
  DWORD written = 0;
  WriteFile(file.Get(), buffer, static_cast<DWORD>(length + 2), &written, nullptr);
}
