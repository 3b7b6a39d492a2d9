#include "invariants.h"

#include <algorithm>

#include "common/paths.h"
#include "common/schema.h"
#include "exports/entry_points.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "support.h"

namespace qf::reliability {
namespace {

using platform::Root;
using sim::RootName;
using LinkPairs = std::vector<std::pair<std::string, std::string>>;

// Capacities the pass reads with, in bytes.
constexpr size_t kFlagBytes = qf::FlagCapacity;
constexpr size_t kRootDirBytes = qf::RootDirCapacity;
constexpr size_t kSharedDirBytes = qf::SharedFilesDirCapacity;

std::string LastComponent(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// UseCount as the pass reads it; nothing when it is absent or too long.
std::optional<int64_t> ReadableCount(const std::optional<sim::Value>& value,
                                     size_t capacity = kFlagBytes) {
  if (!value || value->data.size() > capacity) return std::nullopt;
  return UseCountOf(*value);
}

std::optional<std::string> ReadableText(Root root, const std::string& key,
                                        const std::string& name, size_t capacity) {
  const std::optional<sim::Value> value = sim::GetValue(root, key, name);
  if (!value || value->data.size() > capacity) return std::nullopt;
  return TextOf(value->data);
}

void CollectKeys(Root root, const std::string& path, std::set<std::string>* out) {
  for (const std::string& name : SubkeysSeen(root, path)) {
    const std::string child = path.empty() ? name : path + "\\" + name;
    out->insert(Fold(std::string(RootName(root)) + "\\" + child));
    CollectKeys(root, child, out);
  }
}

std::set<std::string> AllKeys() {
  std::set<std::string> keys;
  for (Root root : {Root::CurrentUser, Root::LocalMachine, Root::Users})
    CollectKeys(root, "", &keys);
  return keys;
}

std::set<std::string> AllFiles(const std::vector<std::string>& roots) {
  std::set<std::string> files;
  for (const std::string& root : roots) {
    for (const std::string& path : sim::Tree(root)) files.insert(Fold(path));
  }
  return files;
}

bool Eligible(const ComponentState& c, int passes) {
  return c.exists && c.flagged && c.count && *c.count <= passes;
}

}  // namespace

std::string RealPath(const std::string& path, const LinkPairs& links, bool followLast) {
  // The path is split as it is and never resolved again: the system resolves
  // a path once, and a resolved path need not resolve to itself ("C:\a \."
  // gives "C:\a ", which would give "C:\a").
  std::string current = path;
  for (int depth = 0; depth < 64 && !current.empty(); ++depth) {
    std::string root = RootOf(current);
    if (root.empty()) return "";
    std::vector<std::string> parts;
    std::string rest = current.substr(std::min(root.size(), current.size()));
    for (size_t start = 0; start < rest.size();) {
      size_t end = rest.find('\\', start);
      if (end == std::string::npos) end = rest.size();
      if (end > start) parts.push_back(rest.substr(start, end - start));
      start = end + 1;
    }
    std::string walked = root.substr(0, root.size() - 1);
    bool jumped = false;
    for (size_t i = 0; i < parts.size() && !jumped; ++i) {
      const std::string candidate = walked + "\\" + parts[i];
      const bool last = i + 1 == parts.size();
      const auto link = std::find_if(links.begin(), links.end(), [&](const auto& l) {
        return SameFold(l.first, candidate);
      });
      if (link != links.end() && (!last || followLast)) {
        std::string next = link->second;
        if (next.empty()) return "";
        for (size_t j = i + 1; j < parts.size(); ++j)
          next += (next.back() == '\\' ? "" : "\\") + parts[j];
        current = next;
        jumped = true;
      } else {
        walked = candidate;
      }
    }
    if (!jumped) return parts.empty() ? root : walked;
  }
  return "";  // a loop of links
}

Snapshot Capture(const std::vector<Link>& links) {
  Snapshot s;
  s.cwd = sim::CurrentDir();
  s.links = links;
  for (const Link& link : links)
    s.realLinks.emplace_back(NodePath(link.path), ResolveAbsolutePath(link.target));
  // Link targets may run through other links themselves.
  LinkPairs resolved = s.realLinks;
  for (auto& [path, target] : resolved) target = RealPath(target, s.realLinks, true);
  s.realLinks = resolved;

  // Component records and what each may take with it.
  const std::optional<std::string> useShared =
      ReadableText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, kFlagBytes);
  const bool usesShared = useShared && *useShared == "TRUE";
  s.installAdmin =
      sim::GetValue(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin) &&
      sim::GetValue(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin)->data.size() <=
          kFlagBytes;
  std::vector<std::string> paths = {"C:\\", "D:\\", "\\\\server\\share\\", s.cwd};
  for (const qf::ComponentFlag& row : qf::ComponentFlags) {
    ComponentState c;
    c.name = row.component;
    const std::string key = JoinPath(SharedKey, row.component);
    c.keyPath = Hklm(key);
    c.exists = sim::KeyExists(Root::LocalMachine, key);
    const std::optional<sim::Value> flag = sim::GetValue(Root::LocalMachine, UnInstInfoKey, row.flag);
    c.flagged = usesShared && flag && flag->data.size() <= kFlagBytes;
    const std::optional<sim::Value> count = sim::GetValue(Root::LocalMachine, key, qf::UseCount);
    if (count) {
      c.countRaw = true;
      c.countType = count->type;
      c.countBytes = count->data;
    }
    c.count = ReadableCount(count);
    if (const auto rootDir = ReadableText(Root::LocalMachine, key, qf::RootDir, kRootDirBytes)) {
      const std::string root = OwnedForm(*rootDir);
      if (!root.empty()) s.dirs[c.name] = {root, RealPath(root, s.realLinks, true)};
      const std::optional<uint32_t> attributes =
          root.empty() ? std::nullopt : sim::Attributes(Addressable(root));
      if (!root.empty() && !(attributes && (*attributes & platform::kAttrReparsePoint))) {
        c.tree = RealPath(root, s.realLinks, true);
        paths.push_back(c.tree);
      }
    }
    s.components.push_back(c);
  }
  if (const auto dir =
          ReadableText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, kSharedDirBytes)) {
    const std::string resolved = OwnedForm(*dir);
    if (!resolved.empty()) {
      s.sharedDir = RealPath(resolved, s.realLinks, false);
      s.dirs["area"] = {resolved, s.sharedDir};
      const std::optional<uint32_t> attributes = sim::Attributes(Addressable(resolved));
      s.sharedDirIsDirectory = attributes && (*attributes & platform::kAttrDirectory) &&
                               !(*attributes & platform::kAttrReparsePoint);
      paths.push_back(s.sharedDir);
    }
  }
  for (const auto& [path, target] : s.realLinks) paths.push_back(target);
  for (const std::string& name : sim::SubkeyNames(Root::LocalMachine, SharedKey)) {
    const auto root = ReadableText(Root::LocalMachine, JoinPath(SharedKey, name), qf::RootDir, kRootDirBytes);
    // A root that is not there (a link to nowhere) has nothing to lose; nor
    // has a folder below.
    const std::string real = root && !OwnedForm(*root).empty() ? RealPath(OwnedForm(*root), s.realLinks, true) : "";
    if (!real.empty() && sim::Exists(Addressable(real))) s.foreign.emplace_back(name, real);
  }
  if (!s.sharedDir.empty()) s.foreign.emplace_back("area", s.sharedDir);
  std::vector<std::string> kept = sim::SystemPlaces();  // Windows, System, the temporary folder
  s.windowsDir = OwnedForm(kept[0]).empty() ? "" : RealPath(OwnedForm(kept[0]), s.realLinks, true);
  kept[1] = JoinPath(kept[0], "Temp");
  for (const std::string& folder : KeptFolderPaths()) kept.push_back(folder);
  for (const std::string& folder : kept) {
    const std::string real = OwnedForm(folder).empty() ? "" : RealPath(OwnedForm(folder), s.realLinks, true);
    if (!real.empty() && sim::Exists(Addressable(real))) s.foreign.emplace_back("kept", real);
  }
  sim::SetUpIn64BitView(true);
  for (const std::string& name : sim::SubkeyNames(Root::LocalMachine, qf::ProfileListKey)) {
    // Read as the pass reads it: another type's bytes name a profile only as ASCII.
    const std::optional<sim::Value> value = sim::GetValue(Root::LocalMachine, JoinPath(qf::ProfileListKey, name), qf::ProfileImagePath);
    std::string path;
    // One on a share is held by its text alone (never opened), as the pass holds it.
    if (!value || platform::ValueText(value->type, value->data, &path) != platform::kSuccess) continue;
    if (Fold(path).rfind("%systemdrive%", 0) == 0) path = "C:" + path.substr(13);
    if (!DriveLetterOf(ResolveAbsolutePath(path))) continue;
    const std::string owned = OwnedForm(path);
    // A profile that is not there (a link to nowhere) loses nothing.
    const std::string real = owned.empty() ? "" : RealPath(owned, s.realLinks, true);
    if (!real.empty() && !SameFold(owned, "C:\\Users\\tester") && sim::Exists(Addressable(real))) s.profiles.push_back(real);
  }
  sim::SetUpIn64BitView(false);

  for (const std::string& path : paths) {
    const std::string root = RootOf(ResolveAbsolutePath(path));
    if (root.empty()) continue;
    if (std::none_of(s.roots.begin(), s.roots.end(), [&](const std::string& r) { return SameFold(r, root); }))
      s.roots.push_back(root);
  }
  s.files = AllFiles(s.roots);
  s.keys = AllKeys();

  // Every link on the machine must be known, by its real path.
  std::set<std::string> known;
  for (const auto& [path, target] : s.realLinks) known.insert(Fold(path));
  std::set<std::string> found;
  for (const std::string& root : s.roots) {
    for (const std::string& path : sim::Tree(root)) {
      const std::optional<uint32_t> attributes = sim::Attributes(Addressable(path));
      if (attributes && (*attributes & platform::kAttrReparsePoint)) {
        found.insert(Fold(path));
        if (!known.count(Fold(path))) s.setupProblems.push_back("set-up: unknown link at " + path);
      }
    }
  }
  for (const Link& link : links) {
    if (!found.count(Fold(NodePath(link.path))))
      s.setupProblems.push_back("set-up: link " + link.path + " is not where it was said to be");
  }
  s.state = CaptureState(s.roots, links);
  s.journalFrom = sim::Journal().size();
  s.decisionsFrom = sim::Decisions().size();
  return s;
}

std::vector<std::string> CheckHandlesAndDirectory(const Snapshot& before) {
  std::vector<std::string> bad;
  if (const int open = sim::OpenHandles(); open != 0)
    bad.push_back(std::to_string(open) + " handle(s) left open");
  if (sim::CurrentDir() != before.cwd)
    bad.push_back("current directory changed from " + before.cwd + " to " + sim::CurrentDir());
  bad.insert(bad.end(), before.setupProblems.begin(), before.setupProblems.end());
  return bad;
}

namespace {

std::string LineOf(const sim::JournalEntry& e) {
  return sim::ChangeName(e.kind) + std::string(" ") + e.path + (e.detail.empty() ? "" : "|" + e.detail);
}

// Whether a file or directory deletion lies in what the passes own.
bool OwnedFile(const Snapshot& before, const sim::JournalEntry& e, int passes) {
  for (const ComponentState& c : before.components) {
    if (Eligible(c, passes) &&
        (Below(e.path, c.tree) || (e.kind == sim::Change::RemoveDirectory && SameFold(e.path, c.tree))))
      return true;
  }
  return e.kind == sim::Change::RemoveDirectory && before.sharedDirIsDirectory && SameFold(e.path, before.sharedDir);
}

// What a deletion is or holds that is not the deleting component's own: a
// directory another record names, the area's (but for its own removal), a
// kept folder.  Only a component's removal of its very root may meet it.
std::string Foreign(const Snapshot& before, const sim::JournalEntry& e, int passes) {
  for (const auto& pair : before.foreign) {
    const std::string &whose = pair.first, &dir = pair.second;
    if (!AtOrBelow(dir, e.path)) continue;
    // A component the passes release may be held by another's root too.
    const bool ownRoot = std::any_of(before.components.begin(), before.components.end(),
        [&](const ComponentState& c) { return SameFold(c.name, whose) && Eligible(c, passes) && SameFold(c.tree, dir); });
    // The area goes only empty: what the records name in it went first.
    const bool area = whose != "kept" && e.kind == sim::Change::RemoveDirectory && SameFold(e.path, before.sharedDir);
    if (!ownRoot && !area) return whose == "kept" ? ": holds a kept folder " + dir : ": holds " + whose + "'s " + dir;
  }
  return "";
}

std::string WhyNotOwned(const Snapshot& before, const std::string& path) {
  std::string why = ": outside everything the pass owns";
  for (const auto& [link, target] : before.realLinks) {
    if (AtOrBelow(path, target)) why = ": behind the link " + link + " -> " + target;
  }
  for (const auto& [link, target] : before.realLinks) {
    if (SameFold(path, link)) why = ": a link outside everything the pass owns";
  }
  return why;
}

}  // namespace

std::vector<std::string> CheckDeletions(const Snapshot& before, int passes) {
  std::vector<std::string> bad;
  const ComponentState* help = nullptr;
  for (const ComponentState& c : before.components) {
    if (c.name == qf::HelpComponent && Eligible(c, passes) && !c.tree.empty()) help = &c;
  }
  const std::string userTree = std::string("HKCU\\") + qf::UserSettingsKey;
  std::set<std::string> deletedHelpFiles;
  for (const sim::JournalEntry& e : sim::Journal()) {
    const std::string line = LineOf(e);
    if (e.kind == sim::Change::DeleteFile || e.kind == sim::Change::RemoveDirectory) {
      for (const auto& [link, target] : before.realLinks) {
        if (Below(e.path, link)) bad.push_back(line + ": below the link " + link);
      }
      if (!OwnedFile(before, e, passes)) bad.push_back(line + WhyNotOwned(before, e.path));
      if (const std::string held = Foreign(before, e, passes); !held.empty()) bad.push_back(line + held);
      if (AtOrBelow(e.path, before.windowsDir)) bad.push_back(line + ": at or below the Windows directory");
      for (const std::string& profile : before.profiles)
        if (AtOrBelow(e.path, profile) || AtOrBelow(profile, e.path)) bad.push_back(line + ": in or above the profile " + profile);
      if (help && e.kind == sim::Change::DeleteFile && Below(e.path, help->tree))
        deletedHelpFiles.insert(Fold(LastComponent(e.path)));
    } else if (e.kind == sim::Change::RegDeleteKey) {
      bool owned = AtOrBelow(e.path, userTree) || SameFold(e.path, Hklm(SharedKey));
      for (const ComponentState& c : before.components) {
        if (Eligible(c, passes) && SameFold(e.path, c.keyPath)) owned = true;
      }
      if (!owned) bad.push_back(line + ": a key the pass does not own");
    } else if (e.kind == sim::Change::RegDeleteValue) {
      if (!SameFold(e.path, Hklm(HelpRegistrationKey)) || !deletedHelpFiles.count(Fold(e.detail)))
        bad.push_back(line + ": no help file of that name was deleted before");
    }
  }
  return bad;
}

std::vector<std::string> CheckWrites(const Snapshot& before) {
  std::vector<std::string> bad;
  for (const sim::JournalEntry& e : sim::JournalOf(sim::Change::RegSetValue)) {
    bool owned = false;
    for (const ComponentState& c : before.components) {
      if (c.flagged && SameFold(e.path, c.keyPath) && SameFold(e.detail, qf::UseCount))
        owned = true;
    }
    if (!owned) bad.push_back(LineOf(e) + ": a value other than a flagged component's count");
  }
  return bad;
}

std::vector<std::string> CheckShown(const Snapshot& before, int passes) {
  std::vector<std::string> bad;
  int beeps = 0, warnings = 0, calls = 0, changes = 0;
  const std::vector<sim::JournalEntry>& journal = sim::Journal();
  for (size_t i = 0; i < journal.size(); ++i) {
    const sim::JournalEntry& e = journal[i];
    const std::string line = LineOf(e);
    if (e.kind == sim::Change::MessageBox) {
      const bool probe = e.path == "CheckAdmin" && e.flags == platform::kIconInformation;
      const bool warning = e.path.empty() && e.detail == AdminRequiredMessage &&
                           e.flags == platform::kIconWarning;
      if (!probe && !warning) bad.push_back(line + ": a message box outside the administrator gate");
      if ((probe || warning) && !before.installAdmin)
        bad.push_back(line + ": the administrator gate without an administrator's installation");
      if (warning) {
        ++warnings;
        if (i < 2 || journal[i - 1].kind != sim::Change::Beep || journal[i - 2].kind != sim::Change::MessageBox ||
            journal[i - 2].path != "CheckAdmin")
          bad.push_back(line + ": the warning without the system's explanation and a beep");
      }
    } else if (e.kind == sim::Change::Beep) {
      ++beeps;
    } else if (e.kind == sim::Change::Call) {
      ++calls;
      if (!SameFold(e.path, "RWUNINST.DLL!UNINSTALLVRXREGISTRY") || e.detail != "/vrxreg")
        bad.push_back(line + ": an unexpected call");
    } else if (e.kind != sim::Change::Lookup && e.kind != sim::Change::FreeLibrary) {
      ++changes;
      if (e.kind != sim::Change::LoadLibrary && e.kind != sim::Change::DeleteFile &&
          e.kind != sim::Change::RemoveDirectory && !sim::IsRegistryChange(e.kind))
        bad.push_back(line + ": an unexpected kind of journal entry");
    }
  }
  if (beeps != warnings) bad.push_back("beeps outside the administrator gate");
  if (calls > passes) bad.push_back("the companion was called more than once per pass");
  if (passes == 1 && warnings > 0 && changes > 0)
    bad.push_back("the administrator gate stopped the pass, yet it went on");
  return bad;
}

std::vector<std::string> CheckCounts(const Snapshot& before, int passes) {
  std::vector<std::string> bad;
  for (const ComponentState& c : before.components) {
    const std::string key = c.keyPath.substr(5);
    if (!c.exists || !sim::KeyExists(Root::LocalMachine, key)) continue;
    const std::optional<sim::Value> after = sim::GetValue(Root::LocalMachine, key, qf::UseCount);
    if (!c.countRaw) {
      if (after) bad.push_back(c.name + ": UseCount created");
      continue;
    }
    if (!after) {
      bad.push_back(c.name + ": UseCount deleted");
      continue;
    }
    if (after->type == c.countType && after->data == c.countBytes) continue;
    // The count written back is judged by its number even when it no longer
    // fits the field it is read with ("2147483647" stored without a NUL
    // comes back as "2147483646" with one).
    const std::optional<int64_t> now = ReadableCount(after, after->data.size());
    const std::string change = c.name + ": UseCount changed from " +
                               (c.count ? std::to_string(*c.count) : "unreadable") + " to " +
                               (now ? std::to_string(*now) : "unreadable");
    if (!c.count || !now) {
      bad.push_back(change);
    } else if (*now > *c.count) {
      bad.push_back(change + ", raised");
    } else if (*c.count - *now > passes) {
      bad.push_back(change + " in " + std::to_string(passes) + " pass(es)");
    }
    if (c.countType == platform::kRegDword && after->type != platform::kRegDword)
      bad.push_back(c.name + ": a REG_DWORD count written back as type " + std::to_string(after->type));
  }
  return bad;
}

std::vector<std::string> CheckJournalShowsEveryChange(const Snapshot& before) {
  std::vector<std::string> bad;
  std::set<std::string> deletedFiles, deletedKeys;
  for (const sim::JournalEntry& e : sim::Journal()) {
    if (e.kind == sim::Change::DeleteFile || e.kind == sim::Change::RemoveDirectory) deletedFiles.insert(Fold(e.path));
    if (e.kind == sim::Change::RegDeleteKey) deletedKeys.insert(Fold(e.path));
  }
  const std::set<std::string> files = AllFiles(before.roots);
  for (const std::string& path : before.files) {
    if (!files.count(path) && !deletedFiles.count(path))
      bad.push_back(path + " vanished without a journal entry");
  }
  for (const std::string& path : files) {
    if (!before.files.count(path)) bad.push_back(path + " appeared");
  }
  const std::set<std::string> keys = AllKeys();
  for (const std::string& key : before.keys) {
    if (!keys.count(key) && !deletedKeys.count(key)) bad.push_back(key + " vanished without a journal entry");
  }
  for (const std::string& key : keys) {
    if (!before.keys.count(key)) bad.push_back(key + " appeared");
  }
  return bad;
}

namespace {

struct Cover { std::string path; bool below; };  // path "*": everything

// What one decision covers, by its subject: a path, or a component's name
// for its record, its tree and its help registrations.
std::vector<Cover> Covers(const Snapshot& before, const sim::DecisionEntry& d) {
  using D = Decision;
  const std::string help = Hklm(HelpRegistrationKey) + "|";
  std::vector<Cover> all;
  for (const ComponentState& c : before.components) {
    if (!SameFold(c.name, d.subject) && d.decision != D::SharedFilesUnused && d.decision != D::FlagsAbsent) continue;
    switch (d.decision) {
      case D::TreeKept: all.push_back({c.tree, false}); break;
      // The pass found nothing there (a failure may say so of a tree that is).
      case D::RootMissing: all.push_back({c.tree, true}); break;
      case D::ComponentKeyKept: all.push_back({c.keyPath, false}); break;
      case D::HelpKeyAbsent: all.push_back({help, true}); break;
      case D::ComponentNotFlagged: case D::ComponentAbsent: case D::ComponentIsLink: case D::CountAbsent:
      case D::CountMisstored: case D::CountLowered: case D::CountNotWritten: case D::RootDirAbsent:
      case D::RootUnsafe: case D::RootRefused: case D::RootHoldsArea: case D::RootHoldsComponent:
      case D::RootHoldsFolder: case D::RootUnchecked: case D::RootBelowWindows: case D::RootHoldsProgram:
      case D::RootInProfile: case D::RootNotLocal: case D::ComponentNotAsPlanned:
      case D::SharedFilesUnused: case D::FlagsAbsent:
        all.insert(all.end(), {{c.keyPath, true}, {c.tree, true}});
        if (c.name == qf::HelpComponent) all.push_back({help, true});
        break;
      default: break;
    }
  }
  const Cover area = {Hklm(SharedKey), false}, areaDir = {before.sharedDir, false};
  switch (d.decision) {
    case D::GateRefused: case D::PlanUnusable: return {{"*", true}};  // nothing at all is removed
    // An item the plan does not allow: a help registration by its name.
    case D::NotInPlan: case D::ChangedSincePlan:
      return {{Below(d.subject, Hklm(HelpRegistrationKey)) ? help + Fold(LastComponent(d.subject)) : d.subject,
               false}};
    case D::UserTreeAbsent: case D::UserTreeKept: return {{"HKCU\\" + d.subject, true}};
    case D::EntryChanged: case D::DirectoryNotListed: case D::EntryUncarried:
      return {{d.subject, true}};
    case D::EntryNotDeleted: return {{d.subject, false}};
    case D::HelpRegistrationKept: return {{help + Fold(LastComponent(d.subject)), false}};
    case D::AreaAbsent: case D::AreaInUse: case D::AreaUncounted: return {area, areaDir};
    case D::AreaDirKept: case D::AreaDirUnnamed: case D::AreaDirIsFolder: return {areaDir};
    case D::AreaKeyKept: return {area};
    default: return all;
  }
}

}  // namespace

std::vector<std::string> CheckStaysCovered(const Snapshot& before, int passes) {
  std::vector<Cover> covers;
  for (size_t i = before.decisionsFrom; i < sim::Decisions().size(); ++i)
    for (Cover& c : Covers(before, sim::Decisions()[i])) covers.push_back(std::move(c));
  std::vector<std::string> stays;
  const std::string help = Hklm(HelpRegistrationKey);
  for (const ComponentState& c : before.components) {
    if (!Eligible(c, passes)) continue;
    for (const std::string& path : before.files)
      if (AtOrBelow(path, c.tree) && sim::Exists(Addressable(path))) stays.push_back(path);
    if (sim::KeyExists(Root::LocalMachine, c.keyPath.substr(5))) stays.push_back(c.keyPath);
    const std::vector<sim::JournalEntry>& journal = sim::Journal();
    for (size_t i = before.journalFrom; c.name == qf::HelpComponent && i < journal.size(); ++i) {
      const std::string name = LastComponent(journal[i].path);
      if (journal[i].kind == sim::Change::DeleteFile && Below(journal[i].path, c.tree) &&
          sim::GetValue(Root::LocalMachine, HelpRegistrationKey, name))
        stays.push_back(help + "|" + Fold(name));
    }
  }
  if (before.sharedDirIsDirectory && sim::Exists(Addressable(before.sharedDir))) stays.push_back(before.sharedDir);
  const std::set<std::string> keys = AllKeys();
  for (const std::string& key : before.keys)
    if ((AtOrBelow(key, std::string("HKCU\\") + qf::UserSettingsKey) || SameFold(key, Hklm(SharedKey))) && keys.count(key))
      stays.push_back(key);
  std::vector<std::string> bad;
  for (const std::string& path : stays) {
    const auto covered = [&](const Cover& c) {  // an empty path: a component without a tree
      return !c.path.empty() && ((c.below && c.path == "*") || SameFold(path, c.path) ||
             (c.below && (Below(path, c.path) || (c.path.back() == '|' && Fold(path).rfind(Fold(c.path), 0) == 0))));
    };
    const bool appeared = std::any_of(before.appeared.begin(), before.appeared.end(),
                                      [&](const std::string& a) { return AtOrBelow(path, a); });
    if (!appeared && std::none_of(covers.begin(), covers.end(), covered))
      bad.push_back(path + " stays without a decision");
  }
  return bad;
}

std::vector<std::string> CheckInvariants(const Snapshot& before, int passes) {
  std::vector<std::string> bad;
  for (std::vector<std::string> found :
       {CheckHandlesAndDirectory(before), CheckDeletions(before, passes), CheckWrites(before),
        CheckShown(before, passes), CheckCounts(before, passes), CheckJournalShowsEveryChange(before)})
    bad.insert(bad.end(), found.begin(), found.end());
  return bad;
}

std::vector<std::string> CheckAgainstOracle(const Snapshot& before, int passes) {
  // A pass held to a plan it cannot use changes nothing at all.
  for (size_t i = before.decisionsFrom; i < sim::Decisions().size(); ++i)
    passes -= sim::Decisions()[i].decision == Decision::PlanUnusable;
  // The oracle leaves other accounts' profiles to the invariant above: a
  // root the pass keeps for one is not played again here.
  std::set<std::string> profiles;
  for (size_t i = before.decisionsFrom; i < sim::Decisions().size(); ++i) {
    const sim::DecisionEntry& d = sim::Decisions()[i];
    const bool profile = d.detail.find("profile") != std::string::npos;
    if (d.decision == Decision::RootInProfile || (d.decision == Decision::RootHoldsFolder && profile))
      profiles.insert({"component:" + d.subject, "area"});
    if (d.decision == Decision::AreaDirIsFolder && profile) profiles.insert("area");
  }
  return CompareStates(ExpectedState(before.state, before.cwd, passes),
                       CaptureState(before.roots, before.links), before.dirs,
                       SuspectParts(before.dirs, std::move(profiles)));
}

std::vector<std::string> RunPassesAndCheck(const Snapshot& before, int passes) {
  std::vector<std::string> bad;
  for (int i = 0; i < passes; ++i) {
    if (const int32_t result = UninstInitialize(0, 0, 0); result != 0)
      bad.push_back("UninstInitialize returned " + std::to_string(result));
  }
  for (std::vector<std::string> found : {CheckInvariants(before, passes), CheckStaysCovered(before, passes),
                                         CheckAgainstOracle(before, passes)})
    bad.insert(bad.end(), found.begin(), found.end());
  return bad;
}

}  // namespace qf::reliability
