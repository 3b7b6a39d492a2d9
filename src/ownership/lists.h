// What the readers of the machine's lists share (installed_programs.cpp,
// profiles.cpp, foreign_directories.cpp): where a list is, how it is opened
// and walked, and how a value is read as installers write it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qf::lists {

// Where a list is: HKLM in one of its views (a 32-bit process sees only the
// 32-bit one unless it asks), or HKCU, which both views share.
struct Place {
  platform::Root root;
  uint32_t view;
};

// How reasons name the list at `path` in `place`: "HKLM\...\Uninstall
// (64-bit view)".
std::string Shown(const Place& place, const char* path);

// Opens the list at `path` as itself.  False, with the code, when it is there
// but cannot be opened or is reached through a link; true with no key open
// when it is not there, or is the 64-bit view's, read already.
bool OpenList(const Place& place, const char* path, platform::RegKey* list, long* code);

// Calls `each(name, entry)` with every entry of the open `list`, opened
// below it as itself with `view`; one that cannot be opened, or whose name
// cannot be carried, is passed over.  False, with the code, when the list
// cannot be enumerated to its end.
template <typename Each>
bool ForEachEntry(const platform::RegKey& list, uint32_t view, long* code, Each each) {
  for (uint32_t i = 0;; ++i) {
    std::string name;
    const long listed = list.SubkeyName(i, &name);
    if (listed == platform::kErrorNoMoreItems) return true;
    if (listed == platform::kErrorInvalidData) continue;
    if (listed != platform::kSuccess) {
      *code = listed;
      return false;
    }
    platform::RegKey entry;
    if (entry.Open(list, name.c_str(), platform::kKeyRead | view, platform::kOpenLink) == platform::kSuccess)
      each(name, entry);
  }
}

// How a value that names a directory or a program is read, as installers
// write it: the machine's own Program Files and Common Files (the 64-bit
// view's record), which a 32-bit process's environment names otherwise.
struct Expansion {
  std::string programFiles;  // "" when the machine records none
  std::string commonFiles;
  bool machineFolders = false;  // whether this list's %ProgramFiles% may name them
};

// The directories a path value names: blanks and surrounding quotes (a
// stray one at either end too) taken off; a text with a %NAME% expanded by
// the environment and, where `how.machineFolders`, once more with the
// machine's own folders for %ProgramFiles%, %CommonProgramFiles% and their
// W6432 names; each resolved, those that do not resolve dropped.
std::vector<std::string> PathsOf(std::string text, const Expansion& how);

// The directories of the program a command line or an icon's place names
// (App Paths' default value, DisplayIcon, UninstallString): the path in
// quotes, or up to the first ".exe" that ends a name, or the text without
// an icon's ",index"; then as PathsOf, each path's directory.  Nothing for
// the system's MsiExec.exe and rundll32.exe, which run other programs'
// uninstalls.
std::vector<std::string> ProgramDirsOf(std::string text, const Expansion& how);

}  // namespace qf::lists

namespace qf {

struct ForeignDir;

// The installed programs' directories (installed_programs.cpp), `installDir`
// being this product's own (its entries name nothing), and every other
// account's profile (profiles.cpp), `ownProfile` being the running
// account's.  False, with what could not be read and the code, when a list
// is there but cannot be opened or enumerated, or is reached through a link.
bool ReadInstalledPrograms(const lists::Expansion& machine, const std::string& installDir,
                           std::vector<ForeignDir>* dirs, std::string* what, long* code);
bool ReadProfiles(const std::string& ownProfile, std::vector<ForeignDir>* dirs, std::string* what,
                  long* code);

}  // namespace qf
