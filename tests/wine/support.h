// Helpers of the Wine tests: paths into the build tree, handle guards,
// registry set-up, and running qfhost.exe with its output captured.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/schema.h"
#include "platform/unique_any.h"

namespace qftest {

// A path of the build machine as Wine sees it: drive Z: maps the whole file
// system in every prefix.
std::string WinPath(const std::string& unixPath);

// UTF-8 as the system's UTF-16, converted by the system itself (not by the
// library's own converter, which the tests check); std::invalid_argument for
// text that is no UTF-8.  Names beyond the ANSI code page are made and
// checked through it.
std::wstring Utf16(const std::string& utf8);

// The build directory (where QFUNINST.DLL and qfhost.exe are) and files in it.
std::string BuildPath(const std::string& relative);

// The system's text for `code`, as the library asks for it.
std::string SystemText(DWORD code);

// Owners of the handles the tests open, one line per kind.
using Handle = qf::platform::UniqueAny<HANDLE, &::CloseHandle>;  // processes, pipes, tokens
using FileHandle = qf::platform::UniqueAny<HANDLE, &::CloseHandle, -1>;  // CreateFile's
using FindHandle = qf::platform::UniqueAny<HANDLE, &::FindClose, -1>;
using Key = qf::platform::UniqueAny<HKEY, &::RegCloseKey>;

// Paths, names and texts are UTF-8, used through the wide calls.
bool KeyExists(HKEY root, const std::string& path);
// Creates `path` (with its parents) and stores `name` = `value` as REG_SZ.
LONG WriteText(HKEY root, const std::string& path, const std::string& name,
               const std::string& value);
// RegOpenKeyExW's result for opening `path` with `access`.
LONG TryOpen(HKEY root, const std::string& path, REGSAM access);

// The product's key: per-user settings under HKEY_CURRENT_USER, the
// installation's record under HKEY_LOCAL_MACHINE.
inline constexpr const auto& kProductKey = qf::ProductVersionKey;
inline constexpr char kOptionsName[] = "Options";
inline constexpr const auto& kUserOptions =
    qf::KeyPath<qf::MakerKey, qf::ProductKeyName, qf::VersionKeyName, kOptionsName>;

// Writes HKCU\...\3.0\Options for the test; at the end removes the per-user
// tree and the keys above it that the test created.
class UserSettings {
 public:
  UserSettings();
  ~UserSettings();
  UserSettings(const UserSettings&) = delete;
  UserSettings& operator=(const UserSettings&) = delete;
  LONG result() const { return result_; }

 private:
  std::vector<std::string> created_;  // keys that did not exist, outermost first
  LONG result_;
};

// Marks the installation as made by an administrator (HKLM\...\3.0
// "InstallAdmin" = "1"); removes the marker and the keys it created again.
class AdminMarker {
 public:
  AdminMarker();
  ~AdminMarker();
  AdminMarker(const AdminMarker&) = delete;
  AdminMarker& operator=(const AdminMarker&) = delete;
  LONG result() const { return result_; }

 private:
  std::vector<std::string> created_;  // keys that did not exist, outermost first
  LONG result_;
};

// Makes HKEY_USERS\.Default read-only for everyone: a protected DACL that
// grants only KEY_READ and WRITE_DAC, so the original DACL can be put back,
// which the destructor does through the handle opened here.
class DefaultProfileLock {
 public:
  DefaultProfileLock();
  ~DefaultProfileLock();
  DefaultProfileLock(const DefaultProfileLock&) = delete;
  DefaultProfileLock& operator=(const DefaultProfileLock&) = delete;
  // 0 once the lock is in place; otherwise the failing call's code.
  LONG result() const { return result_; }

 private:
  LONG result_ = ERROR_SUCCESS;
  Key key_;
  std::vector<BYTE> saved_;  // the original security descriptor, self-relative
};

// A directory of its own for one test, holding copies of build outputs;
// removed with everything in it at the end.
// The scratch directory of the tests in this prefix's architecture
// (QF_WINEARCH), by its unix path: a test and its twin in the other kind of
// prefix never share one, so they can run side by side.
std::string ScratchRoot();

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  // Copies `source` into the directory under its own file name.
  bool Add(const std::string& source);

 private:
  std::string path_;
};

// Lines of a file; empty when it does not exist.
std::vector<std::string> ReadLines(const std::string& path);
size_t CountLines(const std::vector<std::string>& lines, const std::string& line);
// Lines containing `part`.
size_t CountContaining(const std::vector<std::string>& lines, const std::string& part);

struct Box {
  std::string caption;
  std::string text;
};

struct HostRun {
  bool finished = false;  // false: killed after the time limit
  DWORD exitCode = 0;
  std::string output;
  std::vector<std::string> lines;
  std::vector<Box> boxes;  // as reported by --answer-boxes, in order
};

// Runs `host` with `arguments` in `currentDir` and collects what it printed.
HostRun RunHost(const std::string& host, const std::string& arguments,
                const std::string& currentDir);

// Starts a native program (`command` names it by its Z: path) through
// native_start.exe and returns once that has gone; the program itself may
// still run, so callers synchronise through the files it makes.  Wine's
// CreateProcess of a unix program closes a handle slot of the caller that
// it never gave out (a cached root key, here), so only a throwaway process
// may start one.
bool StartNative(const std::string& command);

}  // namespace qftest
