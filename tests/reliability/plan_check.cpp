#include "plan_check.h"

#include <set>

#include "common/schema.h"
#include "platform/sim/sim.h"
#include "report/report.h"
#include "support.h"

namespace qf::reliability {

MadePlan MakePlan() {
  const qfpreview::PassRecord pass = qfpreview::RunPass();
  return {qfpreview::FormatJson(qfpreview::BuildReport(qfpreview::Snapshot(), pass)), ChangesMade()};
}

void HoldToPlan(const std::string& text) {
  sim::MakeFile(kPlanPath, 0, text);
  sim::SetText(platform::Root::LocalMachine, PolicyKey, UninstallPlan, kPlanPath);
}

std::vector<std::string> ChangesMade(size_t from) {
  std::vector<std::string> changes;
  for (size_t i = from; i < sim::Journal().size(); ++i) {
    const sim::JournalEntry& e = sim::Journal()[i];
    if (e.kind == sim::Change::Call || IsRegistryChange(e.kind) || e.kind == sim::Change::DeleteFile ||
        e.kind == sim::Change::RemoveDirectory)
      changes.push_back(std::string(sim::ChangeName(e.kind)) + " " + Fold(e.path) + " | " + e.detail);
  }
  return changes;
}

std::vector<std::string> CheckWithinPlan(const std::vector<std::string>& planned,
                                         const std::vector<std::string>* unlocked, size_t from) {
  std::multiset<std::string> inPlan(planned.begin(), planned.end()), without;
  if (unlocked) without.insert(unlocked->begin(), unlocked->end());
  std::vector<std::string> bad;
  for (const std::string& change : ChangesMade(from)) {
    const auto a = inPlan.find(change), b = without.find(change);
    // A call is allowed by what it is, as often as the pass makes it; every
    // other change once.
    if (a == inPlan.end()) bad.push_back("held to a plan, but not in it: " + change);
    else if (change.rfind(sim::ChangeName(sim::Change::Call), 0) != 0) inPlan.erase(a);
    if (!unlocked) continue;
    if (b == without.end()) bad.push_back("held to a plan, but not made without it: " + change);
    else without.erase(b);
  }
  return bad;
}

}  // namespace qf::reliability
