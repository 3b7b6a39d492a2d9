// The simulated registry: three roots of keys holding typed values, per-key
// rights, and the RegKey guard over it.
#include <utility>

#include "common/paths.h"
#include "common/utf.h"
#include "platform/sim/machine.h"

namespace qf::sim {

namespace detail {
namespace {

using platform::kErrorAccessDenied;
using platform::kErrorFileNotFound;
using platform::kErrorInvalidParameter;
using platform::kErrorInvalidHandle;
using platform::kErrorMoreData;
using platform::kErrorNoMoreItems;
using platform::kSuccess;

constexpr uint32_t kQueryValue = 0x1;
constexpr uint32_t kSetValue = 0x2;
constexpr uint32_t kEnumerateSubkeys = 0x8;
constexpr uint32_t kDelete = 0x10000;
// Every right that changes the key or what hangs below it: set value, create
// subkey, create link, delete, write DAC, write owner.
constexpr uint32_t kWriteRights = 0x2 | 0x4 | 0x20 | 0x10000 | 0x40000 | 0x80000;
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kGenericExecute = 0x20000000;
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kMaximumAllowed = 0x02000000;

// Key paths split like file paths: on backslashes, empty names dropped.
std::vector<std::string> SplitKeyPath(std::string_view path) { return SplitPath(path); }

std::string JoinKeyPath(Root root, const std::vector<std::string>& parts) {
  std::string path = RootName(root);
  for (const std::string& part : parts) path += "\\" + part;
  return path;
}

std::unique_ptr<RegNode> NewKey(std::string name) {
  auto node = std::make_unique<RegNode>();
  node->name = std::move(name);
  node->id = NextId();
  return node;
}

// The key at `parts` below `root`, or null.  `chain` gets the keys walked,
// the root first.
RegNode* FindKey(Root root, const std::vector<std::string>& parts,
                 std::vector<RegNode*>* chain = nullptr) {
  RegNode* node = M().registry.at(root).get();
  if (chain) chain->push_back(node);
  for (const std::string& part : parts) {
    auto it = node->subkeys.find(Fold(part));
    if (it == node->subkeys.end()) return nullptr;
    node = it->second.get();
    if (chain) chain->push_back(node);
  }
  return node;
}

// Set-up and inspection name keys as the process does (SetUpKeyPath).
RegNode* FindKey(Root root, const std::string& path) {
  return FindKey(root, SplitKeyPath(SetUpKeyPath(root, path)));
}

RegNode* CreateKeyPath(Root root, const std::string& path) {
  RegNode* node = M().registry.at(root).get();
  for (const std::string& part : SplitKeyPath(SetUpKeyPath(root, path))) {
    if (node->isLink) Misuse("a key below the link key " + node->name + " in " + path);
    auto& slot = node->subkeys[Fold(part)];
    if (!slot) slot = NewKey(part);
    node = slot.get();
  }
  // A link key holds nothing but its target's name.
  if (node->isLink) Misuse("a key or value in the link key " + path);
  return node;
}

// Links followed on the way to one key before the walk gives up, as the
// registry does with a chain of links that loops.
constexpr int kMaxKeyLinks = 16;

// A key as the platform calls reach it: the real key, the keys walked to it
// from the root (the root first) and its real path below the root, folded.
struct Resolved {
  RegNode* key = nullptr;
  std::vector<RegNode*> chain;
  std::vector<std::string> folded;
};

// Walks `parts` below `root` as RegOpenKeyExW does: a link key on the way is
// followed to its target, and so is one named last unless `openLink` asks
// for the link itself (REG_OPTION_OPEN_LINK).
long Resolve(Root root, std::vector<std::string> parts, bool openLink, Resolved* out) {
  for (int links = 0;; ++links) {
    Resolved found;
    found.key = M().registry.at(root).get();
    found.chain.push_back(found.key);
    size_t i = 0;
    for (; i < parts.size(); ++i) {
      auto it = found.key->subkeys.find(Fold(parts[i]));
      if (it == found.key->subkeys.end()) return kErrorFileNotFound;
      RegNode* next = it->second.get();
      if (next->isLink && (i + 1 < parts.size() || !openLink)) break;
      found.key = next;
      found.chain.push_back(next);
      found.folded.push_back(Fold(parts[i]));
    }
    if (i == parts.size()) {
      *out = std::move(found);
      return kSuccess;
    }
    if (links == kMaxKeyLinks) return kErrorCantResolveFilename;
    // Start again from the root along the link's target and what follows it.
    const RegNode* link = found.key->subkeys.at(Fold(parts[i])).get();
    std::vector<std::string> rest = link->linkTarget;
    rest.insert(rest.end(), parts.begin() + static_cast<std::ptrdiff_t>(i) + 1, parts.end());
    parts = std::move(rest);
  }
}

// How a link key names its target in "SymbolicLinkValue": the registry's
// own path of the target, in UTF-16 without a terminator.
std::string LinkValue(Root root, const std::vector<std::string>& target) {
  std::string path = root == Root::LocalMachine ? "\\Registry\\Machine"
                     : root == Root::Users      ? "\\Registry\\User"
                                                : "\\Registry\\User\\S-1-5-21-0-0-0-1000";
  for (const std::string& part : target) path += "\\" + part;
  std::string utf16;
  for (char c : path) {
    utf16 += c;
    utf16 += '\0';
  }
  return utf16;
}

// The key's path as the process names it: on 64-bit Windows without the
// 32-bit view's own key, which the view puts in the way unseen.
std::string DisplayPath(Root root, const std::vector<RegNode*>& chain) {
  std::string path = RootName(root);
  for (size_t i = 1; i < chain.size(); ++i)
    if (!(i == 2 && IsViewKey(root, chain[i]->name))) path += "\\" + chain[i]->name;
  return path;
}

// The rights a handle opened with `mask` holds, generic rights mapped.
uint32_t Granted(uint32_t mask, const RegNode& key) {
  if (mask & (kGenericRead | kGenericExecute)) mask |= platform::kKeyRead;
  if (mask & kGenericWrite) mask |= platform::kKeyWrite;
  if (mask & kGenericAll) mask |= platform::kKeyAllAccess;
  if (mask & kMaximumAllowed) {
    mask |= key.canWrite ? platform::kKeyAllAccess : platform::kKeyRead;
  }
  return mask & platform::kKeyAllAccess;
}

// What a call through an open handle needs: the handle and its live key.
struct Reached {
  KeyHandle* handle = nullptr;
  RegNode* key = nullptr;
};

// Looks the handle's key up again: it may have been deleted meanwhile.
long Reach(std::uintptr_t id, uint32_t needed, Reached* open) {
  KeyHandle* handle = FindHandle<KeyHandle>(id);
  if (!handle) return kErrorInvalidHandle;
  RegNode* key = M().registry.at(handle->root).get();
  for (const std::string& part : handle->folded) {
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) return kErrorKeyDeleted;
    key = it->second.get();
  }
  if (key->id != handle->id) return kErrorKeyDeleted;
  if ((handle->granted & needed) != needed) return kErrorAccessDenied;
  open->handle = handle;
  open->key = key;
  return kSuccess;
}

std::string HandlePath(std::uintptr_t id) {
  const KeyHandle* handle = FindHandle<KeyHandle>(id);
  return handle ? handle->path : std::string();
}

std::string ValuePath(std::uintptr_t id, const char* name) {
  return HandlePath(id) + "\\" + (name ? name : "");
}

void StoreValue(RegNode* key, const std::string& name, Value value) {
  auto& slot = key->values[Fold(name)];
  if (slot.name.empty()) slot.name = name;
  slot.value = std::move(value);
}

std::string DwordBytes(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

// RegSetValueExW: the common part of WriteText and WriteDword.
long Write(std::uintptr_t id, const char* name, Value value) {
  const std::string valueName = name ? name : "";
  if (long injected = BeginOp(Op::RegWrite, {ValuePath(id, name)})) return injected;
  Reached open;
  if (long result = Reach(id, kSetValue, &open)) return result;
  const auto was = open.key->values.find(Fold(valueName));
  std::optional<Value> before;
  if (was != open.key->values.end()) before = was->second.value;
  StoreValue(open.key, valueName, std::move(value));
  Record(Change::RegSetValue, open.handle->path, open.key->values.at(Fold(valueName)).name)->before =
      std::move(before);
  return kSuccess;
}

}  // namespace

void InitRegistry(Machine& machine) {
  machine.registry[Root::CurrentUser] = NewKey("");
  machine.registry[Root::LocalMachine] = NewKey("");
  auto users = NewKey("");
  users->subkeys[Fold(".Default")] = NewKey(".Default");
  machine.registry[Root::Users] = std::move(users);
  // The policies' key every Windows has, and where 32-bit Windows records
  // its Program Files and Common Files.
  RegNode* software = (machine.registry[Root::LocalMachine]->subkeys[Fold("Software")] = NewKey("Software")).get();
  software->subkeys[Fold("Policies")] = NewKey("Policies");
  RegNode* node = software;
  for (const char* name : {"Microsoft", "Windows", "CurrentVersion"})
    node = (node->subkeys[Fold(name)] = NewKey(name)).get();
  StoreValue(node, "ProgramFilesDir", Value{platform::kRegSz, std::string("C:\\Program Files") + '\0'});
  StoreValue(node, "CommonFilesDir", Value{platform::kRegSz, std::string("C:\\Program Files\\Common Files") + '\0'});
}

}  // namespace detail

// ---- Set-up and inspection ----

void CreateKey(Root root, const std::string& path) {
  detail::CreateKeyPath(root, path);
}

void MakeKeyLink(Root root, const std::string& path, const std::string& targetPath) {
  const std::vector<std::string> parts = detail::SplitKeyPath(detail::SetUpKeyPath(root, path));
  if (parts.empty()) detail::Misuse("a link key without a name");
  std::vector<std::string> parentParts(parts.begin(), parts.end() - 1);
  std::string parentPath;
  for (const std::string& part : parentParts) parentPath += part + "\\";
  detail::RegNode* parent = detail::CreateKeyPath(root, parentPath);
  auto& slot = parent->subkeys[detail::Fold(parts.back())];
  if (slot) detail::Misuse("MakeKeyLink over the existing key " + path);
  slot = detail::NewKey(parts.back());
  slot->isLink = true;
  slot->linkTarget = detail::SplitKeyPath(detail::SetUpKeyPath(root, targetPath));
  detail::StoreValue(slot.get(), "SymbolicLinkValue",
                     Value{platform::kRegLink, detail::LinkValue(root, slot->linkTarget)});
}

void LinkKeyAway(Root root, const std::string& path, const std::string& targetPath) {
  const std::vector<std::string> from = detail::SplitKeyPath(detail::SetUpKeyPath(root, path));
  const std::vector<std::string> to = detail::SplitKeyPath(detail::SetUpKeyPath(root, targetPath));
  std::vector<detail::RegNode*> chain;
  if (from.empty() || to.empty() || !detail::FindKey(root, from, &chain))
    detail::Misuse("LinkKeyAway of a missing key " + path);
  if (detail::FindKey(root, targetPath)) detail::Misuse("LinkKeyAway onto " + targetPath);
  auto& slot = chain[chain.size() - 2]->subkeys[detail::Fold(from.back())];
  std::unique_ptr<detail::RegNode> moved = std::move(slot);
  chain[chain.size() - 2]->subkeys.erase(detail::Fold(from.back()));
  moved->name = to.back();
  const std::string parent = targetPath.substr(0, targetPath.rfind('\\') + 1);
  detail::CreateKeyPath(root, parent)->subkeys[detail::Fold(to.back())] = std::move(moved);
  MakeKeyLink(root, path, targetPath);
}

void SetValue(Root root, const std::string& key, const std::string& name,
              uint32_t type, const std::string& data) {
  detail::StoreValue(detail::CreateKeyPath(root, key), name, Value{type, data});
}

void SetText(Root root, const std::string& key, const std::string& name,
             const std::string& text) {
  SetValue(root, key, name, platform::kRegSz, text + '\0');
}

void SetDword(Root root, const std::string& key, const std::string& name,
              uint32_t value) {
  SetValue(root, key, name, platform::kRegDword, detail::DwordBytes(value));
}

void DeleteValue(Root root, const std::string& path, const std::string& name) {
  if (detail::RegNode* node = detail::FindKey(root, path)) node->values.erase(detail::Fold(name));
}

bool KeyExists(Root root, const std::string& path) {
  return detail::FindKey(root, path) != nullptr;
}

std::optional<Value> GetValue(Root root, const std::string& key,
                              const std::string& name) {
  const detail::RegNode* node = detail::FindKey(root, key);
  if (!node) return std::nullopt;
  auto it = node->values.find(detail::Fold(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second.value;
}

std::optional<std::string> GetText(Root root, const std::string& key,
                                   const std::string& name) {
  std::optional<Value> value = GetValue(root, key, name);
  if (!value) return std::nullopt;
  return value->data.substr(0, value->data.find('\0'));
}

std::vector<std::string> SubkeyNames(Root root, const std::string& path) {
  std::vector<std::string> names;
  if (const detail::RegNode* node = detail::FindKey(root, path)) {
    for (const auto& [folded, subkey] : node->subkeys) names.push_back(subkey->name);
  }
  return names;
}

void SetKeyRights(Root root, const std::string& path, bool canOpen,
                  bool canWrite) {
  detail::RegNode* node = detail::FindKey(root, path);
  if (!node) detail::Misuse("SetKeyRights on a missing key " + path);
  node->canOpen = canOpen;
  node->canWrite = canWrite;
}

}  // namespace qf::sim

// ---- The platform calls ----

namespace qf::platform {

using sim::Change;
using sim::Op;
using namespace sim::detail;

void detail::CloseKeyHandle(std::uintptr_t handle) { DropHandle(handle); }

namespace {

// RegOpenKeyExW of the key at `parts` below `root`, in the view `mask` asks
// for; `shown` names it for failure injection.  The handle names the real
// key, links resolved.
long OpenKey(Root root, const std::vector<std::string>& parts, const std::string& shown,
             uint32_t mask, uint32_t options, std::uintptr_t* out) {
  if (long injected = BeginOp(Op::RegOpen, {shown})) return injected;
  if ((options & ~platform::kOpenLink) != 0) return kErrorInvalidParameter;

  Resolved found;
  if (long result = Resolve(root, KeyInView(root, parts, mask), (options & platform::kOpenLink) != 0, &found))
    return result;
  const RegNode& key = *found.key;
  const uint32_t granted = Granted(mask, key);
  if (!key.canOpen) return kErrorAccessDenied;
  if ((granted & kWriteRights) && !key.canWrite) return kErrorAccessDenied;

  *out = AddHandle(KeyHandle{root, std::move(found.folded),
                             DisplayPath(root, found.chain), key.id, granted});
  return kSuccess;
}

}  // namespace

long RegKey::Open(Root root, const char* path, uint32_t mask, uint32_t options) {
  Close();
  const std::vector<std::string> parts = SplitKeyPath(path ? path : "");
  return OpenKey(root, parts, JoinKeyPath(root, parts), mask, options, handle_.Put());
}

long RegKey::Open(const RegKey& parent, const char* path, uint32_t mask, uint32_t options) {
  Close();
  Reached below;
  if (long result = Reach(parent.handle_.Get(), 0, &below)) return result;
  std::vector<std::string> parts = below.handle->folded;
  std::string shown = below.handle->path;
  for (std::string& part : SplitKeyPath(path ? path : "")) {
    shown += "\\" + part;
    parts.push_back(std::move(part));
  }
  return OpenKey(below.handle->root, parts, shown, mask, options, handle_.Put());
}

namespace {

// The start of every value read: the value `name` of the key `handle`
// holds, or the code the read fails with.
long FindValue(std::uintptr_t handle, const char* name, const sim::Value** value) {
  if (long injected = BeginOp(Op::RegRead, {ValuePath(handle, name)})) return injected;
  Reached open;
  if (long result = Reach(handle, kQueryValue, &open)) return result;
  auto it = open.key->values.find(Fold(name ? name : ""));
  if (it == open.key->values.end()) return kErrorFileNotFound;
  *value = &it->second.value;
  return kSuccess;
}

}  // namespace

long RegKey::ReadValue(const char* name, uint32_t capacity, uint32_t* type,
                       std::string* data) const {
  const sim::Value* found = nullptr;
  if (long result = FindValue(handle_.Get(), name, &found)) return result;
  const sim::Value& value = *found;
  if (value.type == kRegSz || value.type == kRegExpandSz) {
    // Texts are kept as UTF-8 and measured in the UTF-16 units the system
    // stores them in.  One that is no UTF-8 stands for a text the system
    // holds but cannot hand out exactly (a lone surrogate): it is read only
    // where its content does not matter, and then measured by its bytes.
    std::u16string units;
    const bool exact = ToUtf16(value.data, &units);
    if ((exact ? units.size() : value.data.size()) > capacity) return kErrorMoreData;
    if (!exact && data != nullptr) return kErrorInvalidData;
  } else if (value.data.size() > capacity) {
    return kErrorMoreData;
  }
  *type = value.type;
  if (data != nullptr) *data = value.data;
  return kSuccess;
}

long RegKey::WriteText(const char* name, const std::string& text) {
  // What is not UTF-8 has no UTF-16 for the system to store.
  std::u16string units;
  if (!ToUtf16(text, &units)) return kErrorInvalidData;
  return Write(handle_.Get(), name, sim::Value{kRegSz, text + '\0'});
}

long RegKey::WriteDword(const char* name, uint32_t value) {
  return Write(handle_.Get(), name, sim::Value{kRegDword, DwordBytes(value)});
}

long RegKey::CountSubkeys(uint32_t* count) const {
  if (long injected = BeginOp(Op::RegCountSubkeys, {HandlePath(handle_.Get())})) return injected;
  Reached open;
  if (long result = Reach(handle_.Get(), kQueryValue, &open)) return result;
  *count = static_cast<uint32_t>(open.key->subkeys.size());
  return kSuccess;
}

long RegKey::SubkeyName(uint32_t index, std::string* name) const {
  if (long injected = BeginOp(Op::RegEnum, {HandlePath(handle_.Get())})) return injected;
  Reached open;
  if (long result = Reach(handle_.Get(), kEnumerateSubkeys, &open)) return result;
  if (index >= open.key->subkeys.size()) return kErrorNoMoreItems;
  const std::string& found = std::next(open.key->subkeys.begin(), index)->second->name;
  if (found.size() + 1 > kSubkeyNameCapacity) return kErrorMoreData;
  *name = found;
  return kSuccess;
}

long RegKey::Delete() {
  if (long injected = BeginOp(Op::RegDeleteKey, {HandlePath(handle_.Get())})) return injected;
  Reached open;
  if (long result = Reach(handle_.Get(), kDelete, &open)) return result;
  // A root cannot go, nor a key with subkeys of its own.
  if (open.handle->folded.empty() || !open.key->subkeys.empty()) return kErrorAccessDenied;

  Record(Change::RegDeleteKey, open.handle->path);
  RegNode* parent = M().registry.at(open.handle->root).get();
  for (size_t i = 0; i + 1 < open.handle->folded.size(); ++i)
    parent = parent->subkeys.at(open.handle->folded[i]).get();
  parent->subkeys.erase(open.handle->folded.back());
  return kSuccess;
}

long RegKey::DeleteValue(const char* name) {
  if (long injected = BeginOp(Op::RegDeleteValue, {ValuePath(handle_.Get(), name)})) return injected;
  Reached open;
  if (long result = Reach(handle_.Get(), kSetValue, &open)) return result;
  auto it = open.key->values.find(Fold(name ? name : ""));
  if (it == open.key->values.end()) return kErrorFileNotFound;
  Record(Change::RegDeleteValue, open.handle->path, it->second.name)->before = it->second.value;
  open.key->values.erase(it);
  return kSuccess;
}

}  // namespace qf::platform
