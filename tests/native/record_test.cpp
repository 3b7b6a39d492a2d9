// The run record on the simulated machine: kept only where the policy names
// a directory that is itself, created only as a new file, and never a
// reason for the uninstall to do anything else.
#include <functional>
#include <string>
#include <vector>

#include "exports/entry_points.h"
#include "fixtures.h"

namespace qf::test {
namespace {

const std::string kDir = "C:\\Records";
// The simulation's process and time make the first name the record tries.
const std::string kFirstName = kDir + "\\uninstall-20261208T131236000Z-4242.jsonl";
const std::string kCanary = "C:\\Canary\\precious.txt";

struct RecordCase {
  const char* label;
  std::string policy;            // the value; "" for none
  std::function<void()> arrange;  // after the installation and the policy
  std::string recordAt;           // where the record must be; "" for nowhere
};

class RecordTest : public SimTest, public ::testing::WithParamInterface<RecordCase> {};

// One component released and one per-user tree: changes of both kinds.
void Install() {
  AddUserTree();
  sim::SetText(Root::LocalMachine, ProductVersionKey, UseSharedFiles, "TRUE");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, UseSharedData, "1");
  AddComponent(DataComponent, "1", "C:\\Shared\\Data");
  sim::MakeFile("C:\\Shared\\Data\\a.dat");
  sim::MakeFile("C:\\Shared\\Data\\Caf\xC3\xA9 \xC4\x81 \xE8\xA8\x98\xE9\x8C\xB2.txt");
  sim::MakeFile(kCanary, 0, "keep");
}

// The machine after an uninstall without a record, for comparison.
std::vector<std::string> EndStateWithoutRecord() {
  ResetMachine();
  Install();
  UninstInitialize(0, 0, 0);
  return sim::Tree("C:\\Shared");
}

TEST_P(RecordTest, KeptOnlyWhereItIsSafeAndNeverChangesThePass) {
  const RecordCase& c = GetParam();
  const std::vector<std::string> expected = EndStateWithoutRecord();
  const auto journal = sim::Journal().size();
  ResetMachine();
  Install();
  if (!c.policy.empty()) sim::SetText(Root::LocalMachine, PolicyKey, UninstallRecord, c.policy);
  if (c.arrange) c.arrange();
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  EXPECT_EQ(sim::Tree("C:\\Shared"), expected);
  EXPECT_EQ(sim::Journal().size(), journal) << "the record changed what the pass did";
  EXPECT_EQ(sim::FileContents(kCanary), "keep");
  const std::optional<std::string> record =
      c.recordAt.empty() ? std::nullopt : sim::FileContents(c.recordAt);
  if (c.recordAt.empty()) {
    // A directory that fills up keeps the file it was given, with nothing in it.
    EXPECT_EQ(sim::FileContents(kFirstName).value_or(""), "");
    return;
  }
  ASSERT_TRUE(record) << c.recordAt;
  EXPECT_EQ(record->rfind("{\"line\":\"start\"", 0), 0u);
  EXPECT_NE(record->find("\"op\":\"delete-file\",\"path\":\"C:\\\\Shared\\\\Data\\\\a.dat\""),
            std::string::npos);
  EXPECT_NE(record->find("\"path\":\"C:\\\\Shared\\\\Data\\\\Caf\xC3\xA9 \xC4\x81 "
                         "\xE8\xA8\x98\xE9\x8C\xB2.txt\"}\n"),
            std::string::npos);
  EXPECT_NE(record->find("{\"line\":\"end\",\"complete\":true"), std::string::npos);
}

const RecordCase kCases[] = {
    {"NoPolicy", "", nullptr, ""},
    {"Kept", kDir, [] { sim::MakeDir(kDir); }, kFirstName},
    {"Missing", kDir, nullptr, ""},
    {"Relative", "Records", [] { sim::MakeDir(kDir); }, ""},
    {"DriveRoot", "C:\\", nullptr, ""},
    {"AFile", kDir, [] { sim::MakeFile(kDir); }, ""},
    {"ALink", kDir, [] { sim::MakeLink(kDir, "C:\\Canary", true); }, ""},
    {"BehindALink", "C:\\Via\\Records",
     [] {
       sim::MakeDir(kDir);
       sim::MakeLink("C:\\Via", "C:\\", true);
     },
     ""},
    {"NameTakenByALink", kDir,
     [] {
       sim::MakeDir(kDir);
       sim::MakeLink(kFirstName, kCanary, false);
     },
     kDir + "\\uninstall-20261208T131236000Z-4242-2.jsonl"},
    {"Full", kDir,
     [] {
       sim::MakeDir(kDir);
       sim::FailWhen(sim::Op::FileWrite, kDir, 112);
     },
     ""},
    {"PolicyKeyALink", kDir,
     [] {
       sim::MakeDir(kDir);
       sim::LinkKeyAway(Root::LocalMachine, PolicyKey, "Software\\Elsewhere\\3.0");
     },
     ""},
};

INSTANTIATE_TEST_SUITE_P(Records, RecordTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace qf::test
