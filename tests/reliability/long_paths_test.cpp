// Paths past the length the narrow file calls accept: trees deeper than that,
// a current directory longer than that when the pass starts, and values at
// the edge of the lengths the pass reads.
#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/paths.h"
#include "common/schema.h"
#include "invariants.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "sample.h"
#include "shared/shared.h"
#include "support.h"

namespace qf::reliability {
namespace {

using platform::Root;

constexpr size_t kMaxPath = 259;  // longest full path, without the NUL

// "C:\Deep\" followed by components of `width` characters until the path is
// at least `length` long.
std::string LongDir(const std::string& base, size_t length, size_t width = 40) {
  std::string path = base;
  for (char c = 'a'; path.size() < length; c = static_cast<char>(c == 'z' ? 'a' : c + 1))
    path += "\\" + std::string(width, c);
  return path;
}

TEST(LongPaths, TreeOfAnyDepthIsEmptiedAndRemoved) {
  sim::Reset();
  const std::string root = "C:\\Shared\\Data";
  FlagData(root);
  size_t deepest = 0;
  for (const size_t width : {7, 30, 61, 120}) {
    const std::string dir = LongDir(root + "\\w" + std::to_string(width), 1200, width);
    for (std::string d = dir; d.size() > root.size(); d = d.substr(0, d.rfind('\\')))
      sim::MakeFile(d + "\\f.dat");
    deepest = std::max(deepest, dir.size());
  }
  ASSERT_GT(deepest, 4 * kMaxPath);
  sim::MakeFile("C:\\Shared\\keep.dat");
  sim::MakeDir("C:\\Host");
  sim::SetCwd("C:\\Host");

  const auto before = Capture();
  EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
  EXPECT_FALSE(sim::Exists(root));
  EXPECT_TRUE(sim::Exists("C:\\Shared\\keep.dat"));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent)));
}

// Depth is bounded by memory, not by the thread's stack: the walk keeps its
// open directories on a stack of its own, so 5,000 levels are emptied on a
// thread whose stack (256 KiB) a walk that recursed (about 160 bytes a
// level) would overflow.
TEST(LongPaths, TreeFiveThousandLevelsDeepIsEmptiedOnASmallStack) {
  sim::Reset();
  const std::string root = "C:\\Shared\\Data";
  FlagData(root);
  std::string deepest = root;
  for (int level = 0; level < 5000; ++level) deepest += "\\d";
  sim::MakeFile(deepest + "\\f.dat");
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attributes,
                [](void*) -> void* { return ReleaseSharedComponent(qf::DataComponent), nullptr; },
                nullptr),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  EXPECT_FALSE(sim::Exists(root));
  EXPECT_EQ(sim::JournalOf(sim::Change::RemoveDirectory).size(), 5001u);
}

TEST(LongPaths, CurrentDirectoryLongerThanThePathLimitIsKept) {
  for (const bool lastHolder : {false, true}) {
    SCOPED_TRACE(lastHolder);
    const auto links = BuildSample(lastHolder);
    // Outside every tree, inside one still held by others, and inside one
    // that is released.
    for (const std::string& base : {std::string("C:\\Host"), kDataRoot, kImageRoot + "\\icons"}) {
      SCOPED_TRACE(base);
      BuildSample(lastHolder);
      const std::string cwd = LongDir(base, 300);
      sim::MakeFile(cwd + "\\a.dat");
      sim::MakeFile(cwd + "\\logo.bmp");
      sim::SetCwd(cwd);
      ASSERT_GT(sim::CurrentDir().size(), 260u);

      const auto before = Capture(links);
      EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
      EXPECT_EQ(sim::CurrentDir(), cwd);
      // A tree that holds the current directory is no component's own: it
      // stays whole, wherever the count stands.
      EXPECT_TRUE(sim::Exists(cwd + "\\a.dat"));
      EXPECT_TRUE(sim::Exists(cwd));
      EXPECT_FALSE(sim::KeyExists(Root::CurrentUser, std::string(qf::UserSettingsKey)));
      EXPECT_TRUE(sim::Exists(kHelpRoot + "\\locked.hlp"));
      EXPECT_FALSE(sim::Exists(kHelpRoot + "\\guide.hlp"));
    }
  }
}

TEST(LongPaths, RootDirAtTheLongestReadableLengthIsEmptiedAndOneLongerIsLeft) {
  // RootDir is read into 255 bytes with its NUL.
  for (const size_t length : {254u, 255u}) {
    SCOPED_TRACE(length);
    sim::Reset();
    const std::string root = "C:\\" + std::string(length - 3, 'r');
    FlagData(root);
    sim::MakeFile(root + "\\a");
    sim::MakeFile(root + "\\b");
    const auto before = Capture();
    EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
    EXPECT_EQ(sim::Exists(root), length > 254);
    EXPECT_EQ(sim::KeyExists(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent)),
              length > 254);
  }
}

TEST(LongPaths, SharedAreaAtAndPastTheLengthItIsReadWith) {
  // SharedFilesDir is read into 260 bytes with its NUL; a directory of 259
  // characters is still one the narrow calls can remove.
  for (const size_t length : {259u, 260u, 300u}) {
    SCOPED_TRACE(length);
    sim::Reset();
    const std::string area = "C:\\" + std::string(length - 3, 's');
    sim::MakeDir(area);
    sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, area);
    const auto before = Capture();
    EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
    EXPECT_EQ(sim::Exists(area), length > 259);
    EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
  }
}

TEST(LongPaths, UserKeyNamesTooLongToEnumerateStayWithTheirAncestors) {
  sim::Reset();
  const std::string tree = std::string(qf::UserSettingsKey);
  sim::CreateKey(Root::CurrentUser, tree + "\\Options\\" + std::string(259, 'k'));
  sim::CreateKey(Root::CurrentUser, tree + "\\Options\\" + std::string(260, 'm') + "\\below");
  sim::CreateKey(Root::CurrentUser, tree + "\\Recent\\Files");
  const auto before = Capture();
  EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, tree), std::vector<std::string>{"Options"});
  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, tree + "\\Options"),
            std::vector<std::string>{std::string(260, 'm')});
}

}  // namespace
}  // namespace qf::reliability
