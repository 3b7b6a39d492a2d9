// Opening a key that the pass may delete, so that no link can redirect what
// is read, written or deleted through it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qf {

// Opens the key `name` below `parentPath` under `root` as itself
// (kOpenLink, kKeyAllAccess): a link key opens as the link, so nothing
// behind it is read, written or deleted through `*key`, and deleting it
// later (RegKey::Delete, through its own handle) removes the link.
//
// The key is opened below its parent's open handle.  `*deletable` tells
// whether that parent could be opened with kKeyAllAccess: without it the
// key must stay, so it is then opened as itself by its full path, for what
// lies below it to go all the same.
long OpenDeletableKey(platform::Root root, const std::string& parentPath,
                      const std::string& name, platform::RegKey* key, bool* deletable);

}  // namespace qf
