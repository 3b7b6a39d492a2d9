// Runs the pass on the simulated copy of the machine and turns what it did
// into the report: the changes from the journal, in the pass's order, the
// totals, and the explanations.
#include "report.h"

#include "before.h"
#include "common/paths.h"
#include "common/schema.h"
#include "explain.h"
#include "exports/entry_points.h"
#include "platform/sim/sim.h"

namespace qfpreview {
namespace {

using qf::platform::Root;
namespace sim = qf::sim;

Step RegistryStep(const std::string& root, const std::string& path) {
  if (root == "HKCU") return Step::UserSettings;
  const std::string folded = FoldPath(path);
  if (folded == FoldPath(qf::HelpRegistrationKey)) return Step::MSHelp;
  for (size_t i = 0; i < ComponentCount; ++i)
    if (Within(folded, FoldPath(qf::JoinPath(qf::SharedKey, ComponentFlags[i].component))))
      return kComponentSteps[i];
  return Step::SharedArea;
}

Step FileStep(const Before& before, const std::string& path) {
  for (size_t i = 0; i < ComponentCount; ++i) {
    const std::string& root = before.components[i].root;
    if (!root.empty() && Within(FoldPath(path), FoldPath(root))) return kComponentSteps[i];
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
  for (size_t i = 0; i < ComponentCount; ++i) {
    if (kComponentSteps[i] == change->step && before.components[i].useCount)
      change->before = Shown(*before.components[i].useCount);
  }
}

void ReadJournal(const Snapshot& snapshot, const Before& before, Report* report) {
  for (const sim::JournalEntry& entry : sim::Journal()) {
    if (entry.kind == "RegDeleteKey") {
      Change change = RegistryChange("delete-key", entry.path, "");
      const auto key = snapshot.keys.find(FoldPath(entry.path));
      if (key != snapshot.keys.end() && !key->second.link) change.values = key->second.values;
      report->changes.push_back(change);
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
      change.op = link                         ? "remove-link"
                  : entry.kind == "DeleteFile" ? "delete-file"
                                               : "remove-directory";
      change.path = entry.path;
      if (item != snapshot.files.end()) change.bytes = item->second.size;
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

void Count(Report* report) {
  Totals& t = report->totals;
  for (const Change& change : report->changes) {
    if (change.op == "delete-file") {
      ++t.files;
      t.bytes += change.bytes;
    } else if (change.op == "remove-directory") {
      ++t.directories;
    } else if (change.op == "remove-link") {
      ++t.links;
    } else if (change.op == "delete-key") {
      ++t.keys;
      t.values += change.values;
    } else if (change.op == "delete-value") {
      ++t.values;
    } else if (change.op == "set-value") {
      ++t.changedValues;
    }
  }
}

}  // namespace

Report RunPreview(const Snapshot& snapshot) {
  Report report;
  report.underWine = snapshot.underWine;
  const Before before = Look();
  UninstInitialize(0, 0, 0);
  ReadJournal(snapshot, before, &report);
  Count(&report);
  AddNotes(snapshot, before, &report);
  ExplainKept(snapshot, before, &report);
  return report;
}

}  // namespace qfpreview
