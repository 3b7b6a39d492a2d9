#include "common/schema.h"
#include "linkproof/linkproof.h"
#include "ownership/ownership.h"
#include "shared/shared.h"
#include "journal/journal.h"
#include "plan/plan.h"

namespace qf {

using namespace platform;

void RemoveEmptySharedArea() {
  // Opened as itself: a SharedKey that is a link shows no components and no
  // directory, so only the link goes.
  RegKey shared;
  bool deletable = false;
  if (long failed =
          OpenDeletableKey(Root::LocalMachine, MakerKey, SharedKeyName, &shared, &deletable)) {
    Decide(Decision::AreaAbsent, SharedKey, failed);
    return;
  }
  {
    uint32_t components = 0;
    if (long failed = shared.CountSubkeys(&components)) {
      Decide(Decision::AreaUncounted, SharedKey, failed);
      return;
    }
    if (components > 0) {
      Decide(Decision::AreaInUse, SharedKey, components);
      return;
    }
    // Only a directory that its record names, verified as a component's
    // root is, goes, and only when it is empty: it is removed through the
    // handle it was checked by, and a link in its place is no empty
    // directory, whatever it points to.
    std::string dir;
    FileHandle area;
    std::string finalPath;
    long code = 0;
    if (shared.ReadText(SharedFilesDir, SharedFilesDirCapacity, &dir) != kSuccess) {
      Decide(Decision::AreaDirUnnamed, SharedKey);
    } else if (OpenVerifiedRoot(dir, &area, &finalPath, &code) != RootCheck::Verified) {
      Decide(Decision::AreaDirKept, dir, code);
    } else if (AreaDirIsOwn(finalPath)) {
      const long removed = plan::MayDelete(area, finalPath, journal::FileChange::RemoveDirectory)
                               ? area.Dispose()
                               : kCodeWithheld;
      if (removed == kSuccess) journal::FileChanged(journal::FileChange::RemoveDirectory, finalPath);
      Decide(removed == kSuccess ? Decision::AreaDirRemoved : Decision::AreaDirKept, finalPath,
             removed);
    }
  }
  const long deleted = !deletable                                        ? kErrorAccessDenied
                       : !plan::MayDeleteKey(Root::LocalMachine, SharedKey) ? kCodeWithheld
                                                                            : shared.Delete();
  if (deleted == kSuccess) journal::KeyDeleted(Root::LocalMachine, SharedKey);
  Decide(deleted == kSuccess ? Decision::AreaKeyDeleted : Decision::AreaKeyKept, SharedKey, deleted);
}

}  // namespace qf
