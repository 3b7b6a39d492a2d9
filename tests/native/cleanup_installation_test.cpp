// The cleanup pass: per-user tree, flagged components, the empty shared area.
#include "common/paths.h"
#include "exports/entry_points.h"
#include "fixtures.h"
#include "settings/settings.h"

namespace qf::test {
namespace {

using sim::Op;

const std::string kUserTree = std::string(ProductKey) + "\\3.0";
const std::string kArea = "C:\\Shared";

void FlagAll(const std::string& content = "1") {
  sim::SetText(Root::LocalMachine, ProductVersionKey, "UseSharedFiles", "TRUE");
  for (const char* flag : {"UseSharedData", "UseSharedMSHelp", "UseSharedImages"})
    sim::SetText(Root::LocalMachine, UnInstInfoKey, flag, content);
}

// The three components, each last held by this product, in the shared area.
void AddSharedArea() {
  sim::SetText(Root::LocalMachine, SharedKey, "SharedFilesDir", kArea);
  for (const char* name : {"Data", "MSHelp", "Image Files"}) {
    AddComponent(name, "1", kArea + "\\" + name);
    sim::MakeFile(kArea + "\\" + name + "\\file.dat");
  }
}

std::vector<std::string> ReleasedComponents() {
  std::vector<std::string> released;
  for (const std::string& key : Changes("RegDeleteKey")) {
    const std::string prefix = std::string("HKLM\\") + SharedKey + "\\";
    if (key.rfind(prefix, 0) == 0) released.push_back(key.substr(prefix.size()));
  }
  return released;
}

TEST_F(SimTest, UserTreeGoesDeepestFirstAndHighestIndexFirst) {
  AddUserTree();
  DeleteUserKeyTree(ProductKey, "3.0");

  const std::string t = "HKCU\\" + kUserTree;
  EXPECT_EQ(Changes("RegDeleteKey"),
            (std::vector<std::string>{
                t + "\\Toolbars", t + "\\Recent\\Files\\Pinned", t + "\\Recent\\Files",
                t + "\\Recent", t + "\\Options\\Print", t + "\\Options\\Editor\\Fonts",
                t + "\\Options\\Editor\\Colors", t + "\\Options\\Editor", t + "\\Options", t}));
  EXPECT_TRUE(sim::KeyExists(Root::CurrentUser, ProductKey));
  EXPECT_TRUE(sim::KeyExists(Root::CurrentUser, std::string(ProductKey) + "\\2.5"));
}

TEST_F(SimTest, MissingUserTreeChangesNothing) {
  sim::CreateKey(Root::CurrentUser, ProductKey);
  DeleteUserKeyTree(ProductKey, "3.0");
  EXPECT_TRUE(sim::Journal().empty());
}

TEST_F(SimTest, UnopenableSubkeyStaysWithItsAncestors) {
  AddUserTree();
  sim::SetKeyRights(Root::CurrentUser, kUserTree + "\\Options\\Editor\\Fonts", false, false);

  DeleteUserKeyTree(ProductKey, "3.0");

  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, kUserTree), std::vector<std::string>{"Options"});
  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, kUserTree + "\\Options"),
            std::vector<std::string>{"Editor"});
  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, kUserTree + "\\Options\\Editor"),
            std::vector<std::string>{"Fonts"});
}

TEST_F(SimTest, FlaggedComponentsAreReleasedInOrder) {
  FlagAll();
  AddSharedArea();
  CleanupInstallation();
  EXPECT_EQ(ReleasedComponents(), (std::vector<std::string>{"Data", "MSHelp", "Image Files"}));
}

TEST_F(SimTest, FlagsCountWhateverTheyHold) {
  for (const char* content : {"FALSE", "0", ""}) {
    ResetMachine();
    FlagAll(content);
    AddSharedArea();
    CleanupInstallation();
    EXPECT_EQ(ReleasedComponents().size(), 3u) << '"' << content << '"';
  }
}

TEST_F(SimTest, FlagTooLongToReadCountsAsAbsent) {
  FlagAll();
  sim::SetText(Root::LocalMachine, UnInstInfoKey, "UseSharedMSHelp", "123456789012");
  AddSharedArea();
  CleanupInstallation();
  EXPECT_EQ(ReleasedComponents(), (std::vector<std::string>{"Data", "Image Files"}));
}

TEST_F(SimTest, SharedFilesMustReadExactlyTrue) {
  for (const char* word : {"true", "True", "TRUE ", "YES"}) {
    ResetMachine();
    FlagAll();
    sim::SetText(Root::LocalMachine, ProductVersionKey, "UseSharedFiles", word);
    AddSharedArea();
    sim::MakeDir("C:\\Empty");
    AddComponent("Data", "1", kArea + "\\Data");
    CleanupInstallation();
    EXPECT_TRUE(ReleasedComponents().empty()) << word;
    EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, SharedKey)) << word;
  }
}

TEST_F(SimTest, SharedAreaStepRunsWithoutSharedFiles) {
  sim::SetText(Root::LocalMachine, ProductVersionKey, "UseSharedFiles", "true");
  sim::SetText(Root::LocalMachine, SharedKey, "SharedFilesDir", kArea);
  sim::MakeDir(kArea);
  CleanupInstallation();
  EXPECT_FALSE(sim::Exists(kArea));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, MakerKey));
}

TEST_F(SimTest, NoUnInstInfoReleasesNothingButRemovesUserTree) {
  AddUserTree();
  sim::SetText(Root::LocalMachine, ProductVersionKey, "UseSharedFiles", "TRUE");
  AddSharedArea();
  CleanupInstallation();
  EXPECT_TRUE(ReleasedComponents().empty());
  EXPECT_FALSE(sim::KeyExists(Root::CurrentUser, kUserTree));
}

TEST_F(SimTest, SharedAreaWithAComponentLeftIsUntouched) {
  sim::SetText(Root::LocalMachine, SharedKey, "SharedFilesDir", kArea);
  sim::CreateKey(Root::LocalMachine, ComponentKey("Fonts"));
  sim::MakeDir(kArea);
  CleanupInstallation();
  EXPECT_TRUE(sim::Exists(kArea));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, SharedKey));
}

TEST_F(SimTest, LastComponentTakesTheEmptyAreaWithIt) {
  FlagAll();
  AddSharedArea();
  CleanupInstallation();
  EXPECT_FALSE(sim::Exists(kArea));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, MakerKey));
}

TEST_F(SimTest, NonEmptyAreaDirectoryStaysWhileItsKeyGoes) {
  FlagAll();
  AddSharedArea();
  sim::MakeFile(kArea + "\\readme.txt");
  CleanupInstallation();
  EXPECT_TRUE(sim::Exists(kArea + "\\readme.txt"));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
}

TEST_F(SimTest, AreaDirectoryMustBeAnAbsolutePathBelowARoot) {
  for (const char* dir : {"Shared", "C:\\", ""}) {
    ResetMachine();
    sim::MakeDir("C:\\Host\\Shared");
    sim::SetText(Root::LocalMachine, SharedKey, "SharedFilesDir", dir);
    CleanupInstallation();
    EXPECT_TRUE(Changes("RemoveDirectory").empty()) << dir;
    EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey)) << dir;
  }
}

TEST_F(SimTest, EachPassLowersEachFlaggedCountOnce) {
  FlagAll();
  for (const char* name : {"Data", "MSHelp", "Image Files"})
    AddComponent(name, "5", kArea + "\\" + name);
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  for (const char* name : {"Data", "MSHelp", "Image Files"})
    EXPECT_EQ(sim::GetText(Root::LocalMachine, ComponentKey(name), "UseCount"), "3") << name;
}

}  // namespace
}  // namespace qf::test
