#include "linkproof/linkproof.h"
#include "settings/settings.h"
#include "journal/journal.h"

namespace qf {

using namespace platform;

void DeleteUserKeyTree(const std::string& parentPath, const std::string& keyName) {
  const std::string path = parentPath + "\\" + keyName;
  RegKey key;
  bool deletable = false;
  if (long failed = OpenDeletableKey(Root::CurrentUser, parentPath, keyName, &key, &deletable)) {
    Decide(Decision::UserTreeAbsent, path, failed);
    return;
  }
  // The parent itself stays, even when this leaves it empty.  Without the
  // right to delete from the parent, what lies below the key still goes.
  const bool gone = DeleteKeyTree(key, Root::CurrentUser, path, /*andKey=*/deletable);
  Decide(gone && deletable ? Decision::UserTreeDeleted : Decision::UserTreeKept, path);
}

}  // namespace qf
