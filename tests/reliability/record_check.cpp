#include "record_check.h"

#include <algorithm>
#include <map>

#include <nlohmann/json.hpp>

#include "common/case_fold.h"
#include "common/schema.h"
#include "platform/sim/sim.h"

namespace qf::reliability {
namespace {

using Json = nlohmann::json;

// A text as a record holds it: bytes that are no UTF-8 shown as U+FFFD.
std::string Written(const std::string& text) {
  return Json::parse(Json(text).dump(-1, ' ', false, Json::error_handler_t::replace));
}

// What the journal entry or decision tells, as one text; the libraries'
// loads, lookups and releases are no changes and tell nothing ("").  A
// link's removal is told as the file or directory it was.
std::string Told(const sim::JournalEntry& e) {
  using C = sim::Change;
  switch (e.kind) {
    case C::RegDeleteKey: return "delete-key|" + FoldName(e.path) + "|";
    case C::RegSetValue: return "set-value|" + FoldName(e.path) + "|" + FoldName(e.detail);
    case C::RegDeleteValue: return "delete-value|" + FoldName(e.path) + "|" + FoldName(e.detail);
    case C::DeleteFile: return "delete-file|" + FoldName(e.path) + "|";
    case C::RemoveDirectory: return "remove-directory|" + FoldName(e.path) + "|";
    case C::Beep: return "beep";
    case C::MessageBox: return "box|" + e.path + "|" + e.detail + "|" + std::to_string(e.flags);
    case C::Call: return "call|" + e.path + "|" + e.detail;
    default: return "";
  }
}
std::string Told(const sim::DecisionEntry& d) {
  return "decision|" + std::string(RowOf(d.decision).name) + "|" + Written(d.subject) + "|" +
         std::to_string(d.first) + "|" + std::to_string(d.second) + "|" + Written(d.detail) + "|" +
         Written(DecisionSentence(d.decision, d.subject, d.first, d.second, d.detail));
}

// The same text of a record's line.  A path below `from` is told below `to`,
// as the journal gives it.
std::string Told(const Json& l, const std::string& from, const std::string& to,
                 const std::string& expected) {
  const std::string kind = l.value("line", ""), op = l.value("op", "");
  std::string path = l.value("path", "");
  if (kind == "decision")
    return "decision|" + l.value("decision", "") + "|" + l.value("subject", "") + "|" +
           std::to_string(l.value("first", int64_t{0})) + "|" +
           std::to_string(l.value("second", int64_t{0})) + "|" + l.value("detail", "") + "|" +
           l.value("why", "");
  if (kind == "beep") return "beep";
  if (kind == "box")
    return "box|" + l.value("caption", "?") + "|" + l.value("text", "") + "|" +
           std::to_string(l.value("icon", 0u));
  if (kind == "call")
    return "call|" + l.value("library", "") + "!" + l.value("entry", "") + "|" +
           l.value("argument", "");
  if (l.contains("root")) path = l.value("root", "") + "\\" + path;
  const std::string name = "|" + FoldName(l.value("name", ""));
  std::string rest = "|" + FoldName(path) + name;
  // Moved after the pass found it, it went under its new name.
  if (expected.find(rest) == std::string::npos && !from.empty() && path.size() > from.size() &&
      path[from.size()] == '\\' && SameNameFolded(path.substr(0, from.size()), from))
    rest = "|" + FoldName(to + path.substr(from.size())) + name;
  if (op == "remove-link" && expected.find(rest) != std::string::npos) return expected;
  return op + rest;
}

}  // namespace

void KeepRecords(const std::string& dir) {
  if (!sim::Exists(dir)) sim::MakeDir(dir);
  sim::SetText(platform::Root::LocalMachine, PolicyKey, UninstallRecord, dir);
}

std::vector<std::string> CheckRecord(const RecordRun& run) {
  const bool failuresHit = run.failuresHit;
  const std::string &movedFrom = run.movedFrom, &movedTo = run.movedTo, &refusedIn = run.refusedIn;
  std::vector<std::string> bad, told;
  if (!refusedIn.empty()) {
    for (const std::string& file : sim::Tree(refusedIn))
      if (file.find("\\uninstall-") != std::string::npos) bad.push_back("a record kept in " + file);
    return bad;
  }
  const std::vector<std::string> files = sim::Tree(kRecordDir);
  if (files.size() > 1) bad.push_back("more than one record in " + kRecordDir);
  if (files.empty() && !failuresHit) bad.push_back("no record although nothing failed");
  if (files.size() != 1) return bad;
  // The journal and the decisions, merged in the order they were made, and
  // how many of them were told when the last step ended.
  size_t change = 0, decided = 0, stepsTold = 0;
  const std::vector<sim::JournalEntry>& journal = sim::Journal();
  const sim::StepEnd last = sim::StepEnds().empty() ? sim::StepEnd{} : sim::StepEnds().back();
  const auto tell = [&](const std::string& text) {
    if (text.empty()) return;
    told.push_back(text);
    if (change <= last.journal && decided <= last.decisions) stepsTold = told.size();
  };
  for (const sim::DecisionEntry& d : sim::Decisions()) {
    while (change < d.at) tell(Told(journal[change++]));
    ++decided;
    tell(Told(d));
  }
  while (change < journal.size()) tell(Told(journal[change++]));

  const std::string text = sim::FileContents(files[0]).value_or("");
  size_t next = 0, at = 0, lines = 0;
  bool ended = false;
  // The last line's totals count the change lines above it, each by its op.
  const std::pair<const char*, const char*> kTotals[] = {
      {"delete-file", "files"}, {"remove-directory", "directories"}, {"remove-link", "links"},
      {"delete-key", "keys"},   {"delete-value", "values"},          {"set-value", "changedValues"}};
  std::map<std::string, int64_t> changes;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', at)) {
    const Json line = Json::parse(text.substr(at, end - at), nullptr, /*allow_exceptions=*/false);
    const std::string where = files[0] + " line " + std::to_string(++lines) + ": ";
    at = end + 1;
    const std::string kind = line.is_object() ? line.value("line", "") : "";
    ended = kind == "end";
    // Failures skip work, never the rest of the pass: it ends unless cut short.
    if (ended && line.value("complete", !run.passEnded) != run.passEnded)
      bad.push_back(where + (run.passEnded ? "says the pass did not end" : "says a pass cut short ended"));
    if (ended)
      for (const auto& [op, total] : kTotals)
        if (line.value("totals", Json::object()).value(total, int64_t{-1}) != changes[op])
          bad.push_back(where + "its " + total + " total is not the number of " + op + " lines");
    if (kind == "change") ++changes[line.value("op", "")];
    if (kind == "start" || ended) continue;
    const std::string expected = next < told.size() ? told[next++] : "";
    if (Told(line, movedFrom, movedTo, expected) != expected)
      bad.push_back(where + "not what the journal shows next: " + expected);
  }
  if (at != text.size()) bad.push_back(files[0] + ": a line without its end");
  if (!failuresHit && !ended) bad.push_back(files[0] + ": no last line although nothing failed");
  if (ended && next != told.size()) bad.push_back(files[0] + ": complete, but tells less");
  if (run.diedAfterSteps && next < stepsTold)
    bad.push_back(files[0] + ": tells " + std::to_string(next) + " of the " + std::to_string(stepsTold) +
                  " things done in the steps that ended");
  return bad;
}

}  // namespace qf::reliability
