// The report made from the pass's own record: its actions become the
// changes, its decisions the reasons, and each change and each item that
// stays is told with the decision it was made under.  What the capture read
// is added as notes; nothing here decides anything again.
#include "common/case_fold.h"
#include "common/paths.h"
#include "common/schema.h"
#include "common/decisions.h"
#include "report/report.h"

namespace qfpreview {
namespace {

using qf::platform::Root;
using D = qf::Decision;

// The step of each row of qf::ComponentFlags, in the same order.
constexpr Step kComponentSteps[] = {Step::Data, Step::MSHelp, Step::ImageFiles};
static_assert(sizeof kComponentSteps / sizeof kComponentSteps[0] == qf::ComponentCount,
              "one step per component");

// The row of qf::ComponentFlags that `name` is, or ComponentCount.
size_t ComponentNamed(const std::string& name) {
  for (size_t i = 0; i < qf::ComponentCount; ++i)
    if (qf::SameNameFolded(name, qf::ComponentFlags[i].component)) return i;
  return qf::ComponentCount;
}

// The row of qf::ComponentFlags whose step `step` is, or ComponentCount.
size_t ComponentOf(Step step) {
  for (size_t i = 0; i < qf::ComponentCount; ++i)
    if (kComponentSteps[i] == step) return i;
  return qf::ComponentCount;
}

bool AboutEntry(D decision) { return qf::RowOf(decision).subject == qf::Subject::Entry; }

// The report's step of a decision that is not about an entry.
Step StepOf(D decision, const std::string& subject) {
  switch (qf::RowOf(decision).step) {
    case qf::PassStep::Gate: return Step::Gate;
    case qf::PassStep::UserSettings: return Step::UserSettings;
    case qf::PassStep::Flags: return Step::Components;
    case qf::PassStep::Component: {
      const size_t i = ComponentNamed(subject);
      return i < qf::ComponentCount ? kComponentSteps[i] : Step::Components;
    }
    case qf::PassStep::SharedArea: return Step::SharedArea;
    case qf::PassStep::Companions: return Step::Companions;
  }
  return Step::Components;
}

std::string Shown(Root root, const std::string& path) {
  return std::string(qf::sim::RootName(root)) + "\\" + path;
}

std::string RecordPath(size_t component) {
  return "HKLM\\" + qf::JoinPath(qf::SharedKey, qf::ComponentFlags[component].component);
}


// A count's text as people read it: UTF-8, exactly as the pass read it
// (a fullwidth "２" stays itself); a control character shows as \xNN.
std::string Printable(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown.push_back(c);
    } else {
      shown += "\\x";
      shown.push_back(kHex[byte >> 4]);
      shown.push_back(kHex[byte & 15]);
    }
  }
  return shown;
}

// A count as people read it: "2" for text, 2 for a number.
std::string Shown(const ValueRead& value) {
  if (value.type == qf::platform::kRegDword) {
    return value.data.size() == 4
               ? std::to_string(DwordOf(value.data))
               : "a REG_DWORD of " + std::to_string(value.data.size()) + " bytes";
  }
  return "\"" + Printable(value.data) + "\"";
}

// The decisions in words, each in its step.  A decision about an entry of a
// tree belongs to the component whose tree it is: the one the next decision
// about a component names.
void AddReasons(const PassRecord& pass, Report* report) {
  const std::vector<qf::sim::DecisionEntry>& decisions = pass.decisions;
  report->reasons.resize(decisions.size());
  Step next = Step::Components;
  for (size_t i = decisions.size(); i-- > 0;) {
    const qf::sim::DecisionEntry& entry = decisions[i];
    Reason& reason = report->reasons[i];
    const bool entryDecision = AboutEntry(entry.decision);
    reason.step = entryDecision ? next : StepOf(entry.decision, entry.subject);
    if (!entryDecision) next = reason.step;
    reason.decision = entry.decision;
    reason.subject = entry.subject;
    reason.first = entry.first;
    reason.second = entry.second;
    reason.detail = entry.detail;
    reason.why = qf::DecisionSentence(entry.decision, entry.subject, entry.first, entry.second,
                                      entry.detail);
    if (entry.decision == D::GateRefused) report->gatePasses = false;
  }
}

// For each action, the decision it was made under: the first one reported
// after it that is not about a single entry (the step's own outcome); for
// what came after the last decision (the boxes of a refusal, the release of
// a companion), the last one.
std::vector<size_t> ReasonsOfActions(const PassRecord& pass) {
  const std::vector<qf::sim::DecisionEntry>& decisions = pass.decisions;
  std::vector<size_t> reasons(pass.actions.size(), kNoReason);
  size_t next = 0;
  for (size_t i = 0; i < pass.actions.size(); ++i) {
    while (next < decisions.size() &&
           (decisions[next].at <= i || AboutEntry(decisions[next].decision)))
      ++next;
    if (next < decisions.size())
      reasons[i] = next;
    else if (!decisions.empty())
      reasons[i] = decisions.size() - 1;
  }
  return reasons;
}

void AddActions(const Snapshot& snapshot, const PassRecord& pass, Report* report) {
  const std::vector<size_t> reasons = ReasonsOfActions(pass);
  for (size_t i = 0; i < pass.actions.size(); ++i) {
    const Action& action = pass.actions[i];
    Change change;
    change.reason = reasons[i];
    change.step = change.reason == kNoReason ? Step::Gate : report->reasons[change.reason].step;
    change.root = action.root;
    change.path = action.path;
    change.identity = action.identity;
    change.was = action.before;
    switch (action.kind) {
      case ActionKind::DeleteKey: {
        change.op = Operation::DeleteKey;
        const auto key = snapshot.keys.find(qf::FoldName(Shown(action.root, action.path)));
        if (key != snapshot.keys.end() && !key->second.link) change.values = key->second.values;
        break;
      }
      case ActionKind::DeleteValue:
        change.op = Operation::DeleteValue;
        change.name = action.detail;
        break;
      case ActionKind::SetValue: {
        change.op = Operation::SetValue;
        change.name = action.detail;
        change.dword = action.written && action.written->type == qf::platform::kRegDword;
        if (change.dword)
          change.number = DwordOf(action.written->data);
        else if (action.written)
          change.text = action.written->data.substr(0, action.written->data.find('\0'));
        const size_t component = ComponentOf(change.step);
        if (component < qf::ComponentCount && snapshot.components[component].useCount)
          change.before = Shown(*snapshot.components[component].useCount);
        break;
      }
      case ActionKind::DeleteFile:
      case ActionKind::RemoveDirectory: {
        const auto item = snapshot.files.find(qf::FoldName(action.path));
        const bool link = action.link || (item != snapshot.files.end() && item->second.link);
        change.op = link ? Operation::RemoveLink
                    : action.kind == ActionKind::DeleteFile ? Operation::DeleteFile
                                                             : Operation::RemoveDirectory;
        if (item != snapshot.files.end()) change.bytes = item->second.size;
        break;
      }
      case ActionKind::Call: {
        const size_t bang = action.path.find('!');
        report->calls.push_back(Call{action.path.substr(0, bang),
                                     bang == std::string::npos ? "" : action.path.substr(bang + 1),
                                     action.detail});
        continue;
      }
      case ActionKind::MessageBox:
        report->boxes.push_back(Box{action.path, action.detail});
        continue;
      case ActionKind::Beep:
      case ActionKind::LoadLibrary:
      case ActionKind::Lookup:
      case ActionKind::FreeLibrary:
        continue;
    }
    report->changes.push_back(change);
  }
}

// What stays, each item with the decision that keeps it.
void AddKept(const Snapshot& snapshot, const PassRecord& pass, Report* report) {
  for (size_t j = 0; j < report->reasons.size(); ++j) {
    const Reason& reason = report->reasons[j];
    auto keep = [&](Step step, const std::string& path, const char* lead = "") {
      report->kept.push_back(Kept{step, path, j, lead});
    };
    // What only the capture tells is there: a run's record does not name it.
    auto see = [&](Step step, const std::string& path, const char* lead = "") {
      report->kept.push_back(Kept{step, path, j, lead, /*seen=*/true});
    };
    // A directory the capture found there, named as it found it; `seen`
    // unless a record names it as well.
    auto keepDirectory = [&](Step step, const std::string& path, bool seen = true) {
      const auto item = snapshot.files.find(qf::FoldName(path));
      if (path.empty() || item == snapshot.files.end()) return;
      report->kept.push_back(Kept{step, item->second.path, j, "", seen});
    };
    const size_t component = ComponentNamed(reason.subject);
    const bool known = component < qf::ComponentCount;
    switch (reason.decision) {
      case D::GateRefused:
      case D::PlanUnusable:
        if (snapshot.userTree)
          see(Step::UserSettings, std::string("HKCU\\") + qf::UserSettingsKey);
        for (size_t i = 0; i < qf::ComponentCount; ++i)
          if (snapshot.components[i].record) see(kComponentSteps[i], RecordPath(i));
        break;
      case D::UserTreeAbsent:
        if (snapshot.userTree) see(reason.step, "HKCU\\" + reason.subject);
        break;
      case D::UserTreeKept: keep(reason.step, "HKCU\\" + reason.subject); break;
      case D::ComponentIsLink:
      case D::CountNotWritten:
      case D::CountAbsent:
      case D::CountMisstored:
      case D::RootDirAbsent:
      case D::RootUnsafe:
      case D::RootRefused:
      case D::RootHoldsArea:
      case D::RootHoldsComponent:
      case D::RootHoldsFolder:
      case D::RootUnchecked:
      case D::RootBelowWindows:
      case D::RootHoldsProgram:
      case D::RootInProfile:
      case D::RootNotLocal:
      case D::ComponentNotAsPlanned:
        if (!known) break;
        keep(reason.step, RecordPath(component));
        keepDirectory(reason.step, snapshot.components[component].root);
        break;
      case D::CountLowered:
      case D::TreeKept:
        if (known) keepDirectory(reason.step, snapshot.components[component].root);
        break;
      case D::ComponentKeyKept:
        if (known) keep(reason.step, RecordPath(component));
        break;
      case D::EntryChanged:
      case D::EntryNotDeleted: {
        keep(reason.step, reason.subject);
        // A help file that stays keeps its registration, unless one of the
        // same name went with a file elsewhere in the tree.
        const auto item = snapshot.files.find(qf::FoldName(reason.subject));
        const std::string name = reason.subject.substr(reason.subject.rfind('\\') + 1);
        bool deleted = false;
        for (const Action& action : pass.actions)
          deleted = deleted || (action.kind == ActionKind::DeleteValue &&
                                qf::SameNameFolded(action.detail, name) &&
                                qf::SameNameFolded(action.path, qf::HelpRegistrationKey));
        if (reason.step == Step::MSHelp && item != snapshot.files.end() &&
            !(item->second.attributes & qf::platform::kAttrDirectory) && !deleted &&
            snapshot.helpRegistrations.count(qf::FoldName(name)))
          see(reason.step, "HKLM\\" + qf::JoinPath(qf::HelpRegistrationKey, name),
              "its help file stays: ");
        break;
      }
      case D::DirectoryNotListed:
      case D::EntryUncarried:
      case D::NotInPlan:
      case D::ChangedSincePlan: keep(reason.step, reason.subject); break;
      case D::HelpRegistrationKept:
        keep(reason.step, "HKLM\\" + qf::JoinPath(qf::HelpRegistrationKey,
                                                  reason.subject.substr(reason.subject.rfind('\\') + 1)));
        break;
      case D::HelpKeyAbsent: {
        // The registrations of the help files that go stay.
        const std::string& tree = snapshot.components[ComponentNamed(qf::HelpComponent)].root;
        for (const Action& action : pass.actions) {
          const std::string name = action.path.substr(action.path.rfind('\\') + 1);
          if (action.kind == ActionKind::DeleteFile && !tree.empty() &&
              snapshot.helpRegistrations.count(qf::FoldName(name)) &&
              qf::SameNameFolded(action.path.substr(0, tree.size() + 1), tree + "\\"))
            see(reason.step, "HKLM\\" + qf::JoinPath(qf::HelpRegistrationKey, name),
                "its help file goes: ");
        }
        break;
      }
      case D::AreaUncounted:
      case D::AreaInUse:
        keep(reason.step, std::string("HKLM\\") + qf::SharedKey);
        keepDirectory(reason.step, snapshot.area);
        break;
      case D::AreaDirIsFolder: keepDirectory(reason.step, reason.subject); break;
      case D::AreaDirKept:
        // A record cannot tell whether it is there, unless a call on it failed.
        if (report->record && reason.first != 0)
          keep(reason.step, reason.subject);
        else
          keepDirectory(reason.step, reason.subject, /*seen=*/reason.first == 0);
        break;
      case D::AreaKeyKept: keep(reason.step, std::string("HKLM\\") + qf::SharedKey); break;
      // What goes, and what was never to go: nothing named here stays.
      case D::GateNotMarked:
      case D::GateAdministrator:
      case D::UserTreeDeleted:
      case D::SharedFilesUnused:
      case D::FlagsAbsent:
      case D::ComponentNotFlagged:
      case D::ComponentFlagged:
      case D::ComponentAbsent:
      case D::RootMissing:
      case D::EntryPassedOver:
      case D::TreeRemoved:
      case D::ComponentKeyDeleted:
      case D::AreaAbsent:
      case D::AreaDirRemoved:
      case D::AreaDirUnnamed:
      case D::AreaKeyDeleted:
      case D::CompanionAbsent:
      case D::CompanionLoaded:
      case D::CompanionCalled:
      case D::CompanionEntryMissing:
      case D::PlanFollowed:
      case D::CompanionNotInPlan:
      case D::kCount: break;
    }
  }
}

// What the capture read, for people; the pass's verdicts are the reasons.
void AddNotes(const Snapshot& snapshot, Report* report) {
  auto note = [&](Step step, const std::string& text) {
    report->notes.push_back(Note{step, text});
  };
  if (!snapshot.product && !snapshot.userTree)
    note(Step::Gate, std::string("Quillforge 3.0 is not installed here: neither HKLM\\") +
                         qf::ProductVersionKey + " nor its per-user settings are there");
  note(Step::Gate, snapshot.profileProbe == 0
                       ? "HKEY_USERS\\.Default opens for writing"
                       : "HKEY_USERS\\.Default does not open for writing (error " +
                             std::to_string(snapshot.profileProbe) + ")");
  if (!snapshot.userTree)
    note(Step::UserSettings, std::string("HKCU\\") + qf::UserSettingsKey + " is not there");
  for (size_t i = 0; i < qf::ComponentCount; ++i) {
    const ComponentFacts& c = snapshot.components[i];
    const Step step = kComponentSteps[i];
    if (!c.record) {
      note(step, "there is no record " + RecordPath(i));
      continue;
    }
    note(step, "UseCount " + (c.useCount ? Shown(*c.useCount) : "unreadable") + ", RootDir " +
                   (c.rootDir ? "\"" + *c.rootDir + "\"" : "unreadable"));
    const auto behind = snapshot.rootsBehindLinks.find(qf::FoldName(c.root));
    if (behind != snapshot.rootsBehindLinks.end())
      note(step, "its directory lies behind the link " + behind->second + ", which is never read");
    else if (!c.root.empty() && !snapshot.files.count(qf::FoldName(c.root)))
      note(step, "its directory " + c.root + " is not there");
  }
  if (!snapshot.sharedKey)
    note(Step::SharedArea, std::string("HKLM\\") + qf::SharedKey + " is not there");
  else if (snapshot.sharedFilesDir)
    note(Step::SharedArea, "SharedFilesDir \"" + *snapshot.sharedFilesDir + "\"");
  for (const auto& [library, path] : snapshot.companions)
    note(Step::Companions, library + (path.empty() ? ": not found" : ": found at " + path));
}

void Count(Report* report) {
  Totals& t = report->totals;
  for (const Change& change : report->changes) {
    switch (change.op) {
      case Operation::DeleteFile:
        ++t.files;
        t.bytes += change.bytes;
        break;
      case Operation::RemoveDirectory: ++t.directories; break;
      case Operation::RemoveLink: ++t.links; break;
      case Operation::DeleteKey:
        ++t.keys;
        t.valuesWithKeys += change.values;
        break;
      case Operation::DeleteValue: ++t.values; break;
      case Operation::SetValue: ++t.changedValues; break;
    }
  }
}

}  // namespace

uint32_t DwordOf(const std::string& data) {
  uint32_t number = 0;
  for (size_t i = 0; i < data.size() && i < 4; ++i)
    number |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  return number;
}

const char* Spelling(Operation op) {
  switch (op) {
    case Operation::DeleteKey: return qf::record::op::kDeleteKey;
    case Operation::DeleteValue: return qf::record::op::kDeleteValue;
    case Operation::SetValue: return qf::record::op::kSetValue;
    case Operation::DeleteFile: return qf::record::op::kDeleteFile;
    case Operation::RemoveDirectory: return qf::record::op::kRemoveDirectory;
    case Operation::RemoveLink: return qf::record::op::kRemoveLink;
  }
  return "";
}

Report BuildReport(const Snapshot& snapshot, const PassRecord& pass) {
  Report report;
  report.underWine = snapshot.underWine;
  report.planComputer = pass.computer;
  AddReasons(pass, &report);
  AddActions(snapshot, pass, &report);
  AddKept(snapshot, pass, &report);
  AddNotes(snapshot, &report);
  Count(&report);
  return report;
}

Report BuildReport(const RunRecord& record) {
  static const Snapshot kNothingCaptured;
  Report report;
  report.record = record.facts;
  AddReasons(record.pass, &report);
  AddActions(kNothingCaptured, record.pass, &report);
  AddKept(kNothingCaptured, record.pass, &report);
  Count(&report);
  return report;
}

}  // namespace qfpreview
