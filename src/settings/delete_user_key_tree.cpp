#include "common/paths.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace qf {
namespace {

using namespace platform;

// Deletes every subkey of the open `key`, each after its own subkeys.
// Walking the indices downwards keeps the lower ones valid while the subkeys
// at higher ones are deleted.  Each subkey is opened below its parent's
// handle rather than by its full path, which spares the registry a walk from
// the root for every key of a large tree.
void DeleteSubkeys(RegKey& key) {
  uint32_t count = 0;
  if (key.CountSubkeys(&count) != kSuccess) return;
  for (uint32_t index = count; index-- > 0;) {
    std::string name;
    if (key.SubkeyName(index, &name) != kSuccess) continue;
    {
      RegKey subkey;
      if (subkey.Open(key, name.c_str(), kKeyAllAccess) != kSuccess) continue;
      DeleteSubkeys(subkey);
    }
    // Fails, and the subkey stays, when one of its own subkeys stayed.
    key.DeleteSubkey(name.c_str());
  }
}

}  // namespace

void DeleteUserKeyTree(const std::string& parentPath, const std::string& keyName) {
  {
    RegKey key;
    if (key.Open(Root::CurrentUser, JoinPath(parentPath, keyName).c_str(), kKeyAllAccess) !=
        kSuccess)
      return;
    DeleteSubkeys(key);
  }
  // The parent itself stays, even when this leaves it empty.
  RegKey parent;
  if (parent.Open(Root::CurrentUser, parentPath.c_str(), kKeyAllAccess) == kSuccess)
    parent.DeleteSubkey(keyName.c_str());
}

}  // namespace qf
