// The registry as the pass reads it: the administrator marker and the probe
// of HKEY_USERS\.Default, the product's flags, the per-user tree, the shared
// area with its component records, and the help registrations.
#include <windows.h>

#include <algorithm>
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

HKEY RootKey(Root root) {
  switch (root) {
    case Root::CurrentUser:
      return HKEY_CURRENT_USER;
    case Root::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case Root::Users:
      return HKEY_USERS;
  }
  return nullptr;
}

std::string Shown(Root root, const std::string& path) {
  return std::string(sim::RootName(root)) + "\\" + path;
}

// Opens `name` below `parent` (a root or an open key) and gives the
// simulation the key with the rights found: full access when the pass would
// get it, else reading only.  Nothing is written through either handle.
bool OpenKey(HKEY parent, const std::string& name, Root root, const std::string& path,
             KeyGuard* key) {
  if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, key->Put()) == ERROR_SUCCESS) {
    sim::CreateKey(root, path);
    return true;
  }
  const LONG read = RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, key->Put());
  if (read == ERROR_FILE_NOT_FOUND || read == ERROR_PATH_NOT_FOUND) return false;
  sim::CreateKey(root, path);
  sim::SetKeyRights(root, path, read == ERROR_SUCCESS, false);
  return read == ERROR_SUCCESS;
}

bool OpenKey(Root root, const std::string& path, KeyGuard* key) {
  return OpenKey(RootKey(root), path, root, path, key);
}

// Reads `name` with the pass's capacity.  A value too long for it is given
// to the simulation as a value of its length with no text, so that the
// pass's read there fails alike.
void CopyValue(HKEY key, Root root, const std::string& path, const char* name, DWORD capacity) {
  std::string data(capacity, '\0');
  DWORD size = capacity;
  DWORD type = 0;
  const LONG result =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
  if (result == ERROR_SUCCESS) {
    data.resize(std::min(size, capacity));
    sim::SetValue(root, path, name, type, data);
  } else if (result == ERROR_MORE_DATA) {
    sim::SetValue(root, path, name, type, std::string(std::max(size, capacity + 1), '\0'));
  }
}

// A registry link carries the value "SymbolicLinkValue" of type REG_LINK;
// opened with REG_OPTION_OPEN_LINK it is the link itself, not its target.
// Gives the target as the registry names it ("\Registry\User\<SID>\...").
bool IsKeyLink(HKEY parent, const std::string& name, std::wstring* target) {
  KeyGuard link;
  if (RegOpenKeyExA(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, link.Put()) !=
      ERROR_SUCCESS)
    return false;
  std::vector<wchar_t> buffer(2048);
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  DWORD type = 0;
  if (RegQueryValueExW(link.Get(), L"SymbolicLinkValue", nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS ||
      type != REG_LINK)
    return false;
  target->assign(buffer.data(), size / sizeof(wchar_t));
  return true;
}

// A link's target below `root`: "\Registry\User\<SID>\" (HKCU) or
// "\Registry\Machine\" (HKLM) taken off.  A target elsewhere keeps its whole
// name, which names no key below `root`.
std::string TargetBelow(Root root, const std::wstring& target) {
  std::string text(target.size() * 2, '\0');
  text.resize(static_cast<size_t>(
      WideCharToMultiByte(CP_ACP, 0, target.data(), static_cast<int>(target.size()), &text[0],
                          static_cast<int>(text.size()), nullptr, nullptr)));
  const size_t skip = root == Root::CurrentUser ? 3 : 2;  // names before the path
  const std::vector<std::string> names = qf::SplitPath(text);
  const char* hive = root == Root::CurrentUser ? "user" : "machine";
  if (names.size() <= skip || FoldPath(names[0]) != "registry" || FoldPath(names[1]) != hive)
    return text;
  std::string path = names[skip];
  for (size_t i = skip + 1; i < names.size(); ++i) path = qf::JoinPath(path, names[i]);
  return path;
}

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  std::vector<char> name(1024);
  for (DWORD index = 0;; ++index) {
    DWORD size = static_cast<DWORD>(name.size());
    const LONG result =
        RegEnumKeyExA(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) names.emplace_back(name.data(), size);
  }
  return names;
}

void CopySubkey(HKEY parent, Root root, const std::string& parentPath, const std::string& name,
                Snapshot* snapshot);

// A key and everything below it: the keys, the number of values each holds
// (the pass deletes them with their key and never reads them), links as
// links.
void CopyTree(HKEY key, Root root, const std::string& path, Snapshot* snapshot) {
  DWORD values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  snapshot->keys[FoldPath(Shown(root, path))] = KeyItem{Shown(root, path), values, false};
  for (const std::string& name : SubkeyNames(key)) CopySubkey(key, root, path, name, snapshot);
}

// Gives the simulation the key `name` below `parent` as a link when it is
// one.  Never followed: the link itself is what the pass meets, since it
// opens every key it may delete as itself.
bool CopyLink(HKEY parent, Root root, const std::string& parentPath, const std::string& name,
              Snapshot* snapshot) {
  const std::string path = qf::JoinPath(parentPath, name);
  std::wstring target;
  if (!IsKeyLink(parent, name, &target)) return false;
  snapshot->keys[FoldPath(Shown(root, path))] = KeyItem{Shown(root, path), 1, true};
  sim::MakeKeyLink(root, path, TargetBelow(root, target));
  return true;
}

void CopySubkey(HKEY parent, Root root, const std::string& parentPath, const std::string& name,
                Snapshot* snapshot) {
  if (CopyLink(parent, root, parentPath, name, snapshot)) return;
  const std::string path = qf::JoinPath(parentPath, name);
  KeyGuard key;
  if (OpenKey(parent, name, root, path, &key)) CopyTree(key.Get(), root, path, snapshot);
}

void ProbeDefaultProfile(Snapshot* snapshot) {
  KeyGuard profile;
  const LONG result = RegOpenKeyExA(HKEY_USERS, qf::DefaultUserKey, 0, KEY_WRITE, profile.Put());
  snapshot->profileProbe = result;
  if (result == ERROR_SUCCESS) return;
  // The pass's probe fails here with the same code, and explains it with
  // this machine's own text for it.
  sim::FailWhen(sim::Op::RegOpen, "HKU\\.Default", result);
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                     static_cast<DWORD>(result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (text != nullptr) {
    sim::SetMessageText(static_cast<uint32_t>(result), std::string(text, length));
    LocalFree(text);
  }
}

void CopyProduct() {
  KeyGuard product;
  if (OpenKey(Root::LocalMachine, qf::ProductVersionKey, &product)) {
    CopyValue(product.Get(), Root::LocalMachine, qf::ProductVersionKey, qf::InstallAdmin,
              FlagCapacity);
    CopyValue(product.Get(), Root::LocalMachine, qf::ProductVersionKey, qf::UseSharedFiles,
              FlagCapacity);
  }
  KeyGuard info;
  if (OpenKey(Root::LocalMachine, qf::UnInstInfoKey, &info)) {
    for (const qf::ComponentFlag& row : ComponentFlags)
      CopyValue(info.Get(), Root::LocalMachine, qf::UnInstInfoKey, row.flag, FlagCapacity);
  }
}

void CopyUserTree(Snapshot* snapshot) {
  KeyGuard product;
  if (OpenKey(Root::CurrentUser, qf::ProductKey, &product))
    CopySubkey(product.Get(), Root::CurrentUser, qf::ProductKey, qf::VersionKeyName, snapshot);
}

bool IsComponent(const std::string& name) {
  for (const qf::ComponentFlag& row : ComponentFlags)
    if (FoldPath(name) == FoldPath(row.component)) return true;
  return false;
}

// The shared area's key, every component record in it (other products'
// only by name: the pass counts them and never opens them), and the key
// above it, which the pass opens to delete it.
void CopySharedArea(Snapshot* snapshot) {
  KeyGuard maker;
  if (!OpenKey(Root::LocalMachine, qf::MakerKey, &maker) ||
      CopyLink(maker.Get(), Root::LocalMachine, qf::MakerKey, qf::SharedKeyName, snapshot))
    return;
  KeyGuard shared;
  if (!OpenKey(maker.Get(), qf::SharedKeyName, Root::LocalMachine, qf::SharedKey, &shared)) return;
  CopyValue(shared.Get(), Root::LocalMachine, qf::SharedKey, qf::SharedFilesDir,
            SharedFilesDirCapacity);
  for (const std::string& name : SubkeyNames(shared.Get())) {
    const std::string path = qf::JoinPath(qf::SharedKey, name);
    if (!IsComponent(name)) {
      sim::CreateKey(Root::LocalMachine, path);
      continue;
    }
    KeyGuard component;
    if (CopyLink(shared.Get(), Root::LocalMachine, qf::SharedKey, name, snapshot) ||
        !OpenKey(shared.Get(), name, Root::LocalMachine, path, &component))
      continue;
    CopyValue(component.Get(), Root::LocalMachine, path, qf::UseCount, FlagCapacity);
    CopyValue(component.Get(), Root::LocalMachine, path, qf::RootDir, RootDirCapacity);
    CopyTree(component.Get(), Root::LocalMachine, path, snapshot);
  }
}

// Help registrations by name: the pass deletes them by the names of the
// files it deleted and never reads what they hold.
void CopyHelpRegistrations() {
  KeyGuard help;
  if (!OpenKey(Root::LocalMachine, qf::HelpRegistrationKey, &help)) return;
  DWORD longest = 0;
  if (RegQueryInfoKeyA(help.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<char> name(longest + 2);
  for (DWORD index = 0;; ++index) {
    DWORD size = static_cast<DWORD>(name.size());
    DWORD type = 0;
    const LONG result =
        RegEnumValueA(help.Get(), index, name.data(), &size, nullptr, &type, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS)
      sim::SetValue(Root::LocalMachine, qf::HelpRegistrationKey, std::string(name.data(), size),
                    type, "");
  }
}

}  // namespace

std::string FoldPath(const std::string& path) {
  std::string folded = path;
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

void CaptureRegistry(Snapshot* snapshot) {
  ProbeDefaultProfile(snapshot);
  CopyProduct();
  CopyUserTree(snapshot);
  CopySharedArea(snapshot);
  CopyHelpRegistrations();
}

}  // namespace qfpreview
