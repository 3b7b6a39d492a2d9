// The uninstall pass, in its fixed order.
#pragma once

namespace qf {

// The whole pass that UninstInitialize runs: the administrator gate, then
// the cleanup of the installation, then the companion libraries.
void RunUninstallPass();

// The cleanup of the installation: the per-user settings, the shared
// components the installation flagged, and the shared area once empty.
void CleanupInstallation();

}  // namespace qf
