// Runs the library's own uninstall pass on the simulated machine the capture
// filled, and hands over what it did and why: every action of its journal,
// in order, and every decision it reported (qf::Decide), each with the
// number of actions made before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim.h"

namespace qfpreview {

// What an action of the pass was (the simulation's journal kinds).
enum class ActionKind {
  DeleteKey,
  SetValue,
  DeleteValue,
  DeleteFile,
  RemoveDirectory,
  Beep,
  MessageBox,
  LoadLibrary,
  Lookup,
  FreeLibrary,
  Call,
};

struct Action {
  ActionKind kind = ActionKind::Beep;
  // Registry actions: the root and the key's path below it; files: the full
  // path; a box: its caption; libraries: the name ("LIB!ENTRY" for a call).
  qf::platform::Root root = qf::platform::Root::LocalMachine;
  std::string path;
  std::string detail;  // value name; the box's text; the entry; the call's argument
  // SetValue: the value as the pass left it.
  std::optional<qf::sim::Value> written;
  // DeleteFile, RemoveDirectory: the entry was a link, removed as itself,
  // as the simulation's journal and a run's record say.
  bool link = false;
  // What a plan holds the change to: DeleteFile, RemoveDirectory: what was
  // deleted; DeleteValue, SetValue: the value that was there.  None from a
  // run's record.
  std::optional<qf::platform::FileIdentity> identity;
  std::optional<qf::sim::Value> before;
};

struct PassRecord {
  std::vector<Action> actions;
  // `at` counts the actions made before each.
  std::vector<qf::sim::DecisionEntry> decisions;
  // The computer the pass ran for, as the plan names it; "" from a record.
  std::string computer;
};

// What a pass removed and changed, counted as a run's record counts it:
// `values` are the values deleted one by one, not those that went with a
// deleted key.
struct PassCounts {
  uint64_t files = 0, directories = 0, links = 0, keys = 0, values = 0, changedValues = 0;
};

PassRecord RunPass();

}  // namespace qfpreview
