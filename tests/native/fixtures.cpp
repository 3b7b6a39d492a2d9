#include "fixtures.h"

#include "common/paths.h"

namespace qf::test {

void ResetMachine() {
  sim::Reset();
  sim::MakeDir("C:\\Host");
  sim::SetCwd("C:\\Host");
}

void SimTest::SetUp() {
  ResetMachine();
  startDir_ = sim::CurrentDir();
}

void SimTest::TearDown() {
  EXPECT_EQ(sim::OpenHandles(), 0);
  EXPECT_EQ(sim::CurrentDir(), startDir_);
}

std::string ComponentKey(const std::string& name) { return JoinPath(SharedKey, name); }

void AddComponent(const std::string& name, const std::string& useCount,
                  const std::string& rootDir) {
  sim::SetText(Root::LocalMachine, ComponentKey(name), qf::UseCount, useCount);
  sim::SetText(Root::LocalMachine, ComponentKey(name), qf::RootDir, rootDir);
}

std::vector<std::string> Changes(sim::Change kind) {
  std::vector<std::string> lines;
  for (const sim::JournalEntry& entry : sim::JournalOf(kind))
    lines.push_back(entry.detail.empty() ? entry.path : entry.path + "|" + entry.detail);
  return lines;
}

void AddUserTree() {
  const std::string base = std::string(qf::UserSettingsKey);
  for (const char* key : {"Options", "Options\\Editor", "Options\\Editor\\Fonts",
                          "Options\\Editor\\Colors", "Options\\Print", "Recent",
                          "Recent\\Files", "Recent\\Files\\Pinned", "Toolbars"}) {
    sim::SetText(Root::CurrentUser, base + "\\" + key, "Setting", "on");
  }
  sim::SetText(Root::CurrentUser, base, "Language", "en");
  sim::SetText(Root::CurrentUser, std::string(ProductKey) + "\\2.5", "Language", "en");
}

}  // namespace qf::test
