// Whether a directory a record names is the component's own, before it is
// emptied.  A record in HKLM can be wrong without anyone meaning harm
// (another product's installer, an older version, a repair gone wrong, a
// hand edit): a RootDir naming a real directory that holds more than the
// component would have the pass delete another product's component, the
// shared area, the uninstaller's own files or a folder of the user's.  So a
// verified root is held against everything it must never be or hold, each
// compared by what it is (its final path, links followed) rather than how
// it is written.  Whatever cannot be told keeps the files.
#include "common/paths.h"
#include "common/schema.h"
#include "journal/journal.h"
#include "linkproof/linkproof.h"
#include "shared/pass_roots.h"
#include "shared/shared.h"

namespace qf {
namespace {

using namespace platform;

// Something a root must never be or hold: the decision that refuses it,
// how that names it, and where it is as its record or the system gives it.
// `releasedLater`: the root of a component this pass has yet to release as
// its last holder, which a root may hold once that release is done.
struct Foreign {
  Decision decision;
  std::string detail;
  std::string path;
  bool releasedLater = false;
};

// What could not be learnt, and the code of the call that failed.
struct Unknown {
  std::string what;
  long code = kSuccess;
};

bool IsAbsent(long result) {
  return result == kErrorFileNotFound || result == kErrorPathNotFound;
}

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

// Whether the directory `root` is the one `name` names (0), or one of its
// ancestors (1); -1 for neither.  A trailing separator on either is no name.
int RootHolds(std::string root, std::string name) {
  for (std::string* path : {&root, &name})
    while (path->size() > RootLength(*path) && path->back() == '\\') path->pop_back();
  if (SameName(name, root)) return 0;
  for (size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1))
    if (SameName(std::string_view(name).substr(0, at), root)) return 1;
  return -1;
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
    if (read == kSuccess && pass && pass->Flagged(name) && !pass->Released(name) && ReadsLastHolder(record)) {
      if (!pass->MayPutOff(componentName)) continue;
      foreign->push_back({Decision::RootHoldsComponent, name + " at " + root, root, true});
      continue;
    }
    if (read == kSuccess) foreign->push_back({Decision::RootHoldsComponent, name + " at " + root, root});
    if (read != kSuccess && !IsAbsent(read)) {
      *unknown = {"the RootDir of " + name, read};
      return false;
    }
  }
}

// The machine's own Program Files and Common Files, as the system records
// them in the 64-bit registry view.  A 32-bit process on 64-bit Windows is
// given the (x86) folders for both of its Program Files known folders and
// refused the 64-bit ones, so these are learnt here; on 32-bit Windows they
// name the known folders again.  A value that is not there names nothing.
bool AddMachineFolders(std::vector<Foreign>* foreign, Unknown* unknown) {
  RegKey key;
  long opened = OpenKeyAsItself(Root::LocalMachine, WindowsVersionKey, kKeyRead, &key, kKeyView64);
  if (opened == kSuccess && IsKeyLink(key)) opened = kErrorCantResolveFilename;
  if (IsAbsent(opened)) return true;
  if (opened != kSuccess) {
    *unknown = {"the machine's folders", opened};
    return false;
  }
  for (const MachineFolder& folder : MachineFolders) {
    std::string path;
    const long read = key.ReadText(folder.value, MachineFolderCapacity, &path);
    if (IsAbsent(read)) continue;
    if (read != kSuccess) {
      *unknown = {std::string("the machine's ") + folder.name + " folder", read};
      return false;
    }
    foreign->push_back({Decision::RootHoldsFolder,
                        std::string("the machine's ") + folder.name + " folder " + path, path});
  }
  return true;
}

bool AddKeptFolders(std::vector<Foreign>* foreign, Unknown* unknown) {
  std::vector<KeptFolder> folders;
  if (long failed = KeptFolders(&folders)) {
    *unknown = {"the system's folders", failed};
    return false;
  }
  for (KeptFolder& folder : folders)
    foreign->push_back({Decision::RootHoldsFolder, folder.what + " " + folder.path, folder.path});
  return AddMachineFolders(foreign, unknown);
}

// The first of `foreign` that the directory `root` is or holds, with
// `*holds` telling which; null for none.  One released later by this pass
// is passed over, and `*heldLater` tells whether the root holds one.  False
// when a foreign directory is there but cannot be told apart.
bool FindHeld(const std::string& root, const std::vector<Foreign>& foreign, const Foreign** held,
              int* holds, Unknown* unknown, bool* heldLater = nullptr) {
  *held = nullptr;
  for (const Foreign& other : foreign) {
    std::vector<std::string> names;
    if (long failed = NamesOf(other.path, &names)) {
      *unknown = {other.detail, failed};
      return false;
    }
    for (const std::string& name : names) {
      const int at = RootHolds(root, name);
      if (at < 0) continue;
      if (other.releasedLater) {
        if (heldLater) *heldLater = true;
        break;
      }
      *holds = at;
      *held = &other;
      return true;
    }
  }
  return true;
}

// What of the pass's others `root` is or holds (the Windows directory: lies
// at or below), with `*holds` as FindHeld gives it; null for none.
const PassRoots::Named* FindOther(const std::string& root, const std::vector<PassRoots::Named>& others,
                                  int* holds) {
  for (const PassRoots::Named& other : others) {
    for (const std::string& name : other.names) {
      const bool below = other.dir.decision == Decision::RootBelowWindows;
      *holds = below ? RootHolds(name, root) : RootHolds(root, name);
      if (*holds >= 0) return &other;
    }
  }
  return nullptr;
}

}  // namespace

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

bool PassRoots::Others(const std::vector<Named>** others, std::string* what, long* code) {
  if (!learnt_) {
    learnt_ = true;
    std::string windows, temp;
    std::vector<ForeignDir> dirs;
    long failed = WindowsDir(&windows);
    if (failed != kSuccess) unknownWhat_ = "the Windows directory";
    if (failed == kSuccess && (failed = TempDir(&temp)) != kSuccess)
      unknownWhat_ = "the account's temporary folder";
    if (failed == kSuccess) {
      dirs = {{Decision::RootBelowWindows, windows, windows},
              {Decision::RootHoldsFolder, "the system's temporary folder " + JoinPath(windows, "Temp"),
               JoinPath(windows, "Temp")},
              {Decision::RootHoldsFolder, "this account's temporary folder " + temp, temp}};
      if (!ReadOtherPrograms(&dirs, &unknownWhat_, &failed)) dirs.clear();
    }
    for (ForeignDir& dir : dirs) {
      Named named{std::move(dir), {}};
      if (failed == kSuccess && (failed = NamesOf(named.dir.path, &named.names)) != kSuccess)
        unknownWhat_ = named.dir.detail;
      others_.push_back(std::move(named));
    }
    unknownCode_ = failed;
  }
  *others = &others_;
  *what = unknownWhat_;
  *code = unknownCode_;
  return unknownCode_ == kSuccess;
}

RootVerdict RootIsOwn(const std::string& componentName, const std::string& finalRoot,
                      PassRoots& pass) {
  std::vector<Foreign> foreign;
  Unknown unknown;
  const Foreign* held = nullptr;
  int holds = 0;
  bool heldLater = false;
  const std::vector<PassRoots::Named>* others = nullptr;
  if (!AddRecordedDirectories(componentName, &foreign, &unknown, &pass) ||
      !AddKeptFolders(&foreign, &unknown) ||
      !FindHeld(finalRoot, foreign, &held, &holds, &unknown, &heldLater) ||
      (!held && !pass.Others(&others, &unknown.what, &unknown.code))) {
    Decide(Decision::RootUnchecked, componentName, unknown.code, 0, unknown.what);
    return RootVerdict::NotOwn;
  }
  if (held) {
    Decide(held->decision, componentName, holds, 0, held->detail);
    return RootVerdict::NotOwn;
  }
  if (const PassRoots::Named* other = FindOther(finalRoot, *others, &holds)) {
    Decide(other->dir.decision, componentName, holds, 0, other->dir.detail);
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
      const int at = RootHolds(name, finalPath);
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
  std::vector<Foreign> foreign;
  Unknown unknown;
  const Foreign* held = nullptr;
  int holds = 0;
  if (!AddKeptFolders(&foreign, &unknown) || !FindHeld(finalPath, foreign, &held, &holds, &unknown)) {
    Decide(Decision::AreaDirKept, finalPath, unknown.code);
    return false;
  }
  if (!held) return true;
  Decide(Decision::AreaDirIsFolder, finalPath, holds, 0, held->detail);
  return false;
}

}  // namespace qf
