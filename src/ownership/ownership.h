// Whose a directory is: the one rule that decides whether the root a record
// names may be emptied as the component's own.
//
// The threat: a record in HKLM can be wrong without anyone meaning harm
// (another product's installer, an older version, a repair gone wrong, a
// hand edit).  A RootDir that names, holds or lies in a directory of
// someone else would have the pass delete another program, another
// account's documents, the shared area or the system's files.
//
// The rule: a last holder's verified root is refused when it is, holds, or
// (for the Windows directory and another account's profile) lies in a
// directory the machine says belongs to someone else; an entry of the
// machine's lists that names nothing usable is passed over and never stops
// a release.  Someone else's directories are, in this order:
// - the Windows directory (at or below it), the system's and this account's
//   temporary folders;
// - the system's known folders and the directories the uninstall runs from
//   (platform::KeptFolders), this account's Programs folders where Local
//   AppData has them, and the machine's own Program Files and Common Files
//   (the 64-bit view's record of them);
// - every other account's profile (ProfileList, and the Default profile):
//   at, above or below it;
// - every installed program's directory as the system lists it (uninstall
//   entries in both views and HKCU, App Paths, the packaged apps' root),
//   values read as installers write them (see installed_programs.cpp);
// - the shared area's directory and every other component's root but one
//   this pass releases as its last holder (own_root.cpp).
// Directories are compared by what they are, not how they are written: the
// root's final path, on a local disk, against each of these as written and
// as its final path.  A list or folder of the system's that cannot be read
// keeps every root; one entry of a list that cannot be told is passed over,
// and an entry on a network share or a removable drive is compared by its
// text alone, never opened.  Beyond these, a RootDir is taken at its word:
// only an administrator can write the records.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/decisions.h"

namespace qf {

// Whether the directory `ancestor` is `path` (0) or one of its ancestors (1);
// -1 for neither.  Names compare as Windows compares them; a trailing
// separator on either is no name.
int IsAtOrAbove(std::string ancestor, std::string path);

// A directory that is someone else's: the decision that refuses a root
// that is or holds it, how that decision names it, and its path as its
// list or the system gives it.  `inside`: the decision for a root that lies
// in it (Decision::kCount: a root may lie in it); `above`: whether a root
// may not hold it.  `entry`: it comes from one entry of a machine's list,
// so that what cannot be told of it passes it over rather than keeping
// every root.
struct ForeignDir {
  Decision decision;
  std::string detail;
  std::string path;
  Decision inside = Decision::kCount;
  bool above = true;
  bool entry = false;
};

// Every directory a component's root must not be or hold but for the
// shared area's records, in the order of the rule above, each as its list or
// the system gives it (what each leads to is learnt by whoever compares).
// False, with what could not be read and the code, when a folder of the
// system's or a whole list cannot be.  The pass and the preview's reading of
// the machine both list them here.
// With `systemsOnly`, all but the installed programs' directories.
bool ListForeignDirectories(std::vector<ForeignDir>* dirs, std::string* what, long* code,
                            bool systemsOnly = false);

// What one uninstall pass learns once and the releases of its components
// share: which components it releases, which it has released so far, and
// the foreign directories, read on the first root that needs them and kept
// for the rest of the pass.
class PassRoots {
 public:
  PassRoots() = default;
  // `flagged`: the components this pass releases (FlaggedComponents()).
  explicit PassRoots(std::vector<std::string> flagged) : flagged_(std::move(flagged)) {}

  bool Flagged(const std::string& name) const;
  // Whether this pass is done with releasing `name`, whatever came of it.
  bool Released(const std::string& name) const;
  void MarkReleased(const std::string& name);
  // Whether the release of `name` may be put off (again): not when it was
  // put off before and no release was done since, so that the releases
  // that hold each other's roots end.
  bool MayPutOff(const std::string& name) const;
  void MarkPutOff(const std::string& name);

  // A directory with every name it goes by (as written and what it leads
  // to, see own_root.cpp).
  struct Named {
    ForeignDir dir;
    std::vector<std::string> names;
  };
  // The foreign directories, learnt on the first call, when each entry
  // that names nothing that can be told is passed over, with a decision
  // about `componentName`.  False, with what could not be learnt, when any
  // other cannot be.
  bool Others(const std::string& componentName, const std::vector<Named>** others, std::string* what,
              long* code);

 private:
  std::vector<std::string> flagged_;
  std::vector<std::string> released_;
  std::vector<std::pair<std::string, size_t>> putOff_;  // with how many were released then
  bool learnt_ = false;
  std::vector<Named> others_;
  std::string unknownWhat_;
  long unknownCode_ = 0;
};

enum class RootVerdict {
  Own,     // the component's own: it may be emptied
  NotOwn,  // someone else's, or that cannot be told: the decision is made
  Later,   // another component this pass releases must go first
};

// Whether the verified root `finalRoot` of the last holder `componentName`
// is the component's own by the rule above.  When it is not, or that
// cannot be told, the decision is made: the component stays as it is.
// Later when it holds the root of a component `pass` has yet to release,
// or lies in the help component's root while that is yet to be released
// (its help files go with their registrations).
RootVerdict RootIsOwn(const std::string& componentName, const std::string& finalRoot,
                      PassRoots& pass);

// Whether the shared area's verified, empty directory may go: false, with
// the decision made, when it is a folder the system or the uninstall keeps,
// or lies on no local disk.
bool AreaDirIsOwn(const std::string& finalPath);

// Whether the directory `finalPath` (the final path of a verified
// directory) lies clear of every directory the pass may remove or empty:
// the shared area's directory (SharedFilesDir) and the root of every
// component recorded under SharedKey, flagged by this product or not,
// whatever its count, each compared by what it is, not how it is written.
// False when it is or lies inside one, or when that cannot be told;
// `*why` then says which, or what could not be read.
bool ClearOfThePass(const std::string& finalPath, std::string* why);

}  // namespace qf
