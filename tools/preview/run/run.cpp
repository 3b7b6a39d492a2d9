// The pass, run through its entry point as the uninstaller calls it, and its
// journal read once into typed actions.
#include "run/run.h"

#include <stdexcept>

#include "exports/entry_points.h"

namespace qfpreview {
namespace {

namespace sim = qf::sim;
using qf::platform::Root;

struct KindName {
  const char* name;
  ActionKind kind;
};
constexpr KindName kKinds[] = {
    {"RegDeleteKey", ActionKind::DeleteKey},   {"RegSetValue", ActionKind::SetValue},
    {"RegDeleteValue", ActionKind::DeleteValue}, {"DeleteFile", ActionKind::DeleteFile},
    {"RemoveDirectory", ActionKind::RemoveDirectory}, {"Beep", ActionKind::Beep},
    {"MessageBox", ActionKind::MessageBox},     {"LoadLibrary", ActionKind::LoadLibrary},
    {"Lookup", ActionKind::Lookup},             {"FreeLibrary", ActionKind::FreeLibrary},
    {"Call", ActionKind::Call},
};

ActionKind KindOf(const std::string& name) {
  for (const KindName& known : kKinds)
    if (name == known.name) return known.kind;
  throw std::runtime_error("the simulation journaled an unknown action: " + name);
}

bool IsRegistry(ActionKind kind) {
  return kind == ActionKind::DeleteKey || kind == ActionKind::SetValue ||
         kind == ActionKind::DeleteValue;
}

// "HKLM\Software\..." as its root and the path below it.
void SplitKeyPath(const std::string& shown, Action* action) {
  const size_t cut = shown.find('\\');
  const std::string root = shown.substr(0, cut);
  for (Root candidate : {Root::CurrentUser, Root::LocalMachine, Root::Users}) {
    if (root == sim::RootName(candidate)) action->root = candidate;
  }
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
    record.actions.push_back(std::move(action));
  }
  record.decisions = sim::Decisions();
  return record;
}

}  // namespace qfpreview
