// A rich installation on the simulated machine, as a real one can look when
// Quillforge 3.0 is uninstalled: the three shared components flagged, nested
// trees, help registrations, a read-only file, links, a per-user tree, the
// companion libraries and an administrator's installation marker.
#pragma once

#include <string>
#include <vector>

#include "invariants.h"

namespace qf::reliability {

inline const std::string kArea = "C:\\Program Files\\Halvern Shared";
inline const std::string kDataRoot = kArea + "\\Data";
inline const std::string kHelpRoot = "C:\\ProgramData\\Halvern\\Help\\Quillforge";
inline const std::string kImageRoot = kArea + "\\Image Files";
inline const std::string kHostDir = "C:\\Program Files\\Quillforge";

// Builds the installation on a freshly reset machine and returns its links.
// With `lastHolder`, Quillforge holds the last share of every component, so
// the whole shared area goes; otherwise "Data" is still held by others (its
// count is lowered) and another product's component stays in the area.
std::vector<Link> BuildSample(bool lastHolder, bool wow64 = false);

// The last holder's sample with records that the pass leaves alone or
// cannot follow: "Data" names a relative RootDir, "MSHelp" has a REG_DWORD
// count of two bytes, and the directory "Image Files" names is not there.
std::vector<Link> BuildOddSample();

// The last holder's sample whose "Image Files" record is a registry link to
// another product's record of the same name, which must stay as it is, and
// whose "Data" holds a directory whose name cannot be carried exactly.
std::vector<Link> BuildLinkedSample();

// The last holder's sample with roots that are the area's directory, the
// system's Windows folder and one holding another product's component; with
// `keptArea` instead, a SharedFilesDir that is the Public Documents folder.
std::vector<Link> BuildForeignSample(bool keptArea);
// Last holders whose roots hold what the system says is someone else's.
std::vector<Link> BuildProgramsSample();

// The last holder's sample on 64-bit Windows (sim::SetWow64), its roots the
// machine's own Common Files and the (x86) Program Files, each written
// another way, which the known folders a 32-bit process gets do not name.
std::vector<Link> BuildWow64Sample();

}  // namespace qf::reliability
