#include "common/schema.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace qf {
namespace {

using namespace platform;

bool UsesSharedFiles() {
  RegKey product;
  if (product.Open(Root::LocalMachine, ProductVersionKey, kKeyRead) != kSuccess) return false;
  std::string text;
  return product.ReadText(UseSharedFiles, FlagCapacity, &text) == kSuccess &&
         text == SharedFilesUsed;
}

}  // namespace

std::vector<std::string> FlaggedComponents() {
  std::vector<std::string> flagged;
  if (!UsesSharedFiles()) {
    Decide(Decision::SharedFilesUnused, UseSharedFiles);
    return flagged;
  }
  RegKey info;
  if (info.Open(Root::LocalMachine, UnInstInfoKey, kKeyRead) != kSuccess) {
    Decide(Decision::FlagsAbsent, UnInstInfoKey);
    return flagged;
  }
  for (const ComponentFlag& row : ComponentFlags) {
    // A flag is set when it can be read at all; what it holds does not matter.
    uint32_t type = 0;
    const bool set = info.ReadValue(row.flag, FlagCapacity, &type, nullptr) == kSuccess;
    Decide(set ? Decision::ComponentFlagged : Decision::ComponentNotFlagged, row.component);
    if (set) flagged.emplace_back(row.component);
  }
  return flagged;
}

}  // namespace qf
