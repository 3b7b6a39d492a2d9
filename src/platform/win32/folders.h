// What the Win32 backend and the preview's capture both learn from the real
// system about its folders: the folders it keeps, and what a path leads to.
// Here rather than in the backend's platform calls, because the preview
// runs the logic on the simulation and needs the real answers to copy.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace qf::platform::win32 {

// The system's known folders that are directories on this system, each
// named "the system's <name> folder", by SHGetKnownFolderPath; a folder the
// system does not have (or that is no directory, such as Control Panel)
// is left out.
void SystemFolders(std::vector<KeptFolder>* folders);

// The directory of `module`'s file (the process's .exe for null), without
// a trailing backslash, but "C:\" for a drive's root.
long ModuleDir(HMODULE module, std::string* dir);

// The process's current directory, as GetCurrentDirectoryW gives it.
long CurrentDir(std::string* dir);

// What an open file or directory's final path is, links followed, in the
// form platform::TargetFinalPath gives it.  The opening is the caller's:
// the preview may import no call that could create a file.
long FinalPathOfHandle(HANDLE handle, std::string* finalPath);

}  // namespace qf::platform::win32
