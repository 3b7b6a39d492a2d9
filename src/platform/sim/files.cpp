// The simulated file system: drives and shares holding directories, files
// and links, one current directory, and the file calls over them.
#include <algorithm>
#include <utility>

#include "common/paths.h"
#include "platform/sim/machine.h"

namespace qf::sim {
namespace detail {
namespace {

using platform::kAttrArchive;
using platform::kAttrDirectory;
using platform::kAttrReadOnly;
using platform::kAttrReparsePoint;
using platform::kErrorAccessDenied;
using platform::kErrorDirNotEmpty;
using platform::kErrorFileNotFound;
using platform::kErrorInvalidHandle;
using platform::kErrorInvalidParameter;
using platform::kErrorNoMoreFiles;
using platform::kErrorPathNotFound;
using platform::kSuccess;

// Links followed in a row before a path counts as unresolvable.
constexpr int kMaxLinkDepth = 16;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// An absolute path as ResolveAbsolutePath gives it, cut into its root ("C:",
// "\\server\share") and the components below.
struct Split {
  std::string root;
  std::vector<std::string> parts;
};

Split SplitAbsolute(const std::string& absolute) {
  Split out;
  size_t start = 3;
  if (absolute[1] == ':') {
    const char letter = absolute[0];
    out.root = {letter >= 'a' ? static_cast<char>(letter - 'a' + 'A') : letter, ':'};
  } else {
    // "\\server\share", with or without more after it.
    const size_t share = absolute.find('\\', 2);
    const size_t end = std::min(absolute.find('\\', share + 1), absolute.size());
    out.root = absolute.substr(0, end);
    start = end;
  }
  std::string current;
  for (size_t i = start; i < absolute.size(); ++i) {
    if (absolute[i] != '\\') {
      current.push_back(absolute[i]);
    } else if (!current.empty()) {
      out.parts.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) out.parts.push_back(std::move(current));
  return out;
}

// Any path made absolute against the current directory, as the system does
// before using it; "" when it cannot be (empty, device paths).
std::string MakeAbsolute(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.empty()) return "";
  std::string absolute = ResolveAbsolutePath(path);
  if (!absolute.empty()) return absolute;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return "";
  const std::string& cwd = M().cwd;
  if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
    // "X:name": against the current directory when that is on drive X.
    const std::string drive = path.substr(0, 2);
    const std::string base = Fold(drive) == Fold(cwd.substr(0, 2)) ? cwd : drive + "\\";
    return ResolveAbsolutePath(base + "\\" + path.substr(2));
  }
  if (path[0] == '\\') return ResolveAbsolutePath(SplitAbsolute(cwd).root + path);
  return ResolveAbsolutePath(cwd + "\\" + path);
}

std::string PathOf(const FileNode* node) {
  if (!node->parent) return node->name + "\\";
  std::string path = PathOf(node->parent);
  if (path.back() != '\\') path.push_back('\\');
  return path + node->name;
}

// `directory` followed by `suffix` ("\*.*"), without doubling the backslash
// after a root.
std::string Append(const std::string& directory, std::string_view suffix) {
  if (suffix.empty() || directory.empty() || directory.back() != '\\') {
    return directory + std::string(suffix);
  }
  return directory + std::string(suffix.substr(1));
}

uint32_t AttributesOf(const FileNode& node) {
  switch (node.kind) {
    case Kind::Directory: return kAttrDirectory | node.extra;
    case Kind::File: return kAttrArchive | node.extra;
    case Kind::Link:
      return (node.linkToDirectory ? kAttrDirectory : 0) | kAttrReparsePoint | node.extra;
  }
  return node.extra;
}

struct Found {
  FileNode* node = nullptr;
  long error = kSuccess;
};

// Finds what `absolute` names.  Links in the middle are followed, a link as
// the last component only with `followLast`; what comes back is never a link
// that was followed, so its PathOf() is the real path.
Found Walk(const std::string& absolute, bool followLast, int depth = 0) {
  if (depth > kMaxLinkDepth) return {nullptr, kErrorCantResolveFilename};
  const Split split = SplitAbsolute(absolute);
  auto root = M().drives.find(Fold(split.root));
  if (root == M().drives.end()) return {nullptr, kErrorPathNotFound};
  FileNode* node = root->second.get();
  for (size_t i = 0; i < split.parts.size(); ++i) {
    const bool last = i + 1 == split.parts.size();
    const long missing = last ? kErrorFileNotFound : kErrorPathNotFound;
    if (node->kind != Kind::Directory) return {nullptr, kErrorPathNotFound};
    auto it = node->children.find(Fold(split.parts[i]));
    if (it == node->children.end()) return {nullptr, missing};
    node = it->second.get();
    if (node->kind == Kind::Link && (!last || followLast)) {
      const Found target = Walk(node->target, true, depth + 1);
      if (!target.node) {
        return {nullptr, target.error == kErrorCantResolveFilename ? target.error : missing};
      }
      node = target.node;
    }
  }
  return {node, kSuccess};
}

// Set-up: the node at `path` of `kind`, created with its parent directories
// when missing.  An existing node of the same kind is kept (links excepted).
FileNode* Place(const std::string& path, Kind kind) {
  const std::string absolute = ResolveAbsolutePath(path);
  if (absolute.empty()) Misuse("not an absolute path: " + path);
  const Split split = SplitAbsolute(absolute);
  auto& root = M().drives[Fold(split.root)];
  if (!root) {
    root = std::make_unique<FileNode>();
    root->name = split.root;
  }
  FileNode* node = root.get();
  if (split.parts.empty() && kind != Kind::Directory) Misuse("a root is a directory: " + path);
  for (size_t i = 0; i < split.parts.size(); ++i) {
    const bool last = i + 1 == split.parts.size();
    auto& slot = node->children[Fold(split.parts[i])];
    if (!slot) {
      slot = std::make_unique<FileNode>();
      slot->kind = last ? kind : Kind::Directory;
      slot->name = split.parts[i];
      slot->parent = node;
    } else if (last) {
      if (slot->kind != kind || kind == Kind::Link) Misuse("something else is at " + path);
    } else if (slot->kind == Kind::Link) {
      const Found target = Walk(slot->target, true);
      if (!target.node || target.node->kind != Kind::Directory) {
        Misuse("a link to no directory on the way to " + path);
      }
      node = target.node;
      continue;
    } else if (slot->kind == Kind::File) {
      Misuse("a file on the way to " + path);
    }
    node = slot.get();
  }
  return node;
}

void Collect(const FileNode& directory, std::vector<std::string>* out) {
  for (const auto& [folded, child] : directory.children) {
    out->push_back(PathOf(child.get()));
    if (child->kind == Kind::Directory) Collect(*child, out);
  }
}

void Unlink(FileNode* node) {
  node->parent->children.erase(Fold(node->name));
}

// What a file call works on, once resolved.
struct Target {
  std::string absolute;
  FileNode* node = nullptr;
};

// The common start of every file call: counts it, applies injected failures
// (matched against the absolute path and the real one, with `suffix`
// appended), the length limit of the ANSI calls, and resolves the path.
long Prepare(Op op, const char* path, bool followLast, Target* target,
             std::string_view suffix = {}) {
  const std::string given = path ? path : "";
  const std::string absolute = MakeAbsolute(given);
  const Found found = absolute.empty() ? Found{} : Walk(absolute, followLast);
  const std::string shown = Append(absolute.empty() ? given : absolute, suffix);
  const std::string real = found.node ? Append(PathOf(found.node), suffix) : std::string();
  if (long injected = BeginOp(op, {shown, real})) return injected;
  if (absolute.empty()) return given.empty() ? kErrorPathNotFound : kErrorInvalidName;
  if (shown.size() > kMaxPath) return kErrorFilenameTooLong;
  if (!found.node) return found.error;
  target->absolute = absolute;
  target->node = found.node;
  return kSuccess;
}

FileNode* CurrentNode() { return Walk(M().cwd, true).node; }

}  // namespace

void InitFiles(Machine& machine) {
  auto drive = std::make_unique<FileNode>();
  drive->name = "C:";
  machine.drives[Fold("C:")] = std::move(drive);
  machine.cwd = "C:\\";
}

}  // namespace detail

// ---- Set-up and inspection ----

using namespace detail;

void MakeDir(const std::string& path, uint32_t extraAttributes) {
  Place(path, Kind::Directory)->extra |= extraAttributes;
}

void MakeFile(const std::string& path, uint32_t extraAttributes) {
  Place(path, Kind::File)->extra = extraAttributes;
}

void MakeLink(const std::string& path, const std::string& target,
              bool directory) {
  const std::string absoluteTarget = ResolveAbsolutePath(target);
  if (absoluteTarget.empty()) Misuse("a link needs an absolute target: " + target);
  FileNode* link = Place(path, Kind::Link);
  link->target = absoluteTarget;
  link->linkToDirectory = directory;
}

bool Exists(const std::string& path) {
  const std::string absolute = MakeAbsolute(path);
  return !absolute.empty() && Walk(absolute, false).node != nullptr;
}

std::optional<uint32_t> Attributes(const std::string& path) {
  const std::string absolute = MakeAbsolute(path);
  const FileNode* node = absolute.empty() ? nullptr : Walk(absolute, false).node;
  if (!node) return std::nullopt;
  return AttributesOf(*node);
}

std::string CurrentDir() { return M().cwd; }

void SetCwd(const std::string& path) {
  const std::string absolute = MakeAbsolute(path);
  const FileNode* node = absolute.empty() ? nullptr : Walk(absolute, true).node;
  if (!node || node->kind != Kind::Directory) Misuse("no directory at " + path);
  M().cwd = absolute;
}

std::vector<std::string> Tree(const std::string& path) {
  std::vector<std::string> out;
  const std::string absolute = MakeAbsolute(path);
  const FileNode* node = absolute.empty() ? nullptr : Walk(absolute, true).node;
  if (node && node->kind == Kind::Directory) Collect(*node, &out);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace qf::sim

// ---- The platform calls ----

namespace qf::platform {

using sim::Op;
using namespace sim::detail;

long GetCurrentDir(std::string* path) {
  if (long injected = BeginOp(Op::GetCurrentDir, {M().cwd})) return injected;
  *path = M().cwd;
  return kSuccess;
}

long SetCurrentDir(const char* path) {
  Target target;
  if (long result = Prepare(Op::SetCurrentDir, path, true, &target)) return result;
  if (target.node->kind != Kind::Directory) return kErrorDirectory;
  // Kept as given, made absolute: a link stays a link in the current path.
  M().cwd = target.absolute;
  return kSuccess;
}

long GetAttributes(const char* path, uint32_t* attributes) {
  Target target;
  if (long result = Prepare(Op::GetAttributes, path, false, &target)) return result;
  *attributes = AttributesOf(*target.node);
  return kSuccess;
}

long EraseFile(const char* path) {
  Target target;
  if (long result = Prepare(Op::EraseFile, path, false, &target)) return result;
  FileNode* node = target.node;
  const bool directory = node->kind == Kind::Directory ||
                         (node->kind == Kind::Link && node->linkToDirectory);
  if (directory || (node->extra & kAttrReadOnly)) return kErrorAccessDenied;
  Record("DeleteFile", PathOf(node));
  Unlink(node);
  return kSuccess;
}

long RemoveDir(const char* path) {
  Target target;
  if (long result = Prepare(Op::RemoveDir, path, false, &target)) return result;
  FileNode* node = target.node;
  if (node->kind == Kind::File || (node->kind == Kind::Link && !node->linkToDirectory)) {
    return kErrorDirectory;
  }
  if (node->kind == Kind::Directory) {
    // A read-only directory goes like any other; only files are kept by it.
    if (!node->parent) return kErrorAccessDenied;
    // The process holds its current directory open without sharing delete.
    if (node == CurrentNode()) return kErrorSharingViolation;
    if (!node->children.empty()) return kErrorDirNotEmpty;
  }
  Record("RemoveDirectory", PathOf(node));
  Unlink(node);
  return kSuccess;
}

void detail::CloseFindHandle(std::uintptr_t handle) { DropHandle(handle); }

long FileFind::Start(const char* pattern, FileEntry* first) {
  Close();
  std::string given = pattern ? pattern : "";
  std::replace(given.begin(), given.end(), '/', '\\');
  // Only "everything in a directory" is modelled.
  std::string directory;
  if (given == "*.*") {
    directory = ".";
  } else if (given.size() >= 4 && given.compare(given.size() - 4, 4, "\\*.*") == 0) {
    directory = given.substr(0, given.size() - 3);
  } else {
    if (long injected = BeginOp(Op::FindFirst, {given})) return injected;
    return kErrorInvalidParameter;
  }

  Target target;
  if (long result = Prepare(Op::FindFirst, directory.c_str(), true, &target, "\\*.*")) {
    return result == kErrorFileNotFound ? kErrorPathNotFound : result;
  }
  const FileNode* node = target.node;
  if (node->kind != Kind::Directory) return kErrorPathNotFound;

  ListingHandle listing;
  listing.pattern = Append(target.absolute, "\\*.*");
  listing.real = Append(PathOf(node), "\\*.*");
  listing.entries.push_back(FileEntry{".", kAttrDirectory});
  listing.entries.push_back(FileEntry{"..", kAttrDirectory});
  for (const auto& [folded, child] : node->children) {
    listing.entries.push_back(FileEntry{child->name, AttributesOf(*child)});
  }
  listing.next = 1;
  *first = listing.entries.front();
  handle_.Reset(AddHandle(std::move(listing)));
  return kSuccess;
}

long FileFind::Next(FileEntry* entry) {
  ListingHandle* listing = FindHandle<ListingHandle>(handle_.Get());
  const std::string pattern = listing ? listing->pattern : std::string();
  const std::string real = listing ? listing->real : std::string();
  if (long injected = BeginOp(Op::FindNext, {pattern, real})) return injected;
  if (!listing) return kErrorInvalidHandle;
  if (listing->next >= listing->entries.size()) return kErrorNoMoreFiles;
  *entry = listing->entries[listing->next++];
  return kSuccess;
}

}  // namespace qf::platform
