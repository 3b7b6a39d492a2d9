// The simulated run: fixed facts and a fixed time, which tests set, so that
// what a record says of them can be checked exactly.
#include "platform/sim/machine.h"

namespace qf::sim {
namespace detail {

void InitRunFacts(Machine& machine) {
  machine.runFacts = platform::RunFacts{4242, "QFTEST\\tester", "C:\\Program Files\\Quillforge"};
  machine.utcTime = "2026-12-08T13:12:36.000Z";
}

}  // namespace detail

void SetRunFacts(const platform::RunFacts& facts) { detail::M().runFacts = facts; }

void SetUtcTime(const std::string& text) { detail::M().utcTime = text; }

}  // namespace qf::sim

namespace qf::platform {

long ProcessFacts(RunFacts* facts) {
  *facts = sim::detail::M().runFacts;
  return kSuccess;
}

std::string UtcTimeText() { return sim::detail::M().utcTime; }

}  // namespace qf::platform
