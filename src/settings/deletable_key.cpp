#include "settings/deletable_key.h"

#include "common/paths.h"

namespace qf {

using namespace platform;

long OpenDeletableKey(Root root, const std::string& parentPath, const std::string& name,
                      RegKey* key, bool* deletable) {
  RegKey parent;
  *deletable = parent.Open(root, parentPath.c_str(), kKeyAllAccess) == kSuccess;
  if (*deletable) return key->Open(parent, name.c_str(), kKeyAllAccess, kOpenLink);
  return key->Open(root, JoinPath(parentPath, name).c_str(), kKeyAllAccess, kOpenLink);
}

}  // namespace qf
