#include "common/decisions.h"

namespace qf {
namespace {

void Fill(std::string* text, const std::string& field, const std::string& value) {
  for (size_t at = text->find(field); at != std::string::npos;
       at = text->find(field, at + value.size()))
    text->replace(at, field.size(), value);
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
    default: return "error " + std::to_string(code);
  }
}

std::string DecisionSentence(Decision decision, const std::string& subject, int64_t first,
                             int64_t second) {
  const DecisionRow& row = RowOf(decision);
  std::string text = first == 0 && row.whenZero ? row.whenZero : row.sentence;
  // The subject last: a name may hold anything, braces too.
  Fill(&text, "{first}", std::to_string(first));
  Fill(&text, "{second}", std::to_string(second));
  Fill(&text, "{code}", CodeText(first));
  Fill(&text, "{subject}", subject);
  return text;
}

}  // namespace qf
