#include "common/locations.h"
#include "common/paths.h"
#include "platform/platform.h"
#include "shared/shared.h"

namespace qf {

using namespace platform;

// Entries are deleted by their full path, and the process's current directory
// is never changed: a bare name could resolve outside `dirPath` whenever the
// directory could not be made current, and a current directory that could not
// be restored afterwards would be lost to the host.
void DeleteDirectoryContents(const std::string& dirPath, const std::string& componentName) {
  // Help registrations belong to the help component only (exact name).
  RegKey help;
  if (componentName == "MSHelp")
    help.Open(Root::LocalMachine, HelpRegistrationKey, kKeyAllAccess);

  FileFind listing;
  FileEntry entry;
  if (listing.Start(JoinPath(dirPath, "*.*").c_str(), &entry) != kSuccess) return;
  do {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string path = JoinPath(dirPath, entry.name);
    const bool directory = (entry.attributes & kAttrDirectory) != 0;
    const bool link = (entry.attributes & kAttrReparsePoint) != 0;

    if (directory) {
      // A directory link is removed as a link: what it points to may be
      // anything on the machine and is never descended into.
      if (!link) DeleteDirectoryContents(path, componentName);
      RemoveDir(path.c_str());
    } else if (EraseFile(path.c_str()) == kSuccess && help.Valid()) {
      // Registrations name help files; a file that stayed keeps its own.
      help.DeleteValue(entry.name.c_str());
    }
  } while (listing.Next(&entry) == kSuccess);
}

}  // namespace qf
