// The one list of what is someone else's, as the machine names it, for the
// pass and for the preview's reading of the machine alike (ownership.h has
// the rule and its order).
#include "common/paths.h"
#include "common/schema.h"
#include "linkproof/linkproof.h"
#include "ownership/lists.h"
#include "ownership/ownership.h"

namespace qf {
namespace {

using namespace platform;

// What could not be learnt: false, with it said.
bool Unknown(const std::string& which, long failed, std::string* what, long* code) {
  *what = which;
  *code = failed;
  return false;
}

std::string FolderPath(const std::vector<KeptFolder>& folders, const char* what) {
  for (const KeptFolder& folder : folders)
    if (folder.what == what) return folder.path;
  return {};
}

// The machine's own Program Files and Common Files, as the system records
// them in the 64-bit registry view.  A 32-bit process on 64-bit Windows is
// given the (x86) folders for both of its Program Files known folders and
// refused the 64-bit ones, so these are learnt here; on 32-bit Windows they
// name the known folders again.  A value that is not there names nothing.
bool AddMachineFolders(std::vector<ForeignDir>* dirs, lists::Expansion* machine, std::string* what,
                       long* code) {
  RegKey key;
  long opened = OpenKeyAsItself(Root::LocalMachine, WindowsVersionKey, kKeyRead, &key, kKeyView64);
  if (opened == kSuccess && IsKeyLink(key)) opened = kErrorCantResolveFilename;
  if (IsAbsent(opened)) return true;
  if (opened != kSuccess) return Unknown("the machine's folders", opened, what, code);
  for (const MachineFolder& folder : MachineFolders) {
    std::string path;
    const long read = key.ReadText(folder.value, MachineFolderCapacity, &path);
    if (IsAbsent(read)) continue;
    if (read != kSuccess) return Unknown(std::string("the machine's ") + folder.name + " folder", read, what, code);
    dirs->push_back({Decision::RootHoldsFolder, std::string("the machine's ") + folder.name + " folder " + path, path});
    // The first of each that the machine records (the W6432 names come
    // first, and Wine has none) is what %ProgramFiles% names for it.
    const std::string_view name = folder.name;
    std::string* named = name == "Program Files" ? &machine->programFiles
                         : name == "Common Files" ? &machine->commonFiles
                                                  : nullptr;
    if (named && named->empty()) *named = path;
  }
  return true;
}

// This product's InstallDir, when it names a directory of its own: one that
// is or holds a folder of the system's or another account's would make other
// programs' entries look like this product's.  The uninstaller runs from it.
std::string OwnInstallDir(const std::vector<ForeignDir>& system) {
  RegKey product;
  std::string text;
  if (OpenKeyAsItself(Root::LocalMachine, ProductVersionKey, kKeyRead, &product) != kSuccess ||
      product.ReadText(InstallDir, InstallDirCapacity, &text) != kSuccess)
    return {};
  const std::vector<std::string> paths = lists::PathsOf(text, {});
  if (paths.size() != 1 || !IsBelowRoot(paths[0])) return {};
  for (const ForeignDir& dir : system)
    if (IsAtOrAbove(paths[0], dir.path) >= 0) return {};
  return paths[0];
}

}  // namespace

bool ListForeignDirectories(std::vector<ForeignDir>* dirs, std::string* what, long* code, bool systemsOnly) {
  std::vector<KeptFolder> folders;
  if (long failed = KeptFolders(&folders)) return Unknown("the system's folders", failed, what, code);
  std::vector<ForeignDir> system;  // what this product's InstallDir may not be or hold
  for (KeptFolder& folder : folders) {
    dirs->push_back({Decision::RootHoldsFolder, folder.what + " " + folder.path, folder.path});
    if (!IsRunningFolder(folder)) system.push_back(dirs->back());
  }
  // Where per-user installers put programs; the system may not say so.
  if (const std::string local = FolderPath(folders, kLocalAppDataFolder); !local.empty()) {
    const std::string programs = JoinPath(local, "Programs");
    const std::string common = JoinPath(programs, "Common");
    dirs->push_back({Decision::RootHoldsFolder, "this account's Programs folder " + programs, programs});
    dirs->push_back({Decision::RootHoldsFolder, "this account's common Programs folder " + common, common});
  }
  const size_t machineFolders = dirs->size();
  lists::Expansion machine;
  if (!AddMachineFolders(dirs, &machine, what, code)) return false;
  std::string windows, temp;
  if (long failed = WindowsDir(&windows)) return Unknown("the Windows directory", failed, what, code);
  if (long failed = TempDir(&temp)) return Unknown("the account's temporary folder", failed, what, code);
  const std::string windowsTemp = JoinPath(windows, "Temp");
  dirs->push_back({Decision::RootBelowWindows, windows, windows, Decision::RootBelowWindows, false});
  dirs->push_back({Decision::RootHoldsFolder, "the system's temporary folder " + windowsTemp, windowsTemp});
  dirs->push_back({Decision::RootHoldsFolder, "this account's temporary folder " + temp, temp});

  if (!ReadProfiles(FolderPath(folders, kProfileFolder), dirs, what, code)) return false;
  if (systemsOnly) return true;
  system.insert(system.end(), dirs->begin() + static_cast<std::ptrdiff_t>(machineFolders), dirs->end());
  return ReadInstalledPrograms(machine, OwnInstallDir(system), dirs, what, code);
}

}  // namespace qf
