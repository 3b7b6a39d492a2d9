// The alignment and the pairing of what is left over.  Items are compared
// by keys: names folded as Windows compares them (qf::FoldName) where they
// hold names; texts of boxes, numbers and the arguments of calls exactly.
#include "compare/compare.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "common/case_fold.h"
#include "common/decisions.h"
#include "common/paths.h"
#include "common/schema.h"
#include "report/fields.h"

namespace qfpreview {
namespace {

using Json = OrderedJson;
using Items = std::vector<const Json*>;

std::string Str(const Json& item, const char* field) {
  const auto it = item.find(field);
  return it != item.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// How the items of one list are told apart, each by a key: items with equal
// `same` keys agree; what is left over is paired as the same item done
// otherwise by `identity` first and then by `place` (where it happened).
using KeyOf = Json (*)(const Json&);
struct ListRule {
  const char* name;
  KeyOf same, identity, place;
};

Json Of(const Json& item, const char* field) { return item.value(field, Json()); }
Json Folded(const Json& item, const char* field) { return qf::FoldName(Str(item, field)); }

Json ChangeAt(const Json& c) { return Json::array({Of(c, field::kRoot), Folded(c, field::kPath)}); }
Json ChangeIdentity(const Json& c) {
  return Json::array({Of(c, field::kOp), ChangeAt(c), Folded(c, field::kName)});
}
Json SameChange(const Json& c) {
  return Json::array({ChangeIdentity(c), Of(c, field::kType), Of(c, field::kData)});
}
Json DecisionAbout(const Json& d) { return Folded(d, field::kSubject); }
Json DecisionIdentity(const Json& d) {
  return Json::array({Of(d, field::kDecision), DecisionAbout(d)});
}
Json SameDecision(const Json& d) {
  return Json::array({DecisionIdentity(d), Of(d, field::kFirst), Of(d, field::kSecond),
                      Folded(d, field::kDetail)});
}
Json CallOf(const Json& c) { return Folded(c, field::kLibrary); }
Json CallIdentity(const Json& c) { return Json::array({CallOf(c), Of(c, field::kEntry)}); }
Json SameCall(const Json& c) { return Json::array({CallIdentity(c), Of(c, field::kArgument)}); }
Json BoxIdentity(const Json& b) { return Of(b, field::kCaption); }
Json SameBox(const Json& b) { return Json::array({BoxIdentity(b), Of(b, field::kText)}); }

constexpr ListRule kLists[] = {
    {field::kChanges, SameChange, ChangeIdentity, ChangeAt},
    {field::kDecisions, SameDecision, DecisionIdentity, DecisionAbout},
    {field::kCalls, SameCall, CallIdentity, CallOf},
    {field::kBoxes, SameBox, BoxIdentity, BoxIdentity},
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

// Both sides' items as small numbers, equal exactly when their keys are.
struct Numbered {
  std::vector<uint32_t> a, b;
};
Numbered Number(const Items& a, const Items& b, KeyOf key) {
  std::unordered_map<std::string, uint32_t> numbers;
  auto number = [&](const Json* item) {
    const std::string text = key(*item).dump(-1, ' ', false, Json::error_handler_t::replace);
    return numbers.emplace(text, static_cast<uint32_t>(numbers.size())).first->second;
  };
  Numbered out;
  for (const Json* item : a) out.a.push_back(number(item));
  for (const Json* item : b) out.b.push_back(number(item));
  return out;
}

using Pairs = std::vector<std::pair<size_t, size_t>>;

// A longest common subsequence of two sequences, by Myers' linear-space
// diff: time grows with (N + D) * D and memory with N + D, for N items and
// D of them unmatched, so a long list with few differences costs little.
class CommonSubsequence {
 public:
  CommonSubsequence(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
      : a_(a), b_(b), forward_(a.size() + b.size() + 3), backward_(forward_.size()) {}

  // The matched index pairs within a[a0..a1) and b[b0..b1), in order.
  Pairs Matches(size_t a0, size_t a1, size_t b0, size_t b1) {
    Pairs out;
    Within(Long(a0), Long(a1), Long(b0), Long(b1), &out);
    return out;
  }

 private:
  using Long = std::ptrdiff_t;

  // A stretch both paths of the middle cross, from (x0, y0) to (x1, y1):
  // one step off the diagonal, then along it (`diagonalLast`) or the
  // reverse.
  struct Snake {
    Long x0, y0, x1, y1;
    bool diagonalLast;
  };

  bool Equal(Long x, Long y) const { return a_[size_t(x)] == b_[size_t(y)]; }

  void Within(Long left, Long right, Long top, Long bottom, Pairs* out) {
    while (left < right && top < bottom && Equal(left, top)) out->emplace_back(left++, top++);
    Long tail = 0;
    while (left < right - tail && top < bottom - tail && Equal(right - 1 - tail, bottom - 1 - tail))
      ++tail;
    right -= tail, bottom -= tail;
    if (left < right && top < bottom) {
      const Snake s = Middle(left, right, top, bottom);
      Within(left, s.x0, top, s.y0, out);
      const Long run = std::min(s.x1 - s.x0, s.y1 - s.y0);
      const Long x = s.diagonalLast ? s.x1 - run : s.x0, y = s.diagonalLast ? s.y1 - run : s.y0;
      for (Long k = 0; k < run; ++k) out->emplace_back(x + k, y + k);
      Within(s.x1, right, s.y1, bottom, out);
    }
    for (Long k = 0; k < tail; ++k) out->emplace_back(right + k, bottom + k);
  }

  // The middle snake of the box, found by paths from both corners that
  // meet.  The box holds at least one unmatched item, so they meet at some
  // D of at most half its width plus height.
  Snake Middle(Long left, Long right, Long top, Long bottom) {
    const Long width = right - left, height = bottom - top, delta = width - height;
    const Long most = (width + height + 1) / 2, at = most + 1;  // index of diagonal 0
    auto f = [&](Long k) -> Long& { return forward_[size_t(at + k)]; };
    auto r = [&](Long c) -> Long& { return backward_[size_t(at + c)]; };
    f(1) = left, r(1) = bottom;
    for (Long d = 0; d <= most; ++d) {
      for (Long k = d; k >= -d; k -= 2) {
        Long x, px;
        if (k == -d || (k != d && f(k - 1) < f(k + 1)))
          px = x = f(k + 1);
        else
          px = f(k - 1), x = px + 1;
        Long y = top + (x - left) - k;
        const Long py = (d == 0 || x != px) ? y : y - 1;
        while (x < right && y < bottom && Equal(x, y)) ++x, ++y;
        f(k) = x;
        const Long c = k - delta;
        if ((delta & 1) && c >= -(d - 1) && c <= d - 1 && y >= r(c)) return {px, py, x, y, true};
      }
      for (Long c = d; c >= -d; c -= 2) {
        Long y, ty;
        if (c == -d || (c != d && r(c - 1) > r(c + 1)))
          ty = y = r(c + 1);
        else
          ty = r(c - 1), y = ty - 1;
        const Long k = c + delta;
        Long x = left + (y - top) + k;
        const Long tx = (d == 0 || y != ty) ? x : x + 1;
        while (x > left && y > top && Equal(x - 1, y - 1)) --x, --y;
        r(c) = y;
        if (!(delta & 1) && k >= -d && k <= d && x <= f(k)) return {x, y, tx, ty, false};
      }
    }
    return {left, top, right, bottom, false};  // not reached: the paths always meet
  }

  const std::vector<uint32_t>& a_;
  const std::vector<uint32_t>& b_;
  std::vector<Long> forward_, backward_;
};

// One list's three keys on both sides, each with its alignment.
struct Keyed {
  Keyed(const Items& a, const Items& b, const ListRule& rule)
      : keys{Number(a, b, rule.same), Number(a, b, rule.identity), Number(a, b, rule.place)},
        align{{keys[0].a, keys[0].b}, {keys[1].a, keys[1].b}, {keys[2].a, keys[2].b}} {}
  Numbered keys[3];
  CommonSubsequence align[3];
};

// Pairs what is left unmatched in a[a0..a1) and b[b0..b1) by the next key
// (`level` 1: identity, 2: place), in order: `partner[i - a0]` is the item
// of b that a[i] is, done otherwise.
void Pair(Keyed& keyed, int level, size_t a0, size_t a1, size_t b0, size_t b1, size_t base,
          std::vector<size_t>* partner) {
  if (a0 == a1 || b0 == b1 || level > 2) return;
  Pairs matched = keyed.align[level].Matches(a0, a1, b0, b1);
  matched.emplace_back(a1, b1);
  size_t i = a0, j = b0;
  for (const auto& [mi, mj] : matched) {
    Pair(keyed, level + 1, i, mi, j, mj, base, partner);
    if (mi < a1) (*partner)[mi - base] = mj;
    i = mi + 1, j = mj + 1;
  }
}

// What a run held to a reviewed plan withheld, as its decisions tell it:
// single items, whole components and companions, and what follows from
// them: a directory stays that holds an item withheld, and an item the plan
// expected to stay for its own reason (read-only, holding what stays) stays
// under the lock's decision instead.
class Withheld {
 public:
  explicit Withheld(const Items& decisions) {
    for (const Json* d : decisions) {
      const std::string name = Str(*d, field::kDecision), subject = qf::FoldName(Str(*d, field::kSubject));
      if (name == Name(qf::Decision::NotInPlan) || name == Name(qf::Decision::ChangedSincePlan))
        items_.insert(subject);
      else if (name == Name(qf::Decision::ComponentNotAsPlanned))
        components_.insert(subject);
      else if (name == Name(qf::Decision::CompanionNotInPlan))
        libraries_.insert(subject);
    }
  }

  // Whether a predicted item was not done because of the lock, or a done
  // decision is the lock's own.
  bool Predicted(const std::string& list, const Json& item) const {
    if (list == field::kCalls) return libraries_.count(qf::FoldName(Str(item, field::kLibrary))) != 0;
    if (list == field::kDecisions) {
      const std::string subject = qf::FoldName(Str(item, field::kSubject));
      return components_.count(subject) != 0 || items_.count(subject) != 0 || Holds(subject) ||
             (Str(item, field::kDecision) == Name(qf::Decision::CompanionCalled) && libraries_.count(subject));
    }
    if (list != field::kChanges) return false;
    const std::string root = Str(item, field::kRoot), path = Str(item, field::kPath);
    const std::string at = root.empty() ? path : root + "\\" + path;
    const std::string component = qf::FoldName(path.substr(path.rfind('\\') + 1));
    return items_.count(qf::FoldName(item.contains(field::kName) ? qf::JoinPath(at, Str(item, field::kName)) : at)) ||
           (Str(item, field::kOp) == "remove-directory" && Holds(qf::FoldName(at))) ||
           (Str(item, field::kOp) == "set-value" && components_.count(component) &&
            qf::SameNameFolded(path, qf::JoinPath(qf::SharedKey, path.substr(path.rfind('\\') + 1))));
  }
  bool Done(const std::string& list, const Json& item) const {
    if (list != field::kDecisions) return false;
    const std::string name = Str(item, field::kDecision);
    for (const qf::DecisionRow& row : qf::kDecisionRows)
      if (name == row.name && (row.decision == qf::Decision::PlanFollowed || qf::WithheldByPlan(row.decision)))
        return true;
    const Json first = Of(item, field::kFirst);
    return (first.is_number() && first.get<int64_t>() == qf::kCodeWithheld) ||
           (name == Name(qf::Decision::EntryNotDeleted) && Holds(qf::FoldName(Str(item, field::kSubject))));
  }
  // Whether the step `done` is the one `predicted`, with the same outcome,
  // kept by the lock rather than for the plan's reason.
  bool KeptOtherwise(const std::string& list, const Json& predicted, const Json& done) const {
    const Json first = Of(done, field::kFirst);
    return list == field::kDecisions && first.is_number() && first.get<int64_t>() == qf::kCodeWithheld &&
           Str(predicted, field::kDecision) == Str(done, field::kDecision) &&
           qf::SameNameFolded(Str(predicted, field::kSubject), Str(done, field::kSubject));
  }

 private:
  static std::string Name(qf::Decision decision) { return qf::RowOf(decision).name; }
  // Whether the directory `folded` holds an item withheld.
  bool Holds(const std::string& folded) const {
    const std::string below = folded + "\\";
    const auto next = items_.lower_bound(below);
    return next != items_.end() && next->compare(0, below.size(), below) == 0;
  }
  std::set<std::string> items_, components_, libraries_;
};

// One stretch the alignment left unmatched: pairs what is the same item
// done otherwise, then lists the rest, but for the predicted items that
// were perhaps never `reached`, and what the plan's lock `withheld`.
template <typename Reached>
void Gap(const ListRule& rule, Keyed& keyed, const Items& a, size_t a0, size_t a1, const Items& b,
         size_t b0, size_t b1, Reached reached, const Withheld& withheld, Comparison* out) {
  std::vector<size_t> partner(a1 - a0, SIZE_MAX);
  Pair(keyed, 1, a0, a1, b0, b1, a0, &partner);
  std::vector<bool> taken(b1 - b0, false);
  for (size_t i = a0; i < a1; ++i) {
    const size_t j = partner[i - a0];
    if (j != SIZE_MAX) taken[j - b0] = true;
    if ((withheld.Predicted(rule.name, *a[i]) && (j == SIZE_MAX || withheld.Done(rule.name, *b[j]))) ||
        (j != SIZE_MAX && withheld.KeptOtherwise(rule.name, *a[i], *b[j]))) {
      out->withheld[rule.name] += j == SIZE_MAX ? 1 : 2;
    } else if (j != SIZE_MAX) {
      out->differences.push_back({rule.name, "differs", *a[i], *b[j]});
    } else if (!reached(*a[i])) {
      ++out->notReached[rule.name];
    } else {
      out->differences.push_back({rule.name, "predicted-only", *a[i], Json()});
    }
  }
  for (size_t j = b0; j < b1; ++j) {
    if (taken[j - b0]) continue;
    if (withheld.Done(rule.name, *b[j]))
      ++out->withheld[rule.name];
    else
      out->differences.push_back({rule.name, "done-only", Json(), *b[j]});
  }
}

bool Complete(const Json& done) {
  const auto record = done.find(field::kRecord);
  return record != done.end() && record->value(field::kComplete, false) &&
         !record->value(field::kCutInLine, true);
}

}  // namespace

Comparison Compare(const Json& plan, const Json& done) {
  if (!plan.is_object()) throw std::runtime_error("the plan is not a preview's JSON document");
  Comparison comparison;
  const bool complete = Complete(done);
  if (!complete)
    comparison.differences.push_back(
        {field::kRecord, "incomplete", Json(), done.value(field::kRecord, Json())});
  // A change goes with its step's outcome, reported after it: when the
  // record holds that decision, the step was done, and so was the change.
  std::set<std::pair<Json, Json>> outcomes;
  for (const Json* d : ListOf(done, "decisions", "record"))
    outcomes.emplace(Of(*d, field::kDecision), Of(*d, field::kWhy));
  auto stepDone = [&](const Json& change) {
    return outcomes.count({Of(change, field::kDecision), Of(change, field::kWhy)}) != 0;
  };
  const Withheld withheld(ListOf(done, "decisions", "record"));
  for (const ListRule& rule : kLists) {
    const Items a = ListOf(plan, rule.name, "plan"), b = ListOf(done, rule.name, "record");
    const bool changes = std::string(rule.name) == "changes";
    Keyed keyed(a, b, rule);
    Pairs matched = keyed.align[0].Matches(0, a.size(), 0, b.size());
    matched.emplace_back(a.size(), b.size());  // the end closes the last stretch
    size_t i = 0, j = 0;
    for (const auto& [mi, mj] : matched) {
      // After the last item the record holds, an incomplete record may
      // simply not have got that far.
      const bool last = !complete && mi == a.size();
      auto reached = [&](const Json& item) { return !last || (changes && stepDone(item)); };
      if (mi > i || mj > j) Gap(rule, keyed, a, i, mi, b, j, mj, reached, withheld, &comparison);
      i = mi + 1, j = mj + 1;
    }
  }
  return comparison;
}

}  // namespace qfpreview
