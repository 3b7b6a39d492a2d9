// The report as one JSON document for tools.  Every text in it is UTF-8
// already (names as the pass carries them); the writer escapes control
// characters, and would replace a byte that is no UTF-8 rather than write
// an invalid document.
#include <nlohmann/json.hpp>

#include "common/decisions.h"
#include "report/report.h"

namespace qfpreview {
namespace {

using Json = nlohmann::ordered_json;

// The decision an item goes with: its name and its sentence.
void AddReason(const Report& report, size_t reason, Json* out,
               const std::string& lead = "") {
  if (reason == kNoReason) return;
  (*out)["decision"] = qf::RowOf(report.reasons[reason].decision).name;
  (*out)["why"] = lead + report.reasons[reason].why;
}

Json ChangeJson(const Report& report, const Change& change) {
  Json out = {{"op", Spelling(change.op)}};
  const bool registry = change.op == Operation::DeleteKey || change.op == Operation::DeleteValue ||
                        change.op == Operation::SetValue;
  if (registry) out["root"] = qf::sim::RootName(change.root);
  out["path"] = change.path;
  if (change.op == Operation::DeleteValue || change.op == Operation::SetValue)
    out["name"] = change.name;
  if (change.op == Operation::SetValue) {
    out["type"] = change.dword ? "REG_DWORD" : "REG_SZ";
    if (change.dword)
      out["data"] = change.number;
    else
      out["data"] = change.text;
  }
  AddReason(report, change.reason, &out);
  return out;
}

Json CountsJson(const PassCounts& counts) {
  return {{"files", counts.files},   {"directories", counts.directories},
          {"links", counts.links},   {"keys", counts.keys},
          {"values", counts.values}, {"changedValues", counts.changedValues}};
}

// The six counts as a run's record gives them; from a capture also the
// sizes and the values that go with the keys deleted.
Json TotalsJson(const Report& report) {
  Json out = CountsJson(report.totals);
  if (report.record) return out;
  out["bytes"] = report.totals.bytes;
  out["valuesWithKeys"] = report.totals.valuesWithKeys;
  return out;
}

Json RecordJson(const RecordFacts& facts) {
  Json out = {{"product", facts.product}, {"version", facts.version},
              {"library", facts.library}, {"time", facts.time},
              {"process", facts.process}, {"account", facts.account},
              {"hostDir", facts.hostDir}, {"lines", facts.lines},
              {"ended", facts.ended},     {"complete", facts.ended && facts.complete},
              {"cutInLine", facts.cutInLine}};
  if (facts.counts) out["totals"] = CountsJson(*facts.counts);
  return out;
}

}  // namespace

std::string FormatJson(const Report& report) {
  Json out;
  out["gate"] = report.gatePasses ? "passes" : "refuses";
  out["boxes"] = Json::array();
  for (const Box& box : report.boxes)
    out["boxes"].push_back({{"caption", box.caption}, {"text", box.text}});
  out["changes"] = Json::array();
  for (const Change& change : report.changes) out["changes"].push_back(ChangeJson(report, change));
  out["kept"] = Json::array();
  for (const Kept& kept : report.kept) {
    Json item = {{"path", kept.path}};
    AddReason(report, kept.reason, &item, kept.lead);
    out["kept"].push_back(item);
  }
  out["calls"] = Json::array();
  for (const Call& call : report.calls)
    out["calls"].push_back(
        {{"library", call.library}, {"entry", call.entry}, {"argument", call.argument}});
  out["decisions"] = Json::array();
  for (const Reason& reason : report.reasons) {
    Json decision = {{"decision", qf::RowOf(reason.decision).name},
                     {"subject", reason.subject},
                     {"first", reason.first},
                     {"second", reason.second}};
    if (!reason.detail.empty()) decision["detail"] = reason.detail;
    decision["why"] = reason.why;
    out["decisions"].push_back(decision);
  }
  out["totals"] = TotalsJson(report);
  if (report.record) out["record"] = RecordJson(*report.record);
  if (const auto& place = report.recordPlace) {
    out["runRecord"] = {{"kept", place->kept}, {"dir", place->dir}};
    if (!place->kept) out["runRecord"]["why"] = place->why;
  }
  return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace qfpreview
