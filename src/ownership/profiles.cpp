// Every account's profile but the running one's.  The uninstall runs as an
// administrator; the machine's other accounts are not that administrator's,
// and nothing of a shared component lies in their profiles.  The running
// account's profile keeps the rules of its known folders.
#include "common/paths.h"
#include "common/schema.h"
#include "linkproof/linkproof.h"
#include "ownership/lists.h"
#include "ownership/ownership.h"

namespace qf {
namespace {

using namespace platform;

// Adds the profile `text` names unless it is the running account's; the
// code of what failed else.  A profile is named as the system names it:
// %SystemDrive%\Users\name.
long AddProfile(const std::string& ownProfile, const std::string& text, const char* whose,
                std::vector<ForeignDir>* dirs) {
  std::string expanded = text;
  if (text.find('%') != std::string::npos)
    if (long failed = ExpandEnvironment(text, &expanded)) return failed;
  for (const std::string& path : lists::PathsOf(expanded, {})) {
    if (!ownProfile.empty() && IsAtOrAbove(ownProfile, path) == 0) continue;
    dirs->push_back({Decision::RootHoldsFolder, std::string(whose) + " " + path, path,
                     Decision::RootInProfile, true, true});
  }
  return kSuccess;
}

// Reads `value` of `key` as a profile's place; one that is not there, or
// holds no text that could name one (another type's bytes, longer than any
// path), names none.
long ReadProfile(const RegKey& key, const char* value, const std::string& ownProfile, const char* whose,
                 std::vector<ForeignDir>* dirs) {
  std::string text;
  const long read = key.ReadText(value, OtherPathCapacity, &text);
  if (IsAbsent(read) || read == kErrorInvalidData || read == kErrorMoreData) return kSuccess;
  return read != kSuccess ? read : AddProfile(ownProfile, text, whose, dirs);
}

}  // namespace

// The profiles are the system's own list, not any installer's: an entry
// that is there but cannot be read (a call that fails) keeps every root, as
// the whole list does.
bool ReadProfiles(const std::string& ownProfile, std::vector<ForeignDir>* dirs, std::string* what,
                  long* code) {
  // The list is the 64-bit view's (the only one on 32-bit Windows), which
  // Wine shows a 32-bit process through a link.
  const lists::Place place{Root::LocalMachine, kKeyView64};
  *what = "the list of profiles " + lists::Shown(place, ProfileListKey);
  RegKey list;
  if (!lists::OpenList(place, ProfileListKey, &list, code)) return false;
  if (!list.Valid()) return true;
  if ((*code = ReadProfile(list, DefaultProfile, ownProfile, "the default profile", dirs))) return false;
  for (uint32_t i = 0;; ++i) {
    std::string name;
    RegKey entry;
    long failed = list.SubkeyName(i, &name);
    if (failed == kErrorNoMoreItems) return true;
    if (failed == kErrorInvalidData) continue;  // a name no account's key is given
    if (failed == kSuccess) failed = entry.Open(list, name.c_str(), kKeyRead | place.view, kOpenLink);
    if (failed == kSuccess) failed = ReadProfile(entry, ProfileImagePath, ownProfile, "another account's profile", dirs);
    if (failed != kSuccess && !IsAbsent(failed)) return *code = failed, false;
  }
}

}  // namespace qf
