// Which decisions the runs of a sweep made, kept in a file per sweep, so
// that one check can require every decision of the pass to be made by some
// sweep: a decision no test reaches is a step no test exercises.
#pragma once

#include <fstream>
#include <set>
#include <string>

#include "common/decisions.h"
#include "platform/sim/sim.h"

namespace qf::reliability {

// Adds the decisions of the run that just ended to `made`.
inline void NoteDecisions(std::set<std::string>* made) {
  for (const sim::DecisionEntry& entry : sim::Decisions()) made->insert(RowOf(entry.decision).name);
}

// Writes them to `path`, a name a line, when a path is given.
inline void WriteDecisions(const std::set<std::string>& made, const char* path) {
  if (path == nullptr) return;
  std::ofstream out(path);
  for (const std::string& name : made) out << name << "\n";
}

// The decisions none of the files names, in the table's order.
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
