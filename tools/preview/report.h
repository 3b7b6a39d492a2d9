// What the uninstall pass did on the simulated copy of this machine, read
// from the simulation's journal and end state and explained item by item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture.h"
#include "pass_reads.h"

namespace qfpreview {

struct Change {
  Step step = Step::UserSettings;
  // "delete-key", "delete-value", "set-value", "delete-file",
  // "remove-directory" or "remove-link".
  std::string op;
  std::string root;  // registry changes: "HKCU" or "HKLM"
  std::string path;  // a full path; for registry changes below the root
  std::string name;  // value changes
  // set-value: "REG_SZ" with `text`, or "REG_DWORD" with `number`; `before`
  // shows the value it replaces.
  std::string type;
  std::string text;
  uint32_t number = 0;
  std::string before;
  uint64_t bytes = 0;   // delete-file: the file's size
  uint64_t values = 0;  // delete-key: the values that go with the key
};

// Something the pass reaches or names that stays, and why.
struct Kept {
  Step step = Step::UserSettings;
  std::string path;
  std::string why;
};

// Facts of a step for people: what was looked at and found.
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

struct Totals {
  uint64_t files = 0, bytes = 0, directories = 0, links = 0, keys = 0, values = 0,
           changedValues = 0;
};

struct Report {
  bool gatePasses = true;
  bool underWine = false;
  std::vector<Box> boxes;
  std::vector<Change> changes;  // in the pass's order
  std::vector<Kept> kept;
  std::vector<Note> notes;
  std::vector<Call> calls;
  Totals totals;
};

// Runs the uninstall pass on the captured simulation and reports what it did.
Report RunPreview(const Snapshot& snapshot);

// The report for people; `all` lists every item instead of a line per
// directory and per key tree.
std::string FormatText(const Report& report, bool all);
// The report as one JSON document (UTF-8).
std::string FormatJson(const Report& report);

// Text in the ANSI code page, as the pass's calls name things, in UTF-8.
std::string Utf8(const std::string& ansi);

}  // namespace qfpreview
