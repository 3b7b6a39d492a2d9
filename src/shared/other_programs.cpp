// The directories of the other programs installed here, as the system's own
// lists name them.  A component's record can be wrong; a RootDir that names
// another program's directory, or one that holds it, would have the pass
// empty that program.  These lists are written by every installer, so they
// are read only for what they name, never trusted to name less: what cannot
// be read of an entry names nothing, and a list that cannot be read at all
// keeps every root.
#include "common/paths.h"
#include "common/schema.h"
#include "common/utf.h"
#include "linkproof/linkproof.h"
#include "shared/pass_roots.h"

namespace qf {
namespace {

using namespace platform;

bool IsAbsent(long result) {
  return result == kErrorFileNotFound || result == kErrorPathNotFound;
}

// Where the lists are: HKLM in each of its views (a 32-bit process sees only
// the 32-bit one unless it asks), and HKCU, which both views share.
struct Place {
  Root root;
  uint32_t view;
};
constexpr Place kPlaces[] = {
    {Root::LocalMachine, kKeyView64},
    {Root::LocalMachine, kKeyView32},
    {Root::CurrentUser, 0},
};

std::string Shown(const Place& place, const char* path) {
  std::string shown = std::string(RootName(place.root)) + "\\" + path;
  if (place.view == kKeyView64) shown += " (64-bit view)";
  if (place.view == kKeyView32) shown += " (32-bit view)";
  return shown;
}

// A value as a path: blanks around it and the quotes around a path with
// blanks taken off, then resolved; "" for one that is empty or relative.
std::string AsPath(std::string text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
  if (!text.empty() && text.front() == '"') {
    const size_t closing = text.find('"', 1);
    text = text.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return ResolveAbsolutePath(text);
}

// Whether the open link `list`, in the 32-bit view, leads to the same list
// in the 64-bit view: Wine gives a 32-bit process the keys both views share
// so (Windows shares them without a link).  That list is read already.
bool IsTheOtherViewsList(const Place& place, const char* path, const RegKey& list) {
  uint32_t type = 0;
  std::string bytes, target;
  if (place.view != kKeyView32 || list.ReadValue(kKeyLinkValue, kKeyLinkCapacity, &type, &bytes) != kSuccess ||
      type != kRegLink)
    return false;
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) | static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return ToUtf8(units, &target) && SameName(target, std::string("\\Registry\\Machine\\") + path);
}

// Opens the list at `path` as itself.  False, with the code, when it is there
// but cannot be opened or is reached through a link; true with no key open
// when it is not there, or is the 64-bit view's, read already.
bool OpenList(const Place& place, const char* path, RegKey* list, long* code) {
  long opened = OpenKeyAsItself(place.root, path, kKeyRead, list, place.view);
  if (opened == kSuccess && IsKeyLink(*list))
    opened = IsTheOtherViewsList(place, path, *list) ? kErrorFileNotFound : kErrorCantResolveFilename;
  if (opened == kSuccess || IsAbsent(opened)) {
    if (opened != kSuccess) list->Close();
    return true;
  }
  *code = opened;
  return false;
}

// Calls `each` with every entry of the open `list`, opened below it as
// itself with `view`; one that cannot be opened, or whose name cannot be
// carried, is passed over.  False, with the code, when the list cannot be
// enumerated.
template <typename Each>
bool ForEachEntry(const RegKey& list, uint32_t view, long* code, Each each) {
  for (uint32_t i = 0;; ++i) {
    std::string name;
    const long listed = list.SubkeyName(i, &name);
    if (listed == kErrorNoMoreItems) return true;
    if (listed == kErrorInvalidData) continue;
    if (listed != kSuccess) {
      *code = listed;
      return false;
    }
    RegKey entry;
    if (entry.Open(list, name.c_str(), kKeyRead | view, kOpenLink) == kSuccess) each(name, entry);
  }
}

void AddProgram(const std::string& name, const std::string& path, std::vector<ForeignDir>* dirs) {
  if (!path.empty()) dirs->push_back({Decision::RootHoldsProgram, name + " at " + path, path});
}

bool ReadUninstallEntries(const Place& place, std::vector<ForeignDir>* dirs, long* code) {
  RegKey list;
  if (!OpenList(place, UninstallKey, &list, code)) return false;
  if (!list.Valid()) return true;
  return ForEachEntry(list, place.view, code, [&](const std::string& name, const RegKey& entry) {
    std::string location, shown;
    if (entry.ReadText(InstallLocation, OtherPathCapacity, &location) != kSuccess) return;
    if (entry.ReadText(DisplayName, DisplayNameCapacity, &shown) != kSuccess || shown.empty())
      shown = name;
    AddProgram(shown, AsPath(location), dirs);
  });
}

bool ReadAppPaths(const Place& place, std::vector<ForeignDir>* dirs, long* code) {
  RegKey list;
  if (!OpenList(place, AppPathsKey, &list, code)) return false;
  if (!list.Valid()) return true;
  return ForEachEntry(list, place.view, code, [&](const std::string& name, const RegKey& entry) {
    std::string program, path, dir, file;
    if (entry.ReadText("", OtherPathCapacity, &program) == kSuccess &&
        SplitParent(AsPath(program), &dir, &file))
      AddProgram(name, dir, dirs);
    if (entry.ReadText(AppPathValue, OtherPathCapacity, &path) != kSuccess) return;
    for (size_t at = 0; at <= path.size();) {
      const size_t end = std::min(path.find(';', at), path.size());
      AddProgram(name, AsPath(path.substr(at, end - at)), dirs);
      at = end + 1;
    }
  });
}

bool ReadPackageRoot(const Place& place, std::vector<ForeignDir>* dirs, long* code) {
  RegKey appx;
  if (place.root != Root::LocalMachine) return true;
  if (!OpenList(place, AppxKey, &appx, code)) return false;
  std::string root;
  if (!appx.Valid() || appx.ReadText(PackageRoot, OtherPathCapacity, &root) != kSuccess) return true;
  if (const std::string path = AsPath(root); !path.empty())
    dirs->push_back({Decision::RootHoldsFolder, "the packaged apps' root " + path, path});
  return true;
}

}  // namespace

bool ReadOtherPrograms(std::vector<ForeignDir>* dirs, std::string* what, long* code) {
  for (const Place& place : kPlaces) {
    if (!ReadUninstallEntries(place, dirs, code)) {
      *what = "the list of installed programs " + Shown(place, UninstallKey);
      return false;
    }
  }
  for (const Place& place : kPlaces) {
    if (!ReadAppPaths(place, dirs, code)) {
      *what = "the list of programs " + Shown(place, AppPathsKey);
      return false;
    }
  }
  for (const Place& place : kPlaces) {
    if (!ReadPackageRoot(place, dirs, code)) {
      *what = "the packaged apps' key " + Shown(place, AppxKey);
      return false;
    }
  }
  return true;
}

}  // namespace qf
