#include "common/paths.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace qf {

using namespace platform;

void DeleteUserKeyTree(const std::string& parentPath, const std::string& keyName) {
  const std::string fullPath = JoinPath(parentPath, keyName);
  {
    RegKey key;
    if (key.Open(Root::CurrentUser, fullPath.c_str(), kKeyAllAccess) != kSuccess) return;
    // Walking downwards keeps the lower indices valid while the subkeys at
    // higher ones are deleted.
    uint32_t count = 0;
    if (key.CountSubkeys(&count) == kSuccess) {
      for (uint32_t index = count; index-- > 0;) {
        std::string name;
        if (key.SubkeyName(index, &name) == kSuccess) DeleteUserKeyTree(fullPath, name);
      }
    }
  }
  // A key goes only once its subkeys have; if one of them stayed, this
  // deletion fails and the key stays with it.
  RegKey parent;
  if (parent.Open(Root::CurrentUser, parentPath.c_str(), kKeyAllAccess) == kSuccess)
    parent.DeleteSubkey(keyName.c_str());
}

}  // namespace qf
