// Faults the sweep and the fuzzer found, and faults a pass doing too little
// would hide, each as the smallest installation that shows it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/paths.h"
#include "common/schema.h"
#include "invariants.h"
#include "oracle.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "support.h"

namespace qf::reliability {
namespace {

using platform::Root;
using sim::Op;


// A component whose directory is a link is left alone; when its root's facts
// cannot be read, the pass cannot know it is a link and must leave it too.
TEST(Faults, RootDirWhoseFactsCannotBeReadIsLeftAlone) {
  sim::Reset();
  sim::MakeFile("C:\\Windows\\system.ini");
  sim::MakeLink("C:\\Shared\\Data", "C:\\Windows", true);
  FlagData("C:\\Shared\\Data");
  sim::FailWhen(Op::FileFacts, "C:\\Shared\\Data");
  const auto before = Capture({{"C:\\Shared\\Data", "C:\\Windows", true}});
  EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
  EXPECT_TRUE(sim::Exists("C:\\Windows\\system.ini"));
  EXPECT_TRUE(sim::Exists("C:\\Shared\\Data"));
}

// The system drops the blanks and dots that end the last name of a path, but
// not the blank that ends a directory name: "C:\Shared\Data " is the
// directory "Data", while "C:\Shared\Data \*.*" lists "Data ".  The
// directory checked and the directory emptied must be the same one.
TEST(Faults, RootDirEndingInABlankEmptiesTheDirectoryItNames) {
  for (const char* rootDir : {"C:\\Shared\\Data ", "C:\\Shared\\Data. ", "C:\\Shared\\Data .",
                              "C:\\Shared\\Data\\", "C:\\Shared\\Data \\"}) {
    SCOPED_TRACE(rootDir);
    sim::Reset();
    sim::MakeFile("C:\\Shared\\Data\\a.dat");
    sim::MakeFile("C:\\Shared\\Data \\b.dat");
    sim::MakeFile("C:\\Windows\\system.ini");
    // The blank-ended name is a link elsewhere, the plain one a directory.
    sim::MakeLink("C:\\Shared\\Data \\sub", "C:\\Windows", true);
    FlagData(rootDir);
    const auto before = Capture({{"C:\\Shared\\Data \\sub", "C:\\Windows", true}});
    EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
    EXPECT_TRUE(sim::Exists("C:\\Windows\\system.ini"));
    const bool plain = std::string(rootDir).find(' ') == std::string::npos ||
                       std::string(rootDir).back() != '\\';
    EXPECT_NE(sim::Exists("C:\\Shared\\Data\\a.dat"), plain);
    EXPECT_EQ(sim::Exists("C:\\Shared\\Data \\b.dat"), plain);
  }
}

// "C:\Shared\Data \." resolves to "C:\Shared\Data ", a path whose last
// name loses its blank when it is resolved again: each call would reach
// another directory, the check "Data", the listing "Data ".  Such a root is
// left as it is.
TEST(Faults, RootDirThatResolvesToAnotherPathEachTimeIsLeftAlone) {
  for (const bool blankIsALink : {false, true}) {
    SCOPED_TRACE(blankIsALink);
    sim::Reset();
    sim::MakeDir("C:\\Shared\\Data");
    sim::MakeFile("C:\\Windows\\system.ini");
    std::vector<Link> links;
    if (blankIsALink) {
      sim::MakeLink("C:\\Shared\\Data \\", "C:\\Windows", true);
      links.push_back({"C:\\Shared\\Data \\", "C:\\Windows", true});
    } else {
      sim::MakeFile("C:\\Shared\\Data \\b.dat");
    }
    FlagData("C:\\Shared\\Data \\.");
    const auto before = Capture(links);
    EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
    EXPECT_TRUE(sim::Exists("C:\\Windows\\system.ini"));
    EXPECT_TRUE(sim::Exists("C:\\Shared\\Data"));
    EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, JoinPath(SharedKey, qf::DataComponent)));
  }
}

// The shared area's directory goes only when it is empty.  A link in its
// place is no empty directory, whatever it points to, and stays.
TEST(Faults, SharedAreaThatIsALinkStays) {
  for (const bool targetEmpty : {false, true}) {
    SCOPED_TRACE(targetEmpty);
    sim::Reset();
    sim::MakeDir("D:\\Area");
    if (!targetEmpty) sim::MakeFile("D:\\Area\\other.txt");
    sim::MakeLink("C:\\Shared", "D:\\Area", true);
    sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, "C:\\Shared");
    const auto before = Capture({{"C:\\Shared", "D:\\Area", true}});
    EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
    EXPECT_TRUE(sim::Exists("C:\\Shared"));
    EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
  }
}

const std::string kDataKey = JoinPath(SharedKey, qf::DataComponent);

// The last holder's component whose root cannot be looked at (it may be a
// link) keeps everything: files, count, record; and so the area stays too.
TEST(Faults, LastHeldComponentWhoseRootCannotBeReadKeepsItsRecord) {
  int hit = 0;
  for (const Op op : {Op::FileOpen, Op::FileFacts}) {
    for (const long code : {platform::kErrorAccessDenied, 32L, 1921L}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(op) << " fails with " << code);
      sim::Reset();
      sim::MakeFile("C:\\Shared\\Data\\a.dat");
      FlagData("C:\\Shared\\Data");
      sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, "C:\\Shared");
      sim::FailWhen(op, "C:\\Shared\\Data", code);
      const auto before = Capture();
      EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
      if (sim::FailuresHit().empty()) continue;  // not how this pass reads a root
      ++hit;
      EXPECT_TRUE(sim::Exists("C:\\Shared\\Data\\a.dat"));
      EXPECT_EQ(sim::GetText(Root::LocalMachine, kDataKey, qf::UseCount), "1");
      EXPECT_EQ(sim::GetText(Root::LocalMachine, kDataKey, qf::RootDir), "C:\\Shared\\Data");
      EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, SharedKey));
    }
  }
  EXPECT_GT(hit, 0);
}

// A root that is gone has nothing left to delete: the record goes all the
// same, and with it the last component, the area's directory and key.
TEST(Faults, LastHeldComponentWhoseRootIsGoneLosesItsRecord) {
  for (const char* rootDir : {"C:\\Shared\\Data", "C:\\Missing\\Data", "C:\\Shared\\a.txt\\Data"}) {
    SCOPED_TRACE(rootDir);
    sim::Reset();
    sim::MakeDir("C:\\Shared");
    if (std::string(rootDir).find("a.txt") != std::string::npos) sim::MakeFile("C:\\Shared\\a.txt");
    FlagData(rootDir);
    sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, "D:\\Area");
    sim::MakeDir("D:\\Area");
    const auto before = Capture();
    EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
    EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, kDataKey));
    EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
    EXPECT_FALSE(sim::Exists("D:\\Area"));
  }
}

// The current directory reached through a link inside the root: the root
// is the current directory, so nothing of it goes.
TEST(Faults, RootThatIsTheCurrentDirectoryThroughALinkInItStays) {
  sim::Reset();
  sim::MakeFile("C:\\Shared\\a.dat");
  sim::MakeLink("C:\\Shared\\Here", "C:\\Shared", true);
  sim::SetCwd("C:\\Shared\\Here");
  FlagData("C:\\Shared");
  const auto before = Capture({{"C:\\Shared\\Here", "C:\\Shared", true}});
  EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
  EXPECT_TRUE(sim::Exists("C:\\Shared\\a.dat"));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, kDataKey));
}

// A REG_DWORD count is a number of exactly four bytes.  One of any other
// length was not written as a count and says nothing about the holders, so
// the component is left as one without a count would be; four bytes are
// read as the number, and a longer value than ten bytes cannot be read.
TEST(Faults, DwordCountOfAnyOtherLengthLeavesTheComponentAlone) {
  for (const size_t length : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 8u, 10u, 11u}) {
    for (const char first : {'\x01', '\x03'}) {
      SCOPED_TRACE(testing::Message() << length << " bytes starting with " << int(first));
      sim::Reset();
      sim::MakeFile("C:\\Shared\\Data\\a.dat");
      FlagData("C:\\Shared\\Data");
      std::string bytes(length, '\0');
      if (length > 0) bytes[0] = first;
      sim::SetValue(Root::LocalMachine, kDataKey, qf::UseCount, platform::kRegDword, bytes);
      const auto before = Capture();
      EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
      const auto count = sim::GetValue(Root::LocalMachine, kDataKey, qf::UseCount);
      if (length == 4 && first == '\x01') {
        EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, kDataKey));
        EXPECT_FALSE(sim::Exists("C:\\Shared\\Data"));
      } else {
        ASSERT_TRUE(count);
        EXPECT_EQ(count->type, platform::kRegDword);
        EXPECT_EQ(count->data, length == 4 ? std::string("\2\0\0\0", 4) : bytes);
        EXPECT_TRUE(sim::Exists("C:\\Shared\\Data\\a.dat"));
      }
    }
  }
}

}  // namespace
}  // namespace qf::reliability
