// Runs held to a reviewed plan of the sample: the plan made on one machine,
// the run on another that differs from it in one way, and what stays, and
// why, for each way.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/paths.h"
#include "common/schema.h"
#include "exports/entry_points.h"
#include "plan_check.h"
#include "platform/sim/sim.h"
#include "sample.h"
#include "support.h"

namespace qf::reliability {
namespace {

using platform::Root;
using D = Decision;

const std::string kDataKey = JoinPath(SharedKey, DataComponent);
const std::string kDataFile = kDataRoot + "\\a.dat";

void Nothing() {}
std::string AsMade(std::string text) { return text; }

TEST(PlanLock, WithholdsWhatChangedSinceThePlanAndNothingElse) {
  const struct {
    const char* what;
    void (*onPlan)();  // the machine the plan is made on
    void (*onRun)();   // the machine the run meets
    std::string (*text)(std::string);
    D decided;
    std::string about;   // the decision's subject, or a part of its detail
    bool (*stays)();
  } rows[] = {
      {"a file grown", Nothing, [] { sim::MakeFile(kDataFile, 0, "grown"); }, AsMade, D::ChangedSincePlan,
       "size 0 \xE2\x86\x92 5", [] { return sim::Exists(kDataFile) && sim::Exists(kDataRoot); }},
      {"a file replaced", Nothing, [] { sim::Rename(kDataFile, "C:\\a.dat"), sim::MakeFile(kDataFile); },
       AsMade, D::ChangedSincePlan, "another object", [] { return sim::Exists(kDataFile); }},
      {"a file added", Nothing, [] { sim::MakeFile(kDataRoot + "\\new.dat"); }, AsMade, D::NotInPlan,
       kDataRoot + "\\new.dat", [] { return sim::Exists(kDataRoot + "\\new.dat"); }},
      {"a registration rewritten", Nothing, [] { sim::SetText(Root::LocalMachine, HelpRegistrationKey, "guide.hlp", "C:\\x"); },
       AsMade, D::ChangedSincePlan, "its data differs",
       [] { return sim::GetValue(Root::LocalMachine, HelpRegistrationKey, "guide.hlp").has_value(); }},
      {"a count raised", Nothing, [] { sim::SetDword(Root::LocalMachine, kDataKey, UseCount, 2); }, AsMade,
       D::ComponentNotAsPlanned, "does not lower",
       [] { return sim::GetValue(Root::LocalMachine, kDataKey, UseCount)->data == std::string("\2\0\0\0", 4); }},
      {"the last holder now", [] { sim::SetDword(Root::LocalMachine, kDataKey, UseCount, 2); }, Nothing, AsMade,
       D::ComponentNotAsPlanned, "last holder now", [] { return sim::Exists(kDataFile) && sim::KeyExists(Root::LocalMachine, kDataKey); }},
      {"no companion planned", [] { sim::FailWhen(sim::Op::LoadLibrary, SecondCompanion, 126); }, Nothing, AsMade,
       D::CompanionNotInPlan, SecondCompanion, [] { return sim::JournalOf(sim::Change::Call).empty(); }},
      {"another computer's", Nothing, Nothing,
       [](std::string text) { return text.insert(text.find("\"computer\": \"") + 13, "OTHER-"); }, D::PlanUnusable,
       "OTHER-", [] { return sim::Exists(kDataFile) && sim::KeyExists(Root::CurrentUser, UserSettingsKey); }},
      {"a malformed one", Nothing, Nothing, [](std::string text) { return text.substr(0, text.size() / 2); },
       D::PlanUnusable, "no JSON", [] { return sim::Exists(kDataFile); }},
      {"a link in its place", Nothing, [] { sim::Rename(kPlanPath, "R:\\plan.json"), sim::MakeLink(kPlanPath, "R:\\plan.json", false); },
       AsMade, D::PlanUnusable, "a link", [] { return sim::Exists(kDataFile); }},
      {"none there", Nothing, [] { sim::Rename(kPlanPath, "R:\\plan.json"); }, AsMade, D::PlanUnusable,
       "not there", [] { return sim::Exists(kDataFile); }},
  };
  BuildSample(true);
  UninstInitialize(0, 0, 0);
  const std::vector<std::string> unlocked = ChangesMade();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    BuildSample(true);
    row.onPlan();
    const MadePlan plan = MakePlan();
    BuildSample(true);
    HoldToPlan(row.text(plan.text));
    row.onRun();
    EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
    EXPECT_TRUE(std::any_of(sim::Decisions().begin(), sim::Decisions().end(), [&](const sim::DecisionEntry& d) {
      return d.decision == row.decided && (SameFold(d.subject, row.about) || d.detail.find(row.about) != std::string::npos);
    }));
    EXPECT_TRUE(row.stays());
    EXPECT_EQ(Joined(CheckWithinPlan(plan.changes, &unlocked)), "");
    if (row.decided == D::PlanUnusable) EXPECT_EQ(Joined(ChangesMade()), "");
  }
}

}  // namespace
}  // namespace qf::reliability
