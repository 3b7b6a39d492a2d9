#include "record_check.h"

#include <nlohmann/json.hpp>

#include "common/case_fold.h"
#include "common/schema.h"
#include "platform/sim/sim.h"

namespace qf::reliability {
namespace {

using Json = nlohmann::json;

// The journal of changes and shown things as the record tells them; the
// libraries' loads, lookups and releases are no changes and are not told.
std::vector<sim::JournalEntry> Told() {
  std::vector<sim::JournalEntry> told;
  for (const sim::JournalEntry& e : sim::Journal()) {
    if (e.kind != sim::Change::LoadLibrary && e.kind != sim::Change::Lookup &&
        e.kind != sim::Change::FreeLibrary)
      told.push_back(e);
  }
  return told;
}

// A text as a record holds it: bytes that are no UTF-8 shown as U+FFFD.
std::string Written(const std::string& text) {
  return Json::parse(Json(text).dump(-1, ' ', false, Json::error_handler_t::replace))
      .get<std::string>();
}

bool Same(const Json& line, const char* field, const std::string& text) {
  return line.contains(field) && line[field].is_string() &&
         SameNameFolded(line[field].get<std::string>(), text);
}

std::string KeyOf(const Json& line) {
  return line.value("root", "") + "\\" + line.value("path", "");
}

// A file's path as the journal gives it, for the record's path `path`.
std::string Moved(const std::string& path, const std::string& from, const std::string& to) {
  if (from.empty() || path.size() <= from.size() || !SameNameFolded(path.substr(0, from.size()), from) ||
      path[from.size()] != '\\')
    return path;
  return to + path.substr(from.size());
}

// Whether a change, call, beep or box line tells the journal entry `e`.
bool Tells(const Json& line, const sim::JournalEntry& e, const std::string& from,
           const std::string& to) {
  const std::string kind = line.value("line", "");
  const std::string op = line.value("op", "");
  switch (e.kind) {
    case sim::Change::RegDeleteKey:
      return op == "delete-key" && SameNameFolded(KeyOf(line), e.path);
    case sim::Change::RegSetValue:
    case sim::Change::RegDeleteValue:
      return op == (e.kind == sim::Change::RegSetValue ? "set-value" : "delete-value") &&
             SameNameFolded(KeyOf(line), e.path) && Same(line, "name", e.detail);
    case sim::Change::DeleteFile:
    case sim::Change::RemoveDirectory:
      return (op == "remove-link" ||
              op == (e.kind == sim::Change::DeleteFile ? "delete-file" : "remove-directory")) &&
             (Same(line, "path", e.path) ||
              SameNameFolded(Moved(line.value("path", ""), from, to), e.path));
    case sim::Change::Beep: return kind == "beep";
    case sim::Change::MessageBox:
      return kind == "box" && line.value("caption", "?") == e.path &&
             line.value("text", "") == e.detail && line.value("icon", 0u) == e.flags;
    case sim::Change::Call:
      return kind == "call" &&
             line.value("library", "") + "!" + line.value("entry", "") == e.path &&
             line.value("argument", "") == e.detail;
    default: return false;
  }
}

}  // namespace

void KeepRecords() {
  sim::MakeDir(kRecordDir);
  sim::SetText(platform::Root::LocalMachine, PolicyKey, UninstallRecord, kRecordDir);
}

std::vector<std::string> CheckRecord(bool failuresHit, const std::string& movedFrom,
                                     const std::string& movedTo) {
  std::vector<std::string> bad;
  const std::vector<std::string> files = sim::Tree(kRecordDir);
  if (files.size() > 1) bad.push_back("more than one record in " + kRecordDir);
  if (files.empty()) {
    if (!failuresHit) bad.push_back("no record although nothing failed");
    return bad;
  }
  const std::string text = sim::FileContents(files[0]).value_or("");
  const std::vector<sim::JournalEntry> told = Told();
  const std::vector<sim::DecisionEntry>& decisions = sim::Decisions();
  size_t change = 0, decision = 0, at = 0, lines = 0;
  bool ended = false;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', at)) {
    const Json line = Json::parse(text.substr(at, end - at), nullptr, /*allow_exceptions=*/false);
    const std::string where = files[0] + " line " + std::to_string(++lines) + ": ";
    at = end + 1;
    const std::string kind = line.is_object() ? line.value("line", "") : "";
    if (kind == "start" || kind == "end") {
      ended = kind == "end";
      // Failures skip work, never the rest of the pass: it always ends.
      if (ended && !line.value("complete", false))
        bad.push_back(where + "the pass ran to its end, but the record says it did not");
      continue;
    }
    if (kind == "decision") {
      const sim::DecisionEntry* d = decision < decisions.size() ? &decisions[decision++] : nullptr;
      if (!d || line.value("decision", "") != RowOf(d->decision).name ||
          line.value("subject", "") != Written(d->subject) ||
          line.value("first", int64_t{0}) != d->first ||
          line.value("second", int64_t{0}) != d->second ||
          line.value("why", "") !=
              Written(DecisionSentence(d->decision, d->subject, d->first, d->second)))
        bad.push_back(where + "not the decision the pass reported next");
      continue;
    }
    if (change >= told.size() || !Tells(line, told[change++], movedFrom, movedTo))
      bad.push_back(where + "not the change the journal shows next");
  }
  if (at != text.size()) bad.push_back(files[0] + ": a line without its end");
  if (!failuresHit && !ended) bad.push_back(files[0] + ": no last line although nothing failed");
  if (ended && (change != told.size() || decision != decisions.size()))
    bad.push_back(files[0] + ": complete, but the journal shows more than it tells");
  return bad;
}

}  // namespace qf::reliability
