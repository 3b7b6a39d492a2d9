// Faults the sweep and the fuzzer found, each as the smallest installation
// that shows it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/locations.h"
#include "common/paths.h"
#include "invariants.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

namespace qf::reliability {
namespace {

using platform::Root;
using sim::Op;

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

void FlagData(const std::string& rootDir) {
  sim::SetText(Root::LocalMachine, ProductVersionKey, "UseSharedFiles", "TRUE");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, "UseSharedData", "1");
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, "Data"), "UseCount", "1");
  sim::SetText(Root::LocalMachine, JoinPath(SharedKey, "Data"), "RootDir", rootDir);
}

// A component whose directory is a link is left alone; when its attributes
// cannot be read, the pass cannot know it is a link and must leave it too.
TEST(Faults, RootDirWhoseAttributesCannotBeReadIsLeftAlone) {
  sim::Reset();
  sim::MakeFile("C:\\Windows\\system.ini");
  sim::MakeLink("C:\\Shared\\Data", "C:\\Windows", true);
  FlagData("C:\\Shared\\Data");
  sim::FailWhen(Op::GetAttributes, "C:\\Shared\\Data");
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
    EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, JoinPath(SharedKey, "Data")));
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
    sim::SetText(Root::LocalMachine, SharedKey, "SharedFilesDir", "C:\\Shared");
    const auto before = Capture({{"C:\\Shared", "D:\\Area", true}});
    EXPECT_EQ(Joined(RunPassesAndCheck(before)), "");
    EXPECT_TRUE(sim::Exists("C:\\Shared"));
    EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
  }
}

}  // namespace
}  // namespace qf::reliability
