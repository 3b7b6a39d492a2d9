// The names of the preview's JSON document, which the report writes and
// --compare reads back (a plan is a saved document, and a run's record is
// told in the same shape): each is spelt here only.
#pragma once

namespace qfpreview::field {

// The document's parts.
inline constexpr char kGate[] = "gate";
inline constexpr char kBoxes[] = "boxes";
inline constexpr char kChanges[] = "changes";
inline constexpr char kKept[] = "kept";
inline constexpr char kCalls[] = "calls";
inline constexpr char kDecisions[] = "decisions";
inline constexpr char kTotals[] = "totals";
inline constexpr char kRecord[] = "record";
// Whether the run will keep its record (kKept), in which directory, and why not.
inline constexpr char kRunRecord[] = "runRecord";
inline constexpr char kDir[] = "dir";

// A change, and an item that stays.
inline constexpr char kOp[] = "op";
inline constexpr char kRoot[] = "root";
inline constexpr char kPath[] = "path";
inline constexpr char kName[] = "name";
inline constexpr char kType[] = "type";
inline constexpr char kData[] = "data";
// What an item went with: a decision's name and its sentence.
inline constexpr char kDecision[] = "decision";
inline constexpr char kWhy[] = "why";

// A decision.
inline constexpr char kSubject[] = "subject";
inline constexpr char kFirst[] = "first";
inline constexpr char kSecond[] = "second";
inline constexpr char kDetail[] = "detail";

// A call, and a box.
inline constexpr char kLibrary[] = "library";
inline constexpr char kEntry[] = "entry";
inline constexpr char kArgument[] = "argument";
inline constexpr char kCaption[] = "caption";
inline constexpr char kText[] = "text";

// What a record tells of itself.
inline constexpr char kLines[] = "lines";
inline constexpr char kEnded[] = "ended";
inline constexpr char kComplete[] = "complete";
inline constexpr char kCutInLine[] = "cutInLine";

}  // namespace qfpreview::field
