// The differences for people and for tools.  Each side is told as its
// report gives it, with the decision it went with and that decision's
// sentence.
#include "compare/compare.h"
#include "report/fields.h"

namespace qfpreview {
namespace {

using Json = OrderedJson;

std::string Str(const Json& item, const char* field) {
  const auto it = item.find(field);
  if (it == item.end()) return "";
  return it->is_string() ? it->get<std::string>() : it->dump();
}

// One item of a list in a line: what it is, then why.
std::string Told(const std::string& list, const Json& item) {
  std::string text;
  if (list == field::kChanges) {
    text = Str(item, field::kOp) + " ";
    if (item.contains(field::kRoot)) text += Str(item, field::kRoot) + "\\";
    text += Str(item, field::kPath);
    if (item.contains(field::kName)) text += " " + Str(item, field::kName);
    if (item.contains(field::kData)) text += " = " + item[field::kData].dump();
  } else if (list == field::kDecisions) {
    text = Str(item, field::kDecision) + " " + Str(item, field::kSubject) + " (" +
           Str(item, field::kFirst) + ", " + Str(item, field::kSecond) + ")";
  } else if (list == field::kCalls) {
    text = Str(item, field::kLibrary) + " " + Str(item, field::kEntry) + "(\"" +
           Str(item, field::kArgument) + "\")";
  } else {
    text = "[" + Str(item, field::kCaption) + "] " + Str(item, field::kText);
  }
  if (list == field::kChanges && item.contains(field::kDecision))
    text += "\n        under " + Str(item, field::kDecision) + ": " + Str(item, field::kWhy);
  else if (list == field::kDecisions)
    text += "\n        " + Str(item, field::kWhy);
  return text;
}

std::string Incomplete(const Json& record) {
  const std::string lines = Str(record, field::kLines);
  if (record.value(field::kCutInLine, false))
    return "the record is incomplete: it stops inside the line after line " + lines +
           " (a write failed), and is compared up to there";
  if (!record.value(field::kEnded, false))
    return "the record is incomplete: it stops after line " + lines +
           " without its end line, and is compared up to there";
  return "the record is incomplete: its end line says the pass did not run to its end";
}

}  // namespace

std::string FormatComparisonText(const Comparison& comparison) {
  std::string out;
  std::string list;
  for (const Difference& d : comparison.differences) {
    if (d.kind == "incomplete") {
      out += Incomplete(d.done) + ".\n";
      continue;
    }
    if (d.list != list) out += "\n" + (list = d.list) + ":\n";
    if (d.kind == "differs")
      out += "  differs\n    predicted  " + Told(d.list, d.predicted) + "\n    done       " +
             Told(d.list, d.done) + "\n";
    else if (d.kind == "predicted-only")
      out += "  predicted, not done\n    predicted  " + Told(d.list, d.predicted) + "\n";
    else
      out += "  done, not predicted\n    done       " + Told(d.list, d.done) + "\n";
  }
  for (const auto& [name, count] : comparison.notReached)
    out += "\n" + std::to_string(count) + " of the " + name +
           " predicted come after where the record stops.\n";
  for (const auto& [name, count] : comparison.withheld)
    out += "\n" + std::to_string(count) + " of the " + name +
           " withheld by the reviewed plan's lock, as agreed.\n";
  const size_t n = comparison.differences.size();
  out += n == 0 ? "\nThe run did what was predicted.\n"
                : "\n" + std::to_string(n) + (n == 1 ? " difference" : " differences") +
                      " between what was predicted and what was done.\n";
  return out;
}

std::string FormatComparisonJson(const Comparison& comparison) {
  Json out;
  out["agree"] = comparison.differences.empty();
  out["differences"] = Json::array();
  for (const Difference& d : comparison.differences)
    out["differences"].push_back(
        {{"list", d.list}, {"kind", d.kind}, {"predicted", d.predicted}, {"done", d.done}});
  out["notReached"] = Json::object();
  for (const auto& [name, count] : comparison.notReached) out["notReached"][name] = count;
  out["withheld"] = Json::object();
  for (const auto& [name, count] : comparison.withheld) out["withheld"][name] = count;
  return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace qfpreview
