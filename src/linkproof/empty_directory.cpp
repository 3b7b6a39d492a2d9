#include <string_view>
#include <vector>

#include "common/schema.h"
#include "linkproof/linkproof.h"
#include "journal/journal.h"
#include "plan/plan.h"

namespace qf {
namespace {

using namespace platform;

bool IsDirectory(const DirEntry& listed) { return (listed.attributes & kAttrDirectory) != 0; }

// Whether `finalPath` names the entry `name` of the directory whose final
// path is `dirPath`: SameName(finalPath, JoinFinalPath(dirPath, name)).  The
// entry's final path is nearly always that text byte for byte (all three come
// from the same file system's names, converted exactly), so it is compared
// in place first, without building the joined path for every entry; only a
// difference (in case, say) takes the full comparison.
bool NamesEntry(std::string_view finalPath, const std::string& dirPath, std::string_view name) {
  const bool driveRoot = !dirPath.empty() && dirPath.back() == '\\';
  const size_t nameAt = dirPath.size() + (driveRoot ? 0 : 1);
  if (!name.empty() && finalPath.size() == nameAt + name.size() &&
      finalPath.compare(0, dirPath.size(), dirPath) == 0 &&
      (driveRoot || finalPath[dirPath.size()] == '\\') && finalPath.substr(nameAt) == name)
    return true;
  return SameName(finalPath, JoinFinalPath(dirPath, name));
}

// What OpenListedEntry gives for an entry that opened but is not what the
// listing showed; any other failure is the code of the call that failed.
constexpr long kChanged = -1;

// Opens the entry `listed` of `dir` as itself, for deletion, and checks
// through that handle that it is what the listing showed; anything else was
// changed after the listing and is left alone with everything below it.
//
// A file needs its final path only: a link (planted before the listing or
// swapped in after it) opens as itself on Windows and as its target under
// Wine, whose final path is elsewhere; a plain file or empty directory moved
// in after the listing could as well have been there before it; and a hard
// link's deletion removes its name only.  A directory is also held to its
// id and kind, which cost nothing more, since it is listed anyway.
long OpenListedEntry(const FileHandle& dir, const std::string& dirPath, const DirEntry& listed,
                     FileHandle* entry, FileFacts* facts) {
  const bool directory = IsDirectory(listed);
  long result = entry->OpenBelow(dir, listed.name,
                                 directory ? FileAccess::ListAndDelete : FileAccess::Delete);
  // A directory that cannot be opened for deletion (another process's
  // current directory) is still emptied, as far as it can be.
  if (result != kSuccess && directory) result = entry->OpenBelow(dir, listed.name, FileAccess::List);
  if (result != kSuccess) return result;
  if (directory) {
    if (long failed = entry->Facts(facts)) return failed;
    constexpr uint32_t kKind = kAttrDirectory | kAttrReparsePoint;
    if (facts->id != listed.id || (facts->attributes & kKind) != (listed.attributes & kKind))
      return kChanged;
  } else if (long failed = entry->FinalPath(&facts->finalPath)) {
    return failed;
  }
  return NamesEntry(facts->finalPath, dirPath, listed.name) ? kSuccess : kChanged;
}

// One directory of the walk: its handle (the root's is the caller's), its
// final path, its listing and how far it has been worked through.
struct Level {
  FileHandle handle;
  std::string path;
  std::vector<DirEntry> entries;
  size_t next = 0;
};

}  // namespace

// Every entry is reached through its parent's handle, never by a path, so
// neither the depth of the tree nor the process's current directory matters.
void EmptyDirectory(const FileHandle& dir, const std::string& dirPath,
                    const std::string& componentName) {
  // Help registrations belong to the help component only (exact name).  Its
  // key is reached as itself: through a link, or as one (whose own value a
  // file's name could match), no registration is removed.
  RegKey help;
  if (componentName == HelpComponent) {
    long failed = OpenKeyAsItself(Root::LocalMachine, HelpRegistrationKey, kKeyAllAccess, &help);
    if (failed == kSuccess && IsKeyLink(help)) failed = kErrorCantResolveFilename;
    if (failed != kSuccess) {
      help.Close();
      Decide(Decision::HelpKeyAbsent, componentName, failed);
    }
  }

  std::vector<Level> levels(1);
  levels[0].path = dirPath;
  if (long failed = dir.List(&levels[0].entries)) {
    Decide(Decision::DirectoryNotListed, dirPath, failed);
    return;
  }
  while (!levels.empty()) {
    Level& level = levels.back();
    const FileHandle& parent = levels.size() == 1 ? dir : level.handle;
    if (level.next == level.entries.size()) {
      // Emptied as far as it goes: a subdirectory goes too, when it can.
      if (levels.size() > 1 &&
          plan::MayDelete(level.handle, level.path, journal::FileChange::RemoveDirectory)) {
        if (long failed = level.handle.Dispose())
          Decide(Decision::EntryNotDeleted, level.path, failed);
        else
          journal::FileChanged(journal::FileChange::RemoveDirectory, level.path);
      }
      levels.pop_back();
      continue;
    }
    const DirEntry& listed = level.entries[level.next++];
    if (listed.name == "." || listed.name == "..") continue;
    // A name that cannot be carried exactly would reach another entry, or none.
    if (!listed.exact) {
      Decide(Decision::EntryUncarried, JoinFinalPath(level.path, listed.name));
      continue;
    }
    FileHandle entry;
    FileFacts facts;
    if (long failed = OpenListedEntry(parent, level.path, listed, &entry, &facts)) {
      // A directory that cannot be opened is never listed: it stays with
      // everything in it.
      Decide(failed == kChanged       ? Decision::EntryChanged
             : IsDirectory(listed) ? Decision::DirectoryNotListed
                                   : Decision::EntryNotDeleted,
             JoinFinalPath(level.path, listed.name), failed == kChanged ? 0 : failed);
      continue;
    }
    if (IsDirectory(listed) && (facts.attributes & kAttrReparsePoint) == 0) {
      // Descend: its entries are listed through its own handle, and it is
      // removed once they are worked through.
      // One that cannot be listed stays with everything in it, as it is.
      Level below;
      below.handle = std::move(entry);
      below.path = std::move(facts.finalPath);
      if (long failed = below.handle.List(&below.entries)) {
        Decide(Decision::DirectoryNotListed, below.path, failed);
        continue;
      }
      levels.push_back(std::move(below));  // `level` and `listed` are not used after this
      continue;
    }
    // A file, or a link, which is removed as a link: what it points to may
    // be anything on the machine and is never descended into.
    const journal::FileChange change = (listed.attributes & kAttrReparsePoint) != 0
                                           ? journal::FileChange::RemoveLink
                                           : journal::FileChange::DeleteFile;
    if (plan::Current() && !plan::MayDelete(entry, JoinFinalPath(level.path, listed.name), change, &listed))
      continue;
    if (long failed = entry.Dispose()) {
      Decide(Decision::EntryNotDeleted, JoinFinalPath(level.path, listed.name), failed);
      continue;
    }
    if (journal::Current()) journal::FileChanged(change, JoinFinalPath(level.path, listed.name));
    // Registrations name help files; a file that stayed keeps its own.
    // One that is not there is no failure: not every file is registered.
    if (!help.Valid() || IsDirectory(listed)) continue;
    if (!plan::MayDeleteValue(help, Root::LocalMachine, HelpRegistrationKey, listed.name)) continue;
    const long failed = help.DeleteValue(listed.name.c_str());
    if (failed == kSuccess)
      journal::ValueDeleted(Root::LocalMachine, HelpRegistrationKey, listed.name);
    else if (failed != kErrorFileNotFound)
      Decide(Decision::HelpRegistrationKept, JoinFinalPath(level.path, listed.name), failed);
  }
}

}  // namespace qf
