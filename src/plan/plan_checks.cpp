#include <algorithm>

#include "common/case_fold.h"
#include "common/paths.h"
#include "common/schema.h"
#include "plan/plan.h"

namespace qf::plan {
namespace {

using namespace platform;

const char* OpName(journal::FileChange change) {
  switch (change) {
    case journal::FileChange::DeleteFile: return "a file";
    case journal::FileChange::RemoveDirectory: return "a directory";
    case journal::FileChange::RemoveLink: return "a link";
  }
  return "";
}

std::string Arrow(const std::string& was, const std::string& now) { return was + " \xE2\x86\x92 " + now; }
std::string Arrow(uint64_t was, uint64_t now) { return Arrow(std::to_string(was), std::to_string(now)); }

// What differs between the object the plan lists and the one there now,
// most telling first; "" when nothing does.  A directory is held to its
// volume and id: emptying it, as the pass does, writes it.
std::string Difference(const PlannedFile& planned, journal::FileChange change,
                       const FileIdentity& now) {
  const FileIdentity& was = planned.identity;
  if (planned.change != change)
    return std::string(OpName(planned.change)) + " then, " + OpName(change) + " now";
  if (was.volume != now.volume) return "on another volume now";
  if (was.id != now.id) return "another object (file id " + Arrow(was.id, now.id) + ")";
  if (change == journal::FileChange::RemoveDirectory) return "";
  if (was.size != now.size) return "size " + Arrow(was.size, now.size);
  if (was.lastWrite != now.lastWrite) return "written again since (last-write time " + Arrow(was.lastWrite, now.lastWrite) + ")";
  return "";
}

// Tells why `subject` stays, and says that it may not change.
bool Withheld(const std::string& subject, const std::string& difference = {}) {
  if (difference.empty())
    Decide(Decision::NotInPlan, subject);
  else
    Decide(Decision::ChangedSincePlan, subject, 0, 0, difference);
  return false;
}

}  // namespace

std::string ValueKey(Root root, const std::string& keyPath, const std::string& name) {
  return FoldName(std::string(RootName(root)) + "\\" + keyPath + "\\" + name);
}

long Lock::IdentityOf(const FileHandle& entry, const std::string& path, const DirEntry* listed,
                      FileIdentity* identity) const {
  const char drive = DriveLetterOf(path);
  const auto known = volumes_.find(drive);
  const bool volume = drive == 0 || known == volumes_.end();
  if (volume || !listed) {
    if (long failed = entry.Identity(identity, volume)) return failed;
  }
  if (listed) identity->id = listed->id, identity->size = listed->size, identity->lastWrite = listed->lastWrite;
  if (!volume) identity->volume = known->second;
  if (volume && drive != 0) volumes_.emplace(drive, identity->volume);
  return kSuccess;
}

bool MayDelete(const FileHandle& entry, const std::string& path, journal::FileChange change,
               const DirEntry* listed) {
  const Lock* lock = Current();
  if (!lock) return true;
  const auto planned = lock->allowed().files.find(FoldName(path));
  if (planned == lock->allowed().files.end()) return Withheld(path);
  FileIdentity now;
  if (long failed = lock->IdentityOf(entry, path, listed, &now))
    return Withheld(path, "its identity cannot be read (error " + std::to_string(failed) + ")");
  const std::string difference = Difference(planned->second, change, now);
  return difference.empty() || Withheld(path, difference);
}

bool MayDeleteKey(Root root, const std::string& path) {
  const Lock* lock = Current();
  if (!lock) return true;
  const std::string shown = std::string(RootName(root)) + "\\" + path;
  return lock->allowed().keys.count(FoldName(shown)) != 0 || Withheld(shown);
}

bool MayDeleteValue(const RegKey& key, Root root, const std::string& keyPath,
                    const std::string& name) {
  const Lock* lock = Current();
  if (!lock) return true;
  uint32_t type = 0;
  std::string data;
  const long read = key.ReadValue(name.c_str(), kValueCapacity, &type, &data);
  if (read == kErrorFileNotFound) return false;  // not registered: nothing to delete
  const std::string shown = std::string(RootName(root)) + "\\" + JoinPath(keyPath, name);
  const auto planned = lock->allowed().values.find(ValueKey(root, keyPath, name));
  if (planned == lock->allowed().values.end()) return Withheld(shown);
  if (read != kSuccess) return Withheld(shown, "it cannot be read (error " + std::to_string(read) + ")");
  if (planned->second.first != type)
    return Withheld(shown, "type " + Arrow(planned->second.first, type));
  return planned->second.second == data || Withheld(shown, "its data differs");
}

bool MayLowerCount(const std::string& component, bool dword, const std::string& was,
                   const std::string& data) {
  const Lock* lock = Current();
  if (!lock) return true;
  const auto planned =
      lock->allowed().counts.find(ValueKey(Root::LocalMachine, JoinPath(SharedKey, component), UseCount));
  const std::string now = "UseCount " + Arrow(was, data) + " now";
  std::string why;
  if (planned == lock->allowed().counts.end())
    why = "the plan does not lower its UseCount; " + now;
  else if (planned->second.dword != dword || planned->second.was != was || planned->second.data != data)
    why = "the plan lowers its UseCount " + Arrow(planned->second.was, planned->second.data) + "; " + now;
  if (why.empty()) return true;
  Decide(Decision::ComponentNotAsPlanned, component, 0, 0, why);
  return false;
}

bool MayRelease(const std::string& component) {
  const Lock* lock = Current();
  if (!lock) return true;
  const auto planned =
      lock->allowed().counts.find(ValueKey(Root::LocalMachine, JoinPath(SharedKey, component), UseCount));
  if (planned == lock->allowed().counts.end()) return true;
  Decide(Decision::ComponentNotAsPlanned, component, 0, 0,
         "the plan lowers its UseCount " + Arrow(planned->second.was, planned->second.data) +
             "; Quillforge is its last holder now");
  return false;
}

bool MayCall(const std::string& library, const std::string& entry, const std::string& argument) {
  const Lock* lock = Current();
  if (!lock) return true;
  const std::vector<std::string>& calls = lock->allowed().calls;
  if (std::find(calls.begin(), calls.end(), FoldName(library) + "|" + entry + "|" + argument) != calls.end())
    return true;
  Decide(Decision::CompanionNotInPlan, library);
  return false;
}

}  // namespace qf::plan
