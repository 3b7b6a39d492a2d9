// What the uninstall pass did on the simulated copy of this machine, and
// why, as the report tells it: the changes from the pass's journal, what
// stays, each with the decision the pass reported for it, and facts of the
// capture as notes.  Written for people (text) and for tools (JSON), UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/snapshot.h"
#include "common/decisions.h"
#include "record/record.h"
#include "record/run_record.h"
#include "run/run.h"

namespace qfpreview {

// Steps of the pass, in its order; every item of the report belongs to one.
enum class Step {
  Gate,
  UserSettings,
  Components,
  Data,
  MSHelp,
  ImageFiles,
  SharedArea,
  Companions,
};

// What a change does to its item.
enum class Operation { DeleteKey, DeleteValue, SetValue, DeleteFile, RemoveDirectory, RemoveLink };
// As both reports spell it, the record's own names (qf::record::op).
const char* Spelling(Operation op);
// A REG_DWORD's number from its bytes (little-endian; fewer bytes read as 0).
uint32_t DwordOf(const std::string& data);

// One decision the pass reported, told for people.
struct Reason {
  qf::Decision decision = {};
  Step step = Step::Gate;
  std::string subject;
  int64_t first = 0, second = 0;
  std::string detail;  // what else the decision concerns, "" for most
  std::string why;
};

// Index into Report::reasons of the decision an item goes with; none for an
// item the pass made before it decided anything.
constexpr size_t kNoReason = static_cast<size_t>(-1);

struct Change {
  Step step = Step::UserSettings;
  Operation op = Operation::DeleteKey;
  qf::platform::Root root = qf::platform::Root::LocalMachine;  // registry changes
  std::string path;  // a full path; for registry changes below the root
  std::string name;  // value changes
  // set-value: a REG_DWORD `number`, or REG_SZ `text`; `before` shows the
  // value the capture read there.
  bool dword = false;
  uint32_t number = 0;
  std::string text;
  std::string before;
  uint64_t bytes = 0;   // delete-file: the file's size
  uint64_t values = 0;  // delete-key: the values that go with the key
  size_t reason = kNoReason;
  // What a plan holds the change to (Action's), from a prediction only.
  std::optional<qf::platform::FileIdentity> identity;
  std::optional<qf::sim::Value> was;
};

// Something the pass reaches or names that stays.
struct Kept {
  Step step = Step::UserSettings;
  std::string path;
  size_t reason = kNoReason;
  // Said before the decision's sentence when the item stays because another
  // one does ("its help file stays: ").
  std::string lead;
  // Known only from a look at the machine: a run's record does not name it
  // (the directory around what stayed, a help file's registration).
  bool seen = false;
};

// A fact of the capture, for people: what was read, what is not there.
struct Note {
  Step step = Step::Gate;
  std::string text;
};

struct Call {
  std::string library;
  std::string entry;
  std::string argument;
};

struct Box {
  std::string caption;
  std::string text;
};

// The counts a run's record gives, and what only the capture knows: the
// files' sizes and the values that go with the keys deleted.
struct Totals : PassCounts {
  uint64_t bytes = 0, valuesWithKeys = 0;
};

struct Report {
  bool gatePasses = true;
  bool underWine = false;
  std::vector<Box> boxes;
  std::vector<Reason> reasons;  // in the pass's order
  std::vector<Change> changes;  // in the pass's order
  std::vector<Kept> kept;
  std::vector<Note> notes;
  std::vector<Call> calls;
  Totals totals;
  // A run told from its record (no capture: no sizes, no notes).
  std::optional<RecordFacts> record;
  // A prediction: whether and where the run's record would be kept.
  std::optional<qf::record::RecordPlace> recordPlace;
  // A prediction: the computer it was made for, which makes it a plan.
  std::optional<std::string> planComputer;
};

Report BuildReport(const Snapshot& snapshot, const PassRecord& pass);
// The report of a run from its record, as far as the record goes.
Report BuildReport(const RunRecord& record);

// The report for people; `all` lists every item instead of a line per
// directory and per key tree.
std::string FormatText(const Report& report, bool all);
// The report as one JSON document.
std::string FormatJson(const Report& report);

}  // namespace qfpreview
