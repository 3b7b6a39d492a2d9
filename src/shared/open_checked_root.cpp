#include "common/paths.h"
#include "platform/platform.h"
#include "shared/shared.h"

namespace qf {
namespace {

using namespace platform;

bool IsMissing(long result) {
  return result == kErrorFileNotFound || result == kErrorPathNotFound;
}

// Length of the root part of an absolute path: "C:\" or "\\server\share\".
size_t RootLength(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':') return 3;
  const size_t share = path.find('\\', 2);
  const size_t end = share == std::string::npos ? std::string::npos : path.find('\\', share + 1);
  return end == std::string::npos ? path.size() : end + 1;
}

// Whether the final path of the root names `resolved` once its 8.3 names
// are expanded and its drive is named as the system names it in final paths
// (a drive mapped onto a directory may be shown under another drive).
bool NamesWithLongNames(const std::string& finalPath, const std::string& resolved) {
  std::string longPath;
  if (LongPathName(resolved.c_str(), &longPath) != kSuccess) return false;
  FileHandle drive;
  FileFacts facts;
  const std::string driveRoot = longPath.substr(0, RootLength(longPath));
  if (drive.Open(driveRoot.c_str(), FileAccess::Inspect) != kSuccess ||
      drive.Facts(&facts) != kSuccess)
    return false;
  return SameName(finalPath, JoinFinalPath(facts.finalPath, longPath.substr(driveRoot.size())));
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string JoinFinalPath(const std::string& parent, std::string_view name) {
  if (name.empty()) return parent;
  return !parent.empty() && parent.back() == '\\' ? parent + std::string(name)
                                                  : JoinPath(parent, name);
}

RootCheck OpenCheckedRoot(const std::string& path, std::string resolved, FileHandle* root,
                          std::string* finalPath) {
  // Held without sharing deletion, the root can be neither renamed nor
  // replaced until it is closed.  One that cannot be opened for deletion
  // (the current directory, say) is still emptied.
  long opened = root->Open(path.c_str(), FileAccess::ListAndDelete);
  if (opened != kSuccess && !IsMissing(opened)) opened = root->Open(path.c_str(), FileAccess::List);
  if (IsMissing(opened)) return RootCheck::Missing;
  if (opened != kSuccess) return RootCheck::Refused;

  FileFacts facts;
  if (root->Facts(&facts) != kSuccess) return RootCheck::Refused;
  if ((facts.attributes & kAttrDirectory) == 0 || (facts.attributes & kAttrReparsePoint) != 0)
    return RootCheck::Refused;
  while (resolved.size() > RootLength(resolved) && resolved.back() == '\\') resolved.pop_back();
  // A link anywhere on the way gives another final path: such a root is
  // refused like a root that is a link itself.
  if (!SameName(facts.finalPath, resolved) && !NamesWithLongNames(facts.finalPath, resolved))
    return RootCheck::Refused;
  *finalPath = facts.finalPath;
  return RootCheck::Verified;
}

}  // namespace qf
