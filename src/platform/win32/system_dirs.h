// What the Win32 backend and the preview's capture both learn from the real
// system about the places the system names: the Windows directory, the
// system directory and the account's temporary folder.
#pragma once

#include <windows.h>

#include <string>

namespace qf::platform::win32 {

// GetSystemWindowsDirectoryW: the system's Windows directory, shared by
// every account, whatever the environment says.
long SystemWindowsDir(std::string* dir);

// GetSystemDirectoryW.
long SystemDir(std::string* dir);

// GetTempPath2W where kernel32 exports it, else GetTempPathW; without the
// trailing backslash both give.
long AccountTempDir(std::string* dir);

}  // namespace qf::platform::win32
