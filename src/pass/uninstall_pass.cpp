#include "pass/uninstall_pass.h"

#include "common/schema.h"
#include "companions/companions.h"
#include "journal/journal.h"
#include "platform/platform.h"
#include "record/run_record.h"
#include "settings/settings.h"
#include "ownership/ownership.h"
#include "plan/plan.h"
#include "shared/shared.h"

namespace qf {

void RunUninstallPass() {
  // Kept only when an administrator's policy asks for it; it hears the
  // pass and never changes what the pass does.
  record::RunRecord record;
  journal::ScopedListener listening(record.Keeping() ? &record : nullptr);
  // With a reviewed plan, nothing it does not list changes; one that
  // cannot be used changes nothing at all.
  const plan::Lock lock;
  plan::ScopedLock locked(lock.Absent() || lock.Refuses() ? nullptr : &lock);
  if (lock.Refuses()) {
    record.Finish();
    return;
  }
  if (!CheckAdmin()) {
    platform::Beep();
    journal::Beeped();
    platform::ShowMessage(AdminRequiredMessage, AdminRequiredCaption, platform::kIconWarning);
    journal::BoxShown(AdminRequiredCaption, AdminRequiredMessage, platform::kIconWarning);
    record.Finish();
    return;
  }
  journal::StepEnded();
  // Everything of this product's own goes first; the companion library is
  // told last.
  CleanupInstallation();
  UnregisterCompanions();
  record.Finish();
}

void CleanupInstallation() {
  DeleteUserKeyTree(ProductKey, VersionKeyName);
  journal::StepEnded();
  // One whose root holds the root of a component released after it is put
  // off until that one is released: the inner one goes first, as its own,
  // with its help registrations.
  std::vector<std::string> order = FlaggedComponents();
  PassRoots pass(order);
  for (size_t i = 0; i < order.size(); ++i) {
    if (!ReleaseSharedComponent(order[i], &pass)) {
      order.push_back(order[i]);
      continue;
    }
    pass.MarkReleased(order[i]);
    journal::StepEnded();
  }
  // Runs whatever the installation used: an empty shared area goes anyway.
  RemoveEmptySharedArea();
  journal::StepEnded();
}

}  // namespace qf
