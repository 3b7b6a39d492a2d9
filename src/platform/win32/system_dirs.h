// What the Win32 backend and the preview's capture both learn from the real
// system about the places the system names: the Windows directory, the
// system directory and the account's temporary folder.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace qf::platform::win32 {

// GetSystemWindowsDirectoryW: the system's Windows directory, shared by
// every account, whatever the environment says.
long SystemWindowsDir(std::string* dir);

// GetSystemDirectoryW.
long SystemDir(std::string* dir);

// GetTempPath2W where kernel32 exports it, else GetTempPathW; without the
// trailing backslash both give.
long AccountTempDir(std::string* dir);

// ExpandEnvironmentStringsW, exactly (UTF-16 in and out).
long ExpandText(const std::string& text, std::string* expanded);

// Whether the drive letter `drive` ('C') is a local fixed disk or a RAM disk
// (GetDriveTypeW on "C:\\").
bool DriveIsLocalDisk(char drive);

// Every variable of the process's environment (GetEnvironmentStringsW),
// but the hidden "=C:" ones; names and values exactly.
void EnvironmentVariables(std::vector<std::pair<std::string, std::string>>* variables);

}  // namespace qf::platform::win32
