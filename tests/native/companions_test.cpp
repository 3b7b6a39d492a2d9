// The companion libraries at the end of the pass.
#include <tuple>

#include "companions/companions.h"
#include "exports/entry_points.h"
#include "fixtures.h"

namespace qf::test {
namespace {

void AddCompanions(bool withEntry) {
  sim::AddLibrary(qf::FirstCompanion);
  sim::AddEntry(qf::FirstCompanion, qf::FirstCompanionEntry);
  sim::AddLibrary(qf::SecondCompanion);
  if (withEntry) sim::AddEntry(qf::SecondCompanion, qf::VrxEntry);
}

std::vector<std::string> Kinds() {
  std::vector<std::string> kinds;
  for (const auto& entry : sim::Journal()) kinds.push_back(sim::ChangeName(entry.kind) + std::string(" ") + entry.path);
  return kinds;
}

// Notification of the companion libraries.
class CompanionsTest : public SimTest {};

TEST_F(CompanionsTest, NoCompanionMeansNoCallAndNoMessage) {
  UnregisterCompanions();
  EXPECT_TRUE(sim::Journal().empty());
}

TEST_F(CompanionsTest, CompanionsAreLoadedLookedUpCalledAndReleased) {
  AddCompanions(true);
  UnregisterCompanions();
  EXPECT_EQ(Kinds(), (std::vector<std::string>{
                         "LoadLibrary MX20UNIB.DLL", "Lookup MX20UNIB.DLL",
                         "FreeLibrary MX20UNIB.DLL", "LoadLibrary RWUNINST.DLL",
                         "Lookup RWUNINST.DLL", "Call RWUNINST.DLL!UNINSTALLVRXREGISTRY",
                         "FreeLibrary RWUNINST.DLL"}));
  EXPECT_EQ(Changes(sim::Change::Call),
            std::vector<std::string>{"RWUNINST.DLL!UNINSTALLVRXREGISTRY|/vrxreg"});
}

// Found beside the host, in the system directory, in a directory the host
// added or in the Windows directory; never in the current directory nor in
// any other (PATH's).
TEST_F(CompanionsTest, CompanionsLoadOnlyFromWhereTheyBelong) {
  for (const auto& [dir, added, called] : {std::tuple{"", "", true}, {"c:\\windows\\SYSTEM32", "", true},
                                           {"C:\\Windows", "", true}, {"D:\\Added", "d:\\added", true},
                                           {"C:\\Host", "", false}, {"C:\\Tools", "D:\\Added", false}}) {
    ResetMachine();
    sim::AddLibrary(qf::SecondCompanion, dir);
    sim::AddEntry(qf::SecondCompanion, qf::VrxEntry);
    if (*added) sim::AddDllDirectory(added);
    UnregisterCompanions();
    EXPECT_EQ(Changes(sim::Change::Call).size(), called ? 1u : 0u) << dir << " " << sim::CurrentDir();
  }
}

TEST_F(CompanionsTest, CompanionWithoutEntryIsReleasedUncalled) {
  AddCompanions(false);
  UnregisterCompanions();
  EXPECT_TRUE(Changes(sim::Change::Call).empty());
  EXPECT_EQ(Changes(sim::Change::FreeLibrary), (std::vector<std::string>{"MX20UNIB.DLL", "RWUNINST.DLL"}));
}

TEST_F(CompanionsTest, CompanionIsCalledOnceAfterEveryChangeOfThePass) {
  AddUserTree();
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, "TRUE");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, qf::UseSharedData, "1");
  AddComponent(qf::DataComponent, "1", "C:\\Shared\\Data");
  sim::MakeFile("C:\\Shared\\Data\\a.dat");
  AddCompanions(true);
  bool userTreeAtCall = true;
  sim::AddEntry(qf::SecondCompanion, qf::VrxEntry, [&](const char*) {
    userTreeAtCall = sim::KeyExists(Root::CurrentUser, std::string(qf::UserSettingsKey));
  });

  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);

  EXPECT_FALSE(userTreeAtCall);
  const auto& journal = sim::Journal();
  size_t lastChange = 0, call = 0, calls = 0;
  for (size_t i = 0; i < journal.size(); ++i) {
    const sim::Change kind = journal[i].kind;
    if (sim::IsRegistryChange(kind) || kind == sim::Change::DeleteFile ||
        kind == sim::Change::RemoveDirectory)
      lastChange = i;
    if (kind == sim::Change::Call) call = i, ++calls;
  }
  EXPECT_EQ(calls, 1u);
  EXPECT_GT(call, lastChange);
  EXPECT_GT(lastChange, 0u);
}

TEST_F(CompanionsTest, FailedGateLoadsNoCompanion) {
  AddCompanions(true);
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin, "1");
  sim::SetKeyRights(Root::Users, qf::DefaultUserKey, true, false);
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  EXPECT_TRUE(Changes(sim::Change::LoadLibrary).empty());
}

}  // namespace
}  // namespace qf::test
