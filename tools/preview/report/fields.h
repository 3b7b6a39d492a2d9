// The names of the preview's JSON document, which the report writes and
// --compare reads back (a plan is a saved document, and a run's record is
// told in the same shape): each is spelt here, or, for what a plan holds
// the run to, where the library reads it back (plan/plan_format.h).
#pragma once

#include "plan/plan_format.h"

namespace qfpreview::field {

using qf::plan::field::kArgument;
using qf::plan::field::kCalls;
using qf::plan::field::kChanges;
using qf::plan::field::kData;
using qf::plan::field::kEntry;
using qf::plan::field::kLibrary;
using qf::plan::field::kName;
using qf::plan::field::kOp;
using qf::plan::field::kPath;
using qf::plan::field::kRoot;
using qf::plan::field::kType;

// The document's parts.
inline constexpr char kGate[] = "gate";
inline constexpr char kBoxes[] = "boxes";
inline constexpr char kKept[] = "kept";
inline constexpr char kDecisions[] = "decisions";
inline constexpr char kTotals[] = "totals";
inline constexpr char kRecord[] = "record";
// Whether the run will keep its record (kKept), in which directory, and why not.
inline constexpr char kRunRecord[] = "runRecord";
inline constexpr char kDir[] = "dir";

// What an item went with: a decision's name and its sentence.
inline constexpr char kDecision[] = "decision";
inline constexpr char kWhy[] = "why";

// A decision.
inline constexpr char kSubject[] = "subject";
inline constexpr char kFirst[] = "first";
inline constexpr char kSecond[] = "second";
inline constexpr char kDetail[] = "detail";

// A call (the names above), and a box.
inline constexpr char kCaption[] = "caption";
inline constexpr char kText[] = "text";

// What a record tells of itself.
inline constexpr char kLines[] = "lines";
inline constexpr char kEnded[] = "ended";
inline constexpr char kComplete[] = "complete";
inline constexpr char kCutInLine[] = "cutInLine";

}  // namespace qfpreview::field
