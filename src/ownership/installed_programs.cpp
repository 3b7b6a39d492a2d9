// The directories of the other programs installed here, as the system's own
// lists name them.  These lists are written by every installer, so they are
// read only for what they name, never trusted to name less: an entry that
// names nothing usable is passed over, and only a list that cannot be read
// at all keeps every root.  An entry of this product's own (its program in
// Quillforge's InstallDir) is no other program's.
#include "common/paths.h"
#include "common/schema.h"
#include "common/utf.h"
#include "linkproof/linkproof.h"
#include "ownership/lists.h"
#include "ownership/ownership.h"

namespace qf {
namespace {

using namespace platform;
using lists::Place;

constexpr Place kPlaces[] = {
    {Root::LocalMachine, kKeyView64},
    {Root::LocalMachine, kKeyView32},
    {Root::CurrentUser, 0},
};

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

// What one list's entries are read with, and where they are kept.
struct Reading {
  Place place;
  lists::Expansion how;
  std::string installDir;  // this product's, "" for none
  std::vector<ForeignDir>* dirs;
};

// Whether every directory of `dirs` lies in this product's InstallDir.
bool AllOurs(const Reading& reading, const std::vector<std::string>& dirs) {
  if (reading.installDir.empty() || dirs.empty()) return false;
  for (const std::string& dir : dirs)
    if (IsAtOrAbove(reading.installDir, dir) < 0) return false;
  return true;
}

void AddProgram(const Reading& reading, const std::string& name, const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    reading.dirs->push_back({Decision::RootHoldsProgram, name + " at " + path, path, Decision::kCount, true, true});
}

std::string ReadPathText(const RegKey& entry, const char* value) {
  std::string text;
  return entry.ReadText(value, OtherPathCapacity, &text) == kSuccess ? text : std::string();
}

// An entry's InstallLocation; without one, the directories of its icon
// and of its uninstaller, which most entries carry.
void ReadUninstallEntry(const Reading& reading, const std::string& name, const RegKey& entry) {
  std::vector<std::string> dirs = lists::PathsOf(ReadPathText(entry, InstallLocation), reading.how);
  if (dirs.empty()) {
    for (const char* value : {DisplayIcon, UninstallString})
      for (const std::string& dir : lists::ProgramDirsOf(ReadPathText(entry, value), reading.how))
        dirs.push_back(dir);
  }
  if (AllOurs(reading, dirs)) return;
  std::string shown;
  if (entry.ReadText(DisplayName, DisplayNameCapacity, &shown) != kSuccess || shown.empty()) shown = name;
  AddProgram(reading, shown, dirs);
}

// A program's directory and each of its Path, unless the program is ours:
// this product's entry names the shared components' folders in its Path.
void ReadAppPath(const Reading& reading, const std::string& name, const RegKey& entry) {
  const std::vector<std::string> program = lists::ProgramDirsOf(ReadPathText(entry, ""), reading.how);
  if (AllOurs(reading, program)) return;
  AddProgram(reading, name, program);
  const std::string path = ReadPathText(entry, AppPathValue);
  for (size_t at = 0; at <= path.size();) {
    const size_t end = std::min(path.find(';', at), path.size());
    AddProgram(reading, name, lists::PathsOf(path.substr(at, end - at), reading.how));
    at = end + 1;
  }
}

template <typename ReadEntry>
bool ReadList(const Reading& reading, const char* path, long* code, ReadEntry read) {
  RegKey list;
  if (!lists::OpenList(reading.place, path, &list, code)) return false;
  if (!list.Valid()) return true;
  return lists::ForEachEntry(list, reading.place.view, code,
                             [&](const std::string& name, const RegKey& entry) { read(reading, name, entry); });
}

bool ReadPackageRoot(const Reading& reading, long* code) {
  RegKey appx;
  if (reading.place.root != Root::LocalMachine) return true;
  if (!lists::OpenList(reading.place, AppxKey, &appx, code)) return false;
  if (!appx.Valid()) return true;
  for (const std::string& path : lists::PathsOf(ReadPathText(appx, PackageRoot), reading.how))
    reading.dirs->push_back({Decision::RootHoldsFolder, "the packaged apps' root " + path, path});
  return true;
}

}  // namespace

namespace lists {

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

}  // namespace lists

bool ReadInstalledPrograms(const lists::Expansion& machine, const std::string& installDir,
                           std::vector<ForeignDir>* dirs, std::string* what, long* code) {
  std::vector<Reading> readings;
  for (const Place& place : kPlaces) {
    lists::Expansion how = machine;
    // The 64-bit view lists the machine's own programs, whose %ProgramFiles%
    // is not the one a 32-bit process's environment gives.
    how.machineFolders = place.view == kKeyView64;
    readings.push_back({place, how, installDir, dirs});
  }
  for (const Reading& reading : readings) {
    if (!ReadList(reading, UninstallKey, code, ReadUninstallEntry)) {
      *what = "the list of installed programs " + lists::Shown(reading.place, UninstallKey);
      return false;
    }
  }
  for (const Reading& reading : readings) {
    if (!ReadList(reading, AppPathsKey, code, ReadAppPath)) {
      *what = "the list of programs " + lists::Shown(reading.place, AppPathsKey);
      return false;
    }
  }
  for (const Reading& reading : readings) {
    if (!ReadPackageRoot(reading, code)) {
      *what = "the packaged apps' key " + lists::Shown(reading.place, AppxKey);
      return false;
    }
  }
  return true;
}

}  // namespace qf
