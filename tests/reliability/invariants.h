// What an uninstall pass may do to the simulated machine, as one check.
//
// Capture() records, before the pass, everything the check needs: the
// current directory, every key and every file, and the set of things the pass
// owns (the per-user tree, and for each flagged component that may go its
// key, its directory tree and the help registrations of its files, the shared
// area's directory and key).  CheckInvariants() then reads the journal and
// the machine after the pass and lists every way the pass overstepped:
// - a handle left open, the current directory changed;
// - a key, value, file or directory deleted outside what the pass owns, or
//   anything deleted behind a link;
// - a value written other than a flagged component's "UseCount", a count
//   raised, lowered by more than one per pass, or stored in another type;
// - a message box other than the administrator gate's two;
// - a change the journal does not show (the simulation's own honesty).
// RunPassesAndCheck() adds the exact check: the end state must be the one
// the oracle (oracle.h) expects, in every part no injected failure hit.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "oracle.h"

namespace qf::reliability {

// A link made with sim::MakeLink.  The simulation cannot be asked where a
// link points, so whoever builds the machine tells the check.
struct Link {
  std::string path;    // as passed to sim::MakeLink
  std::string target;  // as passed to sim::MakeLink
  bool directory = false;
};

// A shared component as the pass will find it.
struct ComponentState {
  std::string name;      // "Data", "MSHelp" or "Image Files"
  std::string keyPath;   // "HKLM\Software\Halvern\Halvern Shared\<name>"
  bool exists = false;   // the key is there
  bool flagged = false;  // UseSharedFiles reads "TRUE" and its flag is readable
  bool countRaw = false;           // UseCount is present at all
  uint32_t countType = 0;
  std::string countBytes;
  std::optional<int64_t> count;    // as the pass can read it
  std::string tree;  // real path of its directory tree, "" when it has none
};

struct Snapshot {
  std::string cwd;
  std::vector<Link> links;
  // Real path of each link (as the journal would show it) and of its target.
  std::vector<std::pair<std::string, std::string>> realLinks;
  std::vector<std::string> setupProblems;

  std::vector<std::string> roots;  // drives and shares whose files are listed
  std::set<std::string> files;     // every path below them, folded
  std::set<std::string> keys;   // every key path ("HKLM\..."), folded

  bool installAdmin = false;
  std::vector<ComponentState> components;  // the three, in the pass's order
  std::string sharedDir;  // real path, "" when the pass cannot remove one
  bool sharedDirIsDirectory = false;

  MachineState state;  // for the oracle
  PartDirs dirs;       // each component's directory and the area's, as named and real
  // What no deletion may be or hold, by real path, with whose it is: every
  // recorded component's directory (by name), the area's ("area") and the
  // folders the system and the uninstall keep ("kept").
  std::vector<std::pair<std::string, std::string>> foreign;
  // Every other account's profile (ProfileList), real path: nothing at,
  // above or below one is ever deleted.
  std::vector<std::string> profiles;
  std::string windowsDir;  // real path: nothing at or below it may go

  // Where the passes checked begin in the journal and the decisions.
  size_t journalFrom = 0, decisionsFrom = 0;
  // Put in place by another process while the pass ran: its decisions need
  // not cover them (with everything below).
  std::vector<std::string> appeared;
};

// Takes the machine's state before the pass.  `links` must name every link
// on the machine, each by a path that does not run through another link.
Snapshot Capture(const std::vector<Link>& links = {});

// The named checks, each listing the ways the passes run since Capture()
// overstepped; empty when none.  `passes` is how many times
// UninstInitialize ran.
// Handles left open, the current directory changed, a set-up the check was
// not told of correctly.
std::vector<std::string> CheckHandlesAndDirectory(const Snapshot& before);
// Files, directories, keys and help registrations deleted outside what the
// pass owns, or behind a link.
std::vector<std::string> CheckDeletions(const Snapshot& before, int passes);
// Values written other than a flagged component's count.
std::vector<std::string> CheckWrites(const Snapshot& before);
// Boxes, beeps and calls outside the gate and the companion.
std::vector<std::string> CheckShown(const Snapshot& before, int passes);
// Counts raised, lowered by more than one a pass, or retyped.
std::vector<std::string> CheckCounts(const Snapshot& before, int passes);
// Changes that the journal does not show.
std::vector<std::string> CheckJournalShowsEveryChange(const Snapshot& before);
// What the passes could have removed and left: every file, directory and
// key of what they own that stays, and every help registration of a file
// they deleted, must be covered by a decision: one whose subject is it or,
// for a decision that leaves everything below alone (a tree or root left
// as it is, an entry changed or not listed, a gate refused), an ancestor.
// One that could not be deleted covers itself only: what it holds has
// decisions of its own.
std::vector<std::string> CheckStaysCovered(const Snapshot& before, int passes);

// All of the above.
std::vector<std::string> CheckInvariants(const Snapshot& before, int passes);

// The end state against the oracle's, in every part that no injected
// failure hit (all of it when none did).
std::vector<std::string> CheckAgainstOracle(const Snapshot& before, int passes);

// Runs UninstInitialize `passes` times and checks the invariants and the
// oracle: a result other than 0 is a violation too.
std::vector<std::string> RunPassesAndCheck(const Snapshot& before, int passes = 1);

// The real path that `path`, already resolved as the system resolves it,
// names once the links on the way are followed: all of them, or all but the
// last component.  "" when it cannot be resolved.  Exposed for tests.
std::string RealPath(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& links,
                     bool followLast);

}  // namespace qf::reliability
