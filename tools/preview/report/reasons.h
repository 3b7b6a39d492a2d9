// The pass's decisions in words: one sentence per decision, with its
// numbers filled in, and where in the pass each belongs.
#pragma once

#include <string>

#include "common/decisions.h"
#include "platform/sim/sim.h"

namespace qfpreview {

// Which step of the pass a decision is about.
enum class Scope {
  Gate,
  UserSettings,
  Flags,      // whether components are released at all
  Component,  // the component the subject names
  Entry,      // an entry of the tree of the component being released
  SharedArea,
  Companions,
};

Scope ScopeOf(qf::Decision decision);
// As the JSON report spells it: "CountLowered".
const char* DecisionName(qf::Decision decision);
// The sentence: "UseCount 3 → 2, held by another product".
std::string Sentence(const qf::sim::DecisionEntry& entry);

}  // namespace qfpreview
