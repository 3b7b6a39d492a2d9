// The registry as the pass reads it: the administrator marker and the probe
// of HKEY_USERS\.Default, the product's flags, the per-user tree, the shared
// area with its component records, and the help registrations.  Keys, names
// and values all go through the wide calls, as the pass reads them.
#include <algorithm>
#include <string>
#include <vector>

#include "capture/win32.h"
#include "common/paths.h"
#include "common/schema.h"
#include "common/case_fold.h"
#include "linkproof/linkproof.h"
#include "plan/plan.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

namespace qfpreview {
namespace {

using qf::platform::Root;
namespace sim = qf::sim;

// The registry view the readers open keys in, and the simulation's set-up
// names them in: this 32-bit process's own, unless a reader asks for the
// 64-bit one for as long as an In64BitView lives.
REGSAM view = 0;
struct In64BitView {
  In64BitView() { view = KEY_WOW64_64KEY, sim::SetUpIn64BitView(true); }
  ~In64BitView() { view = 0, sim::SetUpIn64BitView(false); }
  In64BitView(const In64BitView&) = delete;
  In64BitView& operator=(const In64BitView&) = delete;
};

HKEY RootKey(Root root) {
  switch (root) {
    case Root::CurrentUser: return HKEY_CURRENT_USER;
    case Root::LocalMachine: return HKEY_LOCAL_MACHINE;
    case Root::Users: return HKEY_USERS;
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
  const std::wstring wide = Wide(name);
  if (RegOpenKeyExW(parent, wide.c_str(), 0, KEY_ALL_ACCESS | view, key->Put()) == ERROR_SUCCESS) {
    sim::CreateKey(root, path);
    return true;
  }
  const LONG read = RegOpenKeyExW(parent, wide.c_str(), 0, KEY_READ | view, key->Put());
  if (read == ERROR_FILE_NOT_FOUND || read == ERROR_PATH_NOT_FOUND) return false;
  sim::CreateKey(root, path);
  sim::SetKeyRights(root, path, read == ERROR_SUCCESS, false);
  return read == ERROR_SUCCESS;
}

// A value read as the pass reads it (RegKey::ReadValue): through
// RegQueryValueExW within `capacity`, UTF-16 units for a text, bytes for any
// other type.  The simulation gets it so that the pass's read there fits or
// fails alike: a text as UTF-8, with as many units as here; one too long as
// one unit, or byte, too long; one that holds a lone surrogate, which the
// pass can find but not carry, as a stand-in that is no UTF-8 at all.  Gives
// what the pass will read: none when the value is absent, too long, or no
// text the pass can carry.
std::optional<ValueRead> CopyValue(HKEY key, Root root, const std::string& path,
                                   const char* name, DWORD capacity) {
  std::vector<wchar_t> buffer(capacity);
  DWORD size = capacity * sizeof(wchar_t);
  DWORD type = 0;
  const std::wstring wideName = Wide(name);
  const LONG result = RegQueryValueExW(key, wideName.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
  const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
  if (result == ERROR_MORE_DATA) {
    sim::SetValue(root, path, name, type,
                  text ? std::string(capacity + 1, 'x') : std::string(capacity + 1, '\0'));
    return std::nullopt;
  }
  if (result != ERROR_SUCCESS) return std::nullopt;
  if (!text) {
    const std::string bytes(reinterpret_cast<const char*>(buffer.data()), size);
    sim::SetValue(root, path, name, type, bytes);
    if (size > capacity) return std::nullopt;
    return ValueRead{type, bytes};
  }
  std::string converted;
  if (!Utf8(std::wstring_view(buffer.data(), size / sizeof(wchar_t)), &converted)) {
    sim::SetValue(root, path, name, type, "\xFF");
    return std::nullopt;
  }
  sim::SetValue(root, path, name, type, converted);
  return ValueRead{type, converted};
}

// "UseCount" as the pass takes it: a REG_DWORD's bytes, or the text any
// other type holds (ValueText); none when the pass finds no count to use.
std::optional<ValueRead> CopyCount(HKEY key, Root root, const std::string& path) {
  std::optional<ValueRead> count = CopyValue(key, root, path, qf::UseCount, qf::FlagCapacity);
  if (!count || count->type == REG_DWORD) return count;
  std::string text;
  if (qf::platform::ValueText(count->type, count->data, &text) != 0) return std::nullopt;
  return ValueRead{count->type, text};
}

// A value read as text as the pass reads it (RegKey::ReadText): a count, a
// flag's word or a directory.  Gives the text the pass will read.
std::optional<std::string> CopyText(HKEY key, Root root, const std::string& path,
                                    const char* name, DWORD capacity) {
  const std::optional<ValueRead> value = CopyValue(key, root, path, name, capacity);
  std::string text;
  if (!value || qf::platform::ValueText(value->type, value->data, &text) != 0)
    return std::nullopt;
  return text;
}

// Whether the key `name` below `parent`, opened as itself (not its target),
// is a registry link, by the pass's own rule (qf::IsKeyLinkRead).  Gives the
// target as the registry names it ("\Registry\User\<SID>\..."), or "" when
// the link's value cannot be read.
bool IsKeyLink(HKEY parent, const std::string& name, std::wstring* target) {
  KeyGuard link;
  if (RegOpenKeyExW(parent, Wide(name).c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | view,
                    link.Put()) != ERROR_SUCCESS)
    return false;
  std::vector<wchar_t> buffer(qf::kKeyLinkCapacity / sizeof(wchar_t));
  DWORD size = qf::kKeyLinkCapacity;
  DWORD type = 0;
  const LONG read = RegQueryValueExW(link.Get(), Wide(qf::kKeyLinkValue).c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (!qf::IsKeyLinkRead(read, type)) return false;
  target->clear();
  if (read == ERROR_SUCCESS) target->assign(buffer.data(), size / sizeof(wchar_t));
  return true;
}

// A link's target below `root`: "\Registry\User\<SID>\" (HKCU) or
// "\Registry\Machine\" (HKLM) taken off.  A target elsewhere keeps its whole
// name, which names no key below `root`.
std::string TargetBelow(Root root, const std::wstring& target) {
  const std::string text = Utf8Shown(target);
  const size_t skip = root == Root::CurrentUser ? 3 : 2;  // names before the path
  const std::vector<std::string> names = qf::SplitPath(text);
  const char* hive = root == Root::CurrentUser ? "user" : "machine";
  if (names.size() <= skip || !qf::SameNameFolded(names[0], "registry") ||
      !qf::SameNameFolded(names[1], hive))
    return text;
  std::string path = names[skip];
  for (size_t i = skip + 1; i < names.size(); ++i) path = qf::JoinPath(path, names[i]);
  return path;
}

struct Subkey {
  std::string name;  // UTF-8; a stand-in when not `exact`
  bool exact = true;
};

std::vector<Subkey> SubkeyNames(HKEY key) {
  std::vector<Subkey> names;
  std::vector<wchar_t> name(qf::platform::kSubkeyNameCapacity);
  for (DWORD index = 0;; ++index) {
    DWORD size = static_cast<DWORD>(name.size());
    const LONG result =
        RegEnumKeyExW(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;
    Subkey subkey;
    const std::wstring_view wide(name.data(), size);
    subkey.exact = Utf8(wide, &subkey.name);
    if (!subkey.exact) subkey.name = Utf8Shown(wide);
    names.push_back(std::move(subkey));
  }
  return names;
}

void CopySubkey(HKEY parent, Root root, const std::string& parentPath, const Subkey& subkey,
                Snapshot* snapshot);

// A key and everything below it: the keys, the number of values each holds
// (the pass deletes them with their key and never reads them), links as
// links.
void CopyTree(HKEY key, Root root, const std::string& path, Snapshot* snapshot) {
  DWORD values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  snapshot->keys[Folded(Shown(root, path))] = KeyItem{Shown(root, path), values, false};
  for (const Subkey& subkey : SubkeyNames(key)) CopySubkey(key, root, path, subkey, snapshot);
}

// Gives the simulation the key `name` below `parent` as a link when it is
// one.  Never followed: the link itself is what the pass meets, since it
// opens every key it may delete as itself.
bool CopyLink(HKEY parent, Root root, const std::string& parentPath, const std::string& name,
              Snapshot* snapshot) {
  const std::string path = parentPath.empty() ? name : qf::JoinPath(parentPath, name);
  // One met on the way to an earlier key is known already.
  const auto known = snapshot->keys.find(Folded(Shown(root, path)));
  if (known != snapshot->keys.end()) return known->second.link;
  std::wstring target;
  if (!IsKeyLink(parent, name, &target)) return false;
  // Wine gives a 32-bit process a key both views share through a link in
  // the 32-bit view to its own path in the 64-bit one; the pass reads such a
  // list in the 64-bit view alone, and the simulation shares keys as Windows
  // does, without a link: it is given nothing here.
  if (view == 0 && sim::IsWow64() && root == Root::LocalMachine && qf::SameNameFolded(TargetBelow(root, target), path))
    return true;
  snapshot->keys[Folded(Shown(root, path))] = KeyItem{Shown(root, path), 1, true};
  if (!target.empty()) {
    sim::MakeKeyLink(root, path, TargetBelow(root, target));
    return true;
  }
  // One whose value cannot be read leads to a stand-in that names no key,
  // too long for the pass to read there too.
  sim::MakeKeyLink(root, path,
                   "qfpreview-unreadable-link\\" + std::string(qf::kKeyLinkCapacity / 2, 'x'));
  return true;
}

void CopySubkey(HKEY parent, Root root, const std::string& parentPath, const Subkey& subkey,
                Snapshot* snapshot) {
  const std::string path = qf::JoinPath(parentPath, subkey.name);
  if (!subkey.exact) {
    // The pass cannot name it, so it never reaches it, nor what it holds:
    // a key there that cannot be opened stays alike.
    sim::CreateKey(root, path);
    sim::SetKeyRights(root, path, false, false);
    snapshot->keys[Folded(Shown(root, path))] = KeyItem{Shown(root, path), 0, false};
    return;
  }
  if (CopyLink(parent, root, parentPath, subkey.name, snapshot)) return;
  KeyGuard key;
  if (OpenKey(parent, subkey.name, root, path, &key)) CopyTree(key.Get(), root, path, snapshot);
}

// Opens the key at `path` below `root` as the pass reaches it: one name at
// a time, each below the key before it.  A link on the way goes to the
// simulation as the link it is and ends the walk there, as it ends the
// pass's; nothing behind it is read.
bool OpenPath(Root root, const std::string& path, KeyGuard* key, Snapshot* snapshot) {
  KeyGuard above;
  std::string walked;
  for (const std::string& name : qf::SplitPath(path)) {
    const HKEY parent = walked.empty() ? RootKey(root) : above.Get();
    if (CopyLink(parent, root, walked, name, snapshot)) return false;
    walked = walked.empty() ? name : qf::JoinPath(walked, name);
    KeyGuard next;
    if (!OpenKey(parent, name, root, walked, &next)) return false;
    above = std::move(next);
  }
  *key = std::move(above);
  return true;
}

void ProbeDefaultProfile(Snapshot* snapshot) {
  KeyGuard profile;
  const LONG result =
      RegOpenKeyExW(HKEY_USERS, Wide(qf::DefaultUserKey).c_str(), 0, KEY_WRITE, profile.Put());
  snapshot->profileProbe = result;
  if (result == ERROR_SUCCESS) return;
  // The pass's probe fails here with the same code, and explains it with
  // this machine's own text for it.
  sim::FailWhen(sim::Op::RegOpen, "HKU\\.Default", result);
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                     static_cast<DWORD>(result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (text != nullptr) {
    sim::SetMessageText(static_cast<uint32_t>(result), Utf8Shown(std::wstring_view(text, length)));
    LocalFree(text);
  }
}

void CopyProduct(Snapshot* snapshot) {
  KeyGuard product;
  snapshot->product = OpenPath(Root::LocalMachine, qf::ProductVersionKey, &product, snapshot);
  if (snapshot->product) {
    CopyValue(product.Get(), Root::LocalMachine, qf::ProductVersionKey, qf::InstallAdmin,
              qf::FlagCapacity);
    CopyValue(product.Get(), Root::LocalMachine, qf::ProductVersionKey, qf::UseSharedFiles,
              qf::FlagCapacity);
    CopyValue(product.Get(), Root::LocalMachine, qf::ProductVersionKey, qf::InstallDir,
              qf::InstallDirCapacity);
  }
  KeyGuard info;
  if (snapshot->product &&
      !CopyLink(product.Get(), Root::LocalMachine, qf::ProductVersionKey, qf::UnInstInfoKeyName,
                snapshot) &&
      OpenKey(product.Get(), qf::UnInstInfoKeyName, Root::LocalMachine, qf::UnInstInfoKey, &info)) {
    for (const qf::ComponentFlag& row : qf::ComponentFlags)
      CopyValue(info.Get(), Root::LocalMachine, qf::UnInstInfoKey, row.flag, qf::FlagCapacity);
  }
}

void CopyUserTree(Snapshot* snapshot) {
  KeyGuard product;
  if (OpenPath(Root::CurrentUser, qf::ProductKey, &product, snapshot))
    CopySubkey(product.Get(), Root::CurrentUser, qf::ProductKey, Subkey{qf::VersionKeyName},
               snapshot);
  snapshot->userTree = snapshot->keys.count(Folded(Shown(Root::CurrentUser, qf::UserSettingsKey)));
}

// The row of qf::ComponentFlags whose component `name` is, or ComponentCount.
size_t ComponentIndex(const std::string& name) {
  for (size_t i = 0; i < qf::ComponentCount; ++i)
    if (qf::SameNameFolded(name, qf::ComponentFlags[i].component)) return i;
  return qf::ComponentCount;
}

// The shared area's key, every component record in it (other products'
// with their RootDir alone: the pass counts them, and reads where each
// lies, which no last holder's root may be or hold), and the key above it,
// which the pass opens to delete it.
void CopySharedArea(Snapshot* snapshot) {
  KeyGuard maker;
  if (!OpenPath(Root::LocalMachine, qf::MakerKey, &maker, snapshot)) return;
  if (CopyLink(maker.Get(), Root::LocalMachine, qf::MakerKey, qf::SharedKeyName, snapshot)) {
    snapshot->sharedKey = true;
    return;
  }
  KeyGuard shared;
  if (!OpenKey(maker.Get(), qf::SharedKeyName, Root::LocalMachine, qf::SharedKey, &shared)) return;
  snapshot->sharedKey = true;
  snapshot->sharedFilesDir = CopyText(shared.Get(), Root::LocalMachine, qf::SharedKey,
                                      qf::SharedFilesDir, qf::SharedFilesDirCapacity);
  for (const Subkey& subkey : SubkeyNames(shared.Get())) {
    const std::string path = qf::JoinPath(qf::SharedKey, subkey.name);
    const size_t i = subkey.exact ? ComponentIndex(subkey.name) : qf::ComponentCount;
    KeyGuard component;
    if (i == qf::ComponentCount) {
      if (!subkey.exact)
        sim::CreateKey(Root::LocalMachine, path);
      else if (!CopyLink(shared.Get(), Root::LocalMachine, qf::SharedKey, subkey.name, snapshot) &&
               OpenKey(shared.Get(), subkey.name, Root::LocalMachine, path, &component))
        CopyText(component.Get(), Root::LocalMachine, path, qf::RootDir, qf::RootDirCapacity);
      continue;
    }
    ComponentFacts& facts = snapshot->components[i];
    if (CopyLink(shared.Get(), Root::LocalMachine, qf::SharedKey, subkey.name, snapshot)) {
      facts.record = true;
      continue;
    }
    if (!OpenKey(shared.Get(), subkey.name, Root::LocalMachine, path, &component)) continue;
    facts.record = true;
    facts.useCount = CopyCount(component.Get(), Root::LocalMachine, path);
    facts.rootDir =
        CopyText(component.Get(), Root::LocalMachine, path, qf::RootDir, qf::RootDirCapacity);
    CopyTree(component.Get(), Root::LocalMachine, path, snapshot);
  }
}

// Help registrations by name: the pass deletes them by the names of the
// files it deleted, and reads what they hold only when held to a plan,
// which lists it.  Every name is read whole, the longest too: the buffer
// grows until it fits.
void CopyHelpRegistrations(Snapshot* snapshot) {
  KeyGuard help;
  if (!OpenPath(Root::LocalMachine, qf::HelpRegistrationKey, &help, snapshot)) return;
  DWORD longest = 0;
  if (RegQueryInfoKeyW(help.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<wchar_t> name(longest + 1);
  for (DWORD index = 0;;) {
    DWORD size = static_cast<DWORD>(name.size());
    DWORD type = 0;
    const LONG result =
        RegEnumValueW(help.Get(), index, name.data(), &size, nullptr, &type, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_MORE_DATA && name.size() < 32768) {
      name.resize(name.size() * 2);
      continue;
    }
    ++index;
    std::string utf8;
    // A name the pass cannot carry is no file's: it can never be deleted.
    if (result != ERROR_SUCCESS || !Utf8(std::wstring_view(name.data(), size), &utf8)) continue;
    CopyValue(help.Get(), Root::LocalMachine, qf::HelpRegistrationKey, utf8.c_str(),
              qf::plan::kValueCapacity);
    // One that cannot be read is still there, for the pass to delete.
    if (!sim::GetValue(Root::LocalMachine, qf::HelpRegistrationKey, utf8))
      sim::SetValue(Root::LocalMachine, qf::HelpRegistrationKey, utf8, type, "");
    snapshot->helpRegistrations.insert(Folded(utf8));
  }
}

// The lists of installed programs and of profiles, as the pass reads them
// for the directories no root may be or hold: each entry's values that name
// one, read as the pass reads them; an entry that is a link as the link.
void CopyProgramList(Root root, const char* path, Snapshot* snapshot) {
  struct Read {
    const char* name;
    DWORD capacity;
  };
  const Read reads[] = {{qf::InstallLocation, qf::OtherPathCapacity},
                        {qf::DisplayName, qf::DisplayNameCapacity},
                        {qf::DisplayIcon, qf::OtherPathCapacity},
                        {qf::UninstallString, qf::OtherPathCapacity},
                        {qf::ProfileImagePath, qf::OtherPathCapacity},
                        {"", qf::OtherPathCapacity},
                        {qf::AppPathValue, qf::OtherPathCapacity}};
  KeyGuard list;
  if (!OpenPath(root, path, &list, snapshot)) return;
  if (std::string_view(path) == qf::ProfileListKey)
    CopyValue(list.Get(), root, path, qf::DefaultProfile, qf::OtherPathCapacity);
  for (const Subkey& subkey : SubkeyNames(list.Get())) {
    const std::string entryPath = qf::JoinPath(path, subkey.name);
    KeyGuard entry;
    if (!subkey.exact || CopyLink(list.Get(), root, path, subkey.name, snapshot) ||
        !OpenKey(list.Get(), subkey.name, root, entryPath, &entry))
      continue;
    for (const Read& read : reads) CopyValue(entry.Get(), root, entryPath, read.name, read.capacity);
  }
}

void CopyPackageRoot(Snapshot* snapshot) {
  KeyGuard appx;
  if (OpenPath(Root::LocalMachine, qf::AppxKey, &appx, snapshot))
    CopyValue(appx.Get(), Root::LocalMachine, qf::AppxKey, qf::PackageRoot, qf::OtherPathCapacity);
}

void CopyOtherPrograms(Snapshot* snapshot) {
  {
    // HKLM in the 64-bit view too, where 64-bit programs are listed.
    In64BitView in64;
    CopyProgramList(Root::LocalMachine, qf::UninstallKey, snapshot);
    CopyProgramList(Root::LocalMachine, qf::AppPathsKey, snapshot);
    CopyPackageRoot(snapshot);
    CopyProgramList(Root::LocalMachine, qf::ProfileListKey, snapshot);
  }
  for (Root root : {Root::LocalMachine, Root::CurrentUser}) {
    CopyProgramList(root, qf::UninstallKey, snapshot);
    CopyProgramList(root, qf::AppPathsKey, snapshot);
  }
  CopyPackageRoot(snapshot);
}

}  // namespace

// The run record's and the reviewed plan's policy, reached as the pass
// reaches it, in the 64-bit view.
void CopyRecordPolicy(Snapshot* snapshot) {
  In64BitView in64;
  KeyGuard policy;
  if (OpenPath(Root::LocalMachine, qf::PolicyKey, &policy, snapshot)) {
    snapshot->recordDir = CopyText(policy.Get(), Root::LocalMachine, qf::PolicyKey,
                                   qf::UninstallRecord, qf::UninstallRecordCapacity);
    snapshot->planPath = CopyText(policy.Get(), Root::LocalMachine, qf::PolicyKey,
                                  qf::UninstallPlan, qf::UninstallPlanCapacity);
  }
}

// The machine's own Program Files and Common Files, as the pass reads them
// in the 64-bit view: exactly those this machine records, none besides.
void CopyMachineFolders(Snapshot* snapshot) {
  In64BitView in64;
  for (const qf::MachineFolder& folder : qf::MachineFolders)
    sim::DeleteValue(Root::LocalMachine, qf::WindowsVersionKey, folder.value);
  KeyGuard key;
  if (!OpenPath(Root::LocalMachine, qf::WindowsVersionKey, &key, snapshot)) return;
  for (const qf::MachineFolder& folder : qf::MachineFolders)
    CopyText(key.Get(), Root::LocalMachine, qf::WindowsVersionKey, folder.value, qf::MachineFolderCapacity);
}

void CaptureRegistry(Snapshot* snapshot) {
  CopyRecordPolicy(snapshot);
  CopyMachineFolders(snapshot);
  ProbeDefaultProfile(snapshot);
  CopyProduct(snapshot);
  CopyUserTree(snapshot);
  CopySharedArea(snapshot);
  CopyHelpRegistrations(snapshot);
  CopyOtherPrograms(snapshot);
}

}  // namespace qfpreview
