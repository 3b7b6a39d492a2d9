#include "companions/companions.h"
#include "platform/platform.h"

namespace qf {

using namespace platform;

void UnregisterCompanions() {
  {
    // Its entry is only looked up, never called.
    Library first;
    if (first.Load("MX20UNIB.DLL") == kSuccess) (void)first.Lookup("UNREGLIB");
  }
  Library second;
  if (second.Load("RWUNINST.DLL") != kSuccess) return;
  if (void* entry = second.Lookup("UNINSTALLVRXREGISTRY")) {
    // A writable copy: the entry's parameter is a plain text pointer, and a
    // companion that writes to it must not fault on a read-only literal.
    char vrxSwitch[] = "/vrxreg";
    CallTextEntry(entry, vrxSwitch);
  }
}

}  // namespace qf
