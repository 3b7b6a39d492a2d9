// Explanations: for what stays, the reason read off the item and the
// records around it; for each step, what the pass looked at and found.
#include "explain.h"

#include "common/paths.h"
#include "common/schema.h"
#include "platform/sim/sim.h"

namespace qfpreview {
namespace {

using qf::platform::Root;
namespace sim = qf::sim;

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
std::string RecordWhy(const Snapshot& snapshot, const ComponentBefore& c, const char* name,
                      bool filesTouched) {
  if (!c.useCount) return "no readable UseCount: a component without a count is never removed";
  if (!c.rootDir) return "no readable RootDir: the count stays as it is";
  if (c.root.empty())
    return "unsafe root: RootDir \"" + *c.rootDir + "\" names no directory below a drive or share";
  if (qf::ResolveAbsolutePath(c.root) != c.root)
    return "unsafe root: RootDir \"" + *c.rootDir + "\" resolves differently when resolved again";
  const auto root = snapshot.files.find(FoldPath(c.root));
  if (root != snapshot.files.end() && root->second.link)
    return "unsafe root: RootDir is a link, never followed";
  const auto behind = snapshot.rootsBehindLinks.find(FoldPath(c.root));
  if (behind != snapshot.rootsBehindLinks.end())
    return "unsafe root: RootDir lies behind the link " + behind->second + ", never followed";
  const std::string key = qf::JoinPath(qf::SharedKey, name);
  if (!sim::KeyRights(Root::LocalMachine, key).second)
    return "its record cannot be opened for writing or deleted";
  if (filesTouched || !sim::SubkeyNames(Root::LocalMachine, key).empty())
    return "its record has subkeys of its own, so it cannot be deleted";
  return "its root cannot be opened and checked as itself, so it is left like an unsafe root";
}

void KeptComponent(const Snapshot& snapshot, const Before& before, size_t i, Report* report) {
  const ComponentBefore& c = before.components[i];
  const Step step = kComponentSteps[i];
  const std::string key = qf::JoinPath(qf::SharedKey, ComponentFlags[i].component);
  bool lowered = false, touched = false;
  for (const Change& change : report->changes) {
    if (change.step != step) continue;
    lowered = lowered || change.op == "set-value";
    touched = touched || change.root.empty();
  }
  if (lowered) {
    if (!c.root.empty()) report->kept.push_back(Kept{step, c.root, "held by another product"});
    return;
  }
  if (sim::KeyExists(Root::LocalMachine, key)) {
    const std::string why = RecordWhy(snapshot, c, ComponentFlags[i].component, touched);
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
      report->kept.push_back(
          Kept{Step::SharedArea, before.area, "the shared area is still in use"});
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
    report->kept.push_back(
        Kept{Step::UserSettings, std::string("HKCU\\") + qf::UserSettingsKey, why});
  for (size_t i = 0; i < ComponentCount; ++i) {
    if (before.usesShared && before.components[i].flagged && before.components[i].record)
      report->kept.push_back(
          Kept{kComponentSteps[i],
               "HKLM\\" + qf::JoinPath(qf::SharedKey, ComponentFlags[i].component), why});
  }
}

}  // namespace

void ExplainKept(const Snapshot& snapshot, const Before& before, Report* report) {
  if (!report->gatePasses) {
    KeptAfterRefusal(before, report);
    return;
  }
  KeptUserKeys(snapshot, report);
  if (before.usesShared) {
    for (size_t i = 0; i < ComponentCount; ++i)
      if (before.components[i].flagged && before.components[i].record)
        KeptComponent(snapshot, before, i, report);
  }
  KeptSharedArea(snapshot, before, report);
}

void AddNotes(const Snapshot& snapshot, const Before& before, Report* report) {
  auto note = [&](Step step, const std::string& text) {
    report->notes.push_back(Note{step, text});
  };
  if (!before.product && !before.userTree)
    note(Step::Gate, "Quillforge 3.0 is not installed here: neither HKLM\\" +
                         std::string(qf::ProductVersionKey) +
                         " nor its per-user settings are there");
  note(Step::Gate, before.admin ? "installed by an administrator (InstallAdmin is set)"
                                : "not marked as an administrator's installation");
  note(Step::Gate, snapshot.profileProbe == 0
                       ? "HKEY_USERS\\.Default opens for writing"
                       : "HKEY_USERS\\.Default does not open for writing (error " +
                             std::to_string(snapshot.profileProbe) + ")");
  if (!before.userTree)
    note(Step::UserSettings, std::string("HKCU\\") + qf::UserSettingsKey + " is not there");
  note(Step::Components, before.usesShared
                             ? "UseSharedFiles reads \"TRUE\""
                             : "UseSharedFiles does not read \"TRUE\": no component is released");
  for (size_t i = 0; i < ComponentCount; ++i) {
    const ComponentBefore& c = before.components[i];
    const Step step = kComponentSteps[i];
    if (!c.flagged) {
      note(step, std::string("not flagged (no readable ") + ComponentFlags[i].flag + ")");
    } else if (!c.record) {
      note(step, "flagged, but there is no record HKLM\\" +
                     qf::JoinPath(qf::SharedKey, ComponentFlags[i].component) +
                     ": nothing to release");
    } else {
      note(step, "flagged; UseCount " + (c.useCount ? Shown(*c.useCount) : "unreadable") +
                     ", RootDir " + (c.rootDir ? "\"" + *c.rootDir + "\"" : "unreadable"));
      if (!c.root.empty() && !snapshot.files.count(FoldPath(c.root)))
        note(step, "its directory " + c.root + " is not there");
    }
  }
  if (!before.sharedKey)
    note(Step::SharedArea, "HKLM\\" + std::string(qf::SharedKey) + " is not there");
  for (const auto& [library, path] : snapshot.companions)
    note(Step::Companions, library + (path.empty() ? ": not found" : ": found at " + path));
}

}  // namespace qfpreview
