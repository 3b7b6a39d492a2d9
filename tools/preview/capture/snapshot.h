// What the capture read on the real machine, besides what it gave the
// simulation: the values the pass will read, sizes, links, what is held open,
// where the companions were found.  The report reads these as facts; the
// reasons come from the pass itself (run/).  Names and paths are UTF-8.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "common/schema.h"

namespace qfpreview {

// One file-system entry as it was captured.
struct FileItem {
  std::string path;  // full path as the pass names it
  uint32_t attributes = 0;
  uint64_t size = 0;
  bool link = false;
  bool held = false;  // cannot be opened for deletion: in use, or access denied
};

// One registry key of a captured tree.
struct KeyItem {
  std::string path;  // with its root: "HKCU\Software\..."
  uint32_t values = 0;
  bool link = false;
};

// A value as the pass reads it: its type and exactly what it gets, the text
// as UTF-8 for a count stored as text, the bytes for any other value.
struct ValueRead {
  uint32_t type = 0;
  std::string data;
};

// One of the installation's components (qf::ComponentFlags, same order).
struct ComponentFacts {
  bool record = false;               // its key below the shared area is there
  std::optional<ValueRead> useCount;  // none: absent, too long, or no text the pass reads
  std::optional<std::string> rootDir;  // RootDir as the pass reads it
  std::string root;  // the directory RootDir names, under its long names, when below a root
};

struct Snapshot {
  bool underWine = false;
  long profileProbe = 0;  // opening HKEY_USERS\.Default for writing
  bool product = false;   // HKLM's ProductVersionKey is there
  bool userTree = false;  // HKCU's UserSettingsKey is there
  ComponentFacts components[qf::ComponentCount];
  bool sharedKey = false;
  std::optional<std::string> sharedFilesDir;  // as the pass reads it
  std::string area;  // the directory SharedFilesDir names, when below a root
  std::optional<std::string> recordDir;  // the policy's UninstallRecord, as the pass reads it
  std::optional<std::string> planPath;   // the policy's UninstallPlan, as the pass reads it
  // Keyed by qf::FoldName of the path, so a directory comes right before
  // what it holds.
  std::map<std::string, FileItem> files;
  std::map<std::string, KeyItem> keys;
  std::set<std::string> helpRegistrations;        // folded value names
  std::map<std::string, std::string> companions;  // library -> found path, or ""
  // Roots that lie behind a link read in another tree, which is never
  // followed: folded root -> the link.
  std::map<std::string, std::string> rootsBehindLinks;
};

}  // namespace qfpreview
