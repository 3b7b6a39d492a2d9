// The report as one JSON document for tools.  Every text in it is UTF-8
// already (names as the pass carries them); the writer escapes control
// characters, and would replace a byte that is no UTF-8 rather than write
// an invalid document.
#include <nlohmann/json.hpp>

#include "common/decisions.h"
#include "common/schema.h"
#include "common/version.h"
#include "plan/plan_format.h"
#include "report/fields.h"
#include "report/report.h"

namespace qfpreview {
namespace {

using Json = nlohmann::ordered_json;

// The decision an item goes with: its name and its sentence.
void AddReason(const Report& report, size_t reason, Json* out,
               const std::string& lead = "") {
  if (reason == kNoReason) return;
  (*out)[field::kDecision] = qf::RowOf(report.reasons[reason].decision).name;
  (*out)[field::kWhy] = lead + report.reasons[reason].why;
}

// The bytes of a value in hexadecimal, as a plan carries a deleted value's.
std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
    hex.push_back(kHex[static_cast<unsigned char>(c) & 15]);
  }
  return hex;
}

// What a plan holds a change to (plan/plan_format.h): the identity of what
// goes, a deleted value's type and bytes, a count's value before.
void AddLock(const Change& change, Json* out) {
  namespace plan = qf::plan::field;
  if (const auto& id = change.identity)
    (*out)[plan::kIdentity] = {{plan::kVolume, id->volume}, {plan::kId, id->id},
                               {plan::kSize, id->size}, {plan::kLastWrite, id->lastWrite}};
  if (!change.was) return;
  if (change.op == Operation::DeleteValue) {
    (*out)[plan::kWas] = {{plan::kType, change.was->type}, {plan::kData, Hex(change.was->data)}};
  } else if (change.op == Operation::SetValue) {
    std::string text;
    if (change.dword)
      (*out)[plan::kWas] = DwordOf(change.was->data);
    else
      (*out)[plan::kWas] = qf::platform::ValueText(change.was->type, change.was->data, &text) ==
                                   qf::platform::kSuccess ? text : std::string();
  }
}

Json ChangeJson(const Report& report, const Change& change) {
  Json out = {{field::kOp, Spelling(change.op)}};
  const bool registry = change.op == Operation::DeleteKey || change.op == Operation::DeleteValue ||
                        change.op == Operation::SetValue;
  if (registry) out[field::kRoot] = qf::sim::RootName(change.root);
  out[field::kPath] = change.path;
  if (change.op == Operation::DeleteValue || change.op == Operation::SetValue)
    out[field::kName] = change.name;
  if (change.op == Operation::SetValue) {
    out[field::kType] = change.dword ? qf::platform::kRegDwordName : qf::platform::kRegSzName;
    if (change.dword)
      out[field::kData] = change.number;
    else
      out[field::kData] = change.text;
  }
  AddLock(change, &out);
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
              {"hostDir", facts.hostDir}, {field::kLines, facts.lines},
              {field::kEnded, facts.ended},
              {field::kComplete, facts.ended && facts.complete},
              {field::kCutInLine, facts.cutInLine}};
  if (facts.counts) out[field::kTotals] = CountsJson(*facts.counts);
  return out;
}

}  // namespace

std::string FormatJson(const Report& report) {
  Json out;
  // A prediction is a plan an administrator may hold the run to.
  if (report.planComputer)
    out[qf::plan::field::kPlan] = {{qf::plan::field::kFormatField, qf::plan::field::kFormat},
                                   {qf::plan::field::kProduct, qf::ProductKeyName},
                                   {qf::plan::field::kVersion, qf::VersionKeyName},
                                   {qf::plan::field::kLibrary, qf::FileVersion},
                                   {qf::plan::field::kComputer, *report.planComputer}};
  out[field::kGate] = report.gatePasses ? "passes" : "refuses";
  out[field::kBoxes] = Json::array();
  for (const Box& box : report.boxes)
    out[field::kBoxes].push_back({{field::kCaption, box.caption}, {field::kText, box.text}});
  out[field::kChanges] = Json::array();
  for (const Change& change : report.changes)
    out[field::kChanges].push_back(ChangeJson(report, change));
  out[field::kKept] = Json::array();
  for (const Kept& kept : report.kept) {
    Json item = {{field::kPath, kept.path}};
    AddReason(report, kept.reason, &item, kept.lead);
    out[field::kKept].push_back(item);
  }
  out[field::kCalls] = Json::array();
  for (const Call& call : report.calls)
    out[field::kCalls].push_back(
        {{field::kLibrary, call.library}, {field::kEntry, call.entry},
         {field::kArgument, call.argument}});
  out[field::kDecisions] = Json::array();
  for (const Reason& reason : report.reasons) {
    Json decision = {{field::kDecision, qf::RowOf(reason.decision).name},
                     {field::kSubject, reason.subject},
                     {field::kFirst, reason.first},
                     {field::kSecond, reason.second}};
    if (!reason.detail.empty()) decision[field::kDetail] = reason.detail;
    decision[field::kWhy] = reason.why;
    out[field::kDecisions].push_back(decision);
  }
  // Entries of the machine's lists that name no directory that can be told:
  // how many, and each with why, by the system's code.
  Json passedOver = {{"count", 0}, {"entries", Json::array()}};
  for (const Reason& reason : report.reasons) {
    if (reason.decision != qf::Decision::EntryPassedOver) continue;
    passedOver["count"] = passedOver["count"].get<int>() + 1;
    passedOver["entries"].push_back({{"entry", reason.detail}, {"code", reason.first}, {"why", qf::CodeText(reason.first)}});
  }
  out["passedOver"] = passedOver;
  out[field::kTotals] = TotalsJson(report);
  if (report.record) out[field::kRecord] = RecordJson(*report.record);
  if (const auto& place = report.recordPlace) {
    out[field::kRunRecord] = {{field::kKept, place->kept}, {field::kDir, place->dir}};
    if (!place->kept) out[field::kRunRecord][field::kWhy] = place->why;
  }
  return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace qfpreview
