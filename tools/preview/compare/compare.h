// A plan (a saved `qfpreview --json`) against what a run did (the report
// made from its record, in the same JSON shape): every change, decision,
// call and box that differs, with both sides and the reasons each gives.
// Both sides come from the same logic in the same order, so each list is
// aligned as a sequence (a longest common subsequence): one missing item is
// one difference, not a cascade.
#pragma once

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qfpreview {

using OrderedJson = nlohmann::ordered_json;

struct Difference {
  std::string list;  // "changes", "decisions", "calls", "boxes"; "record" when it is incomplete
  // "predicted-only", "done-only", "differs" (the same item, otherwise
  // done), "incomplete".
  std::string kind;
  OrderedJson predicted, done;  // each side's item as its report gives it; null when absent
};

struct Comparison {
  std::vector<Difference> differences;
  // From an incomplete record: the items predicted after where it stops,
  // per list, which the run may not have reached.
  std::map<std::string, size_t> notReached;
  // Per list, the items that a run held to a reviewed plan withheld (what it
  // did not do, and the decisions that tell why): agreed, since the lock
  // did what it promises.
  std::map<std::string, size_t> withheld;
};

// Throws std::runtime_error when `plan` is not a preview's JSON document.
// `done` is the report of the run's record as FormatJson writes it, with
// its "record" facts.
Comparison Compare(const OrderedJson& plan, const OrderedJson& done);

std::string FormatComparisonText(const Comparison& comparison);
std::string FormatComparisonJson(const Comparison& comparison);

}  // namespace qfpreview
