// Settings removal: the administrator gate, the per-user key tree and the
// installation's flags that say which shared components it used.
#pragma once

#include <string>
#include <vector>

namespace qf {

// True when the uninstall may go on.  False only when an administrator made
// the installation and this account cannot write the default user profile;
// the system's text for that failure has then been shown under "CheckAdmin".
bool CheckAdmin();

// Deletes `keyName` under `parentPath` in HKEY_CURRENT_USER with everything
// below it, deepest keys first; the parent stays.
void DeleteUserKeyTree(const std::string& parentPath, const std::string& keyName);

// The shared components this installation flagged, in the order they are
// released; none when it did not use the shared area ("UseSharedFiles" not
// exactly "TRUE").
std::vector<std::string> FlaggedComponents();

}  // namespace qf
