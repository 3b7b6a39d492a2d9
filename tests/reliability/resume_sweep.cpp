// An uninstall cut short and run again.  For every platform call of a pass
// over the sample installations (every call the pass makes, whatever its
// kind), the process dies at that call (the call and
// all later ones have no effect, open handles vanish), and a new process runs
// the pass again on what is left.  The end state must be the uninterrupted
// pass's, except that a count the first run lowered is lowered once more, as
// by any second run; and the second run, which meets no failure, must end in
// the oracle's state for what it started from.  The one state that cannot
// converge (see AddStranded) is counted apart.  A record is kept: the one a
// process that died leaves must hold every step that ended before it died.
// Prints "resume sweep: R runs, K converged"; fails unless every run
// converged or left only that state.
#include <cstdio>
#include <string>
#include <vector>

#include "exports/entry_points.h"
#include "invariants.h"
#include "oracle.h"
#include "record_check.h"
#include "platform/sim/sim.h"
#include "sample.h"
#include "support.h"

namespace {

using namespace qf::reliability;
namespace sim = qf::sim;

MachineState After(const Snapshot& before) {
  MachineState state = CaptureState(before.roots, before.links);
  state.shown.clear();  // two processes: what each showed is checked elsewhere
  return state;
}

// The uninterrupted end state, with each count that `cut` already lowered
// lowered once more, as `second` (the oracle's for the run after the cut)
// has it.
MachineState Converged(MachineState whole, const MachineState& before, const MachineState& cut,
                       const MachineState& second) {
  const std::string count = "usecount";
  for (auto& [path, key] : whole.keys) {
    const auto was = before.keys.find(path), now = cut.keys.find(path), then = second.keys.find(path);
    if (was == before.keys.end() || now == cut.keys.end() || then == second.keys.end() ||
        !was->second.values.count(count) || !now->second.values.count(count) ||
        !then->second.values.count(count))
      continue;
    if (was->second.values.at(count).second.data != now->second.values.at(count).second.data)
      key.values[count] = then->second.values.at(count);
  }
  return whole;
}

// The help registrations that `cut` kept of files it had already deleted
// from the help component's tree, added to `state`.  The pass removes a
// registration only after deleting its file, and only while deleting it, so
// a process that dies between the two leaves the registration for good: no
// later run finds the file again.  Keeping a registration until its file is
// gone is what spares those of files that cannot be deleted.
bool AddStranded(MachineState* state, const MachineState& before, const MachineState& cut,
                 const PartDirs& dirs) {
  const std::string help = Fold(Hklm(qf::HelpRegistrationKey));
  if (!dirs.count(qf::HelpComponent) || !cut.keys.count(help) || !state->keys.count(help))
    return false;
  bool added = false;
  for (const auto& [path, file] : before.files) {
    const std::string name = Fold(path.substr(path.rfind('\\') + 1));
    const auto& values = cut.keys.at(help).values;
    if (cut.files.count(path) || !values.count(name) ||
        !AtOrBelow(path, dirs.at(qf::HelpComponent).back()))
      continue;
    added = state->keys.at(help).values.insert(*values.find(name)).second || added;
  }
  return added;
}

}  // namespace

int main() {
  int runs = 0, converged = 0, stranded = 0;
  for (bool lastHolder : {false, true}) {
    const std::vector<Link> links = BuildSample(lastHolder);
    KeepRecords();
    const Snapshot whole = Capture(links);
    UninstInitialize(0, 0, 0);
    const uint64_t calls = sim::OperationCount();
    const MachineState uninterrupted = After(whole);

    for (uint64_t n = 1; n <= calls; ++n) {
      BuildSample(lastHolder);
      KeepRecords();
      const Snapshot before = Capture(links);
      sim::HaltAt(n);
      UninstInitialize(0, 0, 0);
      sim::HaltAt(0);
      RecordRun died;
      died.failuresHit = died.diedAfterSteps = true;
      std::vector<std::string> bad = CheckRecord(died);
      const MachineState cut = After(before);
      MachineState second = ExpectedState(cut, before.cwd, 1);
      second.shown.clear();
      const Snapshot again = Capture(links);  // the second run's decisions cover what it leaves
      UninstInitialize(0, 0, 0);
      const MachineState end = After(before);

      MachineState expected = Converged(uninterrupted, whole.state, cut, second);
      std::vector<std::string> differ = CompareStates(expected, end, {});
      const bool strandedHere = !differ.empty() && AddStranded(&expected, whole.state, cut, whole.dirs);
      if (strandedHere) differ = CompareStates(expected, end, {});
      bad.insert(bad.end(), differ.begin(), differ.end());
      for (const std::string& line : CompareStates(second, end, {})) bad.push_back(line);
      for (const std::string& line : CheckStaysCovered(again, 1)) bad.push_back(line);
      if (sim::OpenHandles() != 0) bad.push_back(std::to_string(sim::OpenHandles()) + " handle(s) left open");
      ++runs;
      if (bad.empty()) {
        ++(strandedHere ? stranded : converged);
        continue;
      }
      std::printf("%s installation, the first run dying at call %llu of %llu:\n",
                  lastHolder ? "last-holder" : "shared", static_cast<unsigned long long>(n),
                  static_cast<unsigned long long>(calls));
      for (const std::string& line : bad) std::printf("  %s\n", line.c_str());
    }
  }
  std::printf("resume sweep: %d runs, %d converged\n", runs, converged);
  if (stranded > 0)
    std::printf("  and %d kept only the help registration of a file deleted before the cut, which\n"
                "  no run can remove without removing registrations of files it did not delete\n",
                stranded);
  return runs >= 200 && converged + stranded == runs ? 0 : 1;
}
