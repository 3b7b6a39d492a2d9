// Runs the whole uninstall pass over the sample installation once for every
// operation it makes with that operation failing, and once more with every
// operation from that one on failing, and checks the invariants after each
// run, with the oracle's end state: all of it where no failure hit a call,
// otherwise in every part that no failure reached.  Failing by number covers
// every call the pass makes and only those: the registry's opens, reads,
// writes, counts, enumerations and deletions, the files' opens (by path and
// below a parent), facts, listings, disposals and long names, the system's
// message text, and the companions' loads and lookups.  Prints "fault sweep: R
// runs, K kept every invariant"; fails unless every run kept them.
#include <cstdio>
#include <string>
#include <vector>

#include "invariants.h"
#include "platform/sim/sim.h"
#include "sample.h"

namespace {

using qf::reliability::BuildSample;
using qf::reliability::Capture;
using qf::reliability::RunPassesAndCheck;

int runs = 0;
int kept = 0;
int whole = 0;  // runs no failure hit, held to the whole oracle

// One run on a fresh machine; `failAt` 0 fails nothing.  Returns the number
// of operations the pass made.
uint64_t Run(bool lastHolder, uint64_t failAt, bool andAfter) {
  const auto links = BuildSample(lastHolder);
  if (failAt > 0) qf::sim::FailAt(failAt, andAfter);
  const auto before = Capture(links);
  const std::vector<std::string> violations = RunPassesAndCheck(before);
  const uint64_t operations = qf::sim::OperationCount();
  ++runs;
  if (qf::sim::FailuresHit().empty()) ++whole;
  if (violations.empty()) {
    ++kept;
  } else {
    std::printf("%s installation, %s %llu:\n", lastHolder ? "last-holder" : "shared",
                failAt == 0 ? "no failure" : andAfter ? "failing from operation" : "failing operation",
                static_cast<unsigned long long>(failAt));
    for (const std::string& v : violations) std::printf("  %s\n", v.c_str());
  }
  return operations;
}

}  // namespace

int main() {
  for (bool lastHolder : {false, true}) {
    const uint64_t operations = Run(lastHolder, 0, false);
    for (uint64_t k = 1; k <= operations; ++k) {
      Run(lastHolder, k, false);
      Run(lastHolder, k, true);
    }
  }
  std::printf("fault sweep: %d runs, %d kept every invariant\n", runs, kept);
  std::printf("  %d met no failure and ended in the whole oracle's state\n", whole);
  return kept == runs ? 0 : 1;
}
