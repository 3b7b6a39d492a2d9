// Small helpers of the reliability checks and their tests, in one place.
#pragma once

#include <string>
#include <vector>

#include "common/paths.h"
#include "common/schema.h"
#include "platform/platform.h"
#include "common/case_fold.h"
#include "platform/sim/sim.h"

namespace qf::reliability {

// Names and paths compare as Windows compares them.
inline std::string Fold(const std::string& text) { return FoldName(text); }

// (Without building either key: the sweeps ask this millions of times.)
inline bool SameFold(const std::string& a, const std::string& b) { return SameNameFolded(a, b); }

// Whether `path` lies strictly below `dir` (both any case): whether a part
// of `path` up to one of its separators is `dir`, and more follows.  Only
// "\" folds to "\", so the separators of the folded path are these.
inline bool Below(const std::string& path, const std::string& dir) {
  if (dir.empty()) return false;
  const std::string_view parent(dir.data(), dir.size() - (dir.back() == '\\' ? 1 : 0));
  for (size_t k = path.find('\\'); k != std::string::npos && k + 1 < path.size(); k = path.find('\\', k + 1)) {
    if (SameNameFolded(std::string_view(path).substr(0, k), parent)) return true;
  }
  return false;
}

inline bool AtOrBelow(const std::string& path, const std::string& dir) {
  return !dir.empty() && (SameFold(path, dir) || Below(path, dir));
}

inline std::string Hklm(const std::string& path) { return "HKLM\\" + path; }

// A value's bytes taken as text: up to the first NUL.
inline std::string TextOf(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// "C:\" or "\\server\share\" of a resolved path; "" when it has none.
inline std::string RootOf(const std::string& resolved) {
  if (resolved.size() >= 2 && resolved[1] == ':') return resolved.substr(0, 2) + "\\";
  if (resolved.size() < 3 || resolved[0] != '\\') return "";
  const size_t share = resolved.find('\\', 2);
  if (share == std::string::npos) return "";
  const size_t end = resolved.find('\\', share + 1);
  return (end == std::string::npos ? resolved : resolved.substr(0, end)) + "\\";
}

// The directory a registry value names, as the system resolves it, when it
// is absolute and below a drive or share root; "" otherwise.
inline std::string OwnedForm(const std::string& text) {
  const std::string resolved = ResolveAbsolutePath(text);
  if (resolved.empty()) return "";
  const std::string root = RootOf(resolved);
  if (root.empty() || resolved.find_first_not_of('\\', root.size()) == std::string::npos) return "";
  return resolved;
}

// The path of the node `path` names, without a trailing separator.
inline std::string NodePath(const std::string& path) {
  std::string resolved = ResolveAbsolutePath(path);
  if (resolved.size() > 3 && resolved.back() == '\\' && resolved != RootOf(resolved)) resolved.pop_back();
  return resolved;
}

// A resolved path in a form the simulation takes to name that very node: a
// last name ending in a blank would lose it if the path were resolved again,
// so the path is given as a directory's ("name \"); a link as the last name
// is still not followed.
inline std::string Addressable(const std::string& path) {
  return !path.empty() && path.back() != '\\' ? path + "\\" : path;
}

// Violations, one a line, for test expectations.
inline std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

// Flags "Data" for release with `count` and `rootDir`.
inline void FlagData(const std::string& rootDir, const std::string& count = "1") {
  using platform::Root;
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, "TRUE");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, qf::UseSharedData, "1");
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent), qf::UseCount, count);
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent), qf::RootDir, rootDir);
}

// A sweep's arguments: the file its decisions go to, "--shard i/N" (this
// process makes the runs numbered i, i + N, ... of the sweep's, from 1),
// "--seed N" (for the runs chosen at random) and "--all" (every run, none left
// out as the same as another).
struct SweepArgs {
  const char* decisions = nullptr;
  uint64_t shard = 1, shards = 1, seed = 0;
  bool seeded = false, all = false;
  bool Mine(uint64_t run) const { return run % shards == shard % shards; }
};
inline SweepArgs ParseSweepArgs(int argc, char** argv) {
  SweepArgs a;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i], next = i + 1 < argc ? argv[i + 1] : "0/1";
    if (arg == "--shard") a.shard = std::stoull(next), a.shards = std::stoull(next.substr(next.find('/') + 1)), ++i;
    else if (arg == "--seed") a.seed = std::stoull(next), a.seeded = true, ++i;
    else if (arg == "--all") a.all = true;
    else a.decisions = argv[i];
  }
  return a;
}

}  // namespace qf::reliability
