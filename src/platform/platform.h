// The library's whole view of Windows: registry keys, files and directories
// through their own handles, message boxes and companion libraries.
//
// Two backends implement these declarations and are chosen at link time:
// win32/ calls the real API; sim/ is an in-memory Windows, on which the
// tests run the logic and the preview tool (qfpreview.exe) runs it on a copy
// of the real machine.  The uninstall logic includes only this header.
//
// Names and paths (keys, values, files, directories, final paths, the texts
// of message boxes) are carried exactly, as UTF-8 in std::string and const
// char*.  The Win32 backend converts them to and from UTF-16 at its calls
// and nowhere else, exactly: a text that is not valid UTF-8, or a name whose
// UTF-16 is not valid (a lone surrogate), is never used to reach anything;
// nothing is ever converted to the ANSI code page.  Values (counts, flags,
// markers, directories) are read and written the same way, see ReadValue.
//
// Conventions, as in the Win32 calls underneath:
// - calls that can fail return the Win32 result code; 0 (kSuccess) is success;
// - out-parameters are left untouched when a call fails;
// - results are [[nodiscard]]: one the pass ignores by design goes through
//   BestEffort(), so that no failure is dropped silently;
// - texts handed out are std::string, so they are always terminated;
// - every handle is owned by a move-only guard that releases it on every path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/decisions.h"
#include "platform/unique_any.h"

namespace qf::platform {

// Result codes that callers and tests name.
constexpr long kSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorPathNotFound = 3;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorInvalidData = 13;
constexpr long kErrorNoMoreFiles = 18;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorDirNotEmpty = 145;
constexpr long kErrorFilenameTooLong = 206;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorModNotFound = 126;
constexpr long kErrorProcNotFound = 127;
// A key or file reached through a link that is not followed.
constexpr long kErrorCantResolveFilename = 1921;

// Whether a call's result says that what it was asked for is not there.
inline bool IsAbsent(long result) { return result == kErrorFileNotFound || result == kErrorPathNotFound; }

// Registry roots the library uses.
enum class Root { CurrentUser, LocalMachine, Users };
// How paths and reports name a root: "HKCU", "HKLM", "HKU".
const char* RootName(Root root);
// The root RootName names `name`; false, `*root` untouched, for none.
bool RootNamed(std::string_view name, Root* root);

// Access masks for opening keys.
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyAllAccess = 0xF003F;

// Registry views, OR-ed into an access mask (KEY_WOW64_64KEY,
// KEY_WOW64_32KEY).  A 32-bit process on 64-bit Windows sees the 32-bit
// view of HKLM\Software unless it asks for the 64-bit one; on 32-bit
// Windows there is one view and both bits are ignored.  Keys the two views
// share (HKCU\Software, the policies) are the same key in either.
constexpr uint32_t kKeyView64 = 0x0100;
constexpr uint32_t kKeyView32 = 0x0200;

// Options for opening keys.  kOpenLink (REG_OPTION_OPEN_LINK): a link key
// named last in the path opens as the link itself (no subkeys, its one value
// "SymbolicLinkValue"), not as its target; links earlier in the path are
// followed all the same.
constexpr uint32_t kOpenLink = 0x8;

// Stored value types.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegLink = 6;  // a link key's target, UTF-16, no terminator
// The two types a count is written as, as the run record and the reports
// spell them.
constexpr char kRegSzName[] = "REG_SZ";
constexpr char kRegDwordName[] = "REG_DWORD";

// File attribute bits.
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrHidden = 0x2;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;

// Message box icons (always with the single OK button).
constexpr uint32_t kIconWarning = 0x30;
constexpr uint32_t kIconInformation = 0x40;

// Longest subkey name buffer the enumeration uses, in UTF-16 units (a key's
// name has at most 255).
constexpr uint32_t kSubkeyNameCapacity = 260;

// Marks a call whose result the pass ignores by design: the pass goes on
// whatever it gave (a deletion that failed leaves its object behind, which
// the later steps already allow for).
inline void BestEffort(long /*result*/) {}

// Each backend releases its own handles; the guards below own them.
namespace detail {
void CloseKeyHandle(std::uintptr_t handle);
void CloseLibraryHandle(std::uintptr_t handle);
void CloseFileHandle(std::uintptr_t handle);
}  // namespace detail
using UniqueKeyHandle = UniqueAny<std::uintptr_t, &detail::CloseKeyHandle>;
using UniqueLibraryHandle = UniqueAny<std::uintptr_t, &detail::CloseLibraryHandle>;
using UniqueFileHandle = UniqueAny<std::uintptr_t, &detail::CloseFileHandle>;

// An open registry key (RegOpenKeyExW .. RegCloseKey).
class RegKey {
 public:
  // Opens `path` under `root` with `mask` and `options` (0 or kOpenLink); a
  // key held before is closed first.
  [[nodiscard]] long Open(Root root, const char* path, uint32_t mask, uint32_t options = 0);
  // Opens `path` below the open key `parent`; a key held before is closed
  // first.  `parent` must be another guard than this one.  Below a link
  // opened as itself, `path` is looked up in the link's target, as Wine
  // does: only asking the key (IsKeyLink) tells a link from its target.
  [[nodiscard]] long Open(const RegKey& parent, const char* path, uint32_t mask,
                          uint32_t options = 0);
  bool Valid() const { return handle_.Valid(); }
  void Close() { handle_.Reset(); }

  // Reads the value `name` (RegQueryValueExW) when it fits `capacity`: for a
  // text (REG_SZ, REG_EXPAND_SZ) the capacity counts UTF-16 units, the
  // terminator included, for any other type bytes.  A value that is absent
  // or does not fit fails alike.  *type gets the stored type and *data what
  // was returned: a text's units, NULs included, converted exactly to UTF-8
  // (kErrorInvalidData when they cannot be), the bytes of any other type as
  // they are.  `data` may be null where only whether the value can be read
  // matters (flags, markers): its content is then neither converted nor
  // examined.
  [[nodiscard]] long ReadValue(const char* name, uint32_t capacity, uint32_t* type,
                               std::string* data) const;
  // ReadValue taken as text by ValueText's rule.  Never reads past
  // `capacity`.
  [[nodiscard]] long ReadText(const char* name, uint32_t capacity, std::string* text) const;
  // Stores `text` as REG_SZ (RegSetValueExW); the size counts the
  // terminating NUL in UTF-16 units.
  [[nodiscard]] long WriteText(const char* name, const std::string& text);
  [[nodiscard]] long WriteDword(const char* name, uint32_t value);
  // RegQueryInfoKeyW asking for the number of subkeys only.
  [[nodiscard]] long CountSubkeys(uint32_t* count) const;
  // RegEnumKeyExW with a buffer of kSubkeyNameCapacity units; fails past the
  // last one, and with kErrorInvalidData for a name that cannot be carried
  // exactly (such a key is never reached).
  [[nodiscard]] long SubkeyName(uint32_t index, std::string* name) const;
  // NtDeleteKey: deletes the key this guard holds (opened with DELETE, as
  // kKeyAllAccess is), whatever its name now leads to; a key opened with
  // kOpenLink goes as the link.  Fails when it has subkeys of its own.  The
  // guard still holds the deleted key until it is closed; calls through it
  // then fail.
  [[nodiscard]] long Delete();
  [[nodiscard]] long DeleteValue(const char* name);

 private:
  UniqueKeyHandle handle_;
};

// The one rule for taking a value read by RegKey::ReadValue as text (a
// count, a flag's word, a directory): what precedes the first NUL.  A value
// of another type than REG_SZ or REG_EXPAND_SZ holds bytes, not UTF-16: it
// is text only when those bytes are ASCII, which reads the same in any code
// page; otherwise kErrorInvalidData, and `text` is left untouched.
[[nodiscard]] long ValueText(uint32_t type, const std::string& data, std::string* text);

// What an open file or directory says about itself, through its handle.
struct FileFacts {
  uint64_t id = 0;          // the file system's id of the object (file index)
  uint32_t attributes = 0;  // kAttrReparsePoint when the handle is a link itself
  std::string finalPath;    // "C:\dir\name" or "\\server\share\name", no "\\?\"
};

// What the preview records of a file or directory it plans to delete, and
// what a run held to that plan checks again through the handle it deletes by
// (GetFileInformationByHandle): the volume's serial number, the file id, the
// size and the last-write time (FILETIME as one number).
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t id = 0;
  uint64_t size = 0;
  uint64_t lastWrite = 0;
};

// One entry of a listing through a directory's handle.
struct DirEntry {
  std::string name;
  uint32_t attributes = 0;
  uint64_t id = 0;
  // False for a name that has no UTF-8 (UTF-16 with a lone surrogate): `name`
  // then shows it, with U+FFFD, for people only, and reaches nothing.
  bool exact = true;
  // The size and last-write time the listing gives, as a reviewed plan
  // records them (FileIdentity).
  uint64_t size = 0, lastWrite = 0;
};

// What an opened file or directory may be used for.  Every open shares
// reading and writing but never deletion, so the object cannot be renamed,
// replaced or deleted by anyone else while it is held.
enum class FileAccess {
  Inspect,        // its facts only
  List,           // its facts and, for a directory, its entries
  Delete,         // its facts, and deletion through the handle
  ListAndDelete,  // both
  Read,           // its facts and its bytes (FileHandle::Read)
};

// Codes of creating and writing a file that callers name.
constexpr long kErrorDiskFull = 112;
// Something, a link of any kind included, already has the name a new file
// was to get (STATUS_OBJECT_NAME_COLLISION as the system maps it).
constexpr long kErrorAlreadyExists = 183;

// An open file or directory, opened as itself: a link is opened as the link,
// never as what it points to (FILE_OPEN_REPARSE_POINT).
class FileHandle {
 public:
  // Opens `path` (CreateFileW with FILE_FLAG_BACKUP_SEMANTICS |
  // FILE_FLAG_OPEN_REPARSE_POINT); links on the way to it are followed.  A
  // handle held before is closed first.
  [[nodiscard]] long Open(const char* path, FileAccess access);
  // Opens the entry `name` of the open directory `parent` (NtOpenFile with
  // RootDirectory); `parent` must be another guard than this one.
  [[nodiscard]] long OpenBelow(const FileHandle& parent, const std::string& name,
                               FileAccess access);
  // The object's id, attributes and final path.
  [[nodiscard]] long Facts(FileFacts* facts) const;
  // The final path alone (FileFacts::finalPath), with fewer requests.
  [[nodiscard]] long FinalPath(std::string* path) const;
  // The object's identity (FileIdentity); without `volume`, its volume is 0,
  // not read: under Wine the volume's serial number costs requests to the
  // mount manager, and every entry below one root shares that root's.
  [[nodiscard]] long Identity(FileIdentity* identity, bool volume = true) const;
  // The whole file, opened with FileAccess::Read, when it holds at most
  // `limit` bytes; kErrorMoreData, nothing read, for a larger one.
  [[nodiscard]] long Read(size_t limit, std::string* bytes) const;
  // Every entry of the directory, "." and ".." included, in the order the
  // file system gives them (NtQueryDirectoryFile with file ids).
  [[nodiscard]] long List(std::vector<DirEntry>* entries) const;
  // Deletes the object through this handle (FileDispositionInformation): a
  // file, a link itself or an empty directory; gone once the handle closes.
  [[nodiscard]] long Dispose();
  // Creates the new file `name` in the open directory `parent` and opens it
  // for writing (NtCreateFile with RootDirectory, FILE_CREATE): whatever is
  // at that name already, a file, a directory or a link of any kind, even
  // one that leads nowhere, fails with kErrorAlreadyExists and is neither
  // opened nor written.  Shared for reading only, so that nobody else writes
  // into it, renames it or deletes it while it is held.  `parent` must be
  // another guard than this one.
  [[nodiscard]] long CreateBelow(const FileHandle& parent, const std::string& name);
  // Writes all of `bytes` after what this handle wrote before (WriteFile
  // until all are written); a write that makes no progress fails with
  // kErrorDiskFull.
  [[nodiscard]] long Write(std::string_view bytes);
  // FlushFileBuffers: what was written is on the disk when this returns.
  [[nodiscard]] long Flush();
  bool Valid() const { return handle_.Valid(); }
  void Close() { handle_.Reset(); }

 private:
  UniqueFileHandle handle_;
};

// Whether two names or paths are the same to the file system and the
// registry: CompareStringOrdinal ignoring case, each UTF-16 unit upper-cased
// by the system's table ("É" and "é" are the same, "ß" and "SS" are not).
[[nodiscard]] bool SameName(std::string_view a, std::string_view b);

// GetLongPathNameW: `path` with every 8.3 short name replaced by the long
// name; the path must exist.
[[nodiscard]] long LongPathName(const char* path, std::string* longPath);

// The final path of whatever `path` leads to, links on the way and at its
// end followed (CreateFileW without FILE_FLAG_OPEN_REPARSE_POINT, opened
// for no access, then GetFinalPathNameByHandleW).  For comparing only: the
// handle is closed before it returns, and nothing is reached through it.
[[nodiscard]] long TargetFinalPath(const char* path, std::string* finalPath);

// ---- Folders that are no component's own ------------------------------------

// A folder that the system keeps for itself or for its users, or that the
// running uninstall needs, which no component's root may be or hold.
struct KeptFolder {
  std::string what;  // how a reason names it: "the system's Documents folder"
  std::string path;  // as the system gives it
};

// How KeptFolders names the running account's profile and its Local
// AppData, which other folders are learnt from.
constexpr char kProfileFolder[] = "the system's Profile folder";
constexpr char kLocalAppDataFolder[] = "the system's Local AppData folder";

// The system's folders, as the system itself names them (its known folders:
// Windows, System, Program Files and Common Files of every kind,
// ProgramData, the users' root, the current user's profile and its folders,
// the Public folders), never as the environment names them, which the user
// sets; then the directory of the host's .exe, this library's directory and
// the process's current directory.  A known folder this system does not
// have is left out.  Fails only when none can be learnt.
[[nodiscard]] long KeptFolders(std::vector<KeptFolder>* folders);

// The three directories the uninstall runs from, as KeptFolders ends with
// them in either backend.
constexpr const char* kRunningFolders[] = {"the uninstaller's directory", "this library's directory",
                                           "the current directory"};
inline void AddRunningFolders(const std::string& hostDir, const std::string& libraryDir,
                              const std::string& currentDir, std::vector<KeptFolder>* folders) {
  folders->push_back({kRunningFolders[0], hostDir});
  folders->push_back({kRunningFolders[1], libraryDir});
  folders->push_back({kRunningFolders[2], currentDir});
}
// Whether `folder` is one of those three rather than one of the system's.
inline bool IsRunningFolder(const KeptFolder& folder) {
  for (const char* what : kRunningFolders)
    if (folder.what == what) return true;
  return false;
}

// The Windows directory of the system (GetSystemWindowsDirectoryW), whatever
// the environment says, without a trailing backslash.
[[nodiscard]] long WindowsDir(std::string* dir);

// The account's temporary folder as the system gives it: GetTempPath2W
// where kernel32 has it (looked up when asked), else GetTempPathW; without
// a trailing backslash.  It comes from the environment (TMP, TEMP), which
// the user sets: the pass only ever refuses more by it.
[[nodiscard]] long TempDir(std::string* dir);

// ExpandEnvironmentStringsW: `text` with each %NAME% the process's
// environment holds replaced by its value; a name it does not hold stays as
// written.  The environment is the user's to set: the pass only ever
// refuses more by what it gives.
[[nodiscard]] long ExpandEnvironment(const std::string& text, std::string* expanded);

// Whether `path` ("C:\...") lies on a local fixed disk (GetDriveTypeW:
// DRIVE_FIXED or DRIVE_RAMDISK), where a path can be opened without waiting
// on a network or a drive that may hold no disc.  False for a network,
// removable or CD drive, one that is not there, and any path that does not
// begin with a drive letter (a share, a device path).  Asks the drive only
// for its type: nothing on it is opened.
[[nodiscard]] bool IsLocalDisk(std::string_view path);

// A loaded library (LoadLibraryExW .. FreeLibrary).
class Library {
 public:
  // Loads `name` only from where a companion of the host belongs, in this
  // order: the host's directory (LOAD_LIBRARY_SEARCH_APPLICATION_DIR), the
  // system directory (LOAD_LIBRARY_SEARCH_SYSTEM32), the directories the
  // host added (AddDllDirectory, LOAD_LIBRARY_SEARCH_USER_DIRS), then the
  // Windows directory by its full path.  Never the current directory nor
  // PATH, where anyone may have put a library of that name.
  [[nodiscard]] long Load(const char* name);
  // GetProcAddress; null when the entry is missing.
  [[nodiscard]] void* Lookup(const char* entry) const;
  bool Valid() const { return handle_.Valid(); }
  void Close() { handle_.Reset(); }

 private:
  UniqueLibraryHandle handle_;
};

// Calls an entry found by Library::Lookup that takes one narrow text and
// removes its argument from the stack itself (stdcall).
void CallTextEntry(void* entry, const char* text);

// Keeps what the pass decided at a step in the journal (see qf::Decide,
// which the pass calls).  Windows keeps no journal: a no-op there; the
// simulation records it for the preview and the tests.
void JournalDecision(Decision decision, const std::string& subject, int64_t first, int64_t second,
                     const std::string& detail);
// Keeps in the journal that a step of the pass is over, after whoever
// listens was told; a no-op on Windows, like JournalDecision.
void JournalStepEnded();

// MessageBeep(0).
void Beep();
// MessageBoxW without an owner, with the single OK button and `icon`.
void ShowMessage(const char* text, const char* caption, uint32_t icon);
// The system's message text for `code` (FormatMessageW from the system
// table, language neutral); the system's buffer is released before return.
[[nodiscard]] long SystemErrorText(uint32_t code, std::string* text);

// ---- The run, as a record of it names it ------------------------------------

// Who ran the uninstall, and from where.
struct RunFacts {
  uint32_t processId = 0;  // GetCurrentProcessId
  // "DOMAIN\user": the account of the process's token (LookupAccountSidW),
  // whose rights the uninstall works with; the SID's string form
  // ("S-1-5-21-...") when its name cannot be looked up (an account of a
  // domain that cannot be reached, or one that was deleted).
  std::string account;
  // The directory of the host's .exe (GetModuleFileNameW(nullptr)), without
  // a trailing backslash (but "C:\" for a drive's root).
  std::string hostDir;
  // The computer's name (GetComputerNameW).
  std::string computer;
};
[[nodiscard]] long ProcessFacts(RunFacts* facts);

// Random bits from the system's generator for keys (RtlGenRandom), which
// nobody can foretell.
[[nodiscard]] long RandomBits(uint64_t* bits);

// The current time, UTC, to the millisecond (GetSystemTime), as ISO 8601:
// "2026-12-08T13:12:36.123Z".
std::string UtcTimeText();

}  // namespace qf::platform
