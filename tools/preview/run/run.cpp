// The pass, run through its entry point as the uninstaller calls it, and its
// journal read once into typed actions.
#include "run/run.h"

#include <stdexcept>

#include "exports/entry_points.h"

namespace qfpreview {
namespace {

namespace sim = qf::sim;
using qf::platform::Root;

ActionKind KindOf(sim::Change change) {
  switch (change) {
    case sim::Change::RegDeleteKey: return ActionKind::DeleteKey;
    case sim::Change::RegSetValue: return ActionKind::SetValue;
    case sim::Change::RegDeleteValue: return ActionKind::DeleteValue;
    case sim::Change::DeleteFile: return ActionKind::DeleteFile;
    case sim::Change::RemoveDirectory: return ActionKind::RemoveDirectory;
    case sim::Change::Beep: return ActionKind::Beep;
    case sim::Change::MessageBox: return ActionKind::MessageBox;
    case sim::Change::LoadLibrary: return ActionKind::LoadLibrary;
    case sim::Change::Lookup: return ActionKind::Lookup;
    case sim::Change::FreeLibrary: return ActionKind::FreeLibrary;
    case sim::Change::Call: return ActionKind::Call;
  }
  throw std::runtime_error("the simulation journaled an unknown action");
}

bool IsRegistry(ActionKind kind) {
  return kind == ActionKind::DeleteKey || kind == ActionKind::SetValue ||
         kind == ActionKind::DeleteValue;
}

// "HKLM\Software\..." as its root and the path below it.
void SplitKeyPath(const std::string& shown, Action* action) {
  const size_t cut = shown.find('\\');
  qf::platform::RootNamed(shown.substr(0, cut), &action->root);  // unknown: as it was
  action->path = cut == std::string::npos ? std::string() : shown.substr(cut + 1);
}

}  // namespace

PassRecord RunPass() {
  UninstInitialize(0, 0, 0);
  PassRecord record;
  for (const sim::JournalEntry& entry : sim::Journal()) {
    Action action;
    action.kind = KindOf(entry.kind);
    action.detail = entry.detail;
    if (IsRegistry(action.kind)) {
      SplitKeyPath(entry.path, &action);
    } else {
      action.path = entry.path;
    }
    if (action.kind == ActionKind::SetValue)
      action.written = sim::GetValue(action.root, action.path, action.detail);
    if (action.kind == ActionKind::DeleteFile || action.kind == ActionKind::RemoveDirectory) {
      action.identity = entry.identity;
      action.link = (entry.flags & qf::platform::kAttrReparsePoint) != 0;
    }
    action.before = entry.before;
    record.actions.push_back(std::move(action));
  }
  record.decisions = sim::Decisions();
  qf::platform::RunFacts facts;
  if (qf::platform::ProcessFacts(&facts) == qf::platform::kSuccess) record.computer = facts.computer;
  return record;
}

}  // namespace qfpreview
