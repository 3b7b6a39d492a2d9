// Copies what the uninstall pass reads from the real machine into the
// simulated Windows, reading the real machine only as the pass would: the
// same keys and value capacities, links never followed.  Nothing here writes
// to the real machine; the program imports no call that could.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <map>
#include <string>

#include "win32_guards.h"

namespace qfpreview {

// Where the uninstaller host runs from: the directory that the library's
// loads search first, and the host's current directory.
struct HostPlace {
  std::string dir;
  std::string currentDir;
};

// One file-system entry as it was captured.
struct FileItem {
  std::string path;  // full path as the pass names it
  uint32_t attributes = 0;
  uint64_t size = 0;
  bool link = false;
};

// One registry key of a captured tree.
struct KeyItem {
  std::string path;  // with its root: "HKCU\Software\..."
  uint32_t values = 0;
  bool link = false;
};

// What the capture saw that the simulation does not keep: sizes, links,
// value counts, where the companions were found.  Maps are keyed by folded
// paths, so a directory comes right before what it holds.
struct Snapshot {
  bool underWine = false;
  long profileProbe = 0;  // opening HKEY_USERS\.Default for writing
  std::map<std::string, FileItem> files;
  std::map<std::string, KeyItem> keys;
  std::map<std::string, std::string> companions;  // library -> found path, or ""
  // Roots that lie behind a link read in another tree, which is never
  // followed: folded root -> the link.
  std::map<std::string, std::string> rootsBehindLinks;
};

std::string FoldPath(const std::string& path);
// "C:\dir" or "\\server\share\dir" as the object manager names it.
std::wstring NtPath(const std::string& path);
// NtOpenFile of `name` below `parent` (null: `name` is a full object path),
// shared for every use, synchronous.
NTSTATUS OpenObject(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                    HandleGuard* handle);

// Fills the freshly reset simulation.  Throws only when memory runs out.
void CaptureRegistry(Snapshot* snapshot);
void CaptureFiles(Snapshot* snapshot);
void CaptureCompanions(const HostPlace& host, Snapshot* snapshot);

}  // namespace qfpreview
