// The file system as the pass reaches it: each component's root directory
// with its whole tree, and the shared area's directory with its entries.
// Trees are listed through directory handles, each child opened relative to
// its parent's handle, so a tree of any depth is read whatever its paths'
// lengths; an entry that is a link is recorded as a link and never opened.
#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "capture.h"
#include "common/paths.h"
#include "common/schema.h"
#include "pass_reads.h"
#include "platform/sim/sim.h"
#include "win32_guards.h"

namespace qfpreview {
namespace {

using qf::platform::Root;
namespace sim = qf::sim;

constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

// A name as the pass's ANSI calls see it.
std::string Narrow(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &narrow[0], bytes, nullptr,
                      nullptr);
  return narrow;
}

// Opens the directory `name` for listing: below `parent` when one is given,
// else `name` is a full object path.  A link is opened as itself (on Windows;
// the callers never open an entry listed as a link).
NTSTATUS OpenDirectory(HANDLE parent, const std::wstring& name, HandleGuard* directory) {
  return OpenObject(parent, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT,
                    directory);
}

// Gives the simulation one entry, unless something is there already (a
// directory made as the parent of a deeper root).
void Place(const std::string& path, DWORD attributes, uint64_t size, Snapshot* snapshot) {
  const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  snapshot->files[FoldPath(path)] = FileItem{path, attributes, size, link};
  if (sim::Exists(path)) return;
  if (link) {
    // Its target is never read, which would follow it.  A link to itself
    // cannot be resolved, so the simulation cannot follow it either.
    sim::MakeLink(path, path, directory);
  } else if (directory) {
    sim::MakeDir(path, attributes & kKeptAttributes);
  } else {
    sim::MakeFile(path, attributes & kKeptAttributes);
  }
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

// Lists the open directory `path` into the simulation; gives the
// subdirectories to descend into.  False when the listing failed.
bool List(HANDLE directory, const std::string& path, Snapshot* snapshot,
          std::vector<Subdirectory>* subdirectories) {
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
  while (GetFileInformationByHandleEx(directory, FileIdBothDirectoryInfo, buffer.data(), size)) {
    const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      const size_t length = entry->FileNameLength / sizeof(wchar_t);
      const std::wstring name(entry->FileName, length);
      if (name != L"." && name != L"..") {
        const std::string child = qf::JoinPath(path, Narrow(name.data(), length));
        const DWORD attributes = entry->FileAttributes;
        Place(child, attributes, static_cast<uint64_t>(entry->EndOfFile.QuadPart), snapshot);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
          subdirectories->push_back(Subdirectory{name, child});
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
  if (!List(levels[0].handle.Get(), rootPath, snapshot, &levels[0].subdirectories)) return;
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
    if (List(level.handle.Get(), child.path, snapshot, &level.subdirectories))
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
  char buffer[MAX_PATH];
  const DWORD length = GetLongPathNameA(root.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return root;
  const std::string longRoot(buffer, length);
  const std::vector<std::string> given = qf::SplitPath(root), expanded = qf::SplitPath(longRoot);
  if (given.empty() || given.size() != expanded.size()) return root;
  std::string path = expanded[0];
  for (size_t i = 1; i < expanded.size(); ++i) {
    path = qf::JoinPath(path, expanded[i]);
    if (FoldPath(expanded[i]) != FoldPath(given[i])) shortNames->push_back({path, given[i]});
  }
  return longRoot;
}

// A root directory as the pass first meets it: its attributes as
// GetFileAttributesA gives them (a link as the last name is not followed),
// then, for a directory, its tree (`deep`) or its entries.
void CopyRoot(const std::string& given, bool deep, Snapshot* snapshot) {
  std::vector<ShortName> shortNames;
  const std::string root = LongRoot(given, &shortNames);
  // A root reached through a link already read (in another component's
  // tree) lies where that link leads, which is never read.
  for (size_t cut = root.find('\\', 3); cut != std::string::npos; cut = root.find('\\', cut + 1)) {
    const auto above = snapshot->files.find(FoldPath(root.substr(0, cut)));
    if (above != snapshot->files.end() && above->second.link) {
      snapshot->rootsBehindLinks[FoldPath(root)] = above->second.path;
      return;
    }
  }
  const DWORD attributes = GetFileAttributesA(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    // Not there: nothing to give.  Unreadable: the pass cannot open it either.
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
      sim::FailWhen(sim::Op::FileOpen, root, static_cast<long>(code));
    return;
  }
  Place(root, attributes, 0, snapshot);
  for (const ShortName& shortName : shortNames)
    if (sim::Exists(shortName.path)) sim::SetShortName(shortName.path, shortName.name);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return;
  HandleGuard directory;
  const NTSTATUS status = OpenDirectory(nullptr, NtPath(root), &directory);
  if (!NT_SUCCESS(status)) {
    Unlisted(root, static_cast<long>(RtlNtStatusToDosError(status)));
    return;
  }
  if (deep) {
    CopyTree(std::move(directory), root, snapshot);
  } else {
    std::vector<Subdirectory> ignored;
    List(directory.Get(), root, snapshot, &ignored);
  }
}

// A path value as the simulation holds it, when it fits the pass's read.
bool ReadPath(const std::string& key, const char* name, uint32_t capacity, std::string* path) {
  const std::optional<sim::Value> value = sim::GetValue(Root::LocalMachine, key, name);
  if (!value || value->data.size() > capacity) return false;
  *path = value->data.substr(0, value->data.find('\0'));
  return qf::IsBelowRoot(*path);
}

}  // namespace

NTSTATUS OpenObject(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                    HandleGuard* handle) {
  UNICODE_STRING object;
  object.Buffer = const_cast<PWSTR>(name.c_str());
  object.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  object.MaximumLength = object.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK io;
  // Opening only: NtOpenFile cannot create anything, and what it opens is
  // shared with everyone else for every kind of use.
  return NtOpenFile(handle->Put(), access, &attributes, &io,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    options | FILE_SYNCHRONOUS_IO_NONALERT);
}

std::wstring NtPath(const std::string& path) {
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\')
    return L"\\??\\UNC\\" + Wide(path.substr(2));
  return L"\\??\\" + Wide(path);
}

void CaptureFiles(Snapshot* snapshot) {
  // Every component record's tree, whichever the pass releases; roots that
  // are no directory below a drive or share are never reached.  A root is
  // read before the roots below it, so a link on the way to one is known.
  std::map<std::string, std::string> roots;  // by folded path
  for (const std::string& component : sim::SubkeyNames(Root::LocalMachine, qf::SharedKey)) {
    std::string root;
    if (ReadPath(qf::JoinPath(qf::SharedKey, component), qf::RootDir, RootDirCapacity, &root))
      roots[FoldPath(qf::ResolveAbsolutePath(root))] = qf::ResolveAbsolutePath(root);
  }
  for (const auto& [folded, root] : roots) CopyRoot(root, true, snapshot);
  std::string area;
  if (ReadPath(qf::SharedKey, qf::SharedFilesDir, SharedFilesDirCapacity, &area))
    CopyRoot(qf::ResolveAbsolutePath(area), false, snapshot);
}

}  // namespace qfpreview
