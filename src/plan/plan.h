// The reviewed plan as a lock: with the policy's UninstallPlan, the pass
// changes nothing that the plan an administrator reviewed does not list.
//
// What it promises: before each change the pass would make anyway, the item
// is looked up in the plan: a file, link or directory by its final path and
// the identity the preview read (volume, file id, size, last-write time;
// a directory by its volume and id alone, since emptying it rewrites it), a
// key by its path, a value by its name, type and data, a count by its old
// and new value, a companion's call by its library, entry and argument.  An
// item the plan does not list, or lists otherwise, stays with a decision of
// its own.  A component whose count says otherwise than the plan (lowered
// there, its last holder now, or the reverse) stays whole.  A plan that
// cannot be used (missing, unreadable, malformed, made on another computer
// or for another version) changes nothing at all.
//
// What it does not: it never adds a change, nor makes one the pass would
// not make without it: every check only withholds.  What the pass keeps for
// its own reasons (a root that is someone else's, a link) stays kept
// whatever the plan says.
//
// The plan file is read as the record is written: its directory opened by
// its path and verified as a component's root is (no link, not reached
// through one, named exactly), the file opened below that handle as itself
// and read only if it is a plain file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "journal/journal.h"
#include "platform/platform.h"

namespace qf::plan {

// Largest plan read: the preview's document for a tree of about a million
// entries.
constexpr size_t kPlanBytesLimit = 256u << 20;
// A value is compared with the plan's when it fits this (UTF-16 units for a
// text, bytes for any other type): a help registration names a path.
constexpr uint32_t kValueCapacity = 32768;

// One planned deletion of a file-system object.
struct PlannedFile {
  journal::FileChange change = journal::FileChange::DeleteFile;
  platform::FileIdentity identity;
};

// One planned write of a count: its value before and after, as its type
// gives it (a number, or the text as the pass reads it).
struct PlannedCount {
  bool dword = false;
  std::string was, data;
};

// What a plan allows, keyed by folded names (FoldName).
struct Allowed {
  std::unordered_map<std::string, PlannedFile> files;  // by final path
  std::unordered_map<std::string, bool> keys;          // "HKCU\path"
  // "HKLM\key\name": the value's type and bytes as RegKey::ReadValue gives them.
  std::unordered_map<std::string, std::pair<uint32_t, std::string>> values;
  std::unordered_map<std::string, PlannedCount> counts;  // "HKLM\key\name"
  std::vector<std::string> calls;  // "LIBRARY|entry|argument", the library folded
};

// The lock of one pass: the policy read, the plan loaded and checked.
class Lock {
 public:
  // Reads the policy; with a plan named, loads it and tells whether it is
  // followed (PlanFollowed) or cannot be used (PlanUnusable).
  Lock();
  // No plan is named: the pass runs as ever.
  bool Absent() const { return !named_; }
  // A plan is named but cannot be used: the pass changes nothing.
  bool Refuses() const { return named_ && !usable_; }
  const Allowed& allowed() const { return allowed_; }
  // The identity of the object open in `entry` at the final path `path`,
  // as `listed` when given (what its directory's listing showed, which the
  // walk holds the entry to: nothing more to ask per file), else read
  // through `entry`.  Its volume is read once per drive, from the first entry
  // met there: the pass enters no link and so no mount point, so every entry
  // below a root is on its root's volume, and that read costs, under Wine, a
  // round of requests to the mount manager.
  long IdentityOf(const platform::FileHandle& entry, const std::string& path,
                  const platform::DirEntry* listed, platform::FileIdentity* identity) const;

 private:
  bool named_ = false, usable_ = false;
  Allowed allowed_;
  mutable std::unordered_map<char, uint64_t> volumes_;  // by drive letter
};

// The lock this pass follows, or null (no plan named, or one refused, which
// stops the pass before any change).  Set for the length of one pass.
const Lock*& Current();

class ScopedLock {
 public:
  explicit ScopedLock(const Lock* lock) { Current() = lock; }
  ~ScopedLock() { Current() = nullptr; }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;
};

// ---- Reading a plan --------------------------------------------------------

// The policy's plan path ("" when none is named) and, when one is, the plan
// read from it into `*allowed`; "" when it can be followed, else why not.
// `*named` tells whether the policy names one.
std::string LoadPlan(bool* named, std::string* path, Allowed* allowed);

// The plan's text read into `*allowed`: "" when it is a plan of this
// computer (`computer`) and this version, else why it cannot be used.
std::string ParsePlan(const std::string& text, const std::string& computer, Allowed* allowed);

// ---- The checks, each made just before its change -------------------------
// Each is true when there is no lock, or the lock allows the change; when it
// does not, it has told why (NotInPlan, ChangedSincePlan, ...).

// The object open in `entry`, at the final path `path`, deleted as `change`;
// `listed` is its directory's listing of it, when the walk has one.
bool MayDelete(const platform::FileHandle& entry, const std::string& path,
               journal::FileChange change, const platform::DirEntry* listed = nullptr);
// The key at `path` below `root`.
bool MayDeleteKey(platform::Root root, const std::string& path);
// The value `name` of the open key at `keyPath` below `root`.  False also
// when it is not there: nothing to delete.
bool MayDeleteValue(const platform::RegKey& key, platform::Root root, const std::string& keyPath,
                    const std::string& name);
// The count of `component`, read as `was`, written as `data`.
bool MayLowerCount(const std::string& component, bool dword, const std::string& was,
                   const std::string& data);
// `component` released as its last holder.
bool MayRelease(const std::string& component);
// The companion's entry called with `argument`.
bool MayCall(const std::string& library, const std::string& entry, const std::string& argument);

// The key of the lock's maps for a value or a count.
std::string ValueKey(platform::Root root, const std::string& keyPath, const std::string& name);

}  // namespace qf::plan
