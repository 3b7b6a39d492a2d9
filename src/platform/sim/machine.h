// The simulated machine's state, shared by the parts of the simulation.
// The simulation's own; its users (tests, the preview) use sim.h.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim.h"

namespace qf::sim::detail {

// Codes the simulation gives besides those platform.h names.
constexpr long kErrorSharingViolation = 32;
constexpr long kErrorInvalidName = 123;
using platform::kErrorFilenameTooLong;
constexpr long kErrorDirectory = 267;
constexpr long kErrorMessageNotFound = 317;
constexpr long kErrorKeyDeleted = 1018;
using platform::kErrorCantResolveFilename;

// Longest full path the path-taking file calls accept without the "\\?\"
// prefix (MAX_PATH less the NUL).
constexpr size_t kMaxPath = 259;

// Names are compared as Windows compares them (FoldName); maps keyed by the
// folded name list ASCII names in the order Wine lists registry subkeys in
// ("item_2" before "itemA").
std::string Fold(std::string_view text);
bool ContainsFold(std::string_view text, std::string_view part);

// Misuse of the set-up API (a relative path, a file where a directory must
// be, a key that does not exist) throws this, so the test fails loudly.
[[noreturn]] void Misuse(const std::string& what);

// Ids for handles, keys and files, unique for the life of the process so
// that a guard left over from before a Reset() can never reach a new object.
uint64_t NextId();
// File ids and last-write times, counted from Reset() on: a machine built
// the same way twice has the same identities, as a plan made on it expects.
uint64_t NextFileStamp();

// ---- Registry ----
struct RegValue {
  std::string name;  // as first stored
  Value value;
};

struct RegNode {
  std::string name;
  uint64_t id = 0;  // never reused, so a handle can tell a recreated key
  bool canOpen = true;
  bool canWrite = true;
  // A link key: opening it, or a path through it, reaches the key at
  // `linkTarget` below the same root instead (unless it is opened as itself).
  bool isLink = false;
  std::vector<std::string> linkTarget;
  std::map<std::string, RegValue> values;                 // by folded name
  std::map<std::string, std::unique_ptr<RegNode>> subkeys;  // by folded name
};

// ---- Files ----
enum class Kind { Directory, File, Link };

struct FileNode {
  Kind kind = Kind::Directory;
  std::string name;  // "C:" or "\\server\share" for a root
  std::string shortName;  // its 8.3 name, "" when it has none
  uint64_t id = NextFileStamp();  // the file id; a link has its own
  uint64_t lastWrite = NextFileStamp();  // written anew by MakeFile and FileHandle::Write
  std::optional<uint64_t> volume, size;  // SetIdentity's, in place of the drive's and the contents'
  uint32_t extra = 0;  // attribute bits besides those the kind implies
  std::string target;  // links: absolute path of the target
  bool linkToDirectory = false;
  std::string contents;        // a file's bytes
  bool opensTarget = false;    // a unix link as Wine shows it (MakeLink)
  bool heldElsewhere = false;  // HoldOpen: another process holds it without sharing deletion
  int opened = 0;              // FileObjectHandles open on it
  int openedForDelete = 0;     // those of them opened with DELETE access
  FileNode* parent = nullptr;
  // Shared with nothing but the handles' weak references, so that a deleted
  // object is gone for its handles too.
  std::map<std::string, std::shared_ptr<FileNode>> children;  // by folded name
};

// ---- Libraries ----
struct EntryRecord {
  std::string library;
  std::string name;
  std::function<void(const char*)> onCall;
};

struct LibraryRecord {
  std::string name;
  std::string dir;  // the directory it lies in; "" for the host's
  std::map<std::string, std::unique_ptr<EntryRecord>> entries;  // exact names
};

// ---- Handles ----
struct KeyHandle {
  Root root;
  std::vector<std::string> folded;  // path components below the root
  std::string path;                 // full display path ("HKLM\...")
  uint64_t id = 0;
  uint32_t granted = 0;
};

struct LibraryHandle {
  LibraryRecord* library = nullptr;
};

// A file or directory opened as itself.  Every open shares reading and
// writing, never deletion.
// It keeps its node's count of open handles, so that the sharing checks
// need not look through every handle.
struct FileObjectHandle {
  FileObjectHandle(const std::shared_ptr<FileNode>& opened, bool listing, bool deleting,
                   bool writing = false);
  FileObjectHandle(FileObjectHandle&& other) noexcept;
  FileObjectHandle& operator=(FileObjectHandle&&) = delete;
  ~FileObjectHandle();

  std::weak_ptr<FileNode> node;
  bool list = false;
  bool remove = false;  // opened with DELETE access
  bool write = false;   // created by CreateBelow, for writing
  bool read = false;    // opened with FileAccess::Read
};

using Handle = std::variant<KeyHandle, LibraryHandle, FileObjectHandle>;

struct PathRule {
  Op op;
  std::string part;
  long code;
};

struct CountRule {
  uint64_t n;
  bool andAfter;
};

struct Machine {
  Machine();  // the state Reset() gives

  std::map<Root, std::unique_ptr<RegNode>> registry;
  std::map<std::string, std::shared_ptr<FileNode>> drives;  // by folded root name
  std::string cwd;
  std::map<std::string, std::unique_ptr<LibraryRecord>> libraries;  // folded
  std::map<uint32_t, std::string> messages;  // SetMessageText's texts by code
  std::map<std::uintptr_t, Handle> handles;
  std::vector<JournalEntry> journal;
  std::vector<DecisionEntry> decisions;
  std::vector<StepEnd> stepEnds;
  std::string throwPart;  // ThrowAt's
  uint64_t throwAt = 0, throwSeen = 0;
  uint64_t operations = 0;
  std::vector<PathRule> pathRules;
  std::vector<CountRule> countRules;
  std::multimap<uint64_t, std::function<void()>> actions;  // AtOperation's, by n
  std::map<std::string, std::string> shownAs;  // ShowDriveAs's, by folded drive
  platform::RunFacts runFacts;  // SetRunFacts's
  std::string utcTime;          // SetUtcTime's
  uint64_t nextRandom = 1;      // SetRandomBits's, counting up
  std::vector<platform::KeptFolder> systemFolders;  // SetSystemFolders's
  std::string libraryDir;                            // SetLibraryDir's
  std::string windowsDir, systemDir, tempDir;        // SetSystemPlaces's
  std::vector<std::string> dllDirs;                  // AddDllDirectory's
  std::string cwdKept;  // SetHostPlaces's current directory, "" for cwd
  // SetTargetFinalPath's, by folded resolved path: the code and final path.
  std::map<std::string, std::pair<long, std::string>> targetFinalPaths;
  // SetEnvironment's, by folded name: the name as set and its value.
  std::map<std::string, std::pair<std::string, std::string>> environment;
  std::string otherDrives;   // SetDriveLocal's drive letters that are no local disk
  bool wow64 = false;        // SetWow64's
  bool setUpView64 = false;  // SetUpIn64BitView's
  bool logCalls = false;     // LogCalls's
  std::vector<LoggedCall> callLog;
};

Machine& M();


// Counts one operation and tells whether an injected failure hits it: the
// code to fail with, or 0.  `paths` are the names the call is known by.
long BeginOp(Op op, std::initializer_list<std::string_view> paths);

// Journals a change; returns the entry, for what a change adds (its
// identity, the value that was there).
JournalEntry* Record(Change kind, std::string path = {}, std::string detail = {},
                     uint32_t flags = 0);

void RecordDecision(Decision decision, const std::string& subject, int64_t first,
                    int64_t second, const std::string& detail);
void RecordStepEnd();

std::uintptr_t AddHandle(Handle handle);
// The handle of that kind, or null when closed, unknown or of another kind.
template <typename T>
T* FindHandle(std::uintptr_t id) {
  auto it = M().handles.find(id);
  return it == M().handles.end() ? nullptr : std::get_if<T>(&it->second);
}
void DropHandle(std::uintptr_t id);

// ---- A 32-bit process on 64-bit Windows (wow64.cpp) ----
// The names a 32-bit process reaches below `root` when it opens `parts` in
// the view `mask` asks for.
std::vector<std::string> KeyInView(Root root, std::vector<std::string> parts, uint32_t mask);
// Whether `name`, below HKLM\Software, is the 32-bit view's own key, which
// the process does not see in the paths it names.
bool IsViewKey(Root root, const std::string& name);
// The key set-up and inspection name by `path`: in the 32-bit view, as the
// installer and the pass name it, unless SetUpIn64BitView says otherwise.
std::string SetUpKeyPath(Root root, const std::string& path);
// The absolute path a path-taking file call of a 32-bit process reaches:
// System32 is SysWOW64, Sysnative the real System32.
std::string FileInView(const std::string& absolute);

// Creates the registry roots (with HKU\.Default); called by Machine().
void InitRegistry(Machine& machine);
// Creates drive C: and sets the current directory to it.
void InitFiles(Machine& machine);
// The fixed facts of the run and the time, as Reset() leaves them.
void InitRunFacts(Machine& machine);

}  // namespace qf::sim::detail
