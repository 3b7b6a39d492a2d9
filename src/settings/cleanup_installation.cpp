#include "common/paths.h"
#include "common/schema.h"
#include "platform/platform.h"
#include "settings/deletable_key.h"
#include "settings/settings.h"
#include "shared/shared.h"

namespace qf {
namespace {

using namespace platform;

bool UsesSharedFiles() {
  RegKey product;
  if (product.Open(Root::LocalMachine, ProductVersionKey, kKeyRead) != kSuccess) return false;
  std::string text;
  return product.ReadText(kUseSharedFiles, kFlagCapacity, &text) == kSuccess &&
         text == kSharedFilesUsed;
}

void ReleaseFlaggedComponents() {
  if (!UsesSharedFiles()) return;
  RegKey info;
  if (info.Open(Root::LocalMachine, UnInstInfoKey, kKeyRead) != kSuccess) return;
  for (const ComponentFlag& row : kComponentFlags) {
    // A flag is set when it can be read at all; what it holds does not matter.
    uint32_t type = 0;
    std::string data;
    if (info.ReadValue(row.flag, kFlagCapacity, &type, &data) == kSuccess)
      ReleaseSharedComponent(row.component);
  }
}

// Once no product holds a shared component any more, the shared area's key
// goes, and its directory too if nothing was left in it.
void RemoveEmptySharedArea() {
  // Opened as itself: a SharedKey that is a link shows no components and no
  // directory, so only the link goes.
  RegKey shared;
  bool deletable = false;
  if (OpenDeletableKey(Root::LocalMachine, MakerKey, SharedKeyName, &shared, &deletable) !=
      kSuccess)
    return;
  {
    uint32_t components = 0;
    if (shared.CountSubkeys(&components) != kSuccess || components > 0) return;
    std::string dir;
    // Only an absolute path below a drive or share names the area; anything
    // else would resolve against the host's current directory.  A link in
    // its place is no empty directory, whatever it points to: removing it
    // would remove the link however full its target is.  The directory is
    // checked and removed through one handle, so only an empty directory
    // that is still the one checked goes.
    FileHandle area;
    std::string finalPath;
    if (shared.ReadText(kSharedFilesDir, kSharedFilesDirCapacity, &dir) == kSuccess &&
        IsBelowRoot(dir) &&
        OpenCheckedRoot(dir, ResolveAbsolutePath(dir), &area, &finalPath) == RootCheck::Verified)
      BestEffort(area.Dispose());
  }
  if (deletable) BestEffort(shared.Delete());
}

}  // namespace

void CleanupInstallation() {
  DeleteUserKeyTree(ProductKey, VersionKeyName);
  ReleaseFlaggedComponents();
  RemoveEmptySharedArea();
}

}  // namespace qf
