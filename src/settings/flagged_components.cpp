#include <algorithm>
#include <iterator>

#include "common/schema.h"
#include "linkproof/linkproof.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "journal/journal.h"

namespace qf {
namespace {

using namespace platform;

// Whether the installation used the shared area; `*product` keeps its key
// open for the flags below it.  `*code` gets the open's code when it fails,
// and kErrorCantResolveFilename when the key is a link, which holds no value
// of its own; else 0.
bool UsesSharedFiles(RegKey* product, long* code) {
  *code = OpenKeyAsItself(Root::LocalMachine, ProductVersionKey, kKeyRead, product);
  if (*code != kSuccess) return false;
  std::string text;
  if (product->ReadText(UseSharedFiles, FlagCapacity, &text) != kSuccess) {
    if (IsKeyLink(*product)) *code = kErrorCantResolveFilename;
    return false;
  }
  return text == SharedFilesUsed;
}

}  // namespace

std::vector<std::string> FlaggedComponents() {
  std::vector<std::string> flagged;
  RegKey product;
  long code = 0;
  if (!UsesSharedFiles(&product, &code)) {
    // The product's key reached through a link hides the flags as a link
    // at UnInstInfo does; one that is absent means the area was not used.
    if (code == kErrorCantResolveFilename)
      Decide(Decision::FlagsAbsent, UnInstInfoKey, code);
    else
      Decide(Decision::SharedFilesUnused, UseSharedFiles);
    return flagged;
  }
  // Below the product's key, as itself: a link there holds no flags.  The
  // product's key is no link, since it held a value of its own.
  RegKey info;
  if (long failed = info.Open(product, UnInstInfoKeyName, kKeyRead, kOpenLink)) {
    Decide(Decision::FlagsAbsent, UnInstInfoKey, failed);
    return flagged;
  }
  product.Close();
  bool set[ComponentCount] = {};
  for (size_t i = 0; i < ComponentCount; ++i) {
    // A flag is set when it can be read at all; what it holds does not matter.
    uint32_t type = 0;
    set[i] = info.ReadValue(ComponentFlags[i].flag, FlagCapacity, &type, nullptr) == kSuccess;
  }
  // Only when no flag reads is it asked whether UnInstInfo is a link.
  if (std::find(std::begin(set), std::end(set), true) == std::end(set) && IsKeyLink(info)) {
    Decide(Decision::FlagsAbsent, UnInstInfoKey, kErrorCantResolveFilename);
    return flagged;
  }
  for (size_t i = 0; i < ComponentCount; ++i) {
    const char* component = ComponentFlags[i].component;
    Decide(set[i] ? Decision::ComponentFlagged : Decision::ComponentNotFlagged, component);
    if (set[i]) flagged.emplace_back(component);
  }
  return flagged;
}

}  // namespace qf
