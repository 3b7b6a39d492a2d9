// Copies what the uninstall pass reads from the real machine into the
// simulated Windows, reading the real machine only as the pass would: the
// same keys and value capacities, names through the wide calls, converted
// exactly, links never followed.  Nothing here writes to the real machine;
// the program imports no call that could.
#pragma once

#include <string>

#include "capture/snapshot.h"

namespace qfpreview {

// Where the uninstaller host runs from: the directory that the library's
// loads search first, the host's current directory (the preview's own), and
// the library's directory (by default the preview's, which is shipped
// beside it).
struct HostPlace {
  std::string dir;
  std::string currentDir;
  std::string libraryDir;
};

// Resets the simulation and fills it from this machine.  Throws only when
// memory runs out.
Snapshot Capture(const HostPlace& host);

// Names the plan at `path` in the simulation's policy, as an administrator
// would before the uninstall, and copies it there: the pass then runs held
// to it (qfpreview --against).
void HoldToPlan(const std::string& path);

}  // namespace qfpreview
