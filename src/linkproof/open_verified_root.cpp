#include "common/paths.h"
#include "linkproof/linkproof.h"

namespace qf {
namespace {

using namespace platform;

// Whether the final path of the root names `resolved` once its 8.3 names
// are expanded and its drive is named as the system names it in final paths
// (a drive mapped onto a directory may be shown under another drive).
bool NamesWithLongNames(const std::string& finalPath, const std::string& resolved) {
  std::string longPath;
  if (LongPathName(resolved.c_str(), &longPath) != kSuccess) return false;
  FileHandle drive;
  std::string driveFinal;
  const std::string driveRoot = longPath.substr(0, RootLength(longPath));
  if (drive.Open(driveRoot.c_str(), FileAccess::Inspect) != kSuccess ||
      drive.FinalPath(&driveFinal) != kSuccess)
    return false;
  return SameName(finalPath, JoinFinalPath(driveFinal, longPath.substr(driveRoot.size())));
}

}  // namespace

RootCheck OpenVerifiedRoot(const std::string& recorded, FileHandle* root, std::string* finalPath,
                           long* code) {
  *code = 0;
  // An empty, relative or root path would reach far beyond what the record
  // owns.  Every call is given the path as the system resolves it: the path
  // as stored could be read differently once a name is appended ("C:\Data "
  // names "Data", "C:\Data \x" reaches "Data \x").  A resolved path whose
  // last name ends in a blank ("C:\Data \." gives "C:\Data ") loses the
  // blank when resolved again, so not every call would reach one directory.
  if (!IsBelowRoot(recorded)) return RootCheck::Unsafe;
  std::string resolved = ResolveAbsolutePath(recorded);
  if (ResolveAbsolutePath(resolved) != resolved) return RootCheck::Unsafe;

  // Held without sharing deletion, the root can be neither renamed nor
  // replaced until it is closed.  One that cannot be opened for deletion
  // (the current directory, say) is still emptied.
  long opened = root->Open(resolved.c_str(), FileAccess::ListAndDelete);
  if (opened != kSuccess && !IsAbsent(opened))
    opened = root->Open(resolved.c_str(), FileAccess::List);
  if (IsAbsent(opened)) return RootCheck::Missing;
  *code = opened;
  if (opened != kSuccess) return RootCheck::Refused;

  FileFacts facts;
  *code = root->Facts(&facts);
  if (*code != kSuccess) return RootCheck::Refused;
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
