// The file system as the pass reaches it: each component's root directory
// with its whole tree, and the shared area's directory with its entries.
// Trees are listed through directory handles, each child opened relative to
// its parent's handle, so a tree of any depth is read whatever its paths'
// lengths; an entry that is a link is recorded as a link and never listed.
// Every entry the pass would delete is also opened for deletion, as the pass
// opens it, and closed again at once: what another program holds without
// sharing deletion, or what this account may not delete, is then known to
// stay.
#include <string>
#include <vector>

#include "capture/win32.h"
#include "common/case_fold.h"
#include "common/paths.h"
#include "common/schema.h"
#include "plan/plan.h"
#include "platform/sim/sim.h"
#include "platform/win32/file_identity.h"

namespace qfpreview {
namespace {

namespace sim = qf::sim;

constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr long kSharingViolation = ERROR_SHARING_VIOLATION;
constexpr long kAccessDenied = ERROR_ACCESS_DENIED;
constexpr long kInvalidName = ERROR_INVALID_NAME;

// Opens the directory `name` for listing: below `parent` when one is given,
// else `name` is a full object path.  A link is opened as itself (on Windows;
// the callers never open an entry listed as a link).  Shared for every use,
// so the capture stands in no one's way.
NTSTATUS OpenDirectory(HANDLE parent, const std::wstring& name, HandleGuard* directory) {
  return OpenObject(parent, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT,
                    kShareAll, directory);
}

// Opens `name` below `parent` (or the full object path `name`) exactly as
// the pass opens what it deletes, for deletion and sharing reading and
// writing only, and closes it again (with `kept`, gives it there, to be
// checked as the pass checks it): nothing is deleted.  The code the pass's
// open would fail with, or 0.
long ProbeDeletion(HANDLE parent, const std::wstring& name, HandleGuard* kept = nullptr) {
  HandleGuard probe;
  const NTSTATUS status =
      OpenObject(parent, name, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                 FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT,
                 FILE_SHARE_READ | FILE_SHARE_WRITE, &probe);
  if (kept) *kept = std::move(probe);
  return NT_SUCCESS(status) ? 0 : static_cast<long>(RtlNtStatusToDosError(status));
}

// Where the links of a capture under Wine lead in the simulation.
const std::string kWineLinkTarget = "\\\\qfpreview\\wine-link-target";
const std::string kWineFileLinkTarget = kWineLinkTarget + "\\file";

// The final path of an open handle, as the pass reads it to check an entry;
// "" when it cannot be read.
std::string FinalPath(HANDLE handle) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(),
                                                   static_cast<DWORD>(buffer.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    std::string path;
    if (length == 0) return path;
    if (length < buffer.size())
      return Utf8(std::wstring_view(buffer.data(), length), &path) ? path : "";
    buffer.resize(length + 1);
  }
}

// Under Wine a link to a file lists as a plain file and opens as its
// target: the pass, which holds each file to its parent's final path plus
// its name, finds it elsewhere and leaves it.  The same check, through the
// handle the deletion was probed with, tells such a link from a file; it
// costs a request per file, and is made only under Wine (on Windows a link
// lists as one).
bool LeadsElsewhere(HANDLE entry, const std::string& directoryFinal, const std::string& name) {
  const std::string final = FinalPath(entry);
  return !final.empty() && !directoryFinal.empty() &&
         !qf::SameNameFolded(final, qf::JoinFinalPath(directoryFinal, name));
}

// Gives the simulation one entry, unless something is there already (a
// directory made as the parent of a deeper root).
// A link to a file found under Wine (`fileLink`) is listed there as the file
// it opens.
void Place(const std::string& path, DWORD attributes, uint64_t size, Snapshot* snapshot,
           bool fileLink = false) {
  const bool link = fileLink || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  snapshot->files[Folded(path)] = FileItem{path, attributes, size, link, false};
  if (sim::Exists(path)) return;
  if (fileLink) {
    if (!sim::Exists(kWineFileLinkTarget)) sim::MakeFile(kWineFileLinkTarget);
    sim::MakeLink(path, kWineFileLinkTarget, /*directory=*/false, /*opensTarget=*/true);
  } else if (link && snapshot->underWine) {
    // Its target is never read, which would follow it.  Under Wine a link
    // opens as its target, so the pass finds it is not what its listing
    // showed and leaves it, with the directories above it: a stand-in
    // target, which nothing else names, makes the simulation's do the same.
    sim::MakeDir(kWineLinkTarget);
    sim::MakeLink(path, kWineLinkTarget, directory, /*opensTarget=*/true);
  } else if (link) {
    // A link to itself cannot be resolved, so the simulation cannot follow
    // it either.
    sim::MakeLink(path, path, directory);
  } else if (directory) {
    sim::MakeDir(path, attributes & kKeptAttributes);
  } else {
    sim::MakeFile(path, attributes & kKeptAttributes);
  }
}

// The identity of what `path` names (opened below `parent` as `name`, or
// through `opened` when given), as a plan records it and a run held to the
// plan reads it again: given to the simulation, so that the preview's run
// finds there what the real one will find.  A file's or link's id, size and
// last-write time are those its directory's `listed` (the run reads them
// there too).
// Nothing is learnt of what cannot be opened: the simulation's own identity
// then differs from any plan's.
void CopyIdentity(HANDLE parent, const std::wstring& name, HANDLE opened, const std::string& path,
                  const FILE_ID_BOTH_DIR_INFO* listed = nullptr) {
  HandleGuard own;
  if (!opened) {
    if (!NT_SUCCESS(OpenObject(parent, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, kShareAll, &own)))
      return;
    opened = own.Get();
  }
  qf::platform::FileIdentity identity;
  if (qf::platform::win32::IdentityOf(opened, &identity) != 0 || !sim::Exists(path)) return;
  // Whatever the walk does not enter (a file, a link of either kind).
  const DWORD kEntered = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (listed && (listed->FileAttributes & kEntered) != FILE_ATTRIBUTE_DIRECTORY) {
    identity.id = static_cast<uint64_t>(listed->FileId.QuadPart);
    identity.size = static_cast<uint64_t>(listed->EndOfFile.QuadPart);
    identity.lastWrite = static_cast<uint64_t>(listed->LastWriteTime.QuadPart);
  }
  sim::SetIdentity(path, identity);
}

// What the pass meets when its open for deletion fails with `code`.  Held
// by another program: it is held in the simulation too.  Denied: a file is
// refused there as a read-only file is, with the same code; a directory is
// held, since the pass then lists it without deleting, and its removal fails
// with the same code as here; so is a link, which stays either way.
void Undeletable(const std::string& path, long code, Snapshot* snapshot) {
  if (code != kSharingViolation && code != kAccessDenied) return;
  FileItem& item = snapshot->files[Folded(path)];
  item.held = true;
  if (code == kAccessDenied && !(item.attributes & FILE_ATTRIBUTE_DIRECTORY) && !item.link)
    sim::MakeFile(path, (item.attributes & kKeptAttributes) | FILE_ATTRIBUTE_READONLY);
  else
    sim::HoldOpen(path);
}

// A directory the pass could not list either: its listing fails in the
// simulation with the same code, and so does its removal, since it is not
// known to be empty.  (The simulation matches a part of the path, so a
// sibling whose name begins with this one's fails alike.)
void Unlisted(const std::string& path, long code) {
  sim::FailWhen(sim::Op::FileList, path, code);
  sim::FailWhen(sim::Op::FileDispose, path, code);
}

struct Subdirectory {
  std::wstring name;
  std::string path;
};

// Lists the open directory `path` into the simulation and probes each entry
// for deletion; gives the subdirectories to descend into.  False when the
// listing failed.
bool List(HANDLE directory, const std::string& path, bool probe, Snapshot* snapshot,
          std::vector<Subdirectory>* subdirectories) {
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
  const std::string final = probe && snapshot->underWine ? FinalPath(directory) : "";
  while (GetFileInformationByHandleEx(directory, FileIdBothDirectoryInfo, buffer.data(), size)) {
    const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        std::string utf8;
        const bool exact = Utf8(name, &utf8);
        const std::string child = qf::JoinPath(path, exact ? utf8 : Utf8Shown(name));
        const DWORD attributes = entry->FileAttributes;
        const uint64_t bytes = static_cast<uint64_t>(entry->EndOfFile.QuadPart);
        constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
        const bool plain = !(attributes & kNotPlain);
        const bool descend =
            (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (!exact) {
          // The pass cannot name it, so it cannot open it: it stays, with
          // everything below it.
          Place(child, attributes, bytes, snapshot);
          sim::FailWhen(sim::Op::FileOpenBelow, child, kInvalidName);
        } else if (probe) {
          HandleGuard opened;
          const long code = ProbeDeletion(directory, name, &opened);
          const bool fileLink =
              code == 0 && plain && !final.empty() && LeadsElsewhere(opened.Get(), final, utf8);
          Place(child, attributes, bytes, snapshot, fileLink);
          if (!fileLink) CopyIdentity(directory, name, opened.Get(), child, entry);
          Undeletable(child, code, snapshot);
        } else {
          Place(child, attributes, bytes, snapshot);
        }
        if (exact && descend) subdirectories->push_back(Subdirectory{name, child});
      }
      if (entry->NextEntryOffset == 0) break;
      bytes += entry->NextEntryOffset;
    }
  }
  const DWORD end = GetLastError();
  if (end == ERROR_NO_MORE_FILES) return true;
  Unlisted(path, static_cast<long>(end));
  return false;
}

// The tree below the open directory `root`, depth first, one open handle
// per level: a child is opened relative to its parent's handle.
void CopyTree(HandleGuard root, const std::string& rootPath, Snapshot* snapshot) {
  struct Level {
    HandleGuard handle;
    std::vector<Subdirectory> subdirectories;
    size_t next = 0;
  };
  std::vector<Level> levels(1);
  levels[0].handle = std::move(root);
  if (!List(levels[0].handle.Get(), rootPath, true, snapshot, &levels[0].subdirectories)) return;
  while (!levels.empty()) {
    Level& top = levels.back();
    if (top.next == top.subdirectories.size()) {
      levels.pop_back();
      continue;
    }
    const Subdirectory child = top.subdirectories[top.next++];
    Level level;
    const NTSTATUS status = OpenDirectory(top.handle.Get(), child.name, &level.handle);
    if (!NT_SUCCESS(status)) {
      Unlisted(child.path, static_cast<long>(RtlNtStatusToDosError(status)));
      continue;
    }
    if (List(level.handle.Get(), child.path, true, snapshot, &level.subdirectories))
      levels.push_back(std::move(level));
  }
}

// A directory on the way to a root, and the 8.3 short name the root's path
// gave it.
struct ShortName {
  std::string path, name;
};

// A root named with 8.3 short names ("C:\PROGRA~1\...") is read under its
// long names, and the simulation learns each short name, so that the pass
// there reaches the same directory by either name, as it does here: its
// entries are then named as the pass names them (final paths), and a root
// and the shared area above it stay one tree.  Gives the long form, or
// `root` itself when it has no short name or cannot be expanded.
std::string LongRoot(const std::string& root, std::vector<ShortName>* shortNames) {
  if (root.find('~') == std::string::npos || root.rfind("\\\\", 0) == 0) return root;
  std::vector<wchar_t> buffer(MAX_PATH);
  const std::wstring wide = Wide(root);
  DWORD length = GetLongPathNameW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length);
    length = GetLongPathNameW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  std::string longRoot;
  if (length == 0 || length >= buffer.size() ||
      !Utf8(std::wstring_view(buffer.data(), length), &longRoot))
    return root;
  const std::vector<std::string> given = qf::SplitPath(root), expanded = qf::SplitPath(longRoot);
  if (given.empty() || given.size() != expanded.size()) return root;
  std::string path = expanded[0];
  for (size_t i = 1; i < expanded.size(); ++i) {
    path = qf::JoinPath(path, expanded[i]);
    if (Folded(expanded[i]) != Folded(given[i])) shortNames->push_back({path, given[i]});
  }
  return longRoot;
}

// A root directory as the pass first meets it: its attributes (a link as
// the last name is not followed), whether it opens for deletion, then, for
// a directory, its tree (`deep`) or its entries.  Gives the path it was read
// under.
std::string CopyRoot(const std::string& given, bool deep, Snapshot* snapshot) {
  std::vector<ShortName> shortNames;
  const std::string root = LongRoot(given, &shortNames);
  // A root reached through a link already read (in another component's
  // tree) lies where that link leads, which is never read.
  for (size_t cut = root.find('\\', 3); cut != std::string::npos; cut = root.find('\\', cut + 1)) {
    const auto above = snapshot->files.find(Folded(root.substr(0, cut)));
    if (above != snapshot->files.end() && above->second.link) {
      snapshot->rootsBehindLinks[Folded(root)] = above->second.path;
      // Under Wine the pass opens it, but finds it elsewhere.
      if (snapshot->underWine) sim::MakeDir(kWineLinkTarget + root.substr(cut));
      return root;
    }
  }
  const DWORD attributes = GetFileAttributesW(Wide(root).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    // Not there: nothing to give.  Unreadable: the pass cannot open it either.
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
      sim::FailWhen(sim::Op::FileOpen, root, static_cast<long>(code));
    return root;
  }
  Place(root, attributes, 0, snapshot);
  for (const ShortName& shortName : shortNames)
    if (sim::Exists(shortName.path)) sim::SetShortName(shortName.path, shortName.name);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return root;
  Undeletable(root, ProbeDeletion(nullptr, NtPath(root)), snapshot);
  HandleGuard directory;
  const NTSTATUS status = OpenDirectory(nullptr, NtPath(root), &directory);
  if (!NT_SUCCESS(status)) {
    Unlisted(root, static_cast<long>(RtlNtStatusToDosError(status)));
    return root;
  }
  CopyIdentity(nullptr, {}, directory.Get(), root);
  if (deep) {
    CopyTree(std::move(directory), root, snapshot);
  } else {
    std::vector<Subdirectory> ignored;
    List(directory.Get(), root, false, snapshot, &ignored);
  }
  return root;
}

// The directory a path value names, as the pass resolves it; "" for none.
std::string Resolved(const std::optional<std::string>& value) {
  return value && qf::IsBelowRoot(*value) ? qf::ResolveAbsolutePath(*value) : std::string();
}

// The run record's directory, itself and none of its entries, as the pass
// meets it: a link, or a directory whose final path is not its name (one
// reached through a link), becomes a link that leads nowhere, which the
// pass refuses as it refuses the real one.
void CopyRecordDir(const std::string& given) {
  std::vector<ShortName> shortNames;
  const std::string dir = LongRoot(given, &shortNames);
  if (sim::Exists(dir)) return;
  const DWORD attributes = GetFileAttributesW(Wide(dir).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
      sim::FailWhen(sim::Op::FileOpen, dir, static_cast<long>(code));
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return sim::MakeFile(dir);
  bool itself = !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  HandleGuard opened;
  std::vector<wchar_t> final(32768);
  if (itself && NT_SUCCESS(OpenDirectory(nullptr, NtPath(dir), &opened))) {
    const DWORD length = GetFinalPathNameByHandleW(opened.Get(), final.data(),
                                                   static_cast<DWORD>(final.size()), 0);
    std::string finalPath;
    itself = length > 0 && length < final.size() &&
             Utf8(std::wstring_view(final.data(), length), &finalPath) &&
             Folded(finalPath) == Folded("\\\\?\\" + dir);
  }
  if (!itself) return sim::MakeLink(dir, dir, true);
  sim::MakeDir(dir);
  for (const ShortName& shortName : shortNames)
    if (sim::Exists(shortName.path)) sim::SetShortName(shortName.path, shortName.name);
}

}  // namespace

void CopyPlan(const std::string& given) {
  if (!qf::IsBelowRoot(given)) return;
  std::string dir, name;
  const std::string path = qf::ResolveAbsolutePath(given);
  if (!qf::SplitParent(path, &dir, &name) || name.empty()) return;
  CopyRecordDir(dir);
  const std::string file = qf::JoinPath(dir, name);
  if (sim::Exists(file) || !sim::Exists(dir)) return;
  // Opened as itself and read whole, as the pass reads it: a link in its
  // place becomes one that leads nowhere, which the pass refuses.
  HandleGuard opened;
  const NTSTATUS status = OpenObject(nullptr, NtPath(file), GENERIC_READ | SYNCHRONIZE,
                                     FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, kShareAll, &opened);
  if (!NT_SUCCESS(status)) {
    const long code = static_cast<long>(RtlNtStatusToDosError(status));
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
      sim::FailWhen(sim::Op::FileOpenBelow, file, code);
    return;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(opened.Get(), &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return sim::MakeLink(file, file, false);
  std::string bytes;
  char buffer[65536];
  for (DWORD got = 0; bytes.size() <= qf::plan::kPlanBytesLimit; bytes.append(buffer, got)) {
    if (!ReadFile(opened.Get(), buffer, sizeof buffer, &got, nullptr)) {
      sim::FailWhen(sim::Op::FileRead, file, static_cast<long>(GetLastError()));
      break;
    }
    if (got == 0) break;
  }
  sim::MakeFile(file, 0, bytes);
}

void CaptureFiles(Snapshot* snapshot) {
  // Every component's tree, whichever the pass releases; roots that are no
  // directory below a drive or share are never reached.  A root is read
  // before the roots below it, so a link on the way to one is known.
  std::map<std::string, std::string> roots;  // by folded path
  for (const ComponentFacts& component : snapshot->components) {
    const std::string root = Resolved(component.rootDir);
    if (!root.empty()) roots[Folded(root)] = root;
  }
  std::map<std::string, std::string> read;  // folded root -> the path it was read under
  for (const auto& [folded, root] : roots) read[folded] = CopyRoot(root, true, snapshot);
  for (ComponentFacts& component : snapshot->components) {
    const std::string root = Resolved(component.rootDir);
    if (!root.empty()) component.root = read[Folded(root)];
  }
  const std::string area = Resolved(snapshot->sharedFilesDir);
  if (!area.empty()) snapshot->area = CopyRoot(area, false, snapshot);
  const std::string records = Resolved(snapshot->recordDir);
  if (!records.empty()) CopyRecordDir(records);
  if (snapshot->planPath) CopyPlan(*snapshot->planPath);
}

}  // namespace qfpreview
