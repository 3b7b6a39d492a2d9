// The alignment and the pairing of what is left over.  Items are compared
// as Windows compares names (qf::SameNameFolded) where they hold names;
// texts of boxes and the arguments of calls exactly.
#include "compare/compare.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "common/case_fold.h"

namespace qfpreview {
namespace {

using Json = OrderedJson;
using Items = std::vector<const Json*>;

std::string Str(const Json& item, const char* field) {
  const auto it = item.find(field);
  return it != item.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool SameName(const Json& a, const Json& b, const char* field) {
  return qf::SameNameFolded(Str(a, field), Str(b, field));
}

bool Field(const Json& a, const Json& b, const char* field) {
  return a.value(field, Json()) == b.value(field, Json());
}

// How the items of one list are told apart: `same` when they agree;
// `strong` and `weak` to pair items the alignment left over, the same item
// done otherwise.
struct ListRule {
  const char* name;
  bool (*same)(const Json&, const Json&);
  bool (*strong)(const Json&, const Json&);
  bool (*weak)(const Json&, const Json&);
};

bool ChangeAt(const Json& a, const Json& b) {
  return Field(a, b, "root") && SameName(a, b, "path");
}
bool ChangeIdentity(const Json& a, const Json& b) {
  return Field(a, b, "op") && ChangeAt(a, b) && SameName(a, b, "name");
}
bool SameChange(const Json& a, const Json& b) {
  return ChangeIdentity(a, b) && Field(a, b, "type") && Field(a, b, "data");
}
bool DecisionAbout(const Json& a, const Json& b) { return SameName(a, b, "subject"); }
bool DecisionIdentity(const Json& a, const Json& b) {
  return Field(a, b, "decision") && DecisionAbout(a, b);
}
bool SameDecision(const Json& a, const Json& b) {
  return DecisionIdentity(a, b) && Field(a, b, "first") && Field(a, b, "second") &&
         SameName(a, b, "detail");
}
bool CallOf(const Json& a, const Json& b) { return SameName(a, b, "library"); }
bool CallIdentity(const Json& a, const Json& b) { return CallOf(a, b) && Field(a, b, "entry"); }
bool SameCall(const Json& a, const Json& b) {
  return CallIdentity(a, b) && Field(a, b, "argument");
}
bool BoxIdentity(const Json& a, const Json& b) { return Field(a, b, "caption"); }
bool SameBox(const Json& a, const Json& b) { return BoxIdentity(a, b) && Field(a, b, "text"); }

constexpr ListRule kLists[] = {
    {"changes", SameChange, ChangeIdentity, ChangeAt},
    {"decisions", SameDecision, DecisionIdentity, DecisionAbout},
    {"calls", SameCall, CallIdentity, CallOf},
    {"boxes", SameBox, BoxIdentity, BoxIdentity},
};

Items ListOf(const Json& document, const char* name, const char* side) {
  const auto list = document.find(name);
  if (list == document.end() || !list->is_array())
    throw std::runtime_error(std::string("the ") + side + " has no list \"" + name +
                             "\": it is not a preview's JSON document");
  Items items;
  for (const Json& item : *list) {
    if (!item.is_object())
      throw std::runtime_error(std::string("the ") + side + "'s \"" + name +
                               "\" holds something that is not an object");
    items.push_back(&item);
  }
  return items;
}

// Matched index pairs of a longest common subsequence.  The common start and
// end are matched first; the table covers only what lies between, and is
// given up (nothing matched there) past kCells.
std::vector<std::pair<size_t, size_t>> Align(const Items& a, const Items& b, const ListRule& rule) {
  constexpr size_t kCells = size_t{1} << 24;
  std::vector<std::pair<size_t, size_t>> matched;
  size_t head = 0, tail = 0;
  while (head < a.size() && head < b.size() && rule.same(*a[head], *b[head])) {
    matched.emplace_back(head, head);
    ++head;
  }
  while (tail < a.size() - head && tail < b.size() - head &&
         rule.same(*a[a.size() - 1 - tail], *b[b.size() - 1 - tail]))
    ++tail;
  const size_t n = a.size() - head - tail, m = b.size() - head - tail;
  if (n > 0 && m > 0 && n <= kCells / m) {
    // length[i][j]: the longest common subsequence of a[head+i..] and b[head+j..].
    std::vector<uint32_t> length((n + 1) * (m + 1), 0);
    auto at = [&](size_t i, size_t j) -> uint32_t& { return length[i * (m + 1) + j]; };
    for (size_t i = n; i-- > 0;)
      for (size_t j = m; j-- > 0;)
        at(i, j) = rule.same(*a[head + i], *b[head + j]) ? at(i + 1, j + 1) + 1
                                                         : std::max(at(i + 1, j), at(i, j + 1));
    for (size_t i = 0, j = 0; i < n && j < m;) {
      if (rule.same(*a[head + i], *b[head + j]) && at(i, j) == at(i + 1, j + 1) + 1)
        matched.emplace_back(head + i++, head + j++);
      else if (at(i + 1, j) >= at(i, j + 1))
        ++i;
      else
        ++j;
    }
  }
  for (size_t k = tail; k > 0; --k) matched.emplace_back(a.size() - k, b.size() - k);
  return matched;
}

// One stretch the alignment left unmatched: pairs what is the same item
// done otherwise, then lists the rest, but for the predicted items that
// were perhaps never `reached`.
template <typename Reached>
void Gap(const ListRule& rule, const Items& a, size_t a0, size_t a1, const Items& b, size_t b0,
         size_t b1, Reached reached, Comparison* out) {
  std::vector<size_t> partner(a1 - a0, SIZE_MAX);
  std::vector<bool> taken(b1 - b0, false);
  for (auto pairs : {rule.strong, rule.weak})
    for (size_t i = a0; i < a1; ++i)
      for (size_t j = b0; j < b1 && partner[i - a0] == SIZE_MAX; ++j)
        if (!taken[j - b0] && pairs(*a[i], *b[j])) partner[i - a0] = j, taken[j - b0] = true;
  for (size_t i = a0; i < a1; ++i) {
    if (partner[i - a0] != SIZE_MAX)
      out->differences.push_back({rule.name, "differs", *a[i], *b[partner[i - a0]]});
    else if (!reached(*a[i]))
      ++out->notReached[rule.name];
    else
      out->differences.push_back({rule.name, "predicted-only", *a[i], Json()});
  }
  for (size_t j = b0; j < b1; ++j)
    if (!taken[j - b0]) out->differences.push_back({rule.name, "done-only", Json(), *b[j]});
}

bool Complete(const Json& done) {
  const auto record = done.find("record");
  return record != done.end() && record->value("complete", false) &&
         !record->value("cutInLine", true);
}

}  // namespace

Comparison Compare(const Json& plan, const Json& done) {
  if (!plan.is_object()) throw std::runtime_error("the plan is not a preview's JSON document");
  Comparison comparison;
  const bool complete = Complete(done);
  if (!complete)
    comparison.differences.push_back(
        {"record", "incomplete", Json(), done.value("record", Json())});
  // A change goes with its step's outcome, reported after it: when the
  // record holds that decision, the step was done, and so was the change.
  const Items decisions = ListOf(done, "decisions", "record");
  auto stepDone = [&](const Json& change) {
    return std::any_of(decisions.begin(), decisions.end(), [&](const Json* d) {
      return Field(*d, change, "decision") && Field(*d, change, "why");
    });
  };
  for (const ListRule& rule : kLists) {
    const Items a = ListOf(plan, rule.name, "plan"), b = ListOf(done, rule.name, "record");
    const bool changes = std::string(rule.name) == "changes";
    size_t i = 0, j = 0;
    auto matched = Align(a, b, rule);
    matched.emplace_back(a.size(), b.size());  // the end closes the last stretch
    for (const auto& [mi, mj] : matched) {
      // After the last item the record holds, an incomplete record may
      // simply not have got that far.
      const bool last = !complete && mi == a.size();
      auto reached = [&](const Json& item) { return !last || (changes && stepDone(item)); };
      if (mi > i || mj > j) Gap(rule, a, i, mi, b, j, mj, reached, &comparison);
      i = mi + 1, j = mj + 1;
    }
  }
  return comparison;
}

}  // namespace qfpreview
