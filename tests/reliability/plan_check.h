// Runs held to a reviewed plan: plans made by the preview's own writer from
// a pass on the simulated machine, and the invariant a run held to one
// keeps: the changes it made are among the plan's, and among those the pass
// makes without it.
#pragma once

#include <string>
#include <vector>

namespace qf::reliability {

// Where the sweeps keep a plan: on the records' drive, outside every tree.
inline const std::string kPlanPath = "R:\\Plans\\plan.json";

struct MadePlan {
  std::string text;                  // as qfpreview --json writes it
  std::vector<std::string> changes;  // ChangesMade() of the pass it predicts
};

// Runs the pass on the machine as it is (and so changes it) and gives the
// plan the preview writes of that run.
MadePlan MakePlan();

// Puts `text` at kPlanPath and names it in the policy.
void HoldToPlan(const std::string& text);

// The changes the journal shows from entry `from` on, each as one line.
std::vector<std::string> ChangesMade(size_t from = 0);

// Each change made (from journal entry `from` on) that is not among
// `planned`, or not among `unlocked` (skipped when null).
std::vector<std::string> CheckWithinPlan(const std::vector<std::string>& planned,
                                         const std::vector<std::string>* unlocked, size_t from = 0);

}  // namespace qf::reliability
