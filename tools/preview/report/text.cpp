// The report for people: the steps in the pass's order, each with what the
// capture found, what the pass decided, what it would change and what
// stays, and why; then the totals.
#include <map>
#include <string>
#include <vector>

#include "common/case_fold.h"
#include "common/schema.h"
#include "common/decisions.h"
#include "report/report.h"

namespace qfpreview {
namespace {

struct StepTitle {
  Step step;
  const char* title;
};
constexpr StepTitle kTitles[] = {
    {Step::Gate, "1. Administrator gate"},
    {Step::UserSettings, "2. Per-user settings"},
    {Step::Components, "3. Shared components"},
    {Step::Data, "   Data"},
    {Step::MSHelp, "   MSHelp"},
    {Step::ImageFiles, "   Image Files"},
    {Step::SharedArea, "4. Shared area"},
    {Step::Companions, "5. Companion libraries"},
};

bool Indented(Step step) {
  return step == Step::Data || step == Step::MSHelp || step == Step::ImageFiles;
}

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }

std::string Registry(const Change& change) {
  std::string text = std::string(qf::sim::RootName(change.root)) + "\\" + change.path;
  if (!change.name.empty()) text += " " + change.name;
  return text;
}

std::string Why(const Report& report, size_t reason, const std::string& lead = "") {
  return reason == kNoReason ? std::string() : ": " + lead + report.reasons[reason].why;
}

std::string Line(const Change& change, const Report& report) {
  switch (change.op) {
    case Operation::SetValue: {
      const std::string now =
          change.dword ? std::to_string(change.number) : "\"" + change.text + "\"";
      // From a record the value before is not known.
      return "changed  " + Registry(change) +
             (change.before.empty() ? " to " : " " + change.before + " -> ") + now +
             Why(report, change.reason);
    }
    case Operation::DeleteKey: return "removed  " + Registry(change);
    case Operation::DeleteValue:
      if (qf::SameNameFolded(change.path, qf::HelpRegistrationKey))
        return "removed  help registration " + change.name + ": its file is deleted";
      return "removed  " + Registry(change);
    case Operation::RemoveLink:
      return "removed  " + change.path + ": a link, removed as a link" +
             (report.underWine ? " (on Windows: under Wine it stays, and so do the directories "
                                 "above it, since Wine's RemoveDirectory acts on the link's target)"
                               : "");
    case Operation::RemoveDirectory: return "removed  " + change.path + "\\";
    case Operation::DeleteFile: return "removed  " + change.path;
  }
  return "";
}

// A step's changes: every one with `all`; otherwise a file tree as one line
// per directory and a key tree as its topmost key.  Files and directories
// come first, in the pass's order, then the rest (registrations, counts),
// then a record's key, which the pass deletes last.
std::vector<std::string> Lines(const Report& report, Step step, bool all) {
  struct Dir {
    uint64_t files = 0, bytes = 0;
    bool removed = false;
  };
  // The file tree in the pass's order: each a directory summed up in `dirs`,
  // or a line of its own (a link; every item with `all`).
  std::vector<std::string> tree, rest;
  std::map<std::string, Dir> dirs;
  uint64_t keys = 0, values = 0;
  const Change* topKey = nullptr;
  for (const Change& change : report.changes) {
    if (change.step != step) continue;
    const bool file = change.op == Operation::DeleteFile;
    const bool dir = change.op == Operation::RemoveDirectory;
    if (change.op == Operation::DeleteKey && !all) {
      ++keys;
      values += change.values;
      topKey = &change;  // deepest first: the last one deleted is the top
    } else if ((file || dir) && !all) {
      const std::string at = file ? Parent(change.path) : change.path;
      if (!dirs.count(at)) tree.push_back(at);
      Dir& entry = dirs[at];
      entry.removed = entry.removed || dir;
      entry.files += file ? 1 : 0;
      entry.bytes += change.bytes;
    } else {
      (file || dir || change.op == Operation::RemoveLink ? tree : rest)
          .push_back(Line(change, report));
    }
  }
  std::vector<std::string> lines;
  for (const std::string& at : tree) {
    const auto entry = dirs.find(at);
    if (entry == dirs.end()) {
      lines.push_back(at);
      continue;
    }
    const Dir& d = entry->second;
    std::string line = "removed  " + at + "\\: ";
    if (d.files > 0) line += Plural(d.files, "file", "files");
    if (d.files > 0 && !report.record)
      line += " (" + Plural(d.bytes, "byte", "bytes") + ")";
    if (d.removed) line += d.files > 0 ? ", and the directory" : "the directory";
    lines.push_back(line);
  }
  lines.insert(lines.end(), rest.begin(), rest.end());
  if (topKey) {
    std::string line = "removed  " + std::string(qf::sim::RootName(topKey->root)) + "\\" +
                       topKey->path;
    if (keys > 1) line += " with " + Plural(keys - 1, "key", "keys") + " below it";
    if (values > 0) line += (keys > 1 ? " and " : " with ") + Plural(values, "value", "values");
    lines.push_back(line);
  }
  return lines;
}

// What a record says of its run: where and when, and whether it is whole.
std::string RecordHeading(const RecordFacts& facts) {
  std::string out = "What uninstalling " + facts.product + " " + facts.version +
                    " did, as its record tells it.\n"
                    "Run at " + facts.time + " by " + facts.account + " (process " +
                    std::to_string(facts.process) + "), from " + facts.hostDir +
                    ", with the library " + facts.library + ".\n";
  if (facts.cutInLine)
    out += "INCOMPLETE: the record stops inside line " + std::to_string(facts.lines + 1) +
           " (a write failed): it is true up to line " + std::to_string(facts.lines) + ".\n";
  else if (!facts.ended)
    out += "INCOMPLETE: the record stops after line " + std::to_string(facts.lines) +
           " without its end line (the pass stopped, or a write failed): it is true up to "
           "there.\n";
  else if (!facts.complete)
    out += "INCOMPLETE: the record's end line says the pass did not run to its end.\n";
  return out;
}

// The same counts whether from a capture or a record, so that a plan and
// the record of its run read alike; what only a capture knows is said
// beside them, and what a record cannot know is said once.
std::string TotalsLine(const Report& report) {
  const Totals& t = report.totals;
  size_t seen = 0;
  for (const Kept& kept : report.kept) seen += kept.seen ? 1 : 0;
  const bool captured = !report.record;
  std::string out = "\nTotals: " + Plural(t.files, "file", "files");
  if (captured) out += " (" + std::to_string(t.bytes) + " bytes)";
  out += ", " + Plural(t.directories, "directory", "directories") + ", " +
         Plural(t.links, "link", "links") + ", " + Plural(t.keys, "key", "keys");
  if (captured && t.valuesWithKeys > 0)
    out += " (holding " + Plural(t.valuesWithKeys, "value", "values") + ")";
  out += " and " + Plural(t.values, "value", "values") + " removed; " +
         Plural(t.changedValues, "value", "values") + " changed; " +
         Plural(report.kept.size(), "item stays", "items stay");
  if (seen > 0)
    out += " (" + std::to_string(seen) + " of them known only from this machine: a run's "
           "record does not name " + (seen == 1 ? "it" : "them") + ")";
  out += ".\n";
  if (!captured)
    out += "A record does not tell what only a look at the machine can: the files' sizes, "
           "the values in the keys removed, what a count held before, and what stays because "
           "something in it stays (a component's root, the shared area's directory, a help "
           "file's registration).\n";
  return out;
}

// A record's own totals when they are not what its lines add up to.
std::string CountsDiffer(const Report& report) {
  if (!report.record || !report.record->counts) return "";
  const PassCounts& own = *report.record->counts;
  const Totals& t = report.totals;
  if (own.files == t.files && own.directories == t.directories && own.links == t.links &&
      own.keys == t.keys && own.values == t.values && own.changedValues == t.changedValues)
    return "";
  return "The record's end line counts otherwise: " + Plural(own.files, "file", "files") + ", " +
         Plural(own.directories, "directory", "directories") + ", " +
         Plural(own.links, "link", "links") + ", " + Plural(own.keys, "key", "keys") + ", " +
         Plural(own.values, "value", "values") + " removed; " +
         Plural(own.changedValues, "value", "values") + " changed.\n";
}

}  // namespace

std::string FormatText(const Report& report, bool all) {
  std::string out =
      report.record ? RecordHeading(*report.record)
                    : "What uninstalling Quillforge 3.0 would do on this machine, for this "
                      "account.\nNothing has been changed.\n";
  for (const StepTitle& title : kTitles) {
    out += "\n" + std::string(title.title);
    if (title.step == Step::Gate) out += report.gatePasses ? ": passes" : ": refuses";
    out += "\n";
    const std::string indent = Indented(title.step) ? "       " : "    ";
    for (const Note& note : report.notes)
      if (note.step == title.step) out += indent + "(" + note.text + ")\n";
    // The step's outcome as the pass decided it; a decision about a single
    // entry is told with the entry, among what stays.
    for (const Reason& reason : report.reasons)
      if (reason.step == title.step && qf::RowOf(reason.decision).subject != qf::Subject::Entry)
        out += indent + "decided  " + reason.why + "\n";
    if (title.step == Step::Gate && !report.gatePasses) {
      out += indent + "two message boxes, then nothing is removed:\n";
      for (const Box& box : report.boxes) {
        std::string text = box.text;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        out += indent + "  [" + box.caption + "] " + text + "\n";
      }
    }
    for (const std::string& line : Lines(report, title.step, all)) out += indent + line + "\n";
    for (const Kept& kept : report.kept)
      if (kept.step == title.step)
        out += indent + "stays    " + kept.path + Why(report, kept.reason, kept.lead) + "\n";
    if (title.step == Step::Companions) {
      for (const Call& call : report.calls)
        out += indent + "calls    " + call.library + " " + call.entry + "(\"" + call.argument +
               "\")\n";
    }
  }
  out += TotalsLine(report) + CountsDiffer(report);
  if (const auto& place = report.recordPlace)
    out += place->kept ? "\nRun record: kept, as a new file in " + place->dir + "\n"
                       : "\nRun record: not kept" + (place->dir.empty() ? "" : " in " + place->dir) +
                             ": " + place->why + "\n";
  if (report.underWine)
    out +=
        "\nUnder Wine a link to a file lists as a plain file and opens as its target, so "
        "the uninstall finds it is not what its listing showed and leaves it, as shown here; "
        "on Windows it is listed, and removed, as a link.\n";
  return out;
}

}  // namespace qfpreview
