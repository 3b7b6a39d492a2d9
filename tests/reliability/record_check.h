// The run record kept on the simulated machine, held to the simulation's
// own journal of the same run: the record may stop early (a write failed),
// but up to where it stops, every line is what the journal shows, in order.
#pragma once

#include <string>
#include <vector>

namespace qf::reliability {

// Where the sweeps keep records: a drive of its own, outside every tree the
// pass may touch, so the record changes nothing the checks look at.
inline const std::string kRecordDir = "R:\\Records";

// Switches records on for the machine as it is now: the policy naming
// `dir`, made when it is not there.
void KeepRecords(const std::string& dir = kRecordDir);

// What a run leaves the record to be.
struct RecordRun {
  bool failuresHit = false;  // a failure may have ended the record early
  bool passEnded = true;     // else its last line, when there, must say so
  bool diedAfterSteps = false;  // the process died: every step ended before is there
  // Another process moved `movedFrom` to `movedTo` during the run: the
  // record names what was below it as found, the journal as it went.
  std::string movedFrom, movedTo;
  std::string refusedIn;  // a place the pass may remove or empty: no record below it
};

// Every way the record in kRecordDir differs from the journal of the run:
// a line that is no JSON or not the journal's next, a last line missing
// although nothing failed or saying the wrong end, a step that ended but is
// not there, more than one record.
std::vector<std::string> CheckRecord(const RecordRun& run);

}  // namespace qf::reliability
