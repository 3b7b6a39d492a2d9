#include "common/decisions.h"

#include <string_view>
#include <utility>

namespace qf {
namespace {

// The sentence with each {field} replaced, in one pass over the sentence
// alone: a subject or detail may hold anything, braces too.
std::string Fill(std::string_view sentence, const std::pair<const char*, std::string> (&fields)[5]) {
  std::string text;
  for (size_t at = 0; at < sentence.size();) {
    bool filled = false;
    for (const auto& [field, value] : fields) {
      const std::string_view name(field);
      if (sentence.compare(at, name.size(), name) == 0) {
        text += value;
        at += name.size();
        filled = true;
        break;
      }
    }
    if (!filled) text.push_back(sentence[at++]);
  }
  return text;
}

}  // namespace

std::string CodeText(int64_t code) {
  switch (code) {
    case 2:
    case 3: return "not found";
    case 5: return "read-only or access denied";
    case 32: return "in use by another program";
    case 145: return "holds items that stay";
    case 1921: return "reached through a link, which is never followed";
    case kCodeWithheld: return "the reviewed plan does not allow it";
    default: return "error " + std::to_string(code);
  }
}

std::string DecisionSentence(Decision decision, const std::string& subject, int64_t first,
                             int64_t second, const std::string& detail) {
  const DecisionRow& row = RowOf(decision);
  return Fill(first == 0 && row.whenZero ? row.whenZero : row.sentence,
              {{"{first}", std::to_string(first)},
               {"{second}", std::to_string(second)},
               {"{code}", CodeText(first)},
               {"{subject}", subject},
               {"{detail}", detail}});
}

}  // namespace qf
