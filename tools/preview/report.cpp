// Runs the pass on the simulated copy of the machine and turns what it did
// into the report: the changes from the journal, in the pass's order, and
// for what stays, the reason read off the item and the records around it.
#include "report.h"

#include <optional>

#include "common/locations.h"
#include "common/paths.h"
#include "exports/entry_points.h"
#include "platform/sim/sim.h"

namespace qfpreview {
namespace {

using qf::platform::Root;
namespace sim = qf::sim;

// A value as the pass reads it: present and within `capacity`.
std::optional<sim::Value> Read(Root root, const std::string& key, const char* name,
                               uint32_t capacity) {
  std::optional<sim::Value> value = sim::GetValue(root, key, name);
  if (value && value->data.size() > capacity) return std::nullopt;
  return value;
}

std::string TextOf(const std::string& data) { return data.substr(0, data.find('\0')); }

uint32_t DwordOf(const std::string& data) {
  uint32_t number = 0;
  for (size_t i = 0; i < data.size() && i < 4; ++i)
    number |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  return number;
}

// A count as people read it: "2" for text, 2 for a number.
std::string Shown(const sim::Value& value) {
  if (value.type == qf::platform::kRegDword && value.data.size() == 4)
    return std::to_string(DwordOf(value.data));
  return "\"" + TextOf(value.data) + "\"";
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

// `path` is `dir` or lies below it (folded paths).
bool Within(const std::string& path, const std::string& dir) {
  return path == dir || StartsWith(path, dir + "\\");
}

// ---- What the pass finds before it runs ----

struct ComponentBefore {
  bool flagged = false;
  bool record = false;
  std::optional<sim::Value> useCount;
  std::optional<std::string> rootDir;
  std::string root;  // RootDir resolved, when it names a directory below a root
};

struct Before {
  bool admin = false;
  bool usesShared = false;
  bool userTree = false;
  ComponentBefore components[3];
  bool sharedKey = false;
  std::string area;  // SharedFilesDir resolved, when it names one
};

Before Look() {
  Before before;
  before.admin = Read(Root::LocalMachine, qf::ProductVersionKey, "InstallAdmin",
                      kFlagCapacity).has_value();
  const auto uses = Read(Root::LocalMachine, qf::ProductVersionKey, "UseSharedFiles",
                         kFlagCapacity);
  before.usesShared = uses && TextOf(uses->data) == "TRUE";
  before.userTree = sim::KeyExists(Root::CurrentUser, qf::JoinPath(qf::ProductKey, "3.0"));
  for (size_t i = 0; i < 3; ++i) {
    ComponentBefore& c = before.components[i];
    const std::string key = qf::JoinPath(qf::SharedKey, kComponentRows[i].name);
    c.flagged = Read(Root::LocalMachine, qf::UnInstInfoKey, kComponentRows[i].flag, kFlagCapacity)
                    .has_value();
    c.record = sim::KeyExists(Root::LocalMachine, key);
    c.useCount = Read(Root::LocalMachine, key, "UseCount", kFlagCapacity);
    if (const auto dir = Read(Root::LocalMachine, key, "RootDir", kRootDirCapacity))
      c.rootDir = TextOf(dir->data);
    if (c.rootDir && qf::IsBelowRoot(*c.rootDir)) c.root = qf::ResolveAbsolutePath(*c.rootDir);
  }
  before.sharedKey = sim::KeyExists(Root::LocalMachine, qf::SharedKey);
  if (const auto dir = Read(Root::LocalMachine, qf::SharedKey, "SharedFilesDir",
                            kSharedFilesDirCapacity)) {
    if (qf::IsBelowRoot(TextOf(dir->data)))
      before.area = qf::ResolveAbsolutePath(TextOf(dir->data));
  }
  return before;
}

// ---- Changes, from the journal ----

Step RegistryStep(const std::string& root, const std::string& path) {
  if (root == "HKCU") return Step::UserSettings;
  const std::string folded = FoldPath(path);
  if (folded == FoldPath(qf::HelpRegistrationKey)) return Step::MSHelp;
  for (const ComponentRow& row : kComponentRows)
    if (Within(folded, FoldPath(qf::JoinPath(qf::SharedKey, row.name)))) return row.step;
  return Step::SharedArea;
}

Step FileStep(const Before& before, const std::string& path) {
  for (size_t i = 0; i < 3; ++i) {
    const std::string& root = before.components[i].root;
    if (!root.empty() && Within(FoldPath(path), FoldPath(root))) return kComponentRows[i].step;
  }
  return Step::SharedArea;
}

Change RegistryChange(const std::string& op, const std::string& shown, const std::string& name) {
  Change change;
  change.op = op;
  const size_t cut = shown.find('\\');
  change.root = shown.substr(0, cut);
  change.path = cut == std::string::npos ? std::string() : shown.substr(cut + 1);
  change.name = name;
  change.step = RegistryStep(change.root, change.path);
  return change;
}

void SetValueData(const Before& before, Change* change) {
  const Root root = change->root == "HKCU" ? Root::CurrentUser : Root::LocalMachine;
  const std::optional<sim::Value> now = sim::GetValue(root, change->path, change->name);
  if (now && now->type == qf::platform::kRegDword) {
    change->type = "REG_DWORD";
    change->number = DwordOf(now->data);
  } else {
    change->type = "REG_SZ";
    change->text = now ? TextOf(now->data) : std::string();
  }
  for (size_t i = 0; i < 3; ++i) {
    if (kComponentRows[i].step == change->step && before.components[i].useCount)
      change->before = Shown(*before.components[i].useCount);
  }
}

void ReadJournal(const Snapshot& snapshot, const Before& before, Report* report) {
  for (const sim::JournalEntry& entry : sim::Journal()) {
    if (entry.kind == "RegDeleteKey") {
      report->changes.push_back(RegistryChange("delete-key", entry.path, ""));
    } else if (entry.kind == "RegDeleteValue") {
      report->changes.push_back(RegistryChange("delete-value", entry.path, entry.detail));
    } else if (entry.kind == "RegSetValue") {
      Change change = RegistryChange("set-value", entry.path, entry.detail);
      SetValueData(before, &change);
      report->changes.push_back(change);
    } else if (entry.kind == "DeleteFile" || entry.kind == "RemoveDirectory") {
      Change change;
      const auto item = snapshot.files.find(FoldPath(entry.path));
      const bool link = item != snapshot.files.end() && item->second.link;
      change.op = link ? "remove-link" : entry.kind == "DeleteFile" ? "delete-file"
                                                                     : "remove-directory";
      change.path = entry.path;
      change.step = FileStep(before, entry.path);
      report->changes.push_back(change);
    } else if (entry.kind == "Call") {
      const size_t bang = entry.path.find('!');
      report->calls.push_back(
          Call{entry.path.substr(0, bang), entry.path.substr(bang + 1), entry.detail});
    } else if (entry.kind == "MessageBox") {
      report->boxes.push_back(Box{entry.path, entry.detail});
    } else if (entry.kind == "Beep") {
      report->gatePasses = false;  // the pass beeps only when the gate refuses
    }
  }
}

void Count(const Snapshot& snapshot, Report* report) {
  Totals& t = report->totals;
  for (const Change& change : report->changes) {
    if (change.op == "delete-file") {
      ++t.files;
      const auto item = snapshot.files.find(FoldPath(change.path));
      if (item != snapshot.files.end()) t.bytes += item->second.size;
    } else if (change.op == "remove-directory") {
      ++t.directories;
    } else if (change.op == "remove-link") {
      ++t.links;
    } else if (change.op == "delete-key") {
      ++t.keys;
      const auto key = snapshot.keys.find(FoldPath(change.root + "\\" + change.path));
      if (key != snapshot.keys.end() && !key->second.link) t.values += key->second.values;
    } else if (change.op == "delete-value") {
      ++t.values;
    } else if (change.op == "set-value") {
      ++t.changedValues;
    }
  }
}

// ---- What stays, and why ----

std::string FileWhy(const FileItem& item) {
  if (item.link) return "a link: never followed";
  if (item.attributes & qf::platform::kAttrDirectory) return "holds items that stay";
  if (item.attributes & qf::platform::kAttrReadOnly) return "read-only";
  return "cannot be deleted";
}

// The per-user keys that stay.
void KeptUserKeys(const Snapshot& snapshot, Report* report) {
  for (const auto& [folded, key] : snapshot.keys) {
    if (!StartsWith(folded, "hkcu\\")) continue;
    const std::string path = key.path.substr(5);
    if (!sim::KeyExists(Root::CurrentUser, path)) continue;
    std::string why = "a key below it stays";
    if (key.link)
      why = "a registry link: never followed";
    else if (sim::SubkeyNames(Root::CurrentUser, path).empty())
      why = "cannot be opened for deletion";
    report->kept.push_back(Kept{Step::UserSettings, key.path, why});
  }
}

// Why a component's record stays although its flag is set.
std::string RecordWhy(const Snapshot& snapshot, const ComponentBefore& c, bool filesTouched) {
  if (!c.useCount) return "no readable UseCount: a component without a count is never removed";
  if (!c.rootDir) return "no readable RootDir: the count stays as it is";
  if (c.root.empty())
    return "unsafe root: RootDir \"" + *c.rootDir + "\" names no directory below a drive or share";
  if (qf::ResolveAbsolutePath(c.root) != c.root)
    return "unsafe root: RootDir \"" + *c.rootDir + "\" resolves differently when resolved again";
  const auto root = snapshot.files.find(FoldPath(c.root));
  if (root != snapshot.files.end() && root->second.link)
    return "unsafe root: RootDir is a link, never followed";
  if (filesTouched) return "its record has subkeys of its own, so it cannot be deleted";
  return "its record cannot be opened for writing or deleted";
}

void KeptComponent(const Snapshot& snapshot, const Before& before, size_t i, Report* report) {
  const ComponentBefore& c = before.components[i];
  const Step step = kComponentRows[i].step;
  const std::string key = qf::JoinPath(qf::SharedKey, kComponentRows[i].name);
  bool lowered = false, touched = false;
  for (const Change& change : report->changes) {
    if (change.step != step) continue;
    lowered = lowered || change.op == "set-value";
    touched = touched || change.root.empty();
  }
  if (lowered) {
    if (!c.root.empty())
      report->kept.push_back(Kept{step, c.root, "held by another product"});
    return;
  }
  if (sim::KeyExists(Root::LocalMachine, key)) {
    const std::string why = RecordWhy(snapshot, c, touched);
    report->kept.push_back(Kept{step, "HKLM\\" + key, why});
    if (!touched && !c.root.empty() && snapshot.files.count(FoldPath(c.root)))
      report->kept.push_back(Kept{step, c.root, why});
    if (!touched) return;
  }
  if (c.root.empty()) return;
  // Released: what is left of its tree, and the help registrations of the
  // help files that are left.
  const std::string top = FoldPath(c.root);
  for (auto it = snapshot.files.lower_bound(top); it != snapshot.files.end(); ++it) {
    if (!Within(it->first, top)) break;
    if (!sim::Exists(it->second.path)) continue;
    report->kept.push_back(Kept{step, it->second.path, FileWhy(it->second)});
    const bool file = !(it->second.attributes & qf::platform::kAttrDirectory);
    const std::string name = it->second.path.substr(it->second.path.rfind('\\') + 1);
    if (step == Step::MSHelp && file &&
        sim::GetValue(Root::LocalMachine, qf::HelpRegistrationKey, name))
      report->kept.push_back(Kept{step, "HKLM\\" + qf::JoinPath(qf::HelpRegistrationKey, name),
                                  "the registration of a help file that stays"});
  }
}

void KeptSharedArea(const Snapshot& snapshot, const Before& before, Report* report) {
  if (before.sharedKey && sim::KeyExists(Root::LocalMachine, qf::SharedKey)) {
    std::string held;
    for (const std::string& name : sim::SubkeyNames(Root::LocalMachine, qf::SharedKey))
      held += (held.empty() ? "" : ", ") + name;
    const std::string why =
        held.empty() ? "cannot be deleted" : "components remain in the shared area: " + held;
    report->kept.push_back(Kept{Step::SharedArea, "HKLM\\" + std::string(qf::SharedKey), why});
    if (!before.area.empty() && sim::Exists(before.area))
      report->kept.push_back(Kept{Step::SharedArea, before.area, "the shared area is still in use"});
    return;
  }
  const auto area = snapshot.files.find(FoldPath(before.area));
  if (before.area.empty() || area == snapshot.files.end() || !sim::Exists(before.area)) return;
  report->kept.push_back(Kept{Step::SharedArea, before.area,
                              area->second.link ? "a link: never removed" : "not empty"});
}

void KeptAfterRefusal(const Before& before, Report* report) {
  const char* why = "the administrator gate refuses";
  if (before.userTree)
    report->kept.push_back(Kept{Step::UserSettings,
                                "HKCU\\" + qf::JoinPath(qf::ProductKey, "3.0"), why});
  for (size_t i = 0; i < 3; ++i) {
    if (before.usesShared && before.components[i].flagged && before.components[i].record)
      report->kept.push_back(
          Kept{kComponentRows[i].step, "HKLM\\" + qf::JoinPath(qf::SharedKey, kComponentRows[i].name), why});
  }
}

// ---- Notes: what the pass looked at ----

void Notes(const Snapshot& snapshot, const Before& before, Report* report) {
  auto note = [&](Step step, const std::string& text) { report->notes.push_back(Note{step, text}); };
  note(Step::Gate, before.admin ? "installed by an administrator (InstallAdmin is set)"
                                : "not marked as an administrator's installation");
  note(Step::Gate, snapshot.profileProbe == 0
                       ? "HKEY_USERS\\.Default opens for writing"
                       : "HKEY_USERS\\.Default does not open for writing (error " +
                             std::to_string(snapshot.profileProbe) + ")");
  if (!before.userTree)
    note(Step::UserSettings, "HKCU\\" + qf::JoinPath(qf::ProductKey, "3.0") + " is not there");
  note(Step::Components, before.usesShared
                             ? "UseSharedFiles reads \"TRUE\""
                             : "UseSharedFiles does not read \"TRUE\": no component is released");
  for (size_t i = 0; i < 3; ++i) {
    const ComponentBefore& c = before.components[i];
    const Step step = kComponentRows[i].step;
    if (!c.flagged) {
      note(step, std::string("not flagged (no readable ") + kComponentRows[i].flag + ")");
    } else if (!c.record) {
      note(step, "flagged, but there is no record HKLM\\" +
                     qf::JoinPath(qf::SharedKey, kComponentRows[i].name) + ": nothing to release");
    } else {
      note(step, "flagged; UseCount " + (c.useCount ? Shown(*c.useCount) : "unreadable") +
                     ", RootDir " + (c.rootDir ? "\"" + *c.rootDir + "\"" : "unreadable"));
      if (!c.root.empty() && !snapshot.files.count(FoldPath(c.root)))
        note(step, "its directory " + c.root + " is not there");
    }
  }
  if (!before.sharedKey) note(Step::SharedArea, "HKLM\\" + std::string(qf::SharedKey) + " is not there");
  for (const auto& [library, path] : snapshot.companions)
    note(Step::Companions, library + (path.empty() ? ": not found" : ": found at " + path));
  if (snapshot.underWine)
    note(Step::Gate,
         "under Wine: a link to a file lists as a plain file, so it is shown as a file; a link "
         "to a directory is shown as a link, which Wine's RemoveDirectory does not remove "
         "(it acts on the link's target)");
}

}  // namespace

Report RunPreview(const Snapshot& snapshot) {
  Report report;
  report.underWine = snapshot.underWine;
  const Before before = Look();
  UninstInitialize(0, 0, 0);
  ReadJournal(snapshot, before, &report);
  Count(snapshot, &report);
  Notes(snapshot, before, &report);
  if (!report.gatePasses) {
    KeptAfterRefusal(before, &report);
    return report;
  }
  KeptUserKeys(snapshot, &report);
  if (before.usesShared) {
    for (size_t i = 0; i < 3; ++i)
      if (before.components[i].flagged && before.components[i].record)
        KeptComponent(snapshot, before, i, &report);
  }
  KeptSharedArea(snapshot, before, &report);
  return report;
}

}  // namespace qfpreview
