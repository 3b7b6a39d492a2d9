// What one uninstall pass learns once and the releases of its components
// share: which components it releases, which it has released so far, and
// the directories of the system and of the other programs installed here,
// which no component's root may be or hold.  Those are read from the
// system's keys on the first root that needs them, and kept for the rest of
// the pass: a pass reads them once, however many components it releases.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/decisions.h"

namespace qf {

// A directory that is someone else's: the decision that refuses a root that
// is or holds it, how that decision names it, and its path as its key or
// the system gives it.
struct ForeignDir {
  Decision decision;
  std::string detail;
  std::string path;
};

// The directories of the programs the system lists as installed, as their
// keys name them, in this order: every uninstall entry's InstallLocation
// (HKLM in its 64-bit and 32-bit views, then HKCU), every App Paths entry's
// directory (its default value's, the program, and each of its Path), both
// alike; the packaged apps' root (HKLM's Appx, PackageRoot).  Every key is
// reached from its hive's root one name at a time, as itself.  An entry
// that cannot be opened, or whose value is absent, empty, relative or
// unreadable, names nothing; so does a list that is not there.  Fails, with
// what could not be read and the code, when a list is there but cannot be
// opened or enumerated, or is reached through a link.
bool ReadOtherPrograms(std::vector<ForeignDir>* dirs, std::string* what, long* code);

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
  // The Windows directory (a root may not lie at or below it), then the
  // temporary folders and the other programs' directories, learnt on the
  // first call.  False, with what could not be learnt, when any cannot be.
  bool Others(const std::vector<Named>** others, std::string* what, long* code);

 private:
  std::vector<std::string> flagged_;
  std::vector<std::string> released_;
  std::vector<std::pair<std::string, size_t>> putOff_;  // with how many were released then
  bool learnt_ = false;
  std::vector<Named> others_;
  std::string unknownWhat_;
  long unknownCode_ = 0;
};

}  // namespace qf
