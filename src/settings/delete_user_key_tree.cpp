#include "platform/platform.h"
#include "settings/deletable_key.h"
#include "settings/settings.h"

namespace qf {
namespace {

using namespace platform;

void DeleteKeyTree(RegKey& key);

// Deletes every subkey of the open `key`, each after its own subkeys.
// Walking the indices downwards keeps the lower ones valid while the subkeys
// at higher ones are deleted.  Each subkey is opened as itself below its
// parent's handle: a link is deleted as the link, and nothing behind it is
// walked.
void DeleteSubkeys(RegKey& key) {
  uint32_t count = 0;
  if (key.CountSubkeys(&count) != kSuccess) return;
  for (uint32_t index = count; index-- > 0;) {
    std::string name;
    if (key.SubkeyName(index, &name) != kSuccess) continue;
    RegKey subkey;
    if (subkey.Open(key, name.c_str(), kKeyAllAccess, kOpenLink) != kSuccess) continue;
    DeleteKeyTree(subkey);
  }
}

// Deletes the open `key` through its own handle once its subkeys are gone.
// A key without subkeys goes at the first attempt, which spares asking how
// many it has; one with subkeys refuses and is emptied first.  Deletion
// fails, and the key stays, when one of its own subkeys stayed.
void DeleteKeyTree(RegKey& key) {
  if (key.Delete() == kSuccess) return;
  DeleteSubkeys(key);
  BestEffort(key.Delete());
}

}  // namespace

void DeleteUserKeyTree(const std::string& parentPath, const std::string& keyName) {
  RegKey key;
  bool deletable = false;
  if (OpenDeletableKey(Root::CurrentUser, parentPath, keyName, &key, &deletable) != kSuccess)
    return;
  // The parent itself stays, even when this leaves it empty.
  if (deletable) {
    DeleteKeyTree(key);
  } else {
    DeleteSubkeys(key);
  }
}

}  // namespace qf
