// The real QFUNINST.DLL driven by qfhost.exe under Wine: how the host finds
// and calls the entries, the administrator gate with its message boxes, and
// the companion libraries.  Each ctest entry runs one group of these in a
// Wine prefix of its own, since the groups change the machine-wide registry.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

#include "../key_links_win32.h"
#include "support.h"

namespace qftest {
namespace {

constexpr char kLinkName[] = "Aliases\\Current";
constexpr const auto& kLink =
    qf::KeyPath<qf::MakerKey, qf::ProductKeyName, qf::VersionKeyName, kLinkName>;

constexpr char kAdminRequired[] =
    "Quillforge was installed by an administrator on this system.  You must run uninstall "
    "from an account with administrator rights.";

const std::string kVrxCall = "RWUNINST UNINSTALLVRXREGISTRY \"/vrxreg\" usertree=absent";

std::string Host() { return BuildPath("qfhost.exe"); }
// The host's working directory; a fresh build tree has none yet.
std::string TestDir() {
  const std::string dir = WinPath(QF_SCRATCH_ROOT);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  return name;
}

// Lines that show an entry returned 0 with the stack as it was before.
void ExpectCleanCalls(const HostRun& run, int inits, int uninits) {
  EXPECT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(CountLines(run.lines, "UninstInitialize -> 0 (stack balanced)"),
            static_cast<size_t>(inits))
      << run.output;
  EXPECT_EQ(CountLines(run.lines, "UninstUnInitialize -> 0 (stack balanced)"),
            static_cast<size_t>(uninits))
      << run.output;
}

// A scratch directory holding the host, the library and the companion
// stand-ins from `companionDir`, with the companions' log in it.
class HostWithCompanions {
 public:
  explicit HostWithCompanions(const char* companionDir) : dir_(TestName()) {
    added_ = dir_.Add(BuildPath("QFUNINST.DLL")) && dir_.Add(BuildPath("qfhost.exe")) &&
             dir_.Add(BuildPath(std::string(companionDir) + "/RWUNINST.DLL")) &&
             dir_.Add(BuildPath("companions/MX20UNIB.DLL"));
    SetEnvironmentVariableA("QF_COMPANION_LOG", Log().c_str());
  }
  ~HostWithCompanions() { SetEnvironmentVariableA("QF_COMPANION_LOG", nullptr); }
  bool added() const { return added_; }
  std::string Log() const { return dir_.File("companions.log"); }
  HostRun Run(const std::string& arguments) const {
    return RunHost(dir_.File("qfhost.exe"), arguments, dir_.path());
  }

 private:
  ScratchDir dir_;
  bool added_ = false;
};

// ---- Finding and calling the entries -----------------------------------------

struct ResolveCase {
  const char* name;
  const char* arguments;
  int inits;
};

class HostCalls : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(HostCalls, EntriesResolveAndReturnZeroWithBalancedStack) {
  const HostRun run = RunHost(Host(), GetParam().arguments, TestDir());
  ExpectCleanCalls(run, GetParam().inits, 1);
  EXPECT_TRUE(run.boxes.empty()) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Wine, HostCalls,
    ::testing::Values(ResolveCase{"ByName", "--answer-boxes", 1},
                      ResolveCase{"ByOrdinal", "--answer-boxes --by-ordinal", 1},
                      ResolveCase{"Repeated", "--answer-boxes --init-times 3", 3}),
    [](const ::testing::TestParamInfo<ResolveCase>& info) { return info.param.name; });

TEST(HostEntries, NameAndOrdinalGiveTheSameAddresses) {
  const HostRun run = RunHost(Host(), "--check-entries --answer-boxes", TestDir());
  ExpectCleanCalls(run, 1, 1);
  // "<name> by name at <address>, by ordinal <n> at <address>"
  for (const char* entry : {"UninstInitialize", "UninstUnInitialize"}) {
    const std::string head = std::string(entry) + " by name at ";
    size_t found = 0;
    for (const std::string& line : run.lines) {
      if (line.compare(0, head.size(), head) != 0) continue;
      ++found;
      const std::string rest = line.substr(head.size());
      const size_t comma = rest.find(',');
      const size_t at = rest.rfind(" at ");
      ASSERT_NE(comma, std::string::npos) << line;
      ASSERT_NE(at, std::string::npos) << line;
      EXPECT_EQ(rest.substr(0, comma), rest.substr(at + 4)) << line;
      EXPECT_NE(rest.substr(0, comma), "00000000") << line;
    }
    EXPECT_EQ(found, 1u) << entry << "\n" << run.output;
  }
}

TEST(HostEntries, LibraryThatIsMissingFails) {
  // Guards the other tests: a host that cannot load the library must not pass.
  const HostRun run =
      RunHost(Host(), "--answer-boxes --dll \"" + BuildPath("MISSING.DLL") + "\"", TestDir());
  EXPECT_TRUE(run.finished);
  EXPECT_NE(run.exitCode, 0u) << run.output;
}

// ---- Passing the administrator gate ------------------------------------------

struct GateCase {
  const char* name;
  bool marker;  // "InstallAdmin" present; .Default stays writable either way
  bool aliasLink = false;  // the per-user tree holds a link key to Software\Other
  // Subkeys and values of the per-user tree named beyond the ANSI code page
  // (1252 here), whose narrow names would be "?" or a look-alike.
  bool namesBeyondCodePage = false;
};

// Another program's settings, HKCU\Software\Other with a value and a subkey,
// and a link key in the per-user tree that leads there.  Both go at the end,
// the link as itself.
class LinkedOtherSettings {
 public:
  static constexpr char kOther[] = "Software\\Other";
  static constexpr char kOtherInner[] = "Software\\Other\\Inner";
  LinkedOtherSettings() {
    result_ = WriteText(HKEY_CURRENT_USER, kOtherInner, "Keep", "inner");
    if (result_ == ERROR_SUCCESS) result_ = WriteText(HKEY_CURRENT_USER, kOther, "Keep", "me");
    if (result_ == ERROR_SUCCESS) result_ = qf_win32_test::MakeCurrentUserKeyLink(kLink, kOther);
  }
  ~LinkedOtherSettings() {
    qf_win32_test::DeleteCurrentUserKeyLink(kLink);
    RegDeleteTreeA(HKEY_CURRENT_USER, kOther);
  }
  LinkedOtherSettings(const LinkedOtherSettings&) = delete;
  LinkedOtherSettings& operator=(const LinkedOtherSettings&) = delete;
  LONG result() const { return result_; }

 private:
  LONG result_;
};

class PassingGate : public ::testing::TestWithParam<GateCase> {};

TEST_P(PassingGate, ShowsNoBoxAndRemovesPerUserSettings) {
  ASSERT_EQ(TryOpen(HKEY_USERS, qf::DefaultUserKey, KEY_WRITE), ERROR_SUCCESS)
      << "HKEY_USERS\\.Default must be writable here";
  UserSettings settings;
  ASSERT_EQ(settings.result(), ERROR_SUCCESS);
  std::unique_ptr<AdminMarker> marker;
  if (GetParam().marker) {
    marker = std::make_unique<AdminMarker>();
    ASSERT_EQ(marker->result(), ERROR_SUCCESS);
  }
  if (GetParam().namesBeyondCodePage) {
    for (const char* sub : {"\\Ελληνικά\\日本語", "\\😀\\Кириллица", "\\e\u0301", "\\Café"})
      ASSERT_EQ(WriteText(HKEY_CURRENT_USER, kUserOptions + std::string(sub), "Imāges 😀", "x"),
                ERROR_SUCCESS);
  }
  std::unique_ptr<LinkedOtherSettings> other;
  if (GetParam().aliasLink) {
    other = std::make_unique<LinkedOtherSettings>();
    ASSERT_EQ(other->result(), ERROR_SUCCESS);
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER,
                          (std::string(kLink) + "\\Inner").c_str()))
        << "the link key must lead to Software\\Other";
  }

  const HostRun run = RunHost(Host(), "--answer-boxes", TestDir());
  ExpectCleanCalls(run, 1, 1);
  EXPECT_TRUE(run.boxes.empty()) << run.output;
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
  if (other) {
    // The link went as itself: what it led to is all there.
    char text[16] = {};
    DWORD size = sizeof text;
    for (const char* path : {LinkedOtherSettings::kOther, LinkedOtherSettings::kOtherInner}) {
      size = sizeof text;
      EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, path, "Keep", RRF_RT_REG_SZ, nullptr, text, &size),
                ERROR_SUCCESS)
          << path;
    }
    EXPECT_STREQ(text, "inner");
  }
}

INSTANTIATE_TEST_SUITE_P(Wine, PassingGate,
                         ::testing::Values(GateCase{"NoMarker", false},
                                           GateCase{"MarkerWritableProfile", true},
                                           GateCase{"LinkInUserTree", false, true},
                                           GateCase{"NamesBeyondTheCodePage", false, false, true}),
                         [](const ::testing::TestParamInfo<GateCase>& info) {
                           return info.param.name;
                         });

// ---- UninstUnInitialize -------------------------------------------------------

TEST(UnInitialize, AloneChangesNothing) {
  HostWithCompanions host("companions");
  ASSERT_TRUE(host.added());
  UserSettings settings;
  ASSERT_EQ(settings.result(), ERROR_SUCCESS);

  const HostRun run = host.Run("--answer-boxes --calls U");
  ExpectCleanCalls(run, 0, 1);
  EXPECT_TRUE(run.boxes.empty()) << run.output;
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUserOptions));
  EXPECT_TRUE(ReadLines(host.Log()).empty()) << "no companion may be loaded";
}

// ---- Companion libraries -----------------------------------------------------

TEST(Companions, PassTellsVrxRegistryOnceAfterPerUserSettingsAreGone) {
  HostWithCompanions host("companions");
  ASSERT_TRUE(host.added());
  UserSettings settings;
  ASSERT_EQ(settings.result(), ERROR_SUCCESS);

  // UninstUnInitialize around the pass must not repeat any of it.
  const HostRun run = host.Run("--answer-boxes --calls UIU");
  ExpectCleanCalls(run, 1, 2);
  EXPECT_TRUE(run.boxes.empty()) << run.output;

  const std::vector<std::string> log = ReadLines(host.Log());
  std::string all;
  for (const std::string& line : log) all += line + "\n";
  EXPECT_EQ(CountLines(log, kVrxCall), 1u) << all;
  EXPECT_EQ(CountContaining(log, "UNINSTALLVRXREGISTRY"), 1u) << all;
  EXPECT_EQ(CountLines(log, "MX20UNIB load"), 1u) << all;
  EXPECT_EQ(CountLines(log, "MX20UNIB unload"), 1u) << all;
  EXPECT_EQ(CountContaining(log, "UNREGLIB called"), 0u) << all;
}

// Beside the host they are called (above); only in the current directory,
// or only in a directory on PATH, they are never loaded.
TEST(Companions, NeverLoadedFromTheCurrentDirectoryOrPath) {
  for (const bool onPath : {false, true}) {
    const std::string where = onPath ? "-path" : "-current";
    ScratchDir host(TestName() + where), elsewhere(TestName() + where + "-companions");
    ASSERT_TRUE(host.Add(BuildPath("QFUNINST.DLL")) && host.Add(BuildPath("qfhost.exe")) &&
                elsewhere.Add(BuildPath("companions/RWUNINST.DLL")) &&
                elsewhere.Add(BuildPath("companions/MX20UNIB.DLL")));
    std::vector<char> path(32767);
    path.resize(GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size())));
    if (onPath) SetEnvironmentVariableA("PATH", (elsewhere.path() + ";" + std::string(path.begin(), path.end())).c_str());
    SetEnvironmentVariableA("QF_COMPANION_LOG", host.File("companions.log").c_str());
    const HostRun run = RunHost(host.File("qfhost.exe"), "--answer-boxes", onPath ? host.path() : elsewhere.path());
    SetEnvironmentVariableA("QF_COMPANION_LOG", nullptr);
    SetEnvironmentVariableA("PATH", std::string(path.begin(), path.end()).c_str());
    ExpectCleanCalls(run, 1, 1);
    EXPECT_TRUE(ReadLines(host.File("companions.log")).empty()) << where;
  }
}

TEST(Companions, CompanionWithoutEntryIsLoadedButNotCalled) {
  HostWithCompanions host("companions-noentry");
  ASSERT_TRUE(host.added());

  const HostRun run = host.Run("--answer-boxes");
  ExpectCleanCalls(run, 1, 1);
  EXPECT_TRUE(run.boxes.empty()) << run.output;

  const std::vector<std::string> log = ReadLines(host.Log());
  EXPECT_EQ(CountLines(log, "RWUNINST load"), 1u);
  EXPECT_EQ(CountContaining(log, "UNINSTALLVRXREGISTRY"), 0u);
}

// ---- Failing the administrator gate --------------------------------------------
// The installation carries the marker and .Default cannot be written: the pass
// explains the failed probe, says why it stops, and leaves everything alone.

struct RefusalCase {
  const char* name;
  const char* calls;
  int inits;
  int uninits;
};

class AdminGate : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(AdminGate, RefusesWithTwoBoxesAndRemovesNothing) {
  const RefusalCase& c = GetParam();
  HostWithCompanions host("companions");
  ASSERT_TRUE(host.added());
  UserSettings settings;
  ASSERT_EQ(settings.result(), ERROR_SUCCESS);
  AdminMarker marker;
  ASSERT_EQ(marker.result(), ERROR_SUCCESS);
  HostRun run;
  {
    DefaultProfileLock lock;
    ASSERT_EQ(lock.result(), ERROR_SUCCESS);
    ASSERT_EQ(TryOpen(HKEY_USERS, qf::DefaultUserKey, KEY_WRITE), ERROR_ACCESS_DENIED);
    run = host.Run(std::string("--answer-boxes --calls ") + c.calls);
  }
  EXPECT_EQ(TryOpen(HKEY_USERS, qf::DefaultUserKey, KEY_WRITE), ERROR_SUCCESS)
      << "the original DACL must be back";

  std::cout << run.output;  // the boxes as shown, for the test log
  ExpectCleanCalls(run, c.inits, c.uninits);
  const std::string accessDenied = SystemText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(accessDenied.empty());
  ASSERT_EQ(run.boxes.size(), 2u * c.inits) << run.output;
  for (size_t i = 0; i < run.boxes.size(); i += 2) {
    EXPECT_EQ(run.boxes[i].caption, "CheckAdmin");
    EXPECT_EQ(run.boxes[i].text, accessDenied);
    EXPECT_EQ(run.boxes[i + 1].caption, "");
    EXPECT_EQ(run.boxes[i + 1].text, kAdminRequired);
  }
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUserOptions));
  EXPECT_TRUE(ReadLines(host.Log()).empty()) << "no companion may be loaded";
}

INSTANTIATE_TEST_SUITE_P(Wine, AdminGate,
                         ::testing::Values(RefusalCase{"Once", "IU", 1, 1},
                                           RefusalCase{"UnInitializeAround", "UIU", 1, 2},
                                           RefusalCase{"Twice", "IIU", 2, 1}),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace qftest
