// Common set-up for tests of the uninstall logic on the simulated Windows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/schema.h"
#include "platform/sim/sim.h"

namespace qf::test {

using platform::Root;

// Every test starts on an empty machine and ends with no handle open and the
// current directory where it was.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  std::string startDir_;
};

// An empty machine whose current directory is "C:\Host", as SetUp leaves it.
void ResetMachine();

// A shared component record under SharedKey with a text count.
void AddComponent(const std::string& name, const std::string& useCount,
                  const std::string& rootDir);
std::string ComponentKey(const std::string& name);

// The journal lines of one kind, as "path" or "path|detail".
std::vector<std::string> Changes(sim::Change kind);

// The current-user product tree: "3.0" with subkeys three levels deep, plus a
// sibling version that must survive.
void AddUserTree();

}  // namespace qf::test
