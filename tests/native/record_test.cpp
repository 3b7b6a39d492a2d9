// The run record: kept only where the policy names a directory that is
// itself, created only as a new file, and never a reason for the uninstall
// to do anything else.
#include <functional>
#include <set>

#include <nlohmann/json.hpp>

#include "exports/entry_points.h"
#include "fixtures.h"

namespace qf::test {
namespace {

const std::string kDir = "C:\\Records";
// The simulation's process, time and random bits make the names the record tries.
const std::string kFirst = kDir + "\\uninstall-20261208T131236000Z-4242-0000000000000001";
const std::string kSecond = kDir + "\\uninstall-20261208T131236000Z-4242-0000000000000002";
const std::string kCanary = "C:\\Canary\\precious.txt";
const std::string kNamed = "Caf\xC3\xA9 \xC4\x81 \xE8\xA8\x98\xE9\x8C\xB2.txt";  // beyond any code page
const std::string kControls = "line\nfeed\x01\x1f\t\"quoted\"\\.dat";  // as a unix file system allows
const std::string kNames[] = {"a.dat", kNamed, kControls};

struct RecordCase {
  const char* label;
  std::string policy;             // the value; "" for none
  std::function<void()> arrange;  // after the installation and the policy
  std::string recordAt;           // where the record must be; "" for nowhere
};

class RecordTest : public SimTest, public ::testing::WithParamInterface<RecordCase> {};

// A per-user tree and a component released: changes of both kinds.  Gives
// the journal's length and the files left by an uninstall without a record.
std::pair<size_t, std::vector<std::string>> Install(bool andRun) {
  ResetMachine();
  AddUserTree();
  sim::SetText(Root::LocalMachine, ProductVersionKey, UseSharedFiles, "TRUE");
  sim::SetText(Root::LocalMachine, UnInstInfoKey, UseSharedData, "1");
  AddComponent(DataComponent, "1", "C:\\Shared\\Data");
  sim::SetText(Root::LocalMachine, SharedKey, SharedFilesDir, "C:\\Shared");
  for (const std::string& name : kNames) sim::MakeFile("C:\\Shared\\Data\\" + name);
  sim::MakeDir("C:\\Shared\\Data\\Logs");
  sim::MakeFile(kCanary, 0, "keep");
  if (andRun) EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  return {sim::Journal().size(), sim::Tree("C:\\Shared")};
}

TEST_P(RecordTest, KeptOnlyWhereItIsSafeAndNeverChangesThePass) {
  const RecordCase& c = GetParam();
  const auto [journal, files] = Install(true);
  Install(false);
  if (!c.policy.empty()) sim::SetText(Root::LocalMachine, PolicyKey, UninstallRecord, c.policy);
  if (c.arrange) c.arrange();
  EXPECT_EQ(UninstInitialize(0, 0, 0), 0);
  EXPECT_EQ(sim::Journal().size(), journal) << "the record changed what the pass did";
  EXPECT_EQ(sim::Tree("C:\\Shared"), files);
  EXPECT_EQ(sim::FileContents(kCanary), "keep");
  // A directory that fills up keeps the file it was given, with nothing in it.
  const std::string record = sim::FileContents(c.recordAt.empty() ? kFirst + ".jsonl" : c.recordAt).value_or("");
  EXPECT_EQ(record.empty(), c.recordAt.empty());
  if (record.empty()) return;
  // Every line is JSON, whatever the names hold.
  std::vector<nlohmann::json> lines;
  std::set<std::string> deleted;
  for (size_t at = 0, end; (end = record.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(nlohmann::json::parse(record.substr(at, end - at), nullptr, false));
    ASSERT_FALSE(lines.back().is_discarded()) << record.substr(at, end - at);
    if (lines.back().value("op", "") == "delete-file") deleted.insert(lines.back().value("path", ""));
  }
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front().value("line", ""), "start");
  EXPECT_EQ(lines.front().value("computer", ""), "QFTEST");
  for (const std::string& name : kNames) EXPECT_EQ(deleted.count("C:\\Shared\\Data\\" + name), 1u) << name;
  EXPECT_EQ(lines.back().value("line", ""), "end");
  EXPECT_TRUE(lines.back().value("complete", false));
}

const auto kMakeDir = [] { sim::MakeDir(kDir); };

const RecordCase kCases[] = {
    {"NoPolicy", "", kMakeDir, ""},
    {"Kept", kDir, kMakeDir, kFirst + ".jsonl"},
    {"Missing", kDir, nullptr, ""},
    {"Relative", "Records", kMakeDir, ""},
    {"DriveRoot", "C:\\", nullptr, ""},
    {"AFile", kDir, [] { sim::MakeFile(kDir); }, ""},
    {"ALink", kDir, [] { sim::MakeLink(kDir, "C:\\Canary", true); }, ""},
    {"BehindALink", "C:\\Via\\Records", [] { kMakeDir(); sim::MakeLink("C:\\Via", "C:\\", true); }, ""},
    {"NameTakenByALink", kDir, [] { kMakeDir(); sim::MakeLink(kFirst + ".jsonl", kCanary, false); },
     kSecond + ".jsonl"},
    {"InAComponentRoot", "C:\\Shared\\Data\\Logs", nullptr, ""},
    {"InAComponentRootByDots", "C:\\Canary\\..\\Shared\\Data\\Logs", nullptr, ""},
    {"InAComponentRootByAShortName", "C:\\SHARED~1\\Data\\Logs", [] { sim::SetShortName("C:\\Shared", "SHARED~1"); }, ""},
    {"TheSharedArea", "C:\\Shared\\", nullptr, ""},
    {"Full", kDir, [] { kMakeDir(); sim::FailWhen(sim::Op::FileWrite, kDir, 112); }, ""},
    {"PolicyKeyALink", kDir,
     [] { kMakeDir(); sim::LinkKeyAway(Root::LocalMachine, PolicyKey, "Software\\Elsewhere\\3.0"); }, ""},
};
INSTANTIATE_TEST_SUITE_P(Records, RecordTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace qf::test
