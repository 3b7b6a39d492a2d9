// Control of the simulated Windows behind the platform layer.
//
// The simulation is one process-wide machine: the uninstall logic reaches it
// through platform.h; the tests and the preview tool (which runs the
// library's own logic on a copy of the real machine) arrange and inspect it
// through this header.  It models what the logic relies on and nothing more:
// - names: UTF-8, compared as Windows compares them (each UTF-16 unit
//   upper-cased by the system's table);
// - registry: roots HKCU, HKLM, HKU; key and value names case-insensitive;
//   subkeys enumerated sorted case-insensitively (as Wine gives them);
//   values kept as type + raw bytes; per-key rights to open and to write;
// - files: drive-letter paths ("C:\..."), one current directory (held open
//   by the process), attributes, links (reparse points) to directories and
//   files, listings through a directory's handle that give "." and ".." and
//   then the names sorted case-insensitively;
// - beeps, message boxes, library loads, lookups, releases and calls;
// - a journal of every change, every visible action and every decision the
//   pass reports, in order;
// - failure injection by operation kind and path, or by operation number
//   (a "full" directory: FailWhen(Op::FileWrite, dir, kErrorDiskFull));
// - a count of open handles.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace qf::sim {

using platform::Root;
using qf::Decision;

// Every platform call that can fail, for failure injection and counting.
// RegDeleteKey is RegKey::Delete.
enum class Op {
  RegOpen, RegRead, RegWrite, RegCountSubkeys, RegEnum, RegDeleteKey,
  RegDeleteValue, SystemErrorText, LoadLibrary, Lookup,
  FileOpen, FileOpenBelow, FileFacts, FileList, FileDispose, LongPathName,
  FileCreate, FileWrite, FileFlush, TargetFinalPath, KeptFolders, RandomBits,
  SystemPlaces,  // WindowsDir and TempDir
  FileRead,      // FileHandle::Read (FileHandle::Identity counts as FileFacts)
};

// What a journal line records.
enum class Change {
  RegDeleteKey, RegSetValue, RegDeleteValue, DeleteFile, RemoveDirectory, Beep, MessageBox,
  LoadLibrary, Lookup, FreeLibrary, Call,
};
// The change's name as this header spells it, for messages.
const char* ChangeName(Change change);
// Whether it changes the registry.
bool IsRegistryChange(Change change);

// One journal line, by its kind:
//   RegDeleteKey    path = full key path ("HKCU\Software\...\3.0\A"); for a
//                   link deleted as itself, the link's own path
//   RegSetValue     path = full key path, detail = value name
//   RegDeleteValue  path = full key path, detail = value name
//   DeleteFile      path = full path of what was deleted (link itself),
//                   flags = kAttrReparsePoint for a link
//   RemoveDirectory path = full path of what was removed, flags as above
//   Beep
//   MessageBox      path = caption, detail = text, flags = icon
//   LoadLibrary     path = library name
//   Lookup          path = library name, detail = entry name
//   FreeLibrary     path = library name
//   Call            path = "LIB!ENTRY", detail = the text argument
// Paths are given with the case they were created with.
// A deletion of a file or directory also gives what was deleted (its
// identity as FileHandle::Identity gives it), and a value's deletion or
// write the value that was there before (none when a write made it).
struct Value {
  uint32_t type = 0;
  std::string data;  // raw bytes as stored
};
struct JournalEntry {
  Change kind = Change::Beep;
  std::string path;
  std::string detail;
  uint32_t flags = 0;
  platform::FileIdentity identity;
  std::optional<Value> before;
};

// One decision the pass reported (qf::Decide), kept apart from the
// journal of changes; `at` is the number of journal entries made before it.
struct DecisionEntry {
  Decision decision = {};
  std::string subject;
  int64_t first = 0;
  int64_t second = 0;
  size_t at = 0;
  std::string detail;  // what else it concerns, "" for most
};

// The journal's and the decisions' lengths when a step of the pass ended.
struct StepEnd {
  size_t journal = 0;
  size_t decisions = 0;
};

// Empties the machine: the three roots with HKU\.Default, drive "C:\" with
// the current directory "C:\", no libraries, empty journal, no injected
// failures, operation counter at 0.
void Reset();

// How journal and failure-injection paths name a root (platform.h).
using platform::RootName;

// ---- Registry set-up and inspection (paths relative to the root) ----
// These name keys as stored and never follow a link key: a link is a key of
// its own, without subkeys, holding its one value "SymbolicLinkValue".
void CreateKey(Root root, const std::string& path);  // with its parents
// A link key at `path` (its parents are created) to the key at `targetPath`
// below the same root, which need not exist.  The platform calls follow it
// as Windows does: opening it opens the target, unless kOpenLink opens it as
// itself.  Its "SymbolicLinkValue" (kRegLink) names the target as the
// registry does ("\Registry\Machine\...", "\Registry\User\<SID>\...").
void MakeKeyLink(Root root, const std::string& path, const std::string& targetPath);
// Moves the key at `path`, with everything below it, to `targetPath` (which
// must not exist; its parents are created) and leaves a link to it at
// `path`: what was there is now reached through a link.
void LinkKeyAway(Root root, const std::string& path, const std::string& targetPath);
// Stores a value, creating the key (and parents) when missing.
void SetValue(Root root, const std::string& key, const std::string& name,
              uint32_t type, const std::string& data);
// REG_SZ with its terminating NUL.
void SetText(Root root, const std::string& key, const std::string& name,
             const std::string& text);
void SetDword(Root root, const std::string& key, const std::string& name,
              uint32_t value);
// Removes the value `name` of the key at `path`, when both are there.
void DeleteValue(Root root, const std::string& path, const std::string& name);
bool KeyExists(Root root, const std::string& path);
std::optional<Value> GetValue(Root root, const std::string& key,
                              const std::string& name);
// REG_SZ or not, the bytes up to the first NUL; nullopt when absent.
std::optional<std::string> GetText(Root root, const std::string& key,
                                   const std::string& name);
std::vector<std::string> SubkeyNames(Root root, const std::string& path);
// Rights of an existing key: whether it can be opened at all, and whether it
// can be opened with any write right (KEY_WRITE, KEY_ALL_ACCESS) or deleted.
void SetKeyRights(Root root, const std::string& path, bool canOpen,
                  bool canWrite);

// ---- File system set-up and inspection (absolute "C:\..." paths) ----
// Other drives ("D:\") and UNC roots ("\\server\share") appear on first use.
void MakeDir(const std::string& path, uint32_t extraAttributes = 0);  // parents too
void MakeFile(const std::string& path, uint32_t extraAttributes = 0,
              const std::string& contents = "");  // parents too
// A link at `path` to `target` (need not exist); a directory link carries
// kAttrDirectory | kAttrReparsePoint, a file link kAttrReparsePoint.
// With `opensTarget` it is a unix link as Wine shows one to the platform
// calls: opening it opens its target (so its facts, final path and
// deletion are the target's), and a listing gives it the target's id, with
// the attributes 0x410 for a directory and the target's own for a file; a
// dangling one is not listed and cannot be opened.  No call removes it.
// Set-up and inspection see the link itself.
void MakeLink(const std::string& path, const std::string& target,
              bool directory, bool opensTarget = false);
// Gives the object at `path` (a link itself) the identity FileHandle::Identity
// reports for it, as a machine copied from a real one has it; the object's
// own size and last-write time go on being its own when later changed.
// After Reset() each object has an id and last-write time of its own, its
// size is that of its contents, and each drive has a volume number of its
// own; MakeFile over a file writes it anew (another last-write time).
void SetIdentity(const std::string& path, const platform::FileIdentity& identity);
// Whether something exists at `path`; links in the middle are followed,
// a link as the last component counts itself.
bool Exists(const std::string& path);
std::optional<uint32_t> Attributes(const std::string& path);
// The bytes of the file at `path` (links in the middle followed); nullopt
// when no file is there, a link as the last component included.
std::optional<std::string> FileContents(const std::string& path);
std::string CurrentDir();
void SetCwd(const std::string& path);  // must exist
// Every path below `path` (not following links), sorted; for assertions.
std::vector<std::string> Tree(const std::string& path);
// Gives the object at `path` the 8.3 name `shortName`, by which paths may
// name it too.
void SetShortName(const std::string& path, const std::string& shortName);
// Final paths of objects on `drive` ("Q:") begin with `shownAs`
// ("Z:\dev\shm\q") instead, as Wine may show a drive mapped onto a
// directory that another drive reaches too.
void ShowDriveAs(const std::string& drive, const std::string& shownAs);
// Another process holds the object at `path` (a link itself) open without
// sharing deletion, as a program holds a file it has open: opening it for
// deletion fails with 32 (sharing violation), and so does renaming it.
void HoldOpen(const std::string& path);
// Renames or moves the object at `from` (a link itself) to `to`, whose parent
// must exist, as another process would: refused with 32 (sharing violation)
// while any handle holds it open (no open shares deletion) or it is the
// current directory; 2 or 3 when `from` or the parent of `to` is missing,
// 183 when `to` exists.  Not a platform call: counted and journaled nowhere.
long Rename(const std::string& from, const std::string& to);
// Turns the link at `path` into an empty directory in place, with the
// link's id, as another process does that deletes a directory link's
// reparse point; handles held on it stay open.  2 or 3 when nothing is
// there, 4390 (not a reparse point) when it is no link.  Not a platform
// call: counted and journaled nowhere.
long ClearReparsePoint(const std::string& path);

// ---- The run ----
// What ProcessFacts and UtcTimeText give; Reset() sets fixed values
// (process 4242, "QFTEST\tester", "C:\Program Files\Quillforge",
// "2026-12-08T13:12:36.000Z").
void SetRunFacts(const platform::RunFacts& facts);
void SetUtcTime(const std::string& text);
// RandomBits gives `first`, then `first` + 1, ... (1, 2, ... after Reset).
void SetRandomBits(uint64_t first);

// ---- Folders the system and the process keep ----
// The system's folders KeptFolders gives; Reset() sets those of a Windows
// of the usual shape on drive C: (SystemFolders() lists them), for the
// account "tester".  The process's own follow them: the host's directory
// (RunFacts::hostDir), the library's directory (SetLibraryDir; Reset()
// sets the host's) and the current directory.
void SetSystemFolders(std::vector<platform::KeptFolder> folders);
const std::vector<platform::KeptFolder>& SystemFolders();
void SetLibraryDir(const std::string& dir);
// The host's, the library's and the current directory of a machine copied
// from a real one, where the simulation's own current directory is not.
void SetHostPlaces(const std::string& hostDir, const std::string& libraryDir,
                   const std::string& currentDir);
// What KeptFolders gives now, for checks: not counted, never failing.
std::vector<platform::KeptFolder> AllKeptFolders();
// What TargetFinalPath gives for `path` (as resolved, compared as names
// are) on a machine copied from a real one, in place of what the
// simulation's own objects give: `finalPath`, or the failure `code`.
void SetTargetFinalPath(const std::string& path, long code, const std::string& finalPath = {});

// ---- A 32-bit process on 64-bit Windows ----
// After Reset() the pass runs as on 32-bit Windows: one registry view, no
// redirection.  SetWow64() makes the machine a 64-bit Windows on which the
// pass is a 32-bit process, as on every current Windows:
// - HKLM\Software\<key> is the 32-bit view's (HKLM\Software\WOW6432Node\<key>)
//   unless the call asks for the 64-bit view (kKeyView64); Software\Policies
//   is one key in both views, as on Windows (Wine shows it to a 32-bit
//   process through a link instead).  Journals and reports name keys as the
//   process names them, without WOW6432Node;
// - set-up and inspection name keys as the process does, in the 32-bit view,
//   until SetUpIn64BitView(true) (then as stored: "Software\WOW6432Node\..."
//   for the 32-bit view's own);
// - the path-taking file calls reach C:\Windows\SysWOW64 for
//   C:\Windows\System32, and the real System32 for C:\Windows\Sysnative;
// - the known folders are a 32-bit process's: Program Files and Common Files
//   are the (x86) ones, System (x86) is SysWOW64, and the 64-bit ones are
//   refused; the machine's own are recorded under
//   HKLM\Software\Microsoft\Windows\CurrentVersion in both views
//   (ProgramFilesDir, CommonFilesDir, their (x86) forms, ProgramW6432Dir,
//   CommonW6432Dir).
void SetWow64();
bool IsWow64();
void SetUpIn64BitView(bool on);
// ---- Places the system names ----
// What WindowsDir and TempDir give, and the system directory the library
// search takes; Reset() sets "C:\Windows", "C:\Windows\System32" and
// "C:\Users\tester\AppData\Local\Temp".
void SetSystemPlaces(const std::string& windowsDir, const std::string& systemDir,
                     const std::string& tempDir);
// The process's environment, which ExpandEnvironment expands from; Reset()
// sets that of "tester" on a Windows of the usual shape (SystemDrive,
// SystemRoot, windir, ProgramFiles, CommonProgramFiles, ProgramData,
// USERPROFILE, APPDATA, LOCALAPPDATA, TEMP, TMP), and SetWow64() that of a
// 32-bit process there (ProgramFiles and CommonProgramFiles the (x86)
// ones, ProgramW6432 and CommonProgramW6432 the machine's own).  An empty
// value removes the variable; ClearEnvironment() removes them all.
void SetEnvironment(const std::string& name, const std::string& value);
void ClearEnvironment();
// Whether the drive `letter` is a local disk (IsLocalDisk); every drive is
// one after Reset().
void SetDriveLocal(char letter, bool local);
// What SetSystemPlaces set, in its order; for checks.
std::vector<std::string> SystemPlaces();
// A directory the host added to the library search (AddDllDirectory).
void AddDllDirectory(const std::string& dir);

// ---- Libraries ----
// Makes `name` a library in `dir` ("" for the host's directory, as
// RunFacts::hostDir names it when it is loaded).  Library::Load finds it by
// bare name, case-insensitive, only where the real backend looks: the
// host's directory, the system directory, the directories the host added,
// the Windows directory; nowhere else (the current directory, PATH).
void AddLibrary(const std::string& name, const std::string& dir = {});
// Gives `library` an entry; `onCall` runs (with the text) when it is called
// through CallTextEntry.
void AddEntry(const std::string& library, const std::string& entry,
              std::function<void(const char*)> onCall = {});

// ---- Messages ----
// The system's message text for `code` (what FormatMessageW gives), in place
// of the small built-in table; for a machine copied from a real one.
void SetMessageText(uint32_t code, const std::string& text);

// ---- Observation ----
const std::vector<JournalEntry>& Journal();
std::vector<JournalEntry> JournalOf(Change kind);
const std::vector<DecisionEntry>& Decisions();
int OpenHandles();          // keys, files and libraries still open
uint64_t OperationCount();  // platform calls made since Reset (all Ops)

// ---- Failure injection ----
// Makes every `op` whose path contains `pathPart` (case-insensitive; "" for
// all) fail with `code`.  For registry calls the path is the full key path
// ("HKLM\Software\..."), for values "key\name"; for files the path as given.
void FailWhen(Op op, const std::string& pathPart,
              long code = platform::kErrorAccessDenied);
// Makes the n-th operation (1-based, counted from Reset over all Ops) fail;
// with `andAfter`, every later one too.
void FailAt(uint64_t n, bool andAfter = false);
// Runs `action` when the n-th operation (counted as FailAt counts) starts,
// before it has any effect: another process acting at that moment.
void AtOperation(uint64_t n, std::function<void()> action);
// Throws std::bad_alloc, as a call that runs out of memory would, from the
// `nth` operation (from 1) that names a path holding `pathPart`; counted as
// a failure hit.  Thrown() tells whether it came.
void ThrowAt(const std::string& pathPart, uint64_t nth);
bool Thrown();
// Where the steps of the pass ended so far (platform::JournalStepEnded).
const std::vector<StepEnd>& StepEnds();
// Injected failures that hit a call so far, each as "<op number> <path>".
const std::vector<std::string>& FailuresHit();
// The call each of those was.
const std::vector<Op>& FailedOps();

// ---- Call log ----
// While on, every call is logged with the paths it names (those failure
// injection matches), and every file or directory handle closed with its
// object's path: what a test needs to tell which calls concern an entry.
struct LoggedCall {
  uint64_t n = 0;  // the call's number, as FailAt counts; for a close, the next call's
  Op op = Op::RegOpen;
  bool close = false;  // a handle closed before call n, not a call
  std::vector<std::string> paths;
};
// Starts (from an empty log) or stops logging; Reset() stops it.
void LogCalls(bool on);
const std::vector<LoggedCall>& CallLog();
// The logged calls from which what they show of `path` may differ: the
// call after each one that names it, an ancestor or a descendant, and the
// call after each close of a handle on one of those, with call 1.  Another
// process that acts on `path` at any call between two of these, before the
// next, meets the same state and leaves the pass the same calls to make.
std::vector<uint64_t> ChangePoints(const std::string& path);

// ---- A process that dies ----
// From the n-th operation on (1-based, as FailAt counts), the process is
// gone: that call and every later one fails without effect, nothing more is
// journaled or shown, and every open handle is dropped without effect.
// HaltAt(0) starts a new process on what is left (handles the dead one held
// stay unknown).
void HaltAt(uint64_t n);

// ---- Inspection for checks ----
std::vector<std::string> ValueNames(Root root, const std::string& key);
// Whether an existing key can be opened, and opened for writing or deleted.
std::pair<bool, bool> KeyRights(Root root, const std::string& path);
bool HasEntry(const std::string& library, const std::string& entry);

}  // namespace qf::sim
