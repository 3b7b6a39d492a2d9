// The model plays what the product promises over a copy of the machine.  It
// shares nothing with the logic but the system's own facts: how a path
// resolves (ResolveAbsolutePath, which the simulation uses too), the
// capacities of the reads and the limit of the narrow file calls.
#include "oracle.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <tuple>

#include "common/paths.h"
#include "common/schema.h"
#include "common/utf.h"
#include "invariants.h"
#include "support.h"

namespace qf::reliability {
namespace {

using platform::Root;

constexpr size_t kMaxPath = 259;  // longest path the narrow file calls take
constexpr long kMissing = 2;
constexpr long kUnresolvable = 1921;  // a loop of links
constexpr long kInvalidName = 123;    // a name the system rejects

// Whether the system rejects a name of `path` ("<>\"|?*"), whatever is there.
bool Rejected(const std::string& path) { return path.find_first_of("<>\"|?*") != std::string::npos; }
constexpr int kMaxLinkDepth = 16;
const char kAdminRequired[] =
    "Quillforge was installed by an administrator on this system.  You must run uninstall from an "
    "account with administrator rights.";

bool IsDir(uint32_t attributes) { return (attributes & platform::kAttrDirectory) != 0; }
bool IsLink(uint32_t attributes) { return (attributes & platform::kAttrReparsePoint) != 0; }
std::string KeyOf(Root root, const std::string& path) {
  return Fold(std::string(sim::RootName(root)) + "\\" + path);
}
std::string LastName(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// A value as the pass's ReadText takes it: a text measured in UTF-16 units
// (one that is no UTF-8, a lone surrogate's, cannot be read with its data),
// other data in bytes, within `capacity`, then by ValueText's rule.
std::optional<std::string> TextRead(const sim::Value& value, size_t capacity) {
  std::u16string units;
  const bool text = value.type == platform::kRegSz || value.type == platform::kRegExpandSz;
  if (text && !ToUtf16(value.data, &units)) return std::nullopt;
  std::string read;
  if ((text ? units.size() : value.data.size()) > capacity || platform::ValueText(value.type, value.data, &read))
    return std::nullopt;
  return read;
}

}  // namespace

std::optional<int32_t> UseCountOf(const sim::Value& value) {
  const std::string& bytes = value.data;
  if (value.type == platform::kRegDword) {
    if (bytes.size() != 4) return std::nullopt;
    uint32_t raw = 0;
    for (int i = 3; i >= 0; --i) raw = raw << 8 | static_cast<unsigned char>(bytes[i]);
    return static_cast<int32_t>(raw);
  }
  // Read as a text is (the caller holds it to its capacity).
  const std::optional<std::string> read = TextRead(value, SIZE_MAX);
  if (!read) return std::nullopt;
  const std::string& text = *read;
  size_t i = text.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string::npos) return 0;
  const bool negative = text[i] == '-';
  if (text[i] == '-' || text[i] == '+') ++i;
  uint32_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) n = n * 10u + (text[i] - '0');
  return static_cast<int32_t>(negative ? 0u - n : n);
}

namespace {

// The documented pass, played over a copy of the machine.
class Model {
 public:
  Model(const MachineState& state, const std::string& cwd) : s_(state), cwd_(cwd) {}

  MachineState Run(int passes) {
    for (int i = 0; i < passes; ++i) {
      if (!GatePasses()) continue;
      UserTree();
      Components();
      Area();
      if (s_.companion) s_.shown.push_back("call rwuninst.dll!uninstallvrxregistry /vrxreg");
    }
    return s_;
  }

 private:
  // ---- The registry, by folded key path ----
  // Reached from its hive's root, each key on the way opened for reading.
  bool Opens(const std::string& key, bool write) const {
    auto it = s_.keys.find(key);
    if (it == s_.keys.end() || !it->second.canOpen || (write && !it->second.canWrite)) return false;
    const size_t up = key.rfind('\\');
    return key.find('\\') == up || Opens(key.substr(0, up), false);
  }
  bool IsLinkKey(const std::string& key) const {
    const auto& link = s_.keys.at(key).values.find(Fold("SymbolicLinkValue"));
    return link != s_.keys.at(key).values.end() && link->second.second.type == platform::kRegLink;
  }
  std::optional<sim::Value> Read(const std::string& key, const std::string& name, size_t capacity) const {
    const auto& values = s_.keys.at(key).values;
    auto it = values.find(Fold(name));
    if (it == values.end() || it->second.second.data.size() > capacity) return std::nullopt;
    return it->second.second;
  }
  std::optional<std::string> ReadText(const std::string& key, const std::string& name, size_t capacity) const {
    const auto& values = s_.keys.at(key).values;
    auto it = values.find(Fold(name));
    return it == values.end() ? std::nullopt : TextRead(it->second.second, capacity);
  }
  // The entries right below `path` in a map by folded path, in the order
  // of their folded names: as the registry and listings give them.
  template <typename Map>
  static std::vector<typename Map::mapped_type> Children(const Map& map, const std::string& path) {
    std::vector<typename Map::mapped_type> out;
    const std::string prefix = path + "\\";
    for (auto it = map.lower_bound(prefix); it != map.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
      if (it->first.find('\\', prefix.size()) == std::string::npos) out.push_back(it->second);
    }
    return out;
  }
  std::vector<std::string> Subkeys(const std::string& key) const {
    std::vector<std::string> out;
    for (const KeyItem& sub : Children(s_.keys, key)) out.push_back(Fold(sub.path));
    return out;
  }
  void DeleteKey(const std::string& key) {
    if (Opens(key, true) && Subkeys(key).empty()) s_.keys.erase(key);
  }

  // ---- The file system, by folded real path ----
  struct Found {
    long error = 0;
    std::string key;  // folded real path; a root's is its name
    uint32_t attributes = platform::kAttrDirectory;
    bool root = false;
  };
  static Found Failed(long error) {
    Found found;
    found.error = error;
    return found;
  }
  // What `path` (resolved) names: links in the middle are followed, the last
  // one only with `followLast`.
  Found Walk(const std::string& path, bool followLast, int depth = 0) const {
    if (depth > kMaxLinkDepth) return Failed(kUnresolvable);
    const std::string root = RootOf(path);
    Found at{0, Fold(root.substr(0, root.size() - 1)), platform::kAttrDirectory, true};
    if (root.empty() || !s_.drives.count(at.key)) return Failed(kMissing);
    const std::vector<std::string> parts = SplitPath(path.substr(std::min(root.size(), path.size())));
    for (size_t i = 0; i < parts.size(); ++i) {
      if (!IsDir(at.attributes) || IsLink(at.attributes)) return Failed(kMissing);
      auto it = s_.files.find(at.key + "\\" + Fold(parts[i]));
      if (it == s_.files.end()) return Failed(kMissing);
      at = {0, it->first, it->second.attributes, false};
      if (IsLink(at.attributes) && (i + 1 < parts.size() || followLast)) {
        at = Walk(it->second.target, true, depth + 1);
        if (at.error) return Failed(at.error == kUnresolvable ? kUnresolvable : kMissing);
      }
    }
    return at;
  }
  // What a file call given `path` reaches, without following a last link;
  // the system resolves the path again first.
  Found Reach(const std::string& path) const {
    const std::string resolved = ResolveAbsolutePath(path);
    if (Rejected(resolved)) return Failed(kInvalidName);
    if (resolved.empty() || resolved.size() > kMaxPath) return Failed(kMissing);
    return Walk(resolved, false);
  }

  // ---- The pass ----
  bool GatePasses() {
    const std::string product = KeyOf(Root::LocalMachine, ProductVersionKey);
    if (!Opens(product, false) || !Read(product, qf::InstallAdmin, qf::FlagCapacity) ||
        Opens(KeyOf(Root::Users, qf::DefaultUserKey), true))
      return true;
    s_.shown.insert(s_.shown.end(), {"box CheckAdmin 64", "beep", std::string("box  48 ") + kAdminRequired});
    return false;
  }

  void UserTree() {
    const std::string parent = KeyOf(Root::CurrentUser, ProductKey), top = parent + "\\3.0";
    if (!Opens(top, true)) return;
    EmptyKey(top);
    if (Opens(parent, true)) DeleteKey(top);
  }
  void EmptyKey(const std::string& key) {
    for (const std::string& sub : Subkeys(key)) {
      if (LastName(sub).size() + 1 > platform::kSubkeyNameCapacity || !Opens(sub, true)) continue;
      EmptyKey(sub);
      DeleteKey(sub);
    }
  }

  void Components() {
    const std::string product = KeyOf(Root::LocalMachine, ProductVersionKey);
    const std::string info = KeyOf(Root::LocalMachine, UnInstInfoKey);
    if (!Opens(product, false)) return;
    const std::optional<sim::Value> uses = Read(product, qf::UseSharedFiles, qf::FlagCapacity);
    if (!uses || TextOf(uses->data) != "TRUE" || !Opens(info, false)) return;
    std::vector<std::string> order;
    for (const qf::ComponentFlag& row : qf::ComponentFlags)
      if (Read(info, row.flag, qf::FlagCapacity)) order.push_back(row.component);
    flagged_ = order, released_.clear(), putOff_.clear();
    // One whose root holds the root of one released later waits for it.
    for (size_t i = 0; i < order.size(); ++i) {
      putOffNow_ = false;
      Release(order[i]);
      if (putOffNow_) {
        putOff_[order[i]] = released_.size(), order.push_back(order[i]);
        continue;
      }
      released_.push_back(order[i]);
    }
  }

  void Release(const std::string& name) {
    const std::string key = KeyOf(Root::LocalMachine, JoinPath(SharedKey, name));
    if (!Opens(key, true)) return;
    const std::optional<sim::Value> stored = Read(key, qf::UseCount, qf::FlagCapacity);
    const std::optional<int32_t> count = stored ? UseCountOf(*stored) : std::nullopt;
    if (!count) return;
    if (*count > 1) {
      const int32_t n = *count - 1;
      sim::Value lowered{platform::kRegSz, std::to_string(n) + '\0'};
      if (stored->type == platform::kRegDword) {
        lowered = {platform::kRegDword, std::string(4, '\0')};
        for (int i = 0; i < 4; ++i) lowered.data[i] = static_cast<char>(static_cast<uint32_t>(n) >> (8 * i));
      }
      s_.keys.at(key).values[Fold(qf::UseCount)].second = lowered;
      return;
    }
    const std::optional<sim::Value> rootDir = Read(key, qf::RootDir, qf::RootDirCapacity);
    if (!rootDir) return;
    // Only a directory below a root that resolves to itself, reached
    // without a link on the way or at its end.
    const std::string root = OwnedForm(TextOf(rootDir->data));
    if (root.empty() || ResolveAbsolutePath(root) != root) return;
    const Found at = Reach(root);
    if (!at.error) {
      if (!Genuine(at, root)) return;
      const Verdict verdict = Own(at.key, name);
      if (verdict != Verdict::Own) return void(putOffNow_ = verdict == Verdict::Later);
      const bool deletable = Deletable(at.key);
      Empty(at.key, name == qf::HelpComponent);
      RemoveEntry(at.key, deletable);
    } else if (at.error != kMissing) {
      return;
    }
    if (Opens(KeyOf(Root::LocalMachine, SharedKey), true)) DeleteKey(key);
  }

  // ---- What a root must never be or hold ----
  // Whether the root with the folded real path `root` holds none of what
  // is not the component `name`'s own.  What cannot be read counts as held.
  enum class Verdict { Own, NotOwn, Later };
  bool In(const std::vector<std::string>& names, const std::string& name) const {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameFold(n, name); });
  }
  Verdict Own(const std::string& root, const std::string& name) const {
    // Only a root on a drive: a share reaches the drives by other names.
    if (root.size() < 2 || root[1] != ':') return Verdict::NotOwn;
    std::vector<std::string> foreign, later;
    std::optional<std::string> helpLater;
    const std::string shared = KeyOf(Root::LocalMachine, SharedKey);
    const auto add = [&](const std::string& key, const char* value, size_t capacity) {
      if (!s_.keys.at(key).values.count(Fold(value))) return true;
      const std::optional<std::string> read = ReadText(key, value, capacity);
      if (read) foreign.push_back(*read);
      return read.has_value();
    };
    if (!add(shared, qf::SharedFilesDir, qf::SharedFilesDirCapacity)) return Verdict::NotOwn;
    for (const std::string& other : Subkeys(shared)) {
      std::u16string units;
      if (!ToUtf16(LastName(s_.keys.at(other).path), &units) || !Opens(other, false)) return Verdict::NotOwn;
      if (SameFold(LastName(other), name) || IsLinkKey(other)) continue;
      // Another component this pass releases as its last holder.
      const std::optional<sim::Value> count = Read(other, qf::UseCount, qf::FlagCapacity);
      const std::optional<int32_t> n = count ? UseCountOf(*count) : std::nullopt;
      // A RootDir there but unreadable keeps the root, released later or not.
      const std::optional<std::string> rootDir = ReadText(other, qf::RootDir, qf::RootDirCapacity);
      if (!rootDir && s_.keys.at(other).values.count(Fold(qf::RootDir))) return Verdict::NotOwn;
      if (In(flagged_, LastName(other)) && !In(released_, LastName(other)) && n && *n <= 1 && rootDir) {
        const auto off = putOff_.find(name);
        if (off != putOff_.end() && off->second == released_.size()) continue;
        // The help component empties first what lies in its root, but for
        // one behind a link or a short name; one that lies in its root waits for it.
        const std::optional<std::vector<std::string>> names = NamesOf(*rootDir);
        const bool oneName = names && std::all_of(names->begin(), names->end(), [&](const std::string& x) { return x == names->front(); });
        if (SameFold(name, qf::HelpComponent) && oneName) continue;
        later.push_back(*rootDir);
        if (SameFold(LastName(other), qf::HelpComponent)) helpLater = *rootDir;
        continue;
      }
      if (rootDir) foreign.push_back(*rootDir);
    }
    if (HoldsAny(root, foreign)) return Verdict::NotOwn;
    bool laterHeld = false;
    for (const std::string& path : later) {
      const std::optional<std::vector<std::string>> names = NamesOf(path);
      if (!names) return Verdict::NotOwn;
      for (const std::string& n : *names)
        laterHeld |= n == root || n.rfind(root + "\\", 0) == 0 || (path == helpLater && root.rfind(n + "\\", 0) == 0);
    }
    // The Windows directory (nothing at or below it), the temporary
    // folders and the other programs' directories.
    std::vector<std::string> others;
    const std::vector<std::string> places = sim::SystemPlaces();
    if (!OtherPrograms(&others)) return Verdict::NotOwn;
    others.insert(others.begin(), {JoinPath(places[0], "Temp"), places[2]});
    const std::optional<std::vector<std::string>> windows = NamesOf(places[0]);
    if (!windows) return Verdict::NotOwn;
    for (const std::string& n : *windows)
      if (root == n || root.rfind(n + "\\", 0) == 0) return Verdict::NotOwn;
    if (HoldsAny(root, {others.begin(), others.begin() + 2})) return Verdict::NotOwn;
    // An entry whose directory cannot be told is held by its text alone.
    for (auto it = others.begin() + 2; it != others.end(); ++it) {
      const std::optional<std::vector<std::string>> names = NamesOf(*it);
      for (const std::string& n : names ? *names : std::vector<std::string>{Fold(NodePath(*it))})
        if (n == root || n.rfind(root + "\\", 0) == 0) return Verdict::NotOwn;
    }
    return laterHeld ? Verdict::Later : Verdict::Own;
  }
  // The directories the lists of installed programs name (the fuzzer's: an
  // uninstall entry's InstallLocation, an App Paths program's default
  // value); false when a list cannot be read (not opened, or a link).
  bool OtherPrograms(std::vector<std::string>* dirs) const {
    for (Root root : {Root::LocalMachine, Root::CurrentUser}) {
      for (const char* list : {qf::UninstallKey, qf::AppPathsKey}) {
        std::string key = Fold(sim::RootName(root));
        for (const std::string& step : SplitPath(list)) {
          if (!s_.keys.count(key += "\\" + Fold(step))) break;
          if (!s_.keys.at(key).canOpen || IsLinkKey(key)) return false;
        }
        for (const std::string& entry : s_.keys.count(key) ? Subkeys(key) : std::vector<std::string>{}) {
          const auto v = Read(entry, list == qf::UninstallKey ? qf::InstallLocation : "", 2 * qf::OtherPathCapacity);
          std::string text = v && s_.keys.at(entry).canOpen ? TextOf(v->data) : "", dir, file;
          text.erase(0, std::min(text.find_first_not_of(" \t"), text.size()));
          if (!text.empty() && text[0] == '"') text = text.substr(1, text.find('"', 1) - 1);
          if (!text.empty() && text.back() == '"') text.pop_back();
          while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
          if (list == qf::UninstallKey) dir = ResolveAbsolutePath(text);
          else SplitParent(ResolveAbsolutePath(text), &dir, &file);
          if (!dir.empty()) dirs->push_back(dir);
        }
      }
    }
    return true;
  }
  // Whether the directory with the folded real path `dir` is or holds one of
  // `paths` or a kept folder; what cannot be told counts as held.
  bool HoldsAny(const std::string& dir, std::vector<std::string> paths) const {
    if (!MachineFoldersKnown()) return true;
    for (const std::string& folder : KeptFolderPaths()) paths.push_back(folder);
    for (const std::string& path : paths) {
      const std::optional<std::vector<std::string>> names = NamesOf(path);
      if (!names) return true;
      for (const std::string& n : *names)
        if (n == dir || n.rfind(dir + "\\", 0) == 0) return true;
    }
    return false;
  }
  // The folded names of the directory `path` names: as resolved, and as its
  // nearest ancestor that is there really is, with the names below as
  // written; nothing when a link on the way cannot be resolved.
  std::optional<std::vector<std::string>> NamesOf(const std::string& path) const {
    std::string at = NodePath(path);
    if (at.empty()) return std::vector<std::string>{};
    if (Rejected(at)) return std::nullopt;
    // One on a share is never opened: its text is all it goes by.
    if (at.size() < 2 || at[1] != ':') return std::vector<std::string>{Fold(at)};
    std::vector<std::string> names{Fold(at)};
    for (std::string below;;) {
      // Each ancestor is opened by its path, which drops a last name's trailing
      // blanks and dots as the system does.
      const Found found = at.size() > kMaxPath ? Failed(kMissing) : Walk(NodePath(at), true);
      if (found.error == kUnresolvable) return std::nullopt;
      if (!found.error) names.push_back(found.key + (below.empty() ? "" : "\\" + Fold(below)));
      if (!found.error || at == RootOf(at)) return names;
      const size_t cut = at.rfind('\\');
      below = at.substr(cut + 1) + (below.empty() ? "" : "\\" + below);
      at = cut + 1 == RootOf(at).size() ? RootOf(at) : at.substr(0, cut);
    }
  }

  // A directory that is itself, by the path it was named with: no link.
  bool Genuine(const Found& at, const std::string& resolved) const {
    std::string named = resolved;
    while (named.size() > RootOf(named).size() && named.back() == '\\') named.pop_back();
    return !at.root && IsDir(at.attributes) && !IsLink(at.attributes) && at.key == Fold(named);
  }
  // Whether the entry can be opened for deletion now: the current directory
  // cannot.  A directory is opened before it is emptied, so this is known
  // before anything below it goes (a link on the way to the current
  // directory among it).
  bool Deletable(const std::string& key) const { return key != Walk(cwd_, true).key; }
  // Deletes the entry with the folded real path `key`, as its handle would,
  // when it was `deletable` when opened: a link itself, a file that is not
  // read-only, an empty directory.
  bool RemoveEntry(const std::string& key, bool deletable) {
    const uint32_t attributes = s_.files.at(key).attributes;
    if (!deletable || (!IsDir(attributes) && (attributes & platform::kAttrReadOnly))) return false;
    if (IsDir(attributes) && !IsLink(attributes) && !Children(s_.files, key).empty()) return false;
    return s_.files.erase(key) > 0;
  }

  // Entries are reached through their parent, so no path length limits it.
  void Empty(const std::string& dirKey, bool mshelp) {
    const std::string helpKey = KeyOf(Root::LocalMachine, HelpRegistrationKey);
    const bool help = mshelp && Opens(helpKey, true) && !IsLinkKey(helpKey);
    for (const FileItem& entry : Children(s_.files, dirKey)) {
      // A name that is no UTF-8 (a lone surrogate's) reaches nothing.
      std::u16string units;
      if (!ToUtf16(LastName(entry.path), &units)) continue;
      const std::string key = Fold(entry.path);
      const bool deletable = Deletable(key);
      if (IsDir(entry.attributes)) {
        if (!IsLink(entry.attributes)) Empty(key, mshelp);
        RemoveEntry(key, deletable);
      } else if (RemoveEntry(key, deletable) && help) {
        s_.keys.at(helpKey).values.erase(Fold(LastName(entry.path)));
      }
    }
  }

  void Area() {
    const std::string shared = KeyOf(Root::LocalMachine, SharedKey);
    if (!Opens(shared, true) || !Subkeys(shared).empty()) return;
    if (const std::optional<std::string> dir = ReadText(shared, qf::SharedFilesDir, qf::SharedFilesDirCapacity)) {
      const std::string& text = *dir;
      const Found at = OwnedForm(text).empty() ? Failed(kMissing) : Reach(text);
      // Nor a temporary folder, nor anything on no drive or below Windows.
      const std::vector<std::string> places = sim::SystemPlaces();
      const std::optional<std::vector<std::string>> windows = NamesOf(places[0]);
      const bool belowWindows = !windows || std::any_of(windows->begin(), windows->end(), [&](const std::string& n) {
        return at.key == n || at.key.rfind(n + "\\", 0) == 0;
      });
      if (!at.error && Genuine(at, ResolveAbsolutePath(text)) && at.key.size() > 1 && at.key[1] == ':' &&
          !belowWindows && !HoldsAny(at.key, {JoinPath(places[0], "Temp"), places[2]}))
        RemoveEntry(at.key, Deletable(at.key));
    }
    if (Opens(KeyOf(Root::LocalMachine, MakerKey), true)) DeleteKey(shared);
  }

  MachineState s_;
  std::vector<std::string> flagged_, released_;  // this pass's, in order
  std::map<std::string, size_t> putOff_;         // with how many were released then
  bool putOffNow_ = false;                       // the last Release was put off
  std::string cwd_;
};

void CollectKeys(Root root, const std::string& path, MachineState* s) {
  for (const std::string& name : SubkeysSeen(root, path)) {
    const std::string child = path.empty() ? name : path + "\\" + name;
    KeyItem& key = s->keys[KeyOf(root, child)];
    key.path = std::string(sim::RootName(root)) + "\\" + child;
    std::tie(key.canOpen, key.canWrite) = sim::KeyRights(root, child);
    for (const std::string& value : sim::ValueNames(root, child))
      key.values[Fold(value)] = {value, *sim::GetValue(root, child, value)};
    CollectKeys(root, child, s);
  }
}

std::string ShownLine(const sim::JournalEntry& e) {
  if (e.kind == sim::Change::Beep) return "beep";
  if (e.kind == sim::Change::Call) return "call " + Fold(e.path) + " " + e.detail;
  if (e.kind != sim::Change::MessageBox) return "";
  // The system's own text for an error is not the product's to choose.
  return "box " + e.path + " " + std::to_string(e.flags) + (e.path == "CheckAdmin" ? "" : " " + e.detail);
}

// The part of the state an item belongs to (see CompareStates).
std::string PartOf(const std::string& item, const PartDirs& dirs) {
  const std::string path = item.substr(item.find(' ') + 1);
  if (item.rfind("file ", 0) == 0) {
    for (const auto& [part, paths] : dirs) {
      for (const std::string& dir : paths) {
        if (part != "area" ? AtOrBelow(path, dir) : SameFold(path, dir))
          return part == "area" ? part : "component:" + part;
      }
    }
    return "other";
  }
  if (item.rfind("shown ", 0) == 0) return path.rfind("call", 0) == 0 ? "companion" : "gate";
  const std::string key = path.substr(0, path.find('|'));
  const std::string shared = Fold(Hklm(SharedKey));
  if (key.rfind("hkcu\\", 0) == 0) return "user";
  if (key == shared) return "area";
  if (AtOrBelow(key, Hklm(HelpRegistrationKey))) return "component:MSHelp";
  if (!Below(key, shared)) return "other";
  const std::string name = SplitPath(key.substr(shared.size()))[0];
  for (const qf::ComponentFlag& row : qf::ComponentFlags) {
    if (name == Fold(row.component)) return std::string("component:") + row.component;
  }
  return "other";
}

std::map<std::string, std::string> Items(const MachineState& s) {
  std::map<std::string, std::string> items;
  for (const auto& [path, file] : s.files) items["file " + path] = "";
  for (const auto& [path, key] : s.keys) {
    items["key " + path] = "";
    for (const auto& [name, value] : key.values)
      items["value " + path + "|" + name] = std::to_string(value.second.type) + ":" + value.second.data;
  }
  for (size_t i = 0; i < s.shown.size(); ++i) items["shown " + s.shown[i] + " #" + std::to_string(i)] = "";
  return items;
}

}  // namespace

MachineState CaptureState(const std::vector<std::string>& roots, const std::vector<Link>& links) {
  MachineState s;
  for (const std::string& root : roots) {
    if (!sim::Exists(root)) continue;
    s.drives.insert(Fold(root.substr(0, root.size() - 1)));
    for (const std::string& path : sim::Tree(root))
      s.files[Fold(path)] = FileItem{path, sim::Attributes(Addressable(path)).value_or(0), ""};
  }
  for (const Link& link : links) {
    auto it = s.files.find(Fold(NodePath(link.path)));
    if (it != s.files.end()) it->second.target = ResolveAbsolutePath(link.target);
  }
  for (Root root : {Root::CurrentUser, Root::LocalMachine, Root::Users}) CollectKeys(root, "", &s);
  for (const sim::JournalEntry& e : sim::Journal()) {
    if (const std::string line = ShownLine(e); !line.empty()) s.shown.push_back(line);
  }
  s.companion = sim::HasEntry(qf::SecondCompanion, qf::VrxEntry);
  return s;
}

std::vector<std::string> CompareStates(const MachineState& expected, const MachineState& actual,
                                       const PartDirs& dirs, const std::set<std::string>& suspect) {
  const std::map<std::string, std::string> want = Items(expected), got = Items(actual);
  std::map<std::string, std::string> differences;
  for (const auto& [item, value] : want) {
    auto it = got.find(item);
    if (it == got.end()) differences[item] = "missing";
    else if (it->second != value) differences[item] = "differs";
  }
  for (const auto& [item, value] : got) {
    if (!want.count(item)) differences[item] = "not expected";
  }
  std::vector<std::string> bad;
  for (const auto& [item, what] : differences) {
    const std::string part = PartOf(item, dirs);
    if (suspect.count(part) || (suspect.count("all") && part != "other")) continue;
    bad.push_back("oracle: " + item + " " + what + " (" + part + ")");
  }
  return bad;
}

std::set<std::string> SuspectParts(const PartDirs& dirs, std::set<std::string> also) {
  std::set<std::string> suspect = std::move(also);
  const auto components = [&] {
    for (const qf::ComponentFlag& row : qf::ComponentFlags)
      suspect.insert(std::string("component:") + row.component);
  };
  for (size_t i = 0; i < sim::FailuresHit().size(); ++i) {
    const std::string& hit = sim::FailuresHit()[i];
    // A root's check learns what the other roots, the area, the kept
    // folders and the system's places are: any of that failing keeps any root.
    const sim::Op op = sim::FailedOps()[i];
    const bool checked = op == sim::Op::TargetFinalPath || op == sim::Op::KeptFolders || op == sim::Op::SystemPlaces;
    const std::string path = hit.substr(hit.find(' ') + 1), folded = Fold(path);
    const std::string part = PartOf("file " + path, dirs), keyPart = PartOf("key " + path, dirs);
    const std::string flagKey = Fold(Hklm(UnInstInfoKey)) + "\\useshared";
    if (folded.find(".dll") != std::string::npos) {
      suspect.insert("companion");
    } else if (checked) {
      components();
      suspect.insert("area");
    } else if (keyPart == "user") {
      suspect.insert("user");
    } else if (folded.rfind(flagKey, 0) == 0) {
      // A flag names its component.
      const std::string which = folded.substr(flagKey.size());
      suspect.insert(which == "data" ? "component:Data" : which == "mshelp" ? "component:MSHelp" : "component:Image Files");
    } else if (AtOrBelow(path, Hklm(SharedKey))) {
      // What the area's key names is what every root is held against, and
      // a count tells whether this pass releases its component.
      components();
      suspect.insert("area");
    } else if (folded.rfind("hklm\\", 0) == 0 && keyPart.rfind("component:", 0) == 0) {
      suspect.insert(keyPart);
    } else if (SameFold(path, Hklm(SharedKey)) || AtOrBelow(path, Hklm(UnInstInfoKey)) ||
               SameFold(path, Hklm(ProductVersionKey) + "\\UseSharedFiles") ||
               (RootOf(path) != "" && part == "other")) {
      components();
    } else if (RootOf(path) == "" && folded.rfind("hk", 0) != 0) {
      suspect.insert("gate");  // the system's text for an error
    } else if (folded.rfind("hk", 0) == 0) {
      suspect.insert("all");  // the gate's keys: everything may flip
    } else {
      suspect.insert(part);
    }
  }
  // Components whose directories overlap change together, and the area
  // goes only once every component has gone.
  for (const auto& [a, aDirs] : dirs) {
    for (const auto& [b, bDirs] : dirs) {
      if (a == "area" || b == "area" || !suspect.count("component:" + a)) continue;
      for (const std::string& x : aDirs) {
        for (const std::string& y : bDirs) {
          if (AtOrBelow(x, y) || AtOrBelow(y, x)) suspect.insert("component:" + b);
        }
      }
    }
  }
  for (const std::string& part : suspect) {
    if (part.rfind("component:", 0) == 0) {
      suspect.insert("area");
      break;
    }
  }
  return suspect;
}

// The keys below `path` as the pass sees them: on 64-bit Windows,
// HKLM\Software holds the 32-bit view's own keys and those both views share.
std::vector<std::string> SubkeysSeen(platform::Root root, const std::string& path) {
  if (!sim::IsWow64() || root != platform::Root::LocalMachine || !SameFold(path, "Software")) return sim::SubkeyNames(root, path);
  std::vector<std::string> names = sim::SubkeyNames(root, "Software\\WOW6432Node");
  for (const std::string& name : sim::SubkeyNames(root, path))
    if (!SameFold(name, "WOW6432Node") && sim::KeyExists(root, path + "\\" + name) &&
        std::none_of(names.begin(), names.end(), [&](auto& n) { return SameFold(n, name); }))
      names.push_back(name);
  return names;
}

bool MachineFoldersKnown() {
  bool known = true;
  std::string key;
  sim::SetUpIn64BitView(true);
  for (const std::string& step : SplitPath(qf::WindowsVersionKey)) {
    key += (key.empty() ? "" : "\\") + step;
    if (!sim::KeyExists(Root::LocalMachine, key)) break;
    const auto link = sim::GetValue(Root::LocalMachine, key, "SymbolicLinkValue");
    known &= !(link && link->type == platform::kRegLink) && sim::KeyRights(Root::LocalMachine, key).first;
    if (!known) break;
  }
  for (const qf::MachineFolder& folder : qf::MachineFolders) {
    const auto value = known ? sim::GetValue(Root::LocalMachine, qf::WindowsVersionKey, folder.value) : std::nullopt;
    if (value) known = TextRead(*value, qf::MachineFolderCapacity).has_value();
  }
  sim::SetUpIn64BitView(false);
  return known;
}

std::vector<std::string> KeptFolderPaths() {
  std::vector<std::string> paths;
  for (const platform::KeptFolder& folder : sim::AllKeptFolders()) paths.push_back(folder.path);
  sim::SetUpIn64BitView(true);
  for (const qf::MachineFolder& folder : qf::MachineFolders)
    if (auto path = sim::GetText(Root::LocalMachine, qf::WindowsVersionKey, folder.value)) paths.push_back(*path);
  sim::SetUpIn64BitView(false);
  return paths;
}

MachineState ExpectedState(const MachineState& before, const std::string& cwd, int passes) {
  return Model(before, cwd).Run(passes);
}

}  // namespace qf::reliability
