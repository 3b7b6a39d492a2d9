// Which decisions a sweep's runs made, kept in a file per sweep, so that one
// check can require every decision of the pass to be made by some sweep: a
// decision no test reaches is a step no test exercises.
#pragma once

#include <fstream>
#include <set>
#include <string>

#include "common/decisions.h"
#include "platform/sim/sim.h"

namespace qf::reliability {

inline void NoteDecisions(std::set<std::string>* made) {
  for (const sim::DecisionEntry& entry : sim::Decisions()) made->insert(RowOf(entry.decision).name);
}

// Writes or reads such a file, a name a line.
inline void WriteDecisions(const std::set<std::string>& made, const char* path) {
  std::ofstream out(path ? path : "/dev/null");
  for (const std::string& name : made) out << name << "\n";
}
inline std::set<std::string> DecisionsNotMade(int files, char** paths) {
  std::set<std::string> made, missing;
  for (int i = 0; i < files; ++i) {
    std::ifstream in(paths[i]);
    for (std::string name; std::getline(in, name);) made.insert(name);
  }
  for (const DecisionRow& row : kDecisionRows)
    if (!made.count(row.name)) missing.insert(row.name);
  return missing;
}

}  // namespace qf::reliability
