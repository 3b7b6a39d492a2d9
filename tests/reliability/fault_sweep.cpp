// Runs the whole uninstall pass over the sample installation once for every
// operation it makes with that operation failing, and once more with every
// operation from that one on failing, and checks the invariants after each
// run, with the oracle's end state: all of it where no failure hit a call,
// otherwise in every part that no failure reached.  Failing by number covers
// every call the pass makes and only those: the registry's opens, reads,
// writes, counts, enumerations and deletions, the files' opens (by path and
// below a parent), facts, listings, disposals and long names, the system's
// message text, and the companions' loads and lookups.  A run that fails the
// same calls as another, in the same order, is made once.  Prints "fault
// sweep: R runs, K kept every invariant"; fails unless every run kept them.
// The decisions made are written to the file named by the first argument;
// "--shard i/N" makes the i-th of N shares of the runs, "--all" every run.
//
// With "--every-decision FILE...": fails unless the sweeps' files together
// name every decision the pass can report.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "decisions_made.h"
#include "exports/entry_points.h"
#include "invariants.h"
#include "plan_check.h"
#include "record_check.h"
#include "platform/sim/sim.h"
#include "sample.h"
#include "support.h"

namespace {

using qf::reliability::BuildSample;
using qf::reliability::Capture;
using qf::reliability::AtOrBelow, qf::reliability::Hklm;
using qf::reliability::RunPassesAndCheck;

int runs = 0;
int kept = 0;
// The calls of the last run without a failure, in order, as the log names them.
std::vector<std::pair<qf::sim::Op, std::vector<std::string>>> calls;
int whole = 0;  // runs no failure hit, held to the whole oracle
std::set<std::string> decided;

// One run on a fresh machine; `failAt` 0 fails nothing.  Returns the number
// of operations the pass made.
// The installations swept: another product still holds a component, this
// one holds the last share of each, one whose records it leaves alone, and
// one whose record is a link to another product's, one whose roots are
// not the components' own, and one whose area is a folder of the system's.
enum class Sample { Shared, LastHolder, Odd, Linked, Foreign, KeptArea, Wow64, Programs };
const char* const kSampleNames[] = {"shared", "last-holder", "odd", "linked", "foreign", "kept-area", "wow64", "programs"};

// Where the policy puts the record: nowhere, on a drive of its own, or in a
// directory the pass may remove or empty, where it must be refused.
using qf::reliability::kArea, qf::reliability::kRecordDir;
const std::string kRecordPlaces[] = {kRecordDir, "", kArea + "\\Records", kArea + "\\Data\\Logs", kArea};

std::vector<qf::reliability::Link> Build(Sample sample) {
  return sample == Sample::Odd      ? qf::reliability::BuildOddSample()
       : sample == Sample::Linked   ? qf::reliability::BuildLinkedSample()
       : sample == Sample::Wow64    ? qf::reliability::BuildWow64Sample()
       : sample == Sample::Programs ? qf::reliability::BuildProgramsSample()
       : sample >= Sample::Foreign  ? qf::reliability::BuildForeignSample(sample == Sample::KeptArea)
                                    : BuildSample(sample == Sample::LastHolder);
}

// The plan a run is held to: none, the machine's own, one made after the
// machine changed (a file grown, one moved away, a help registration
// rewritten, a count raised, the per-user tree undeletable, the companion
// missing), or one made on another computer, which changes nothing at all.
enum class Plan { None, Own, Changed, Foreign };
const char* const kPlanNames[] = {"", " held to its own plan", " held to a changed machine's plan",
                                  " held to another computer's plan"};

void ChangeSample(Sample sample) {
  using qf::platform::Root;
  qf::sim::MakeFile(qf::reliability::kDataRoot + "\\a.dat", 0, "grown");
  if (qf::sim::Exists(qf::reliability::kHelpRoot + "\\guide.cnt"))
    qf::sim::Rename(qf::reliability::kHelpRoot + "\\guide.cnt", "C:\\guide.cnt");
  qf::sim::SetText(Root::LocalMachine, qf::HelpRegistrationKey, "guide.hlp", "C:\\elsewhere");
  if (sample != Sample::Linked)  // whose record of the images is a link
    qf::sim::SetText(Root::LocalMachine, qf::JoinPath(qf::SharedKey, qf::ImagesComponent), qf::UseCount, "2");
  if (qf::sim::KeyExists(Root::CurrentUser, qf::UserSettingsKey))
    qf::sim::SetKeyRights(Root::CurrentUser, qf::UserSettingsKey, true, false);
  qf::sim::FailWhen(qf::sim::Op::LoadLibrary, qf::SecondCompanion, 126);
}

// The plan of `plan`'s kind for the installation, made once; and the
// changes the pass makes there without one.
const qf::reliability::MadePlan& PlanFor(Sample sample, Plan plan, std::vector<std::string>* unlocked) {
  static std::map<std::pair<Sample, Plan>, qf::reliability::MadePlan> made;
  static std::map<Sample, std::vector<std::string>> without;
  if (!without.count(sample)) {
    Build(sample);
    UninstInitialize(0, 0, 0);
    without[sample] = qf::reliability::ChangesMade();
  }
  *unlocked = without[sample];
  auto at = made.find({sample, plan});
  if (at != made.end()) return at->second;
  Build(sample);
  if (plan == Plan::Changed) ChangeSample(sample);
  qf::reliability::MadePlan own = qf::reliability::MakePlan();
  if (plan == Plan::Foreign) {
    const std::string computer = "\"computer\": \"";
    own.text.insert(own.text.find(computer) + computer.size(), "OTHER-");
  }
  return made.emplace(std::make_pair(sample, plan), own).first->second;
}

// With `throwIn`, the `failAt`-th call on a path holding it throws instead
// (out of memory): in the record, the pass must end as without one; in the
// pass, cut short, nothing else may go and the record must say it did not end.
// Held to a plan, the run keeps every invariant but the oracle's, which
// knows no plan, and makes only changes among the plan's and among those
// made without it.
uint64_t Run(Sample sample, const std::string& record, uint64_t failAt, bool andAfter,
             const std::string& throwIn = "", Plan plan = Plan::None) {
  std::vector<std::string> unlocked;
  const qf::reliability::MadePlan* held = plan == Plan::None ? nullptr : &PlanFor(sample, plan, &unlocked);
  const auto links = Build(sample);
  if (held) qf::reliability::HoldToPlan(held->text);
  if (!record.empty()) qf::reliability::KeepRecords(record);
  if (failAt > 0 && throwIn.empty()) qf::sim::FailAt(failAt, andAfter);
  if (!throwIn.empty()) qf::sim::ThrowAt(throwIn, failAt);
  // Every run of an installation with a record place starts from the same
  // machine, which only the pass changes: it is captured once.
  static std::map<std::tuple<Sample, std::string, Plan>, qf::reliability::Snapshot> captured;
  auto at = captured.find({sample, record, plan});
  if (at == captured.end()) at = captured.emplace(std::make_tuple(sample, record, plan), Capture(links)).first;
  const auto& before = at->second;
  qf::sim::LogCalls(failAt == 0);
  std::vector<std::string> violations;
  if (held) {
    if (UninstInitialize(0, 0, 0) != 0) violations.push_back("UninstInitialize did not return 0");
    for (auto found : {qf::reliability::CheckInvariants(before, 1), qf::reliability::CheckStaysCovered(before, 1),
                       qf::reliability::CheckWithinPlan(held->changes, &unlocked)})
      violations.insert(violations.end(), found.begin(), found.end());
    // Its own plan, on the machine it was made on, withholds nothing.
    if (plan == Plan::Own && qf::sim::FailuresHit().empty()) {
      const std::vector<std::string> made = qf::reliability::ChangesMade();
      std::multiset<std::string> left(made.begin(), made.end());
      for (const std::string& change : unlocked)
        if (left.count(change)) left.erase(left.find(change));
        else violations.push_back("held to its own plan, withheld: " + change);
    }
  } else {
    violations = RunPassesAndCheck(before);
  }
  // A throw cut the pass short when the companion, told last, was not called.
  const bool ended = throwIn.empty() || !qf::sim::JournalOf(qf::sim::Change::Call).empty();
  if (!ended) violations = qf::reliability::CheckInvariants(before, 1);
  if (!ended && throwIn == kRecordDir) violations.push_back("the record's failure ended the pass");
  if (!record.empty()) {
    qf::reliability::RecordRun run;
    run.failuresHit = !qf::sim::FailuresHit().empty();
    run.passEnded = ended;
    run.refusedIn = record == kRecordDir ? "" : record;
    const std::vector<std::string> told = qf::reliability::CheckRecord(run);
    violations.insert(violations.end(), told.begin(), told.end());
  }
  const uint64_t operations = qf::sim::OperationCount();
  calls.clear();
  for (const qf::sim::LoggedCall& call : qf::sim::CallLog())
    if (!call.close) calls.emplace_back(call.op, call.paths);
  qf::reliability::NoteDecisions(&decided);
  ++runs;
  if (qf::sim::FailuresHit().empty()) ++whole;
  if (violations.empty()) {
    ++kept;
  } else {
    std::printf("%s installation%s%s, %s %llu:\n", kSampleNames[static_cast<int>(sample)],
                record.empty() ? "" : (" with a record in " + record).c_str(), kPlanNames[static_cast<int>(plan)],
                failAt == 0 ? "no failure" : !throwIn.empty() ? ("throwing at call on " + throwIn).c_str()
                : andAfter  ? "failing from operation" : "failing operation",
                static_cast<unsigned long long>(failAt));
    for (const std::string& hit : qf::sim::FailuresHit()) std::printf("  failed: %s\n", hit.c_str());
    for (const std::string& v : violations) std::printf("  %s\n", v.c_str());
  }
  return operations;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--every-decision") {
    const std::set<std::string> missing = qf::reliability::DecisionsNotMade(argc - 2, argv + 2);
    for (const std::string& name : missing) std::printf("no sweep made the decision %s\n", name.c_str());
    return missing.empty() ? 0 : 1;
  }
  const qf::reliability::SweepArgs args = qf::reliability::ParseSweepArgs(argc, argv);
  uint64_t run = 0;  // the runs' numbers, the same in every shard
  std::map<Sample, decltype(calls)> with, without;  // each installation's calls, with a record kept and without
  // With a record kept, each run must end as it ends without one (the
  // invariants and the oracle know nothing of records), whichever call
  // fails, the record's own included, and the record must tell the journal;
  // one in a directory the pass may remove or empty is never kept.
  for (const std::string& record : kRecordPlaces) {
    for (Sample sample : {Sample::Shared, Sample::LastHolder, Sample::Odd, Sample::Linked, Sample::Foreign,
                          Sample::KeptArea, Sample::Wow64, Sample::Programs}) {
      // A refused place is swept where the area and the roots stay and go;
      // the roots that are no component's own, with a record and without.
      const bool refused = !record.empty() && record != kRecordDir;
      if (refused && sample != Sample::Shared && sample != Sample::LastHolder) continue;
      const uint64_t operations = Run(sample, record, 0, false);
      if (record.empty() || record == kRecordDir) (record.empty() ? without : with)[sample] = calls;
      // Without a record, the pass makes the calls it makes with one kept,
      // in the same order, where each of them fails in turn.  A refused
      // record's check ends before the pass makes its calls as without one,
      // which only looks for the policy first.  Failing those again would
      // make the same runs.
      const auto &recorded = with[sample], &pass = without[sample];
      size_t matched = 0, same = 0, policy = 0;
      for (const auto& call : recorded) matched += matched < calls.size() && call == calls[matched];
      while (same < std::min(calls.size(), pass.size()) && calls.rbegin()[same] == pass.rbegin()[same]) ++same;
      for (; policy < pass.size(); ++policy) {  // the keys on the way to the policy, and their values
        const std::string& path = pass[policy].second[0];
        const bool value = pass[policy].first == qf::sim::Op::RegRead;
        if (!AtOrBelow(Hklm(qf::PolicyKey), value ? path.substr(0, path.rfind('\\')) : path)) break;
      }
      const uint64_t own = args.all                                    ? operations
                           : record.empty() && matched == calls.size() ? 0
                           : refused && same + policy >= pass.size()   ? calls.size() - same
                                                                       : operations;
      for (uint64_t k = 1; k <= own; ++k) {
        if (args.Mine(++run)) Run(sample, record, k, false);
        if (args.Mine(++run)) Run(sample, record, k, true);
      }
    }
  }
  // Held to a plan: the machine's own and a changed machine's, failing
  // each call of the run in turn; another computer's, which changes nothing.
  for (Sample sample : {Sample::Shared, Sample::LastHolder, Sample::Odd, Sample::Linked}) {
    for (Plan plan : {Plan::Own, Plan::Changed, Plan::Foreign}) {
      const uint64_t operations = args.Mine(++run) || plan != Plan::Foreign ? Run(sample, "", 0, false, "", plan) : 0;
      const bool swept = plan != Plan::Foreign && (sample == Sample::Shared || sample == Sample::LastHolder);
      for (uint64_t k = 1; swept && k <= operations; ++k)
        if (args.Mine(++run)) Run(sample, "", k, false, "", plan);
    }
  }
  // Running out of memory at each call inside the record, and at each
  // call of the pass on the product's keys and the shared files.
  for (Sample sample : {Sample::Shared, Sample::LastHolder, Sample::Odd, Sample::Linked})
    for (const std::string& throwIn : {kRecordDir, std::string("Halvern")})
      if (args.Mine(++run))  // one shard makes each of these
        for (uint64_t n = 1; Run(sample, kRecordDir, n, false, throwIn) > 0 && qf::sim::Thrown(); ++n) continue;
  std::printf("fault sweep: %d runs (shard %llu/%llu of %llu in all), %d kept every invariant\n", runs,
              static_cast<unsigned long long>(args.shard), static_cast<unsigned long long>(args.shards),
              static_cast<unsigned long long>(run), kept);
  std::printf("  %d met no failure and ended in the whole oracle's state\n", whole);
  qf::reliability::WriteDecisions(decided, args.decisions);
  return kept == runs ? 0 : 1;
}
