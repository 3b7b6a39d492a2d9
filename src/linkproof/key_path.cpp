#include "common/paths.h"
#include "linkproof/linkproof.h"

namespace qf {

using namespace platform;

long OpenKeyBelow(Root root, const RegKey* above, const std::string& name, uint32_t mask,
                  RegKey* key) {
  // A name opened below a link, even one opened as itself, is looked up in
  // its target: the key above is asked first.  It cannot become a link
  // after it was opened (a key is made one when it is created), so the
  // answer holds for the handle it is opened below.
  if (above && IsKeyLink(*above)) return kErrorCantResolveFilename;
  return above ? key->Open(*above, name.c_str(), mask, kOpenLink)
               : key->Open(root, name.c_str(), mask, kOpenLink);
}

long OpenKeyAsItself(Root root, std::string_view path, uint32_t mask, RegKey* key, uint32_t view) {
  const std::vector<std::string> names = SplitPath(path);
  if (names.empty()) return kErrorInvalidParameter;
  // Each key on the way needs no more than to be opened below; the key
  // before is closed as soon as the next one is open.
  RegKey above;
  for (size_t i = 0; i < names.size(); ++i) {
    RegKey next;
    const uint32_t access = (i + 1 == names.size() ? mask : kKeyRead) | view;
    if (long failed = OpenKeyBelow(root, i == 0 ? nullptr : &above, names[i], access, &next))
      return failed;
    above = std::move(next);
  }
  *key = std::move(above);
  return kSuccess;
}

}  // namespace qf
