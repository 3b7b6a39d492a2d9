// The cleanup pass: per-user tree, flagged components, the empty shared area.
#include <algorithm>
#include <tuple>

#include "common/paths.h"
#include "exports/entry_points.h"
#include "fixtures.h"
#include "pass/uninstall_pass.h"
#include "settings/settings.h"

namespace qf::test {
namespace {

using sim::Op;

const std::string kUserTree = std::string(qf::UserSettingsKey);
const std::string kArea = "C:\\Shared";

void FlagAll(const std::string& content = "1") {
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, "TRUE");
  for (const char* flag : {qf::UseSharedData, qf::UseSharedMSHelp, qf::UseSharedImages})
    sim::SetText(Root::LocalMachine, UnInstInfoKey, flag, content);
}

// The three components, each last held by this product, in the shared area.
void AddSharedArea() {
  sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, kArea);
  for (const char* name : {qf::DataComponent, qf::HelpComponent, qf::ImagesComponent}) {
    AddComponent(name, "1", kArea + "\\" + name);
    sim::MakeFile(kArea + "\\" + name + "\\file.dat");
  }
}

std::vector<std::string> ReleasedComponents() {
  std::vector<std::string> released;
  for (const std::string& key : Changes(sim::Change::RegDeleteKey)) {
    const std::string prefix = std::string("HKLM\\") + SharedKey + "\\";
    if (key.rfind(prefix, 0) == 0) released.push_back(key.substr(prefix.size()));
  }
  return released;
}

// Removal of the per-user settings tree.
class UserTreeTest : public SimTest {};
// The installation's flags and the components they release.
class ComponentFlagsTest : public SimTest {};
// The shared area's directory and key once no component is left.
class SharedAreaTest : public SimTest {};

TEST_F(UserTreeTest, UserTreeGoesDeepestFirstAndHighestIndexFirst) {
  AddUserTree();
  DeleteUserKeyTree(ProductKey, qf::VersionKeyName);

  const std::string t = "HKCU\\" + kUserTree;
  EXPECT_EQ(Changes(sim::Change::RegDeleteKey),
            (std::vector<std::string>{
                t + "\\Toolbars", t + "\\Recent\\Files\\Pinned", t + "\\Recent\\Files",
                t + "\\Recent", t + "\\Options\\Print", t + "\\Options\\Editor\\Fonts",
                t + "\\Options\\Editor\\Colors", t + "\\Options\\Editor", t + "\\Options", t}));
  EXPECT_TRUE(sim::KeyExists(Root::CurrentUser, ProductKey));
  EXPECT_TRUE(sim::KeyExists(Root::CurrentUser, std::string(ProductKey) + "\\2.5"));
}

// Software\Other holds a value and a subkey; a link key leads to it.
void AddLinkTarget() {
  sim::SetText(Root::CurrentUser, "Software\\Other", "Keep", "me");
  sim::SetText(Root::CurrentUser, "Software\\Other\\Inner", "Keep", "me");
}

void ExpectLinkTargetIntact() {
  EXPECT_EQ(sim::GetText(Root::CurrentUser, "Software\\Other", "Keep"), "me");
  EXPECT_EQ(sim::GetText(Root::CurrentUser, "Software\\Other\\Inner", "Keep"), "me");
}

TEST_F(UserTreeTest, LinkInTheUserTreeGoesAsALinkAndItsTargetStays) {
  // Below the tree, or the tree's own key: either goes as the link it is.
  for (const char* link : {"\\Aliases\\Current", ""}) {
    SCOPED_TRACE(link);
    ResetMachine();
    AddLinkTarget();
    if (*link) AddUserTree();
    sim::MakeKeyLink(Root::CurrentUser, kUserTree + link, "Software\\Other");

    DeleteUserKeyTree(ProductKey, qf::VersionKeyName);

    ExpectLinkTargetIntact();
    EXPECT_FALSE(sim::KeyExists(Root::CurrentUser, kUserTree));
    const std::vector<std::string> deleted = Changes(sim::Change::RegDeleteKey);
    EXPECT_EQ(std::count(deleted.begin(), deleted.end(), "HKCU\\" + kUserTree + link), 1);
    for (const std::string& key : deleted)
      EXPECT_EQ(key.rfind("HKCU\\" + kUserTree, 0), 0u) << key;
  }
}

TEST_F(UserTreeTest, KeyWhoseParentCannotBeWrittenStaysWhileWhatIsBelowItGoesUnlessItCannotBeOpened) {
  for (bool parentOpens : {false, true}) {
    SCOPED_TRACE(parentOpens ? "parent read-only" : "parent unopenable");
    ResetMachine();
    AddUserTree();
    FlagAll();
    AddComponent(qf::DataComponent, "1", kArea + "\\Data");
    sim::MakeFile(kArea + "\\Data\\file.dat");
    sim::SetKeyRights(Root::CurrentUser, ProductKey, parentOpens, false);
    sim::SetKeyRights(Root::LocalMachine, SharedKey, parentOpens, false);

    CleanupInstallation();

    EXPECT_TRUE(sim::KeyExists(Root::CurrentUser, kUserTree));
    // A parent that cannot be opened cannot be told from a link: nothing
    // below it is reached.
    EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, kUserTree).empty(), parentOpens);
    EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
    EXPECT_EQ(sim::Exists(kArea + "\\Data"), !parentOpens);
  }
}

TEST_F(ComponentFlagsTest, ComponentKeyThatIsALinkIsLeftWithItsTarget) {
  // The target reads like a component this product last holds.
  FlagAll();
  AddComponent("Elsewhere", "1", kArea + "\\Data");
  sim::MakeFile(kArea + "\\Data\\file.dat");
  sim::MakeKeyLink(Root::LocalMachine, ComponentKey(qf::DataComponent), ComponentKey("Elsewhere"));

  CleanupInstallation();

  EXPECT_EQ(sim::GetText(Root::LocalMachine, ComponentKey("Elsewhere"), qf::UseCount), "1");
  EXPECT_TRUE(sim::Exists(kArea + "\\Data\\file.dat"));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
  EXPECT_TRUE(Changes(sim::Change::RegDeleteKey).empty());
  EXPECT_TRUE(Changes(sim::Change::RegSetValue).empty());
}

TEST_F(SharedAreaTest, SharedKeyThatIsALinkGoesAsALink) {
  // The target names an empty directory and has no components.
  sim::SetText(Root::LocalMachine, "Software\\Other", qf::SharedFilesDir, kArea);
  sim::MakeDir(kArea);
  sim::MakeKeyLink(Root::LocalMachine, SharedKey, "Software\\Other");

  CleanupInstallation();

  EXPECT_EQ(Changes(sim::Change::RegDeleteKey), std::vector<std::string>{std::string("HKLM\\") + SharedKey});
  EXPECT_EQ(sim::GetText(Root::LocalMachine, "Software\\Other", qf::SharedFilesDir), kArea);
  EXPECT_TRUE(sim::Exists(kArea));
}

TEST_F(UserTreeTest, MissingUserTreeChangesNothing) {
  sim::CreateKey(Root::CurrentUser, ProductKey);
  DeleteUserKeyTree(ProductKey, qf::VersionKeyName);
  EXPECT_TRUE(sim::Journal().empty());
}

TEST_F(ComponentFlagsTest, LinkAtAnyLevelOfAKeysPathLeavesWhatIsBehindItAlone) {
  // Each level moved to Elsewhere behind a link: the step stops there (1921).
  const struct { Root root; std::vector<std::string> levels; Decision decided; } rows[] = {
      {Root::CurrentUser, {"Software", MakerKey, ProductKey}, Decision::UserTreeAbsent},
      // HKLM\Software: the policy that may name a reviewed plan cannot be read, so nothing changes.
      {Root::LocalMachine, {"Software"}, Decision::PlanUnusable},
      {Root::LocalMachine, {MakerKey}, Decision::AreaAbsent},
      {Root::LocalMachine, {ProductKey, ProductVersionKey, UnInstInfoKey}, Decision::FlagsAbsent},
      {Root::LocalMachine, {SharedKey}, Decision::ComponentAbsent},
      // Where the machine's folders and the installed programs are recorded too: no root can be checked.
      {Root::LocalMachine, {"Software\\Microsoft", "Software\\Microsoft\\Windows"}, Decision::RootUnchecked},
      {Root::LocalMachine, {HelpRegistrationKey}, Decision::HelpKeyAbsent},
  };
  for (const auto& row : rows) {
    for (const std::string& level : row.levels) {
      SCOPED_TRACE(std::string(sim::RootName(row.root)) + "\\" + level);
      ResetMachine(), AddUserTree(), FlagAll(), AddSharedArea();
      sim::SetText(Root::LocalMachine, HelpRegistrationKey, "file.dat", kArea);
      sim::LinkKeyAway(row.root, level, "Elsewhere\\" + level);
      EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
      const std::string behind = std::string(sim::RootName(row.root)) + "\\Elsewhere";
      for (const sim::JournalEntry& e : sim::Journal())
        EXPECT_FALSE(sim::IsRegistryChange(e.kind) && e.path.rfind(behind, 0) == 0) << e.path;
      EXPECT_TRUE(std::any_of(sim::Decisions().begin(), sim::Decisions().end(), [&](const auto& d) {
        return d.decision == row.decided && (d.first == platform::kErrorCantResolveFilename ||
                                             d.detail.find("error 1921") != std::string::npos);
      }));
    }
  }
}

TEST_F(UserTreeTest, UnopenableSubkeyStaysWithItsAncestors) {
  AddUserTree();
  sim::SetKeyRights(Root::CurrentUser, kUserTree + "\\Options\\Editor\\Fonts", false, false);

  DeleteUserKeyTree(ProductKey, qf::VersionKeyName);

  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, kUserTree), std::vector<std::string>{"Options"});
  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, kUserTree + "\\Options"),
            std::vector<std::string>{"Editor"});
  EXPECT_EQ(sim::SubkeyNames(Root::CurrentUser, kUserTree + "\\Options\\Editor"),
            std::vector<std::string>{"Fonts"});
}

TEST_F(ComponentFlagsTest, FlaggedComponentsAreReleasedInOrder) {
  FlagAll();
  AddSharedArea();
  CleanupInstallation();
  EXPECT_EQ(ReleasedComponents(), (std::vector<std::string>{"Data", "MSHelp", "Image Files"}));
}

// A root may hold the root of a component this pass releases as its last
// holder: that one goes first, with its help registrations.  Any other
// holder's count, or one that cannot be read, keeps the outer root whole;
// so does the root of one released first that kept it (here, named through
// a link).
TEST_F(ComponentFlagsTest, ARootHoldsOnlyRootsThisPassReleases) {
  for (const auto& [helpCount, imagesFlag, released] :
       {std::tuple{"1", "1", std::vector<std::string>{"MSHelp", "Image Files", "Data"}},
        {"2", "1", {"Image Files"}}, {"x\xFF", "1", {"Image Files"}}, {"1", "", {}}, {"1", "link", {}}}) {
    SCOPED_TRACE(std::string(helpCount) + imagesFlag);
    ResetMachine();
    FlagAll();
    if (!*imagesFlag) sim::SetText(Root::LocalMachine, UnInstInfoKey, UseSharedImages, "123456789012");
    AddComponent(qf::DataComponent, "1", kArea);
    AddComponent(qf::HelpComponent, "1", kArea + "\\Help");
    sim::SetValue(Root::LocalMachine, ComponentKey(qf::HelpComponent), UseCount, platform::kRegBinary, helpCount);
    const bool link = std::string(imagesFlag) == "link";
    if (link) sim::MakeLink("C:\\Images", kArea + "\\Help\\Images", true);
    AddComponent(qf::ImagesComponent, "1", link ? "C:\\Images" : kArea + "\\Help\\Images");
    for (const char* file : {"\\d.dat", "\\Help\\guide.hlp", "\\Help\\Images\\i.png"}) sim::MakeFile(kArea + file);
    sim::SetText(Root::LocalMachine, HelpRegistrationKey, "guide.hlp", kArea + "\\Help");
    CleanupInstallation();
    EXPECT_EQ(ReleasedComponents(), released);
    EXPECT_EQ(sim::Exists(kArea + "\\d.dat"), released.size() < 3);
    EXPECT_EQ(sim::Exists(kArea + "\\Help\\Images\\i.png"), released.empty());
    EXPECT_EQ(sim::GetText(Root::LocalMachine, HelpRegistrationKey, "guide.hlp").has_value(), released.size() < 3);
  }
}

// The help component goes before one whose root lies in its own, and after
// one whose root it lies in: either way a help file that goes takes its
// registration with it.
TEST_F(ComponentFlagsTest, TheHelpRootNestedEitherWayKeepsNoRegistrationOfADeletedFile) {
  // Data's d.hlp lies in the help component's root in the first and last.
  for (const auto& [dataRoot, helpRoot, released] :
       {std::tuple{kArea + "\\Help\\Data", kArea + "\\Help", std::vector<std::string>{"MSHelp", "Image Files", "Data"}},
        {kArea, kArea + "\\Help", {"MSHelp", "Image Files", "Data"}},
        {kArea + "\\Data", kArea + "\\Data", {"MSHelp", "Image Files", "Data"}}}) {
    SCOPED_TRACE(dataRoot + " " + helpRoot);
    ResetMachine();
    FlagAll();
    AddComponent(qf::DataComponent, "1", dataRoot);
    AddComponent(qf::HelpComponent, "1", helpRoot);
    AddComponent(qf::ImagesComponent, "1", "C:\\Images");
    for (const std::string& file : {dataRoot + "\\d.hlp", helpRoot + "\\h.hlp", std::string("C:\\Images\\i.png")}) {
      sim::MakeFile(file);
      sim::SetText(Root::LocalMachine, HelpRegistrationKey, file.substr(file.rfind('\\') + 1), "x");
    }
    CleanupInstallation();
    EXPECT_EQ(ReleasedComponents(), released);
    EXPECT_TRUE(sim::Tree(dataRoot).empty() && sim::Tree(helpRoot).empty());
    EXPECT_FALSE(sim::GetText(Root::LocalMachine, HelpRegistrationKey, "h.hlp"));
    EXPECT_EQ(sim::GetText(Root::LocalMachine, HelpRegistrationKey, "d.hlp").has_value(), dataRoot == kArea);
  }
}

TEST_F(ComponentFlagsTest, FlagsCountWhateverTheyHold) {
  for (const char* content : {"FALSE", "0", "", "ＴＲＵＥ", "２２２２２２２２２"}) {
    ResetMachine();
    FlagAll(content);
    AddSharedArea();
    CleanupInstallation();
    EXPECT_EQ(ReleasedComponents().size(), 3u) << '"' << content << '"';
  }
}

TEST_F(ComponentFlagsTest, FlagTooLongToReadCountsAsAbsent) {
  FlagAll();
  sim::SetText(Root::LocalMachine, UnInstInfoKey, qf::UseSharedMSHelp, "123456789012");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, qf::UseSharedImages, "２２２２２２２２２２");
  AddSharedArea();
  CleanupInstallation();
  EXPECT_EQ(ReleasedComponents(), (std::vector<std::string>{"Data"}));
}

TEST_F(ComponentFlagsTest, SharedFilesMustReadExactlyTrue) {
  for (const char* word : {"true", "True", "TRUE ", "YES", "ＴＲＵＥ", "TRUＥ"}) {
    ResetMachine();
    FlagAll();
    sim::SetText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, word);
    AddSharedArea();
    sim::MakeDir("C:\\Empty");
    AddComponent(qf::DataComponent, "1", kArea + "\\Data");
    CleanupInstallation();
    EXPECT_TRUE(ReleasedComponents().empty()) << word;
    EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, SharedKey)) << word;
  }
}

TEST_F(SharedAreaTest, SharedAreaStepRunsWithoutSharedFiles) {
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, "true");
  sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, kArea);
  sim::MakeDir(kArea);
  CleanupInstallation();
  EXPECT_FALSE(sim::Exists(kArea));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, MakerKey));
}

TEST_F(ComponentFlagsTest, NoUnInstInfoReleasesNothingButRemovesUserTree) {
  AddUserTree();
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, "TRUE");
  AddSharedArea();
  CleanupInstallation();
  EXPECT_TRUE(ReleasedComponents().empty());
  EXPECT_FALSE(sim::KeyExists(Root::CurrentUser, kUserTree));
}

TEST_F(SharedAreaTest, SharedAreaWithAComponentLeftIsUntouched) {
  sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, kArea);
  sim::CreateKey(Root::LocalMachine, ComponentKey("Fonts"));
  sim::MakeDir(kArea);
  CleanupInstallation();
  EXPECT_TRUE(sim::Exists(kArea));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, SharedKey));
}

TEST_F(SharedAreaTest, LastComponentTakesTheEmptyAreaWithIt) {
  FlagAll();
  AddSharedArea();
  CleanupInstallation();
  EXPECT_FALSE(sim::Exists(kArea));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, MakerKey));
}

TEST_F(SharedAreaTest, NonEmptyAreaDirectoryStaysWhileItsKeyGoes) {
  FlagAll();
  AddSharedArea();
  sim::MakeFile(kArea + "\\readme.txt");
  CleanupInstallation();
  EXPECT_TRUE(sim::Exists(kArea + "\\readme.txt"));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey));
}

// Nor below the Windows directory, nor on a share, nor another account's
// profile, empty as it may be.
TEST_F(SharedAreaTest, AreaDirectoryMustBeAnAbsolutePathBelowARoot) {
  for (const char* dir : {"Shared", "C:\\", "", "C:\\Windows\\Help\\", "\\\\server\\share\\Shared", "C:\\Users\\other"}) {
    ResetMachine();
    sim::MakeDir("C:\\Host\\Shared");
    for (const char* empty : {"C:\\Windows\\Help", "\\\\server\\share\\Shared", "C:\\Users\\other"}) sim::MakeDir(empty);
    sim::SetText(Root::LocalMachine, std::string(ProfileListKey) + "\\S-1-5-21-1001", ProfileImagePath, "C:\\Users\\other");
    sim::SetText(Root::LocalMachine, SharedKey, qf::SharedFilesDir, dir);
    CleanupInstallation();
    EXPECT_TRUE(Changes(sim::Change::RemoveDirectory).empty()) << dir;
    EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, SharedKey)) << dir;
  }
}

TEST_F(ComponentFlagsTest, EachPassLowersEachFlaggedCountOnce) {
  FlagAll();
  for (const char* name : {qf::DataComponent, qf::HelpComponent, qf::ImagesComponent})
    AddComponent(name, "5", kArea + "\\" + name);
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  for (const char* name : {qf::DataComponent, qf::HelpComponent, qf::ImagesComponent})
    EXPECT_EQ(sim::GetText(Root::LocalMachine, ComponentKey(name), qf::UseCount), "3") << name;
}

}  // namespace
}  // namespace qf::test
