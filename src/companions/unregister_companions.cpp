#include <cstring>

#include "common/schema.h"
#include "companions/companions.h"
#include "platform/platform.h"

namespace qf {

using namespace platform;

void UnregisterCompanions() {
  {
    // Its entry is only looked up, never called.
    Library first;
    if (first.Load(kFirstCompanion) == kSuccess) (void)first.Lookup(kFirstCompanionEntry);
  }
  Library second;
  if (second.Load(kSecondCompanion) != kSuccess) return;
  if (void* entry = second.Lookup(kVrxEntry)) {
    // A writable copy: the entry's parameter is a plain text pointer, and a
    // companion that writes to it must not fault on a read-only literal.
    char vrxSwitch[sizeof kVrxSwitch];
    std::memcpy(vrxSwitch, kVrxSwitch, sizeof kVrxSwitch);
    CallTextEntry(entry, vrxSwitch);
  }
}

}  // namespace qf
