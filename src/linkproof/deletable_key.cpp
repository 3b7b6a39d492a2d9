#include "common/paths.h"
#include "journal/journal.h"
#include "linkproof/linkproof.h"
#include "plan/plan.h"

namespace qf {
namespace {

using namespace platform;

// Deletes the subkeys of `key`.  Walking the indices downwards keeps the
// lower ones valid while the subkeys at higher ones are deleted.
bool DeleteSubkeys(RegKey& key, Root root, const std::string& path) {
  uint32_t count = 0;
  if (key.CountSubkeys(&count) != kSuccess) return false;
  bool all = true;
  for (uint32_t index = count; index-- > 0;) {
    std::string name;
    RegKey subkey;
    if (key.SubkeyName(index, &name) != kSuccess ||
        subkey.Open(key, name.c_str(), kKeyAllAccess, kOpenLink) != kSuccess) {
      all = false;
      continue;
    }
    all = DeleteKeyTree(subkey, root, JoinPath(path, name), /*andKey=*/true) && all;
  }
  return all;
}

}  // namespace

long OpenDeletableKey(Root root, const std::string& parentPath, const std::string& name,
                      RegKey* key, bool* deletable) {
  const size_t split = parentPath.rfind('\\');
  RegKey above;
  if (split != std::string::npos) {
    if (long failed = OpenKeyAsItself(root, parentPath.substr(0, split), kKeyRead, &above))
      return failed;
  }
  const RegKey* grandparent = above.Valid() ? &above : nullptr;
  const std::string parentName =
      split == std::string::npos ? parentPath : parentPath.substr(split + 1);
  // Without the right to delete from the parent the key stays, but what lies
  // below it goes all the same: the parent is then opened for reading, still
  // below its own parent and as itself, and only in that case twice.  A
  // parent that cannot be opened at all is never passed by the key's full
  // path instead: it cannot be told from a link, so the key stays whole.
  RegKey parent;
  long opened = OpenKeyBelow(root, grandparent, parentName, kKeyAllAccess, &parent);
  *deletable = opened == kSuccess;
  if (opened == kErrorAccessDenied)
    opened = OpenKeyBelow(root, grandparent, parentName, kKeyRead, &parent);
  if (opened != kSuccess) return opened;
  return OpenKeyBelow(root, &parent, name, kKeyAllAccess, key);
}

bool IsKeyLinkRead(long read, uint32_t type) {
  return read == kSuccess ? type == kRegLink : read != kErrorFileNotFound;
}

bool IsKeyLink(const RegKey& key) {
  uint32_t type = 0;
  std::string target;
  const long read = key.ReadValue(kKeyLinkValue, kKeyLinkCapacity, &type, &target);
  return IsKeyLinkRead(read, type);
}

// A key without subkeys goes at the first attempt, which spares asking how
// many it has; one with subkeys refuses and is emptied first.  Deletion
// fails, and the key stays, when one of its own subkeys stayed.
// A key the reviewed plan does not allow to go still has its subkeys
// emptied as far as the plan allows.
bool DeleteKeyTree(RegKey& key, Root root, const std::string& path, bool andKey) {
  const bool allowed = andKey && plan::MayDeleteKey(root, path);
  if (allowed && key.Delete() == kSuccess) {
    journal::KeyDeleted(root, path);
    return true;
  }
  const bool emptied = DeleteSubkeys(key, root, path);
  if (!andKey) return emptied;
  if (!allowed || key.Delete() != kSuccess) return false;
  journal::KeyDeleted(root, path);
  return true;
}

}  // namespace qf
