#include <vector>

#include "common/paths.h"
#include "common/schema.h"
#include "platform/platform.h"
#include "shared/shared.h"

namespace qf {
namespace {

using namespace platform;

// Opens the entry `listed` of `dir` as itself and checks, through the handle
// it will be deleted by, that it is what was listed: the same id, the same
// kind, and the final path `dirPath` + "\" + its name.  Anything else was
// changed after the listing (a directory swapped for a link, say) and is
// left alone with everything below it.
bool OpenListedEntry(const FileHandle& dir, const std::string& dirPath, const DirEntry& listed,
                     FileHandle* entry, FileFacts* facts) {
  const bool directory = (listed.attributes & kAttrDirectory) != 0;
  long opened = entry->OpenBelow(dir, listed.name, directory ? FileAccess::ListAndDelete
                                                             : FileAccess::Delete);
  // A directory that cannot be opened for deletion (another process's
  // current directory) is still emptied, as far as it can be.
  if (opened != kSuccess && directory)
    opened = entry->OpenBelow(dir, listed.name, FileAccess::List);
  if (opened != kSuccess || entry->Facts(facts) != kSuccess) return false;
  constexpr uint32_t kKind = kAttrDirectory | kAttrReparsePoint;
  return facts->id == listed.id && (facts->attributes & kKind) == (listed.attributes & kKind) &&
         SameName(facts->finalPath, JoinFinalPath(dirPath, listed.name));
}

}  // namespace

// Every entry is reached through its parent's handle, never by a path, so
// neither the depth of the tree nor the process's current directory matters,
// and the current directory is never changed.
void EmptyDirectory(const FileHandle& dir, const std::string& dirPath,
                    const std::string& componentName) {
  // Help registrations belong to the help component only (exact name).
  RegKey help;
  if (componentName == kHelpComponent)
    BestEffort(help.Open(Root::LocalMachine, HelpRegistrationKey, kKeyAllAccess));

  std::vector<DirEntry> entries;
  if (dir.List(&entries) != kSuccess) return;
  for (const DirEntry& listed : entries) {
    if (listed.name == "." || listed.name == "..") continue;
    FileHandle entry;
    FileFacts facts;
    if (!OpenListedEntry(dir, dirPath, listed, &entry, &facts)) continue;

    if ((listed.attributes & kAttrDirectory) != 0) {
      // A directory link is removed as a link: what it points to may be
      // anything on the machine and is never descended into.
      if ((facts.attributes & kAttrReparsePoint) == 0)
        EmptyDirectory(entry, facts.finalPath, componentName);
      BestEffort(entry.Dispose());
    } else if (entry.Dispose() == kSuccess && help.Valid()) {
      // Registrations name help files; a file that stayed keeps its own.
      BestEffort(help.DeleteValue(listed.name.c_str()));
    }
  }
}

void DeleteDirectoryContents(const std::string& dirPath, const std::string& componentName) {
  FileHandle dir;
  std::string finalPath;
  if (OpenCheckedRoot(dirPath, ResolveAbsolutePath(dirPath), &dir, &finalPath) ==
      RootCheck::Verified)
    EmptyDirectory(dir, finalPath, componentName);
}

}  // namespace qf
