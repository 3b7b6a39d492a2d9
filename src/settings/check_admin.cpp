#include <string>

#include "common/schema.h"
#include "linkproof/linkproof.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "journal/journal.h"

namespace qf {
namespace {

using namespace platform;

// Whether the installation carries the administrator marker; any failure to
// read it counts as an installation made by an ordinary user.  The key is
// reached as the rest of the pass reaches the product's keys, so the gate
// reads the installation that the later steps would work on; `*code` gets
// the open's code when it fails, else 0.
bool InstalledByAdministrator(long* code) {
  RegKey product;
  *code = OpenKeyAsItself(Root::LocalMachine, ProductVersionKey, kKeyRead, &product);
  if (*code != kSuccess) return false;
  // Only whether it can be read counts: one too long for the read is taken
  // as absent, as it always has been.
  uint32_t type = 0;
  return product.ReadValue(InstallAdmin, FlagCapacity, &type, nullptr) == kSuccess;
}

// Shows the system's text for the code that the probe's open returned.  The
// open reports its error as its result and leaves the thread's last error
// alone, so the result is the code to explain.
void ShowProbeError(long code) {
  std::string text;
  if (SystemErrorText(static_cast<uint32_t>(code), &text) != kSuccess || text.empty())
    text = "Error " + std::to_string(code) + ".";
  ShowMessage(text.c_str(), CheckAdminCaption, kIconInformation);
  journal::BoxShown(CheckAdminCaption, text, kIconInformation);
}

}  // namespace

bool CheckAdmin() {
  long code = 0;
  if (!InstalledByAdministrator(&code)) {
    Decide(Decision::GateNotMarked, InstallAdmin, code);
    return true;
  }
  // Only an administrator can write the default user profile.
  RegKey profile;
  const long result = profile.Open(Root::Users, DefaultUserKey, kKeyWrite);
  if (result == kSuccess) {
    Decide(Decision::GateAdministrator, DefaultUserKey);
    return true;
  }
  Decide(Decision::GateRefused, DefaultUserKey, result);
  ShowProbeError(result);
  return false;
}

}  // namespace qf
