#include "exports/entry_points.h"

#include "companions/companions.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace qf {
namespace {

void RunUninstallPass() {
  if (!CheckAdmin()) {
    platform::Beep();
    platform::ShowMessage(AdminRequiredMessage, AdminRequiredCaption, platform::kIconWarning);
    return;
  }
  // Per-user settings and shared components first; the companion library is
  // told last, once everything of this product's own is gone.
  CleanupInstallation();
  UnregisterCompanions();
}

}  // namespace
}  // namespace qf

extern "C" int32_t QF_STDCALL UninstInitialize(uint32_t, uint32_t, uint32_t) {
  // Nothing may escape into the host: a failure (even running out of memory)
  // ends the pass quietly, as every other failure of the pass does.
  try {
    qf::RunUninstallPass();
  } catch (...) {
  }
  return 0;
}

extern "C" int32_t QF_STDCALL UninstUnInitialize(uint32_t, uint32_t, uint32_t) {
  return 0;
}
