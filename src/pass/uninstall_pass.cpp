#include "pass/uninstall_pass.h"

#include "common/schema.h"
#include "companions/companions.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "shared/shared.h"

namespace qf {

void RunUninstallPass() {
  if (!CheckAdmin()) {
    platform::Beep();
    platform::ShowMessage(AdminRequiredMessage, AdminRequiredCaption, platform::kIconWarning);
    return;
  }
  // Everything of this product's own goes first; the companion library is
  // told last.
  CleanupInstallation();
  UnregisterCompanions();
}

void CleanupInstallation() {
  DeleteUserKeyTree(ProductKey, VersionKeyName);
  for (const std::string& component : FlaggedComponents()) ReleaseSharedComponent(component);
  // Runs whatever the installation used: an empty shared area goes anyway.
  RemoveEmptySharedArea();
}

}  // namespace qf
