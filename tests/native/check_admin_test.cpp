// The administrator gate and the boundary's behaviour around it.
#include "exports/entry_points.h"
#include "fixtures.h"
#include "settings/settings.h"

namespace qf::test {
namespace {

using sim::Op;

struct GateCase {
  const char* name;
  bool productKey;
  bool marker;              // "InstallAdmin" stored
  std::string markerBytes;  // its raw REG_SZ bytes
  bool defaultWritable;
  bool expected;
};

class CheckAdminTest : public SimTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(CheckAdminTest, DecidesFromMarkerAndProbe) {
  const GateCase& c = GetParam();
  if (c.productKey) sim::CreateKey(Root::LocalMachine, ProductVersionKey);
  if (c.marker)
    sim::SetValue(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin, platform::kRegSz,
                  c.markerBytes);
  if (!c.defaultWritable) sim::SetKeyRights(Root::Users, qf::DefaultUserKey, true, false);

  EXPECT_EQ(CheckAdmin(), c.expected);

  const auto boxes = sim::JournalOf(sim::Change::MessageBox);
  if (c.expected) {
    EXPECT_TRUE(boxes.empty());
  } else {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].path, "CheckAdmin");
    EXPECT_EQ(boxes[0].detail, "Access denied.\r\n");
    EXPECT_EQ(boxes[0].flags, platform::kIconInformation);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CheckAdminTest,
    ::testing::Values(
        GateCase{"NoProductKey", false, false, "", false, true},
        GateCase{"NoMarker", true, false, "", false, true},
        GateCase{"EmptyMarkerWritableProfile", true, true, std::string("\0", 1), true, true},
        GateCase{"ZeroMarkerWritableProfile", true, true, std::string("0\0", 2), true, true},
        GateCase{"MarkerWritableProfile", true, true, std::string("1\0", 2), true, true},
        // Eleven bytes do not fit the ten-byte read: the marker counts as absent.
        GateCase{"OversizedMarker", true, true, std::string("1234567890\0", 11), false, true},
        GateCase{"TenByteMarkerWithoutNul", true, true, "1234567890", false, false},
        GateCase{"WideMarker", true, true, std::string("ＴＲＵＥＴＲＵＥ２") + '\0', false, false},
        GateCase{"OversizedWideMarker", true, true, std::string("ＴＲＵＥＴＲＵＥ２２") + '\0', false, true},
        GateCase{"MarkerReadOnlyProfile", true, true, std::string("1\0", 2), false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The gate's own box: the system's text for the probe's error.
class CheckAdminErrorTest : public SimTest {};
// The exported entries around the gate: warning, result, UninstUnInitialize.
class EntryPointsTest : public SimTest {};

TEST_F(CheckAdminErrorTest, GateExplainsTheProbesOwnErrorCode) {
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin, "1");
  // A code other than "access denied" shows that the box explains what the
  // probe returned, not some unrelated last error.
  sim::FailWhen(Op::RegOpen, "HKU\\.Default", platform::kErrorFileNotFound);
  EXPECT_FALSE(CheckAdmin());
  EXPECT_EQ(Changes(sim::Change::MessageBox),
            std::vector<std::string>{"CheckAdmin|The system cannot find the file specified.\r\n"});
}

TEST_F(CheckAdminErrorTest, GateNamesACodeTheSystemCannotExplain) {
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin, "1");
  sim::FailWhen(Op::RegOpen, "HKU\\.Default", 1234);
  EXPECT_FALSE(CheckAdmin());
  EXPECT_EQ(Changes(sim::Change::MessageBox), std::vector<std::string>{"CheckAdmin|Error 1234."});
}

TEST_F(EntryPointsTest, FailedGateBeepsWarnsAndRemovesNothing) {
  AddUserTree();
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin, "1");
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::UseSharedFiles, "TRUE");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, qf::UseSharedData, "1");
  AddComponent(qf::DataComponent, "1", "C:\\Shared\\Data");
  sim::MakeFile("C:\\Shared\\Data\\a.dat");
  sim::AddLibrary(qf::SecondCompanion);
  sim::AddEntry(qf::SecondCompanion, qf::VrxEntry);
  sim::SetKeyRights(Root::Users, qf::DefaultUserKey, true, false);

  EXPECT_EQ(UninstInitialize(1, 2, 3), 0);

  const auto& journal = sim::Journal();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[0].kind, sim::Change::MessageBox);
  EXPECT_EQ(journal[0].path, "CheckAdmin");
  EXPECT_EQ(journal[1].kind, sim::Change::Beep);
  EXPECT_EQ(journal[2].kind, sim::Change::MessageBox);
  EXPECT_EQ(journal[2].path, "");
  EXPECT_EQ(journal[2].detail,
            "Quillforge was installed by an administrator on this system.  You must run "
            "uninstall from an account with administrator rights.");
  EXPECT_EQ(journal[2].flags, platform::kIconWarning);
  EXPECT_TRUE(sim::KeyExists(Root::CurrentUser, std::string(qf::UserSettingsKey)));
  EXPECT_TRUE(sim::Exists("C:\\Shared\\Data\\a.dat"));
}

TEST_F(EntryPointsTest, PassingGateShowsNoBox) {
  sim::SetText(Root::LocalMachine, ProductVersionKey, qf::InstallAdmin, "1");
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  EXPECT_TRUE(sim::JournalOf(sim::Change::MessageBox).empty());
  EXPECT_TRUE(sim::JournalOf(sim::Change::Beep).empty());
}

TEST_F(EntryPointsTest, UnInitializeTouchesNothing) {
  AddUserTree();
  EXPECT_EQ(UninstUnInitialize(7, 8, 9), 0);
  EXPECT_EQ(sim::OperationCount(), 0u);
  EXPECT_TRUE(sim::Journal().empty());
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  const size_t afterPass = sim::Journal().size();
  EXPECT_EQ(UninstUnInitialize(0xFFFFFFFF, 0, 1), 0);
  EXPECT_EQ(sim::Journal().size(), afterPass);
}

}  // namespace
}  // namespace qf::test
