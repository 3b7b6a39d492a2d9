// What the uninstall pass finds on the simulated machine before it runs,
// read as the pass reads it, for explaining what it did.
#pragma once

#include <optional>
#include <string>

#include "pass_reads.h"
#include "platform/sim/sim.h"

namespace qfpreview {

// A value as the pass reads it: present and within `capacity`.
std::optional<qf::sim::Value> Read(qf::platform::Root root, const std::string& key,
                                   const char* name, uint32_t capacity);
// The bytes up to the first NUL.
std::string TextOf(const std::string& data);
uint32_t DwordOf(const std::string& data);
// A count as people read it: "2" for text, 2 for a number.
std::string Shown(const qf::sim::Value& value);
bool StartsWith(const std::string& text, const std::string& head);
// `path` is `dir` or lies below it (folded paths).
bool Within(const std::string& path, const std::string& dir);

struct ComponentBefore {
  bool flagged = false;
  bool record = false;
  std::optional<qf::sim::Value> useCount;
  std::optional<std::string> rootDir;
  std::string root;  // RootDir resolved, when it names a directory below a root
};

struct Before {
  bool product = false;  // HKLM's ProductVersionKey is there
  bool admin = false;
  bool usesShared = false;
  bool userTree = false;
  ComponentBefore components[ComponentCount];  // in the order of ComponentFlags
  bool sharedKey = false;
  std::string area;  // SharedFilesDir resolved, when it names one
};

Before Look();

}  // namespace qfpreview
