// Settings removal: the administrator gate, the per-user key tree and the
// cleanup pass that drives the shared-component work.
#pragma once

#include <string>

namespace qf {

// True when the uninstall may go on.  False only when an administrator made
// the installation and this account cannot write the default user profile;
// the system's text for that failure has then been shown under "CheckAdmin".
bool CheckAdmin();

// Deletes `keyName` under `parentPath` in HKEY_CURRENT_USER with everything
// below it, deepest keys first; the parent stays.
void DeleteUserKeyTree(const std::string& parentPath, const std::string& keyName);

// Removes the per-user settings, releases the shared components the
// installation flagged, and removes the shared area once no component is left.
void CleanupInstallation();

}  // namespace qf
