#include <cstring>

#include "common/schema.h"
#include "companions/companions.h"
#include "platform/platform.h"
#include "journal/journal.h"
#include "plan/plan.h"

namespace qf {

using namespace platform;

void UnregisterCompanions() {
  {
    // Its entry is only looked up, never called.
    Library first;
    if (first.Load(FirstCompanion) == kSuccess) {
      const bool found = first.Lookup(FirstCompanionEntry) != nullptr;
      Decide(found ? Decision::CompanionLoaded : Decision::CompanionEntryMissing, FirstCompanion);
    } else {
      Decide(Decision::CompanionAbsent, FirstCompanion);
    }
  }
  Library second;
  if (second.Load(SecondCompanion) != kSuccess) {
    Decide(Decision::CompanionAbsent, SecondCompanion);
    return;
  }
  void* entry = second.Lookup(VrxEntry);
  if (entry && !plan::MayCall(SecondCompanion, VrxEntry, VrxSwitch)) return;
  Decide(entry ? Decision::CompanionCalled : Decision::CompanionEntryMissing, SecondCompanion);
  if (entry) {
    // A writable copy: the entry's parameter is a plain text pointer, and a
    // companion that writes to it must not fault on a read-only literal.
    char vrxSwitch[sizeof VrxSwitch];
    std::memcpy(vrxSwitch, VrxSwitch, sizeof VrxSwitch);
    CallTextEntry(entry, vrxSwitch);
    journal::Called(SecondCompanion, VrxEntry, VrxSwitch);
  }
}

}  // namespace qf
