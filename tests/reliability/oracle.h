// The exact end state of an uninstall pass, modelled apart from the logic.
//
// ExpectedState() takes the machine as it was before the pass and plays the
// documented behaviour over it: the administrator gate, the per-user tree,
// each flagged component's count or removal with its help registrations, the
// shared area and the companion call.  A run without injected failures must
// end in exactly that state.  With failures, CompareStates() skips the parts
// of the state that a failed call may have changed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim.h"

namespace qf::reliability {

struct Link;

struct FileItem {
  std::string path;         // real path, as created
  uint32_t attributes = 0;  // as the listing gives them
  std::string target;       // links: the target, resolved
};

struct KeyItem {
  std::string path;  // "HKLM\..." as created
  bool canOpen = true;
  bool canWrite = true;
  std::map<std::string, std::pair<std::string, sim::Value>> values;  // by folded name
};

// Everything a pass can change, by folded path.
struct MachineState {
  std::map<std::string, FileItem> files;  // below the drives and shares looked at
  std::set<std::string> drives;           // "c:", "\\server\share" that exist
  std::map<std::string, KeyItem> keys;
  std::vector<std::string> shown;  // boxes, beeps and companion calls, in order
  bool companion = false;          // RWUNINST.DLL has its entry
};

// "UseCount" as this product reads it: a REG_DWORD of exactly four bytes as
// that number, any other type as decimal text (the standard text-to-integer
// reading, wrapping on overflow); nothing for a REG_DWORD of another length.
std::optional<int32_t> UseCountOf(const sim::Value& value);

// The machine now, over the drives and shares `roots` ("C:\", ...).
// `links` must name every link there.
MachineState CaptureState(const std::vector<std::string>& roots, const std::vector<Link>& links);

// The state `passes` fault-free passes leave, started in `cwd`.
MachineState ExpectedState(const MachineState& before, const std::string& cwd, int passes);

// The keys below `path` as the pass sees them: on 64-bit Windows,
// HKLM\Software holds the 32-bit view's own keys and those both views share.
std::vector<std::string> SubkeysSeen(platform::Root root, const std::string& path);

// The folders no root may be or hold, as the pass learns them: the kept
// folders, then the machine's own as the 64-bit registry view records them.
std::vector<std::string> KeptFolderPaths();
// Whether the pass can read the machine's own folders: no key on the way
// to them is a link or closed to it, and each value it finds is text.
bool MachineFoldersKnown();

// Where each part of the state lives on disk: for "Data", "MSHelp", "Image
// Files" and "area", their directory as named and as really reached.
using PartDirs = std::map<std::string, std::vector<std::string>>;

// Every difference between the two states, as lines; parts named in
// `suspect` are skipped: "gate", "user", "component:<name>", "area",
// "companion", or "all" (everything but what no pass may ever change).
std::vector<std::string> CompareStates(const MachineState& expected, const MachineState& actual,
                                       const PartDirs& dirs, const std::set<std::string>& suspect = {});

// The parts that the injected failures which hit a call may have changed,
// besides `also` (parts the oracle leaves to an invariant), with every part
// that changes with one of them.
std::set<std::string> SuspectParts(const PartDirs& dirs, std::set<std::string> also = {});

}  // namespace qf::reliability
