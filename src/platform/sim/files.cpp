// The simulated file system: drives and shares holding directories, files
// (with their bytes) and links, one current directory, and the file calls
// over them.
#include <algorithm>
#include <utility>

#include "common/case_fold.h"
#include "common/paths.h"
#include "common/utf.h"
#include "platform/sim/machine.h"

namespace qf::sim {
namespace detail {
namespace {

using platform::kAttrArchive;
using platform::kAttrDirectory;
using platform::kAttrReadOnly;
using platform::kAttrReparsePoint;
using platform::kErrorAccessDenied;
using platform::kErrorAlreadyExists;
using platform::kErrorDirNotEmpty;
using platform::kErrorFileNotFound;
using platform::kErrorInvalidHandle;
using platform::kErrorInvalidParameter;
using platform::kErrorNoMoreFiles;
using platform::kErrorPathNotFound;
using platform::kSuccess;

// Links followed in a row before a path counts as unresolvable.
constexpr int kMaxLinkDepth = 16;
constexpr long kErrorNotAReparsePoint = 4390;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// An absolute path as ResolveAbsolutePath gives it, cut into its root ("C:",
// "\\server\share") and the components below.
struct Split {
  std::string root;
  std::vector<std::string> parts;
};

Split SplitAbsolute(const std::string& absolute) {
  Split out;
  const size_t length = RootLength(absolute);
  out.root = absolute.substr(0, length);
  if (!out.root.empty() && out.root.back() == '\\') out.root.pop_back();
  // Drives are kept under their upper-case letter.
  if (out.root.size() == 2 && out.root[1] == ':' && out.root[0] >= 'a' && out.root[0] <= 'z')
    out.root[0] = static_cast<char>(out.root[0] - 'a' + 'A');
  out.parts = SplitPath(std::string_view(absolute).substr(length));
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
    const std::string base = Fold(drive) == Fold(SplitAbsolute(cwd).root) ? cwd : drive + "\\";
    return ResolveAbsolutePath(base + "\\" + path.substr(2));
  }
  if (path[0] == '\\') return ResolveAbsolutePath(SplitAbsolute(cwd).root + path);
  return ResolveAbsolutePath(cwd + "\\" + path);
}

// Built in one pass from the root down, so that a deep tree costs a path's
// length, not its square.
std::string PathOf(const FileNode* node) {
  std::vector<const FileNode*> chain;
  for (; node != nullptr; node = node->parent) chain.push_back(node);
  std::string path = chain.back()->name + "\\";
  for (size_t i = chain.size() - 1; i-- > 0;) {
    if (path.back() != '\\') path.push_back('\\');
    path += chain[i]->name;
  }
  return path;
}

// `directory` followed by `suffix` ("\*.*"), without doubling the backslash
// after a root.
std::string Append(const std::string& directory, std::string_view suffix) {
  if (suffix.empty() || directory.empty() || directory.back() != '\\') {
    return directory + std::string(suffix);
  }
  return directory + std::string(suffix.substr(1));
}

// A number of its own for each drive, as a volume's serial number is.
uint64_t DriveVolume(const FileNode& drive) {
  uint32_t hash = 2166136261u;
  for (const char c : Fold(drive.name)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

platform::FileIdentity IdentityOf(const FileNode& node) {
  const FileNode* drive = &node;
  while (drive->parent && !drive->volume) drive = drive->parent;
  return {drive->volume ? *drive->volume : DriveVolume(*drive), node.id,
          node.size ? *node.size : node.contents.size(), node.lastWrite};
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

// The entry `name` of `directory`, by its name or its 8.3 name.
FileNode* Child(const FileNode& directory, const std::string& name) {
  auto it = directory.children.find(Fold(name));
  if (it != directory.children.end()) return it->second.get();
  for (const auto& [folded, child] : directory.children) {
    if (!child->shortName.empty() && Fold(child->shortName) == Fold(name)) return child.get();
  }
  return nullptr;
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
    FileNode* child = Child(*node, split.parts[i]);
    if (!child) return {nullptr, missing};
    node = child;
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
    root = std::make_shared<FileNode>();
    root->name = split.root;
  }
  FileNode* node = root.get();
  if (split.parts.empty() && kind != Kind::Directory) Misuse("a root is a directory: " + path);
  for (size_t i = 0; i < split.parts.size(); ++i) {
    const bool last = i + 1 == split.parts.size();
    auto& slot = node->children[Fold(split.parts[i])];
    if (!slot) {
      slot = std::make_shared<FileNode>();
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
// appended), the length limit of paths without the "\\?\" prefix, and
// resolves the path.
long Prepare(Op op, const char* path, bool followLast, Target* target,
             std::string_view suffix = {}) {
  const std::string given = path ? path : "";
  const std::string absolute = FileInView(MakeAbsolute(given));
  const Found named = absolute.empty() ? Found{} : Walk(absolute, followLast);
  const std::string shown = Append(absolute.empty() ? given : absolute, suffix);
  const std::string real = named.node ? Append(PathOf(named.node), suffix) : std::string();
  if (long injected = BeginOp(op, {shown, real})) return injected;
  // Resolved again: an action of another process may have changed the way.
  const Found found = absolute.empty() ? Found{} : Walk(absolute, followLast);
  if (absolute.empty()) return given.empty() ? kErrorPathNotFound : kErrorInvalidName;
  // The system rejects these in a name, whatever is there.
  if (absolute.find_first_of("<>\"|?*") != std::string::npos) return kErrorInvalidName;
  if (shown.size() > kMaxPath) return kErrorFilenameTooLong;
  if (!found.node) return found.error;
  target->absolute = absolute;
  target->node = found.node;
  return kSuccess;
}

FileNode* CurrentNode() { return Walk(M().cwd, true).node; }

// What the platform calls reach for `node`: a unix link (MakeLink's
// opensTarget) reaches its target, null when it dangles; anything else
// itself.
FileNode* AsOpened(FileNode* node) {
  if (node->kind != Kind::Link || !node->opensTarget) return node;
  return Walk(node->target, true).node;
}

// Whether a handle holds `node` open.  No open shares deletion, so such a
// node can be neither renamed nor opened for deletion.
bool HeldOpen(const FileNode* node, bool withDeleteOnly = false) {
  return (withDeleteOnly ? node->openedForDelete : node->opened) > 0;
}

}  // namespace

FileObjectHandle::FileObjectHandle(const std::shared_ptr<FileNode>& opened, bool listing,
                                   bool deleting, bool writing)
    : node(opened), list(listing), remove(deleting), write(writing) {
  ++opened->opened;
  if (deleting) ++opened->openedForDelete;
}

FileObjectHandle::FileObjectHandle(FileObjectHandle&& other) noexcept
    : node(std::move(other.node)), list(other.list), remove(other.remove), write(other.write),
      read(other.read) {
  other.node.reset();
}

FileObjectHandle::~FileObjectHandle() {
  if (const std::shared_ptr<FileNode> held = node.lock()) {
    if (M().logCalls)
      M().callLog.push_back(LoggedCall{M().operations + 1, Op::FileOpen, true, {PathOf(held.get())}});
    --held->opened;
    if (remove) --held->openedForDelete;
  }
}

void InitFiles(Machine& machine) {
  auto drive = std::make_shared<FileNode>();
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

void MakeFile(const std::string& path, uint32_t extraAttributes, const std::string& contents) {
  FileNode* file = Place(path, Kind::File);
  file->extra = extraAttributes;
  file->contents = contents;
  file->size.reset();
  file->lastWrite = NextFileStamp();
}

void SetIdentity(const std::string& path, const platform::FileIdentity& identity) {
  const std::string absolute = MakeAbsolute(path);
  FileNode* node = absolute.empty() ? nullptr : Walk(absolute, false).node;
  if (!node) Misuse("nothing to give an identity at " + path);
  node->volume = identity.volume;
  node->id = identity.id;
  node->size = identity.size;
  node->lastWrite = identity.lastWrite;
}

void MakeLink(const std::string& path, const std::string& target,
              bool directory, bool opensTarget) {
  const std::string absoluteTarget = ResolveAbsolutePath(target);
  if (absoluteTarget.empty()) Misuse("a link needs an absolute target: " + target);
  FileNode* link = Place(path, Kind::Link);
  link->target = absoluteTarget;
  link->linkToDirectory = directory;
  link->opensTarget = opensTarget;
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

std::optional<std::string> FileContents(const std::string& path) {
  const std::string absolute = MakeAbsolute(path);
  const FileNode* node = absolute.empty() ? nullptr : Walk(absolute, false).node;
  if (!node || node->kind != Kind::File) return std::nullopt;
  return node->contents;
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

void SetShortName(const std::string& path, const std::string& shortName) {
  const std::string absolute = MakeAbsolute(path);
  FileNode* node = absolute.empty() ? nullptr : Walk(absolute, false).node;
  if (!node || !node->parent) Misuse("nothing to name at " + path);
  node->shortName = shortName;
}

void ShowDriveAs(const std::string& drive, const std::string& shownAs) {
  M().shownAs[Fold(drive)] = shownAs;
}

void SetTargetFinalPath(const std::string& path, long code, const std::string& finalPath) {
  const std::string absolute = MakeAbsolute(path);
  if (absolute.empty()) Misuse("not an absolute path: " + path);
  M().targetFinalPaths[Fold(absolute)] = {code, finalPath};
}

void HoldOpen(const std::string& path) {
  const std::string absolute = MakeAbsolute(path);
  FileNode* node = absolute.empty() ? nullptr : Walk(absolute, false).node;
  if (!node || !node->parent) Misuse("nothing to hold at " + path);
  node->heldElsewhere = true;
}

long Rename(const std::string& from, const std::string& to) {
  const std::string source = MakeAbsolute(from), destination = MakeAbsolute(to);
  const Found found = source.empty() ? Found{nullptr, kErrorPathNotFound} : Walk(source, false);
  if (!found.node) return found.error;
  FileNode* node = found.node;
  if (!node->parent) return kErrorAccessDenied;
  if (HeldOpen(node) || node->heldElsewhere || node == CurrentNode()) return kErrorSharingViolation;
  const size_t slash = destination.rfind('\\');
  if (destination.empty() || slash == std::string::npos) return kErrorPathNotFound;
  const std::string name = destination.substr(slash + 1);
  FileNode* parent = Walk(destination.substr(0, slash) + "\\", true).node;
  if (!parent || parent->kind != Kind::Directory) return kErrorPathNotFound;
  if (parent->children.count(Fold(name))) return kErrorAlreadyExists;
  std::shared_ptr<FileNode> moved = std::move(node->parent->children[Fold(node->name)]);
  node->parent->children.erase(Fold(node->name));
  moved->name = name;
  moved->parent = parent;
  parent->children[Fold(name)] = std::move(moved);
  return kSuccess;
}

long ClearReparsePoint(const std::string& path) {
  const std::string absolute = MakeAbsolute(path);
  const Found found = absolute.empty() ? Found{nullptr, kErrorPathNotFound} : Walk(absolute, false);
  if (!found.node) return found.error;
  if (found.node->kind != Kind::Link) return kErrorNotAReparsePoint;
  found.node->kind = Kind::Directory;
  found.node->target.clear();
  found.node->linkToDirectory = found.node->opensTarget = false;
  return kSuccess;
}

}  // namespace qf::sim

// ---- The platform calls ----

namespace qf::platform {

using sim::Change;
using sim::Op;
using namespace sim::detail;

// ---- Files and directories through handles ----

namespace {

// The object a file handle holds; null when the handle is unknown or closed,
// or the object is gone.
std::shared_ptr<FileNode> NodeOf(std::uintptr_t handle) {
  const FileObjectHandle* file = FindHandle<FileObjectHandle>(handle);
  return file ? file->node.lock() : nullptr;
}

// The path a handle's final path gives: the real one, on a drive shown
// under another name when ShowDriveAs says so.
std::string FinalPathOf(const FileNode* node) {
  std::string path = PathOf(node);
  const FileNode* root = node;
  while (root->parent) root = root->parent;
  auto shown = M().shownAs.find(Fold(root->name));
  if (shown == M().shownAs.end()) return path;
  return node == root ? shown->second : shown->second + path.substr(root->name.size());
}

// Paths are named to failure injection and the call log only: without a
// rule or the log there is no need to build them (a deep tree would pay a
// path's length at every call).
bool PathsWanted() {
  return !M().pathRules.empty() || !M().countRules.empty() || M().throwAt != 0 || M().logCalls;
}

std::string ShownPath(std::uintptr_t handle) {
  if (!PathsWanted()) return {};
  const std::shared_ptr<FileNode> node = NodeOf(handle);
  return node ? PathOf(node.get()) : std::string();
}

// A new handle to `node`, refused as Windows refuses it: no open shares
// deletion, and the current directory is held open without sharing it.
long Attach(FileNode* node, FileAccess access, UniqueFileHandle* out) {
  const bool remove = access == FileAccess::Delete || access == FileAccess::ListAndDelete;
  if (HeldOpen(node, /*withDeleteOnly=*/!remove)) return kErrorSharingViolation;
  if (remove && (node == CurrentNode() || node->heldElsewhere)) return kErrorSharingViolation;
  std::shared_ptr<FileNode> shared =
      node->parent ? node->parent->children.at(Fold(node->name)) : M().drives.at(Fold(node->name));
  FileObjectHandle file(shared, access == FileAccess::List || access == FileAccess::ListAndDelete,
                        remove);
  file.read = access == FileAccess::Read;
  out->Reset(AddHandle(std::move(file)));
  return kSuccess;
}

}  // namespace

void detail::CloseFileHandle(std::uintptr_t handle) { DropHandle(handle); }

long FileHandle::Open(const char* path, FileAccess access) {
  Close();
  Target target;
  if (long result = Prepare(Op::FileOpen, path, false, &target)) return result;
  FileNode* node = AsOpened(target.node);
  return node ? Attach(node, access, &handle_) : kErrorFileNotFound;
}

long TargetFinalPath(const char* path, std::string* finalPath) {
  // A machine copied from a real one knows what its paths led to there.
  const std::string absolute = FileInView(MakeAbsolute(path ? path : ""));
  const auto copied = M().targetFinalPaths.find(Fold(absolute));
  if (copied != M().targetFinalPaths.end()) {
    if (long injected = BeginOp(Op::TargetFinalPath, {absolute})) return injected;
    if (copied->second.first != kSuccess) return copied->second.first;
    *finalPath = copied->second.second;
    return kSuccess;
  }
  Target target;
  if (long result = Prepare(Op::TargetFinalPath, path, true, &target)) return result;
  FileNode* node = AsOpened(target.node);
  if (!node) return kErrorFileNotFound;
  *finalPath = FinalPathOf(node);
  return kSuccess;
}

namespace {

// The open directory `parentHandle` for a call `op` on its entry `name`:
// the call counted (and failed when injected), the directory there, the
// name one that can be below it.
long DirectoryFor(Op op, std::uintptr_t parentHandle, const std::string& name,
                  std::shared_ptr<FileNode>* directory) {
  *directory = NodeOf(parentHandle);
  const std::string shown =
      *directory && PathsWanted() ? Append(PathOf(directory->get()), "\\" + name) : name;
  if (long injected = BeginOp(op, {shown})) return injected;
  if (!*directory) return kErrorInvalidHandle;
  if ((*directory)->kind != Kind::Directory) return kErrorPathNotFound;
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("\\/") != std::string::npos)
    return kErrorInvalidName;
  return kSuccess;
}

}  // namespace

long FileHandle::OpenBelow(const FileHandle& parent, const std::string& name,
                           FileAccess access) {
  Close();
  std::shared_ptr<FileNode> directory;
  if (long failed = DirectoryFor(Op::FileOpenBelow, parent.handle_.Get(), name, &directory))
    return failed;
  FileNode* child = Child(*directory, name);
  if (child) child = AsOpened(child);
  if (!child) return kErrorFileNotFound;
  return Attach(child, access, &handle_);
}

long FileHandle::Facts(FileFacts* facts) const {
  if (long injected = BeginOp(Op::FileFacts, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  facts->id = node->id;
  facts->attributes = AttributesOf(*node);
  facts->finalPath = FinalPathOf(node.get());
  return kSuccess;
}

long FileHandle::FinalPath(std::string* path) const {
  if (long injected = BeginOp(Op::FileFacts, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  *path = FinalPathOf(node.get());
  return kSuccess;
}

long FileHandle::Identity(FileIdentity* identity, bool volume) const {
  if (long injected = BeginOp(Op::FileFacts, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  *identity = IdentityOf(*node);
  if (!volume) identity->volume = 0;
  return kSuccess;
}

long FileHandle::Read(size_t limit, std::string* bytes) const {
  if (long injected = BeginOp(Op::FileRead, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  if (!FindHandle<FileObjectHandle>(handle_.Get())->read) return kErrorAccessDenied;
  if (node->kind == Kind::Directory) return kErrorAccessDenied;
  if (node->contents.size() > limit) return kErrorMoreData;
  *bytes = node->contents;
  return kSuccess;
}

long FileHandle::List(std::vector<DirEntry>* entries) const {
  if (long injected = BeginOp(Op::FileList, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  if (!FindHandle<FileObjectHandle>(handle_.Get())->list) return kErrorAccessDenied;
  if (node->kind != Kind::Directory) return kErrorInvalidParameter;
  std::vector<DirEntry> listed;
  listed.push_back(DirEntry{".", kAttrDirectory, node->id});
  listed.push_back(DirEntry{"..", kAttrDirectory, node->parent ? node->parent->id : node->id});
  for (const auto& [folded, child] : node->children) {
    const FileNode* shown = AsOpened(child.get());
    if (!shown) continue;  // a dangling unix link
    const uint32_t attributes = shown == child.get() ? AttributesOf(*child)
                                : child->linkToDirectory ? kAttrDirectory | kAttrReparsePoint
                                                         : AttributesOf(*shown);
    DirEntry entry{child->name, attributes, shown->id};
    const FileIdentity identity = IdentityOf(*shown);
    entry.size = identity.size, entry.lastWrite = identity.lastWrite;
    // A name stored as no UTF-8 stands for one with a lone surrogate.
    std::u16string units;
    entry.exact = ToUtf16(child->name, &units);
    listed.push_back(std::move(entry));
  }
  *entries = std::move(listed);
  return kSuccess;
}

// The deletion takes effect here, not at the last close: a process that
// dies after asking leaves nothing pending.
long FileHandle::Dispose() {
  if (long injected = BeginOp(Op::FileDispose, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  if (!FindHandle<FileObjectHandle>(handle_.Get())->remove || !node->parent)
    return kErrorAccessDenied;
  if (node->kind != Kind::Directory && (node->extra & kAttrReadOnly)) return kErrorAccessDenied;
  if (node->kind == Kind::Directory && !node->children.empty()) return kErrorDirNotEmpty;
  const bool directory =
      node->kind == Kind::Directory || (node->kind == Kind::Link && node->linkToDirectory);
  sim::JournalEntry* entry = Record(directory ? Change::RemoveDirectory : Change::DeleteFile, PathOf(node.get()), {},
                               node->kind == Kind::Link ? kAttrReparsePoint : 0);
  entry->identity = IdentityOf(*node);
  Unlink(node.get());
  return kSuccess;
}

// Nothing at the name is followed or opened: a link there, even one that
// leads nowhere, is something that has the name.  The new file is no change
// the journal records: the journal is the uninstall's.
long FileHandle::CreateBelow(const FileHandle& parent, const std::string& name) {
  Close();
  std::shared_ptr<FileNode> directory;
  if (long failed = DirectoryFor(Op::FileCreate, parent.handle_.Get(), name, &directory))
    return failed;
  if (Child(*directory, name)) return kErrorAlreadyExists;
  auto file = std::make_shared<FileNode>();
  file->kind = Kind::File;
  file->name = name;
  file->parent = directory.get();
  directory->children[Fold(name)] = file;
  handle_.Reset(AddHandle(FileObjectHandle(file, false, false, /*writing=*/true)));
  return kSuccess;
}

long FileHandle::Write(std::string_view bytes) {
  if (long injected = BeginOp(Op::FileWrite, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  if (!FindHandle<FileObjectHandle>(handle_.Get())->write) return kErrorAccessDenied;
  node->contents.append(bytes);
  node->lastWrite = NextFileStamp();
  return kSuccess;
}

long FileHandle::Flush() {
  if (long injected = BeginOp(Op::FileFlush, {ShownPath(handle_.Get())})) return injected;
  const std::shared_ptr<FileNode> node = NodeOf(handle_.Get());
  if (!node) return kErrorInvalidHandle;
  return FindHandle<FileObjectHandle>(handle_.Get())->write ? kSuccess : kErrorAccessDenied;
}

bool SameName(std::string_view a, std::string_view b) { return SameNameFolded(a, b); }

long LongPathName(const char* path, std::string* longPath) {
  const std::string given = path ? path : "";
  const std::string absolute = FileInView(MakeAbsolute(given));
  if (long injected = BeginOp(Op::LongPathName, {absolute.empty() ? given : absolute}))
    return injected;
  if (absolute.empty()) return given.empty() ? kErrorPathNotFound : kErrorInvalidName;
  const Split split = SplitAbsolute(absolute);
  auto root = M().drives.find(Fold(split.root));
  if (root == M().drives.end()) return kErrorPathNotFound;
  const FileNode* node = root->second.get();
  std::string out = split.root;
  for (size_t i = 0; i < split.parts.size(); ++i) {
    const bool last = i + 1 == split.parts.size();
    if (node->kind != Kind::Directory) return kErrorPathNotFound;
    const FileNode* child = Child(*node, split.parts[i]);
    if (!child) return last ? kErrorFileNotFound : kErrorPathNotFound;
    // A part given by its long name keeps the case it was given in, as on
    // Windows; only an 8.3 name is replaced.
    out += "\\" + (SameName(split.parts[i], child->name) ? split.parts[i] : child->name);
    node = child;
    if (node->kind == Kind::Link && !last) {
      node = Walk(node->target, true).node;
      if (!node) return kErrorPathNotFound;
    }
  }
  *longPath = split.parts.empty() ? out + "\\" : out;
  return kSuccess;
}

}  // namespace qf::platform
