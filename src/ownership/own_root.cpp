// Whether a directory a record names is the component's own, before it is
// emptied (ownership.h has the rule): the records of the shared area first,
// then what the machine says is someone else's, each compared by what it is
// (its final path, links followed) rather than how it is written.
#include <set>
#include <utility>

#include "common/paths.h"
#include "common/schema.h"
#include "journal/journal.h"
#include "linkproof/linkproof.h"
#include "ownership/ownership.h"
#include "shared/shared.h"

namespace qf {
namespace {

using namespace platform;

// Something a root must never be or hold: the decision that refuses it,
// how that names it, and where it is as its record or the system gives it.
// `releasedLater`: the root of a component this pass has yet to release as
// its last holder, which a root may hold once that release is done; `help`:
// that component is the help component, whose root a root may not lie in
// either until then (its help files go with their registrations);
// `emptiedWith`: the root being checked is the help component's, which may
// hold it and empty it first, unless a link leads there (its own release
// would refuse it).
struct Foreign {
  Decision decision;
  std::string detail;
  std::string path;
  bool releasedLater = false;
  bool help = false;
  bool emptiedWith = false;
};

// Whether `names` (NamesOf) are one name: no link, no 8.3 name on the way.
bool OneName(const std::vector<std::string>& names) {
  for (const std::string& name : names)
    if (IsAtOrAbove(name, names.front()) != 0) return false;
  return true;
}

// What could not be learnt, and the code of the call that failed.
struct Unknown {
  std::string what;
  long code = kSuccess;
};

// A path the file calls do not take whole (longer than they allow) is named
// by an ancestor they do take, like one that is not there.
bool NamedByAncestor(long result) { return IsAbsent(result) || result == kErrorFilenameTooLong; }

// The names `path` goes by: its path as the system resolves it, and what it
// leads to (its final path, links on the way and at its end followed).  A
// directory that is not there (yet) is named by what its nearest ancestor
// that is there leads to, with the names below as written, so that neither
// an 8.3 name nor a link on the way hides it.  A path that does not resolve
// names nothing a root could be or hold.  Fails with the code when a
// directory is there but what it leads to cannot be learnt.
long NamesOf(const std::string& path, std::vector<std::string>* names) {
  std::string at = ResolveAbsolutePath(path);
  if (at.empty()) return kSuccess;
  names->push_back(at);
  std::string below;
  for (;;) {
    std::string target;
    const long found = TargetFinalPath(at.c_str(), &target);
    if (found == kSuccess) {
      names->push_back(JoinFinalPath(target, below));
      return kSuccess;
    }
    if (!NamedByAncestor(found)) return found;
    std::string name;
    if (!SplitParent(std::string(at), &at, &name)) return kSuccess;
    below = below.empty() ? name : name + "\\" + below;
  }
}

// Whether the record's UseCount says this product is its last holder, read
// as the release reads it: a REG_DWORD of four bytes, or a text.
bool ReadsLastHolder(const RegKey& record) {
  uint32_t type = 0;
  std::string data, text;
  if (record.ReadValue(UseCount, FlagCapacity, &type, &data) != kSuccess) return false;
  if (type == kRegDword) {
    if (data.size() != 4) return false;
    uint32_t raw = 0;
    for (size_t i = 0; i < 4; ++i) raw |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    return static_cast<int32_t>(raw) <= 1;
  }
  return ValueText(type, data, &text) == kSuccess && ParseUseCount(text) <= 1;
}

// The directories the shared area's key names other than `componentName`'s
// root: the area's own and every other component's, flagged by this product
// or not, whatever its count.  With `pass`, a component that pass releases
// as its last holder (flagged, and its count read now says so) is no one
// else's: its root is left out once released, or when `componentName` may
// not be put off again, and marked to be released first otherwise.
bool AddRecordedDirectories(const std::string& componentName, std::vector<Foreign>* foreign,
                            Unknown* unknown, const PassRoots* pass = nullptr) {
  RegKey shared;
  // The key opens as itself: were it a link, or one that cannot be told
  // from a link, nothing below it would be what the area's records say.
  long opened = OpenKeyAsItself(Root::LocalMachine, SharedKey, kKeyRead, &shared);
  if (opened == kSuccess && IsKeyLink(shared)) opened = kErrorCantResolveFilename;
  if (opened != kSuccess) {
    *unknown = {"the shared area's key", opened};
    return false;
  }
  std::string dir;
  const long area = shared.ReadText(SharedFilesDir, SharedFilesDirCapacity, &dir);
  if (area == kSuccess) foreign->push_back({Decision::RootHoldsArea, dir, dir});
  if (area != kSuccess && !IsAbsent(area)) {
    *unknown = {"the shared area's directory", area};
    return false;
  }
  for (uint32_t i = 0;; ++i) {
    std::string name;
    const long listed = shared.SubkeyName(i, &name);
    if (listed == kErrorNoMoreItems) return true;
    if (listed != kSuccess) {
      *unknown = {"the components of the shared area", listed};
      return false;
    }
    if (SameName(name, componentName)) continue;
    // A record that is a link is another product's key elsewhere: it names
    // no directory of its own, and nothing behind it is read.
    RegKey record;
    std::string root;
    long read = OpenKeyBelow(Root::LocalMachine, &shared, name, kKeyRead, &record);
    if (read == kSuccess) read = record.ReadText(RootDir, RootDirCapacity, &root);
    // One whose release this pass is done with and whose record is still
    // here kept its root (refused, or left unchecked): it holds like any
    // other's, or its files would go with this root.
    // The help component goes before any other this pass releases, so
    // that it empties whatever of theirs lies in its root.
    if (read == kSuccess && pass && pass->Flagged(name) && !pass->Released(name) && ReadsLastHolder(record)) {
      if (!pass->MayPutOff(componentName)) continue;
      foreign->push_back({Decision::RootHoldsComponent, name + " at " + root, root, true,
                          SameName(name, HelpComponent), SameName(componentName, HelpComponent)});
      continue;
    }
    if (read == kSuccess) foreign->push_back({Decision::RootHoldsComponent, name + " at " + root, root});
    if (read != kSuccess && !IsAbsent(read)) {
      *unknown = {"the RootDir of " + name, read};
      return false;
    }
  }
}

// The first of `foreign` that the directory `root` is or holds, with
// `*holds` telling which; null for none.  One released later by this pass
// is passed over, and `*heldLater` tells whether the root holds one.  False
// when a foreign directory is there but cannot be told apart.  One the
// pass releases later is held also when it is the help component's and
// `root` lies in it.
bool FindHeld(const std::string& root, const std::vector<Foreign>& foreign, const Foreign** held,
              int* holds, Unknown* unknown, bool* heldLater = nullptr) {
  *held = nullptr;
  for (const Foreign& other : foreign) {
    std::vector<std::string> names;
    if (long failed = NamesOf(other.path, &names)) {
      *unknown = {other.detail, failed};
      return false;
    }
    if (other.emptiedWith && OneName(names)) continue;
    for (const std::string& name : names) {
      const int at = IsAtOrAbove(root, name);
      if (other.releasedLater && (at >= 0 || (other.help && IsAtOrAbove(name, root) >= 0))) {
        if (heldLater) *heldLater = true;
        break;
      }
      if (at < 0 || other.releasedLater) continue;
      *holds = at;
      *held = &other;
      return true;
    }
  }
  return true;
}

// What of the foreign directories `others` refuses `root`, with `*holds`:
// 0 when the root is it, 1 when it holds it or, for one it may not lie in,
// lies in it (then the decision is `inside`, 2 for a profile); null for none.
const PassRoots::Named* FindOther(const std::string& root, const std::vector<PassRoots::Named>& others,
                                  int* holds) {
  for (const PassRoots::Named& other : others) {
    for (const std::string& name : other.names) {
      const int above = IsAtOrAbove(root, name);
      if (above == 0 || (above == 1 && other.dir.above)) return *holds = above, &other;
      if (other.dir.inside != Decision::kCount && IsAtOrAbove(name, root) == 1)
        return *holds = other.dir.inside == Decision::RootInProfile ? 2 : 1, &other;
    }
  }
  return nullptr;
}

// Decides the refusal of the root of `subject` by `other`, as FindOther
// found it.
void DecideOther(const std::string& subject, const PassRoots::Named& other, int holds) {
  const Decision decision = holds == 2 || (holds == 1 && !other.dir.above) ? other.dir.inside : other.dir.decision;
  Decide(decision, subject, holds, 0, other.dir.detail);
}

// An entry of a list that names no directory that can be told, and why.
struct PassedOver {
  std::string entry;
  long code = 0;
};

// The names of `dir` (NamesOf), but only its text for one that is not on a
// local disk: nothing of another's on a share or a removable drive is
// opened, which may wait on a network or a drive without its disc.  False
// with the code when what it leads to cannot be learnt.
long NamesOfForeign(const ForeignDir& dir, std::vector<std::string>* names) {
  const std::string resolved = ResolveAbsolutePath(dir.path);
  if (!resolved.empty() && !IsLocalDisk(resolved)) {
    names->push_back(resolved);
    return kSuccess;
  }
  return NamesOf(dir.path, names);
}

// The foreign directories with their names.  An entry of a list whose
// directory cannot be told is kept by its text alone and passed over;
// false, with what could not be learnt, when any other cannot be.
bool NameForeignDirectories(std::vector<PassRoots::Named>* named, std::vector<PassedOver>* passedOver,
                            std::string* what, long* code, bool systemsOnly = false) {
  std::vector<ForeignDir> dirs;
  if (!ListForeignDirectories(&dirs, what, code, systemsOnly)) return false;
  // On 32-bit Windows both registry views are one: each entry is read twice.
  std::set<std::pair<std::string, std::string>> seen;
  for (ForeignDir& dir : dirs) {
    if (!seen.emplace(dir.detail, dir.path).second) continue;
    PassRoots::Named one{std::move(dir), {}};
    if (const long failed = NamesOfForeign(one.dir, &one.names)) {
      if (!one.dir.entry) {
        *what = one.dir.detail;
        *code = failed;
        return false;
      }
      one.names = {ResolveAbsolutePath(one.dir.path)};
      passedOver->push_back({one.dir.detail, failed});
    }
    named->push_back(std::move(one));
  }
  return true;
}

}  // namespace

int IsAtOrAbove(std::string ancestor, std::string path) {
  for (std::string* text : {&ancestor, &path})
    while (text->size() > RootLength(*text) && text->back() == '\\') text->pop_back();
  if (SameName(path, ancestor)) return 0;
  // A drive's root ("C:\\") keeps its separator: it holds whatever begins with it.
  if (ancestor.size() == RootLength(ancestor) && ancestor.back() == '\\')
    return SameName(std::string_view(path).substr(0, ancestor.size()), ancestor) ? 1 : -1;
  for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
    if (SameName(std::string_view(path).substr(0, at), ancestor)) return 1;
  return -1;
}

bool PassRoots::Flagged(const std::string& name) const {
  for (const std::string& flagged : flagged_)
    if (SameName(flagged, name)) return true;
  return false;
}

bool PassRoots::Released(const std::string& name) const {
  for (const std::string& released : released_)
    if (SameName(released, name)) return true;
  return false;
}

bool PassRoots::MayPutOff(const std::string& name) const {
  for (const auto& [putOff, released] : putOff_)
    if (SameName(putOff, name) && released == released_.size()) return false;
  return true;
}

void PassRoots::MarkReleased(const std::string& name) { released_.push_back(name); }
void PassRoots::MarkPutOff(const std::string& name) { putOff_.emplace_back(name, released_.size()); }

bool PassRoots::Others(const std::string& componentName, const std::vector<Named>** others,
                       std::string* what, long* code) {
  if (!learnt_) {
    learnt_ = true;
    std::vector<PassedOver> passedOver;
    if (!NameForeignDirectories(&others_, &passedOver, &unknownWhat_, &unknownCode_)) others_.clear();
    for (const PassedOver& entry : passedOver)
      Decide(Decision::EntryPassedOver, componentName, entry.code, 0, entry.entry);
  }
  *others = &others_;
  *what = unknownWhat_;
  *code = unknownCode_;
  return unknownCode_ == kSuccess;
}

RootVerdict RootIsOwn(const std::string& componentName, const std::string& finalRoot,
                      PassRoots& pass) {
  // Only a local disk's paths name one directory by one final path: a share
  // (\\localhost\C$\...) reaches the same directories by other names.
  if (!IsLocalDisk(finalRoot)) {
    Decide(Decision::RootNotLocal, componentName, 0, 0, finalRoot);
    return RootVerdict::NotOwn;
  }
  std::vector<Foreign> foreign;
  Unknown unknown;
  const Foreign* held = nullptr;
  int holds = 0;
  bool heldLater = false;
  const std::vector<PassRoots::Named>* others = nullptr;
  if (!AddRecordedDirectories(componentName, &foreign, &unknown, &pass) ||
      !FindHeld(finalRoot, foreign, &held, &holds, &unknown, &heldLater) ||
      (!held && !pass.Others(componentName, &others, &unknown.what, &unknown.code))) {
    Decide(Decision::RootUnchecked, componentName, unknown.code, 0, unknown.what);
    return RootVerdict::NotOwn;
  }
  if (held) {
    Decide(held->decision, componentName, holds, 0, held->detail);
    return RootVerdict::NotOwn;
  }
  if (const PassRoots::Named* other = FindOther(finalRoot, *others, &holds)) {
    DecideOther(componentName, *other, holds);
    return RootVerdict::NotOwn;
  }
  return heldLater ? RootVerdict::Later : RootVerdict::Own;
}

bool ClearOfThePass(const std::string& finalPath, std::string* why) {
  std::vector<Foreign> foreign;
  Unknown unknown;
  // No shared area's key: no directory recorded that the pass could reach.
  if (!AddRecordedDirectories("", &foreign, &unknown) && !(foreign.empty() && IsAbsent(unknown.code))) {
    *why = "cannot tell whether it lies in a directory the uninstall removes or empties: " +
           unknown.what + " cannot be read (error " + std::to_string(unknown.code) + ")";
    return false;
  }
  for (const Foreign& dir : foreign) {
    std::vector<std::string> names;
    if (long failed = NamesOf(dir.path, &names)) {
      *why = "cannot tell whether it lies in " + dir.path + " (error " + std::to_string(failed) + ")";
      return false;
    }
    for (const std::string& name : names) {
      const int at = IsAtOrAbove(name, finalPath);
      if (at < 0) continue;
      *why = std::string(at == 0 ? "it is " : "it lies in ") +
             (dir.decision == Decision::RootHoldsArea ? "the shared area's directory " + dir.detail
                                                      : "the root of the component " + dir.detail) +
             ", which the uninstall may remove or empty";
      return false;
    }
  }
  return true;
}

bool AreaDirIsOwn(const std::string& finalPath) {
  // As for a root: only a local disk's paths name it by one final path.
  if (!IsLocalDisk(finalPath)) {
    Decide(Decision::AreaDirKept, finalPath, 0);
    return false;
  }
  std::vector<PassRoots::Named> others;
  std::vector<PassedOver> passedOver;
  Unknown unknown;
  int holds = 0;
  if (!NameForeignDirectories(&others, &passedOver, &unknown.what, &unknown.code, /*systemsOnly=*/true)) {
    Decide(Decision::AreaDirKept, finalPath, unknown.code);
    return false;
  }
  const PassRoots::Named* other = FindOther(finalPath, others, &holds);
  if (!other) return true;
  Decide(Decision::AreaDirIsFolder, finalPath, holds, 0, other->dir.detail);
  return false;
}

}  // namespace qf
