// Releasing one shared component: its use count, its files, its record and,
// for the help component, the help registrations of its files.
#include <algorithm>
#include <functional>
#include <tuple>

#include "fixtures.h"
#include "linkproof/linkproof.h"
#include "shared/shared.h"

namespace qf::test {
namespace {

using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegSz;
using sim::Op;

const std::string kRoot = "C:\\Shared\\Data";

std::string Dword(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

struct CountCase {
  const char* name;
  uint32_t type;
  std::string stored;  // raw bytes of "UseCount"
  bool released;
  uint32_t expectedType;  // when counted down
  std::string expected;   // raw bytes after the count-down
};

class UseCountTest : public SimTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(UseCountTest, CountsDownOrReleases) {
  const CountCase& c = GetParam();
  sim::SetValue(Root::LocalMachine, ComponentKey(qf::DataComponent), qf::UseCount, c.type,
                c.stored);
  sim::SetText(Root::LocalMachine, ComponentKey(qf::DataComponent), qf::RootDir, kRoot);
  sim::MakeFile(kRoot + "\\file.dat");

  ReleaseSharedComponent(qf::DataComponent);

  EXPECT_EQ(sim::Exists(kRoot), !c.released);
  EXPECT_EQ(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)), !c.released);
  if (!c.released) {
    EXPECT_TRUE(sim::Exists(kRoot + "\\file.dat"));
    const auto count =
        sim::GetValue(Root::LocalMachine, ComponentKey(qf::DataComponent), qf::UseCount);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, c.expectedType);
    EXPECT_EQ(count->data, c.expected);
  }
}

const std::string Nul(1, '\0');

INSTANTIATE_TEST_SUITE_P(
    Counts, UseCountTest,
    ::testing::Values(
        CountCase{"Three", kRegSz, "3" + Nul, false, kRegSz, "2" + Nul},
        CountCase{"Two", kRegSz, "2" + Nul, false, kRegSz, "1" + Nul},
        CountCase{"Eleven", kRegSz, "11" + Nul, false, kRegSz, "10" + Nul},
        CountCase{"LeadingBlank", kRegSz, " 5" + Nul, false, kRegSz, "4" + Nul},
        CountCase{"TabsAndSign", kRegSz, "\t\n+7x" + Nul, false, kRegSz, "6" + Nul},
        CountCase{"NoNulStored", kRegSz, "12", false, kRegSz, "11" + Nul},
        CountCase{"TooLongToRead", kRegSz, "0000000003" + Nul, false, kRegSz, "0000000003" + Nul},
        CountCase{"DwordThree", kRegDword, Dword(3), false, kRegDword, Dword(2)},
        CountCase{"DwordTwo", kRegDword, Dword(2), false, kRegDword, Dword(1)},
        // Read as the exact text, never best fit: "２" is no digit.
        CountCase{"DigitThenFullwidth", kRegSz, "3２" + Nul, false, kRegSz, "2" + Nul},
        CountCase{"TenUnitsInMoreBytes", kRegSz, "3２２２２２２２２" + Nul, false, kRegSz, "2" + Nul},
        CountCase{"ElevenUnitsTooLong", kRegSz, "3２２２２２２２２２" + Nul, false, kRegSz,
                  "3２２２２２２２２２" + Nul},
        CountCase{"BinaryBeyondAscii", kRegBinary, "3\xEF\xBC\x92", false, kRegBinary,
                  "3\xEF\xBC\x92"},
        CountCase{"One", kRegSz, "1" + Nul, true, 0, ""},
        CountCase{"Zero", kRegSz, "0" + Nul, true, 0, ""},
        CountCase{"Negative", kRegSz, "-4" + Nul, true, 0, ""},
        CountCase{"Empty", kRegSz, Nul, true, 0, ""},
        CountCase{"Letters", kRegSz, "abc" + Nul, true, 0, ""},
        CountCase{"FullwidthTwo", kRegSz, "２" + Nul, true, 0, ""},
        CountCase{"FullwidthBeforeDigit", kRegSz, "２3" + Nul, true, 0, ""},
        CountCase{"DwordOne", kRegDword, Dword(1), true, 0, ""},
        CountCase{"DwordNegative", kRegDword, Dword(0xFFFFFFFF), true, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// One component's record: its count, its root and when it is left alone.
class ComponentRecordTest : public SimTest {};
// Emptying a released component's directory tree.
class ComponentTreeTest : public SimTest {};
// The help registrations of the help component's files.
class HelpRegistrationTest : public SimTest {};

TEST_F(ComponentRecordTest, MissingCountLeavesComponentAlone) {
  sim::SetText(Root::LocalMachine, ComponentKey(qf::DataComponent), qf::RootDir, kRoot);
  sim::MakeFile(kRoot + "\\file.dat");
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_TRUE(sim::Exists(kRoot + "\\file.dat"));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
  EXPECT_TRUE(sim::Journal().empty());
}

TEST_F(ComponentRecordTest, MissingComponentKeyChangesNothing) {
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_TRUE(sim::Journal().empty());
}

TEST_F(ComponentRecordTest, ReleasingTwiceCountsDownTwice) {
  AddComponent(qf::DataComponent, "3", kRoot);
  ReleaseSharedComponent(qf::DataComponent);
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_EQ(sim::GetText(Root::LocalMachine, ComponentKey(qf::DataComponent), qf::UseCount), "1");
}

// Root directories that would reach beyond one component's own files.
class UnsafeRootTest : public SimTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnsafeRootTest, LeavesEverythingAsItWas) {
  sim::MakeFile("C:\\Host\\keep.txt");
  sim::MakeFile("C:\\Temp\\keep.txt");
  sim::MakeFile("D:\\keep.txt");
  sim::MakeFile("\\\\server\\share\\keep.txt");
  AddComponent(qf::DataComponent, "1", GetParam());

  ReleaseSharedComponent(qf::DataComponent);

  EXPECT_TRUE(sim::Journal().empty());
  EXPECT_EQ(sim::GetText(Root::LocalMachine, ComponentKey(qf::DataComponent), qf::UseCount), "1");
  for (const char* path : {"C:\\Host\\keep.txt", "C:\\Temp\\keep.txt", "D:\\keep.txt",
                           "\\\\server\\share\\keep.txt"})
    EXPECT_TRUE(sim::Exists(path)) << path;
}

INSTANTIATE_TEST_SUITE_P(Roots, UnsafeRootTest,
                         ::testing::Values("", "Temp", ".\\", "\\Temp", "C:", "C:Temp",
                                           "C:\\", "C:\\\\", "c:/", "D:\\", "C:\\Temp\\..",
                                           "C:\\Temp\\.\\..\\", "\\\\server\\share",
                                           "\\\\server\\share\\", "\\\\server\\share\\x\\..",
                                           "\\\\?\\C:\\Temp", "\\\\.\\C:"));

TEST_F(ComponentRecordTest, MissingRootDirLeavesCountAndKey) {
  sim::SetText(Root::LocalMachine, ComponentKey(qf::DataComponent), qf::UseCount, "1");
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
  EXPECT_TRUE(sim::Journal().empty());
}

TEST_F(ComponentRecordTest, RootDirTooLongToReadLeavesComponent) {
  const std::string longRoot = "C:\\" + std::string(252, 'd');  // 255 bytes and a NUL
  AddComponent(qf::DataComponent, "1", longRoot);
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
}

TEST_F(ComponentTreeTest, ReleasesWholeTreeThreeLevelsDeep) {
  AddComponent(qf::DataComponent, "1", kRoot);
  for (const char* file : {"top.dat", "a\\one.dat", "a\\b\\two.dat", "a\\b\\c\\three.dat",
                           "a\\b\\c\\four.dat", "e\\five.dat"})
    sim::MakeFile(kRoot + "\\" + file);
  sim::MakeDir(kRoot + "\\empty");
  sim::MakeFile("C:\\Shared\\sibling.dat");

  ReleaseSharedComponent(qf::DataComponent);

  EXPECT_FALSE(sim::Exists(kRoot));
  EXPECT_TRUE(sim::Exists("C:\\Shared\\sibling.dat"));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, SharedKey));
  // Every directory goes after its contents.
  const auto removed = Changes(sim::Change::RemoveDirectory);
  ASSERT_FALSE(removed.empty());
  EXPECT_EQ(removed.back(), kRoot);
}

TEST_F(ComponentTreeTest, DirectoriesWithOtherAttributesAreEmptiedToo) {
  using namespace platform;
  AddComponent(qf::DataComponent, "1", kRoot);
  sim::MakeDir(kRoot + "\\hidden", kAttrHidden);
  sim::MakeDir(kRoot + "\\readonly", kAttrReadOnly);
  sim::MakeDir(kRoot + "\\archive", kAttrArchive | kAttrHidden);
  for (const char* dir : {"hidden", "readonly", "archive"}) sim::MakeFile(kRoot + "\\" + dir + "\\f");
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_FALSE(sim::Exists(kRoot));
}

TEST_F(ComponentRecordTest, UndeletableFileStaysAndTheRecordGoes) {
  AddComponent(qf::DataComponent, "1", kRoot);
  sim::MakeFile(kRoot + "\\a\\locked.dat", platform::kAttrReadOnly);
  sim::MakeFile(kRoot + "\\a\\free.dat");
  sim::MakeFile(kRoot + "\\z\\free.dat");

  ReleaseSharedComponent(qf::DataComponent);

  EXPECT_EQ(sim::Tree(kRoot), (std::vector<std::string>{kRoot + "\\a", kRoot + "\\a\\locked.dat"}));
  EXPECT_FALSE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
}

TEST_F(HelpRegistrationTest, HelpRegistrationsGoWithDeletedFilesOnly) {
  const std::string help = "C:\\Shared\\MSHelp";
  AddComponent(qf::HelpComponent, "1", help);
  sim::MakeFile(help + "\\guide.hlp");
  sim::MakeFile(help + "\\deep\\deeper\\ref.hlp");
  sim::MakeFile(help + "\\stuck.hlp", platform::kAttrReadOnly);
  for (const char* value : {"guide.hlp", "ref.hlp", "stuck.hlp", "deep", "other.hlp"})
    sim::SetText(Root::LocalMachine, HelpRegistrationKey, value, help);

  ReleaseSharedComponent(qf::HelpComponent);

  EXPECT_FALSE(sim::GetText(Root::LocalMachine, HelpRegistrationKey, "guide.hlp"));
  EXPECT_FALSE(sim::GetText(Root::LocalMachine, HelpRegistrationKey, "ref.hlp"));
  // A file that stayed keeps its registration; a directory's name and another
  // product's file are no registrations of deleted files.
  for (const char* kept : {"stuck.hlp", "deep", "other.hlp"})
    EXPECT_TRUE(sim::GetText(Root::LocalMachine, HelpRegistrationKey, kept)) << kept;
}

TEST_F(HelpRegistrationTest, OtherComponentsNeverTouchHelpRegistrations) {
  for (const char* name : {"mshelp", "MSHELP", "MSHelp ", "Data"}) {
    const std::string root = std::string("C:\\Shared\\") + name + "X";
    AddComponent(name, "1", root);
    sim::MakeFile(root + "\\guide.hlp");
    sim::SetText(Root::LocalMachine, HelpRegistrationKey, "guide.hlp", root);
    ReleaseSharedComponent(name);
    EXPECT_FALSE(sim::Exists(root)) << name;
    EXPECT_TRUE(sim::GetText(Root::LocalMachine, HelpRegistrationKey, "guide.hlp")) << name;
  }
}

TEST_F(ComponentTreeTest, NothingInTheCurrentDirectoryGoesByAName) {
  // A file of the host's current directory shares a name with one of the
  // component: it stays.
  sim::MakeFile("C:\\Host\\same.dat");
  AddComponent(qf::DataComponent, "1", kRoot);
  sim::MakeFile(kRoot + "\\same.dat");
  sim::MakeFile(kRoot + "\\sub\\same.dat");
  sim::SetCwd("C:\\Host");

  ReleaseSharedComponent(qf::DataComponent);

  EXPECT_TRUE(sim::Exists("C:\\Host\\same.dat"));
  for (const std::string& deleted : Changes(sim::Change::DeleteFile))
    EXPECT_EQ(deleted.rfind(kRoot + "\\", 0), 0u) << deleted;
  EXPECT_FALSE(sim::Exists(kRoot));
}

TEST_F(ComponentTreeTest, LinksAreRemovedNeverFollowed) {
  AddComponent(qf::DataComponent, "1", kRoot);
  sim::MakeFile("C:\\Users\\docs\\letter.txt");
  sim::MakeFile("C:\\Users\\notes.txt");
  sim::MakeLink(kRoot + "\\docs", "C:\\Users\\docs", true);
  sim::MakeLink(kRoot + "\\sub\\notes.txt", "C:\\Users\\notes.txt", false);

  ReleaseSharedComponent(qf::DataComponent);

  EXPECT_FALSE(sim::Exists(kRoot));
  EXPECT_TRUE(sim::Exists("C:\\Users\\docs\\letter.txt"));
  EXPECT_TRUE(sim::Exists("C:\\Users\\notes.txt"));
  EXPECT_EQ(Changes(sim::Change::RemoveDirectory),
            (std::vector<std::string>{kRoot + "\\docs", kRoot + "\\sub", kRoot}));
  // Unix links as Wine shows them open as their targets, whose final paths
  // are elsewhere, even when they begin like the tree's own: none is removed.
  for (const auto& [link, target, directory] : {std::tuple{"\\notes.txt", "C:\\Shared\\Data2\\notes.txt", false},
                                                  {"\\sub\\x.txt", "C:\\Users\\notes.txt", false},
                                                  {"\\docs", "C:\\Shared\\Data2", true}}) {
    ResetMachine();
    AddComponent(qf::DataComponent, "1", kRoot);
    for (const char* file : {"C:\\Shared\\Data2\\notes.txt", "C:\\Users\\notes.txt"})
      sim::MakeFile(file);
    sim::MakeLink(kRoot + link, target, directory, /*opensTarget=*/true);
    ReleaseSharedComponent(qf::DataComponent);
    EXPECT_TRUE(sim::Exists(target) && sim::Exists(kRoot + link)) << link;
  }
}

TEST_F(ComponentRecordTest, RootThatIsALinkIsLeftAlone) {
  sim::MakeFile("C:\\Windows\\system.ini");
  sim::MakeLink(kRoot, "C:\\Windows", true);
  AddComponent(qf::DataComponent, "1", kRoot);
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_TRUE(sim::Exists("C:\\Windows\\system.ini"));
  EXPECT_TRUE(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)));
  EXPECT_TRUE(sim::Journal().empty());
}

// The root is checked through its handle: its final path must name the
// RootDir as the system names it.  8.3 names, another case and a drive shown
// under another drive's name in final paths still name it; a link on the
// way does not, nor does a look-alike of another directory's name.
struct NamedRootCase {
  const char* name;
  std::string rootDir;
  std::function<void()> arrange;
  bool emptied;
  std::string kept = {};  // a file that must stay, when there is one
  std::string said = {};  // what the last decision says, when refused
  std::string unread = {};  // what could not be read, when that kept it
  size_t passedOver = 0;     // entries whose directory could not be told
};

class NamedRootTest : public SimTest, public ::testing::WithParamInterface<NamedRootCase> {};

TEST_P(NamedRootTest, IsEmptiedOnlyWhereItReallyIs) {
  const NamedRootCase& c = GetParam();
  for (const char* file : {"C:\\Program Files\\Halvern Shared\\Data\\a.dat",
                           "Q:\\tree\\Data\\sub\\b.dat", "D:\\Real\\Data\\c.dat"})
    sim::MakeFile(file);
  sim::SetShortName("C:\\Program Files", "PROGRA~1");
  sim::SetShortName("C:\\Program Files\\Halvern Shared", "HALVER~1");
  if (!c.kept.empty() && !sim::Exists(c.kept)) sim::MakeFile(c.kept);  // what must stay
  c.arrange();
  AddComponent(qf::DataComponent, "1", c.rootDir);

  ReleaseSharedComponent(qf::DataComponent);

  EXPECT_EQ(sim::JournalOf(sim::Change::DeleteFile).size(), c.emptied ? 1u : 0u);
  EXPECT_EQ(sim::KeyExists(Root::LocalMachine, ComponentKey(qf::DataComponent)), !c.emptied);
  EXPECT_TRUE(sim::Exists("D:\\Real\\Data\\c.dat"));
  EXPECT_EQ(std::count_if(sim::Decisions().begin(), sim::Decisions().end(),
                          [](const sim::DecisionEntry& d) { return d.decision == Decision::EntryPassedOver; }),
            static_cast<std::ptrdiff_t>(c.passedOver));
  if (!c.kept.empty()) EXPECT_TRUE(sim::Exists(c.kept));
  if (!c.said.empty()) {
    const sim::DecisionEntry& d = sim::Decisions().at(sim::Decisions().size() - 1);  // throws for none
    EXPECT_EQ(DecisionSentence(d.decision, d.subject, d.first, d.second, d.detail),
              "the RootDir of Data " + c.said + ": left as it is");
  }
  if (!c.unread.empty()) {
    const sim::DecisionEntry& d = sim::Decisions().at(sim::Decisions().size() - 1);
    EXPECT_EQ(d.decision, Decision::RootUnchecked);
    EXPECT_NE(d.detail.find(c.unread), std::string::npos) << d.detail;
  }
}

// A root that is or holds what is not the component's own, each class also
// written another way (8.3 name, case, trailing separator, "..", a link's
// target), and directories below such folders, which are the component's.
const std::string kArea = "C:\\Program Files\\Halvern Shared";
const std::string kTemp = "C:\\Users\\tester\\AppData\\Local\\Temp";
// An uninstall entry; an App Paths entry in HKLM.
void Program(Root root, const std::string& entry, const std::string& location, const std::string& shown) {
  const std::string key = std::string(UninstallKey) + "\\" + entry;
  sim::SetText(root, key, InstallLocation, location);
  if (!shown.empty()) sim::SetText(root, key, DisplayName, shown);
}
void AppPath(const std::string& program, const std::string& file, const std::string& path) {
  const std::string key = std::string(AppPathsKey) + "\\" + program;
  if (!file.empty()) sim::SetText(Root::LocalMachine, key, "", file);
  if (!path.empty()) sim::SetText(Root::LocalMachine, key, AppPathValue, path);
}
void SetArea(const std::string& dir) { sim::SetText(Root::LocalMachine, SharedKey, SharedFilesDir, dir); }
// A value as an installer writes it: a REG_EXPAND_SZ when it names a variable.
void SetPath(Root root, const std::string& key, const char* name, const std::string& text) {
  sim::SetValue(root, key, name, text.find('%') != std::string::npos ? platform::kRegExpandSz : kRegSz, text + '\0');
}
// An entry without an InstallLocation, named by `value` (DisplayIcon, UninstallString).
void ProgramBy(const std::string& entry, const char* value, const std::string& text) {
  SetPath(Root::LocalMachine, std::string(UninstallKey) + "\\" + entry, value, text);
  sim::SetText(Root::LocalMachine, std::string(UninstallKey) + "\\" + entry, DisplayName, "Other");
}
// An account's profile as the system lists it (or the Default one), in the 64-bit view.
void Profile(const std::string& sid, const std::string& text) {
  sim::SetUpIn64BitView(true);
  if (sid.empty()) SetPath(Root::LocalMachine, ProfileListKey, DefaultProfile, text);
  else SetPath(Root::LocalMachine, std::string(ProfileListKey) + "\\" + sid, ProfileImagePath, text);
  sim::SetUpIn64BitView(false);
}
const std::string kOther = "C:\\Users\\other";
const std::vector<NamedRootCase> kForeignRoots = {
    {"TheAreaByShortNames", "C:\\PROGRA~1\\HALVER~1", [] { SetArea(kArea); }, false,
     kArea + "\\Data\\a.dat", "is the shared area's directory " + kArea},
    {"AboveTheAreaWithSeparator", "Q:\\tree\\", [] { SetArea("Q:\\tree\\Data\\sub"); }, false,
     "Q:\\tree\\Data\\sub\\b.dat", "holds the shared area Q:\\tree\\Data\\sub"},
    {"AboveAnAreaNotThere", "Q:\\tree", [] { SetArea("Q:\\tree\\GONE~1\\area"); }, false,
     "Q:\\tree\\Data\\sub\\b.dat", "holds the shared area Q:\\tree\\GONE~1\\area"},
    {"AboveAnAreaNotThereByAShortName", kArea, [] { SetArea("C:\\PROGRA~1\\Halvern Shared\\NotYet"); }, false,
     kArea + "\\Data\\a.dat", "holds the shared area C:\\PROGRA~1\\Halvern Shared\\NotYet"},
    {"AboveAnotherComponentInOtherCase", "d:\\REAL", [] { AddComponent("Fonts", "2", "D:\\Real\\Data"); },
     false, "D:\\Real\\Data\\c.dat", "holds the component Fonts at D:\\Real\\Data"},
    {"AnotherRecordsRootWithSeparator", kArea + "\\Data", [] { AddComponent("Fonts", "1", kArea + "\\Data\\"); },
     false, kArea + "\\Data\\a.dat", "is the directory of the component Fonts at " + kArea + "\\Data\\"},
    {"TheHostsDirectoryByDots", "C:\\Program Files\\Quillforge\\bin\\..", [] {}, false,
     "C:\\Program Files\\Quillforge\\qfhost.exe", "is the uninstaller's directory C:\\Program Files\\Quillforge"},
    {"AboveTheLibrarysDirectory", kArea + "\\Data", [] { sim::SetLibraryDir(kArea + "\\Data\\lib"); },
     false, kArea + "\\Data\\a.dat", "holds this library's directory " + kArea + "\\Data\\lib"},
    {"TheCurrentDirectoryInOtherCase", "c:\\host", [] {}, false, "C:\\Host\\keep.txt",
     "is the current directory C:\\Host"},
    {"DocumentsByShortName", "C:\\Users\\tester\\DOCUME~1",
     [] { sim::SetShortName("C:\\Users\\tester\\Documents", "DOCUME~1"); }, false,
     "C:\\Users\\tester\\Documents\\letter.txt", "is the system's Documents folder C:\\Users\\tester\\Documents"},
    {"WhereDocumentsLeads", "D:\\Docs", [] { sim::MakeLink("C:\\Users\\tester\\Documents", "D:\\Docs", true); },
     false, "D:\\Docs\\letter.txt", "is the system's Documents folder C:\\Users\\tester\\Documents"},
    {"AboveAppDataWithSeparator", "C:\\Users\\tester\\AppData\\", [] {}, false,
     "C:\\Users\\tester\\AppData\\Roaming\\x.ini",
     "holds the system's Roaming AppData folder C:\\Users\\tester\\AppData\\Roaming"},
    {"ThePublicFolderByDots", "C:\\Users\\Public\\Documents\\..", [] {}, false,
     "C:\\Users\\Public\\Documents\\shared.txt", "is the system's Public folder C:\\Users\\Public"},
    // On 64-bit Windows, where a 32-bit process is given the (x86) folders
    // for its Program Files and Common Files: the machine's own are learnt
    // from the 64-bit registry view; System32 is SysWOW64, Sysnative the real one.
    {"TheMachinesProgramFilesOnWow64ByShortName", "C:\\PROGRA~1", [] { sim::SetWow64(); }, false,
     "C:\\Program Files\\Other\\other.exe", "is the machine's Program Files folder C:\\Program Files"},
    {"TheMachinesCommonFilesOnWow64WithSeparator", "c:\\program files\\common files\\", [] { sim::SetWow64(); },
     false, "C:\\Program Files\\Common Files\\shared.dll", "is the machine's Common Files folder C:\\Program Files\\Common Files"},
    {"ProgramFilesX86OnWow64ByDots", "C:\\Program Files (x86)\\Other\\..", [] { sim::SetWow64(); }, false,
     "C:\\Program Files (x86)\\Other\\other.exe", "is the system's Program Files folder C:\\Program Files (x86)"},
    {"TheRealSystem32OnWow64BySysnative", "C:\\Windows\\Sysnative", [] { sim::SetWow64(); }, false,
     "C:\\Windows\\System32\\kernel32.dll", "is the system's System folder C:\\Windows\\System32"},
    {"SysWow64OnWow64BySystem32", "C:\\WINDOWS\\system32", [] { sim::SetWow64(); }, false,
     "C:\\Windows\\SysWOW64\\kernel32.dll", "is the system's System folder C:\\Windows\\System32"},
    {"BelowProgramData", "C:\\ProgramData\\Halvern\\Data", [] { sim::MakeFile("C:\\ProgramData\\Halvern\\Data\\d"); },
     true},
    // Below the Windows directory, at any depth, and the temporary folders.
    {"BelowWindows", "C:\\Windows\\QA System Data", [] {}, false, "C:\\Windows\\QA System Data\\q.dat",
     "lies below the Windows directory C:\\Windows"},
    {"WindowsTempByDotsInOtherCase", "c:\\WINDOWS\\System32\\..\\temp\\", [] {}, false, "C:\\Windows\\Temp\\t.tmp",
     "lies below the Windows directory C:\\Windows"},
    {"TheAccountsTempByShortName", "C:\\Users\\tester\\AppData\\Local\\TEMP~1",
     [] { sim::MakeDir(kTemp); sim::SetShortName(kTemp, "TEMP~1"); }, false, kTemp + "\\t.tmp",
     "is this account's temporary folder " + kTemp},
    {"AboveATempTheEnvironmentMoved", "D:\\Real", [] { sim::SetSystemPlaces("C:\\Windows", "C:\\Windows\\System32", "D:\\Real\\Tmp"); },
     false, "D:\\Real\\Data\\c.dat", "holds this account's temporary folder D:\\Real\\Tmp"},
    // Other installed programs' directories, as their keys name them.
    {"AnInstalledProgramsDirectory", "C:\\Other Program", [] { Program(Root::LocalMachine, "{0A1}", "C:\\Other Program", "Other Program"); },
     false, "C:\\Other Program\\other.exe", "is the directory of the installed program Other Program at C:\\Other Program"},
    {"AboveAProgramQuotedInOtherCase", "D:\\Real", [] { Program(Root::LocalMachine, "{0A2}", "\"d:\\REAL\\Data\\\"", ""); },
     false, "D:\\Real\\Data\\c.dat", "holds the installed program {0A2} at d:\\REAL\\Data\\"},
    {"AThisAccountsProgramByShortName", "C:\\PROGRA~1\\Mine", [] { Program(Root::CurrentUser, "Mine", "C:\\Program Files\\Mine", "My Tool"); },
     false, "C:\\Program Files\\Mine\\m.exe", "is the directory of the installed program My Tool at C:\\Program Files\\Mine"},
    {"AboveAnAppPathsProgram", "C:\\Other Tools", [] { AppPath("other.exe", "\"C:\\Other Tools\\bin\\other.exe\"", ""); },
     false, "C:\\Other Tools\\bin\\other.exe", "holds the installed program other.exe at C:\\Other Tools\\bin"},
    {"AnAppPathsPathInOtherCase", "c:\\lib b", [] { AppPath("other.exe", "", "C:\\Lib A;C:\\Lib B"); },
     false, "C:\\Lib B\\b.dll", "is the directory of the installed program other.exe at C:\\Lib B"},
    {"ThePackagedAppsRootWithSeparator", "C:\\Program Files\\WindowsApps\\",
     [] { sim::SetText(Root::LocalMachine, AppxKey, PackageRoot, "C:\\Program Files\\WindowsApps"); }, false,
     "C:\\Program Files\\WindowsApps\\a.appx", "is the packaged apps' root C:\\Program Files\\WindowsApps"},
    {"ProgramsListUnreadable", kArea + "\\Data", [] { sim::CreateKey(Root::LocalMachine, UninstallKey), sim::SetKeyRights(Root::LocalMachine, UninstallKey, false, false); },
     false, kArea + "\\Data\\a.dat", "", "HKLM\\" + std::string(UninstallKey) + " (64-bit view)"},
    {"ProgramsListBehindALink", kArea + "\\Data", [] {
       sim::CreateKey(Root::CurrentUser, AppPathsKey);
       sim::LinkKeyAway(Root::CurrentUser, AppPathsKey, "Software\\Elsewhere");
     },
     false, kArea + "\\Data\\a.dat", "", "HKCU\\" + std::string(AppPathsKey)},
    {"BelowAProgramOrNamedByNothing", kArea + "\\Data",
     [] {
       Program(Root::LocalMachine, "{0A3}", "C:\\Program Files\\Halvern Shared", "Halvern");
       Program(Root::LocalMachine, "{0A4}", "Data", "Relative");
       Program(Root::CurrentUser, "{0A5}", "", "Empty");
       Program(Root::LocalMachine, "{0A6}", kArea + "\\Data", "Unopened");
       sim::SetKeyRights(Root::LocalMachine, std::string(UninstallKey) + "\\{0A6}", false, false);
     },
     true},
    // Every other account's profile, at, above or below it; the running
    // account's own keeps the rules of its known folders.
    {"AnotherAccountsProfileExpanded", kOther, [] { Profile("S-1-5-21-1001", "%SystemDrive%\\Users\\other"); }, false,
     kOther + "\\Documents\\letter.txt", "is another account's profile C:\\Users\\other"},
    {"InAnotherAccountsDocumentsInOtherCase", "c:\\users\\OTHER\\Documents", [] { Profile("S-1-5-21-1001", kOther); }, false,
     kOther + "\\Documents\\letter.txt", "lies in another account's profile C:\\Users\\other"},
    {"AboveTheDefaultProfileOnWow64", "D:\\Profiles", [] { sim::SetWow64(), Profile("", "\"D:\\Profiles\\Default\""); }, false,
     "D:\\Profiles\\Default\\ntuser.dat", "holds the default profile D:\\Profiles\\Default"},
    {"InTheRunningAccountsListedProfile", "C:\\Users\\tester\\AppData\\Local\\Halvern",
     [] { Profile("S-1-5-21-1000", "%USERPROFILE%"), sim::MakeFile("C:\\Users\\tester\\AppData\\Local\\Halvern\\d"); }, true},
    // Entries as installers write them: expanded, quoted, a program with
    // its arguments or an icon's index, the machine's own %ProgramFiles%.
    {"AnExpandedInstallLocation", "C:\\Apps\\Other", [] { SetPath(Root::LocalMachine, std::string(UninstallKey) + "\\{0B1}", InstallLocation, "%SystemDrive%\\Apps\\Other"); },
     false, "C:\\Apps\\Other\\other.exe", "is the directory of the installed program {0B1} at C:\\Apps\\Other"},
    {"AboveAnExpandedAppPathsProgramQuoted", "C:\\Apps", [] { SetPath(Root::LocalMachine, std::string(AppPathsKey) + "\\tool.exe", "", "\"%SystemDrive%\\Apps\\Tool\\tool.exe\""); },
     false, "C:\\Apps\\Tool\\tool.exe", "holds the installed program tool.exe at C:\\Apps\\Tool"},
    {"TheMachinesProgramFilesExpandedOnWow64", "C:\\PROGRA~1\\Other64",
     [] {
       sim::SetWow64(), sim::SetUpIn64BitView(true);
       SetPath(Root::LocalMachine, std::string(UninstallKey) + "\\{0B2}", InstallLocation, "%ProgramFiles%\\Other64\\");
       sim::SetUpIn64BitView(false);
     },
     false, "C:\\Program Files\\Other64\\o.exe", "is the directory of the installed program {0B2} at C:\\Program Files\\Other64\\"},
    {"TheIconsDirectoryWithItsIndex", "C:\\Apps\\Other", [] { ProgramBy("{0B3}", DisplayIcon, "C:\\Apps\\Other\\other.exe,0"); },
     false, "C:\\Apps\\Other\\other.exe", "is the directory of the installed program Other at C:\\Apps\\Other"},
    {"TheUninstallersDirectoryQuotedWithArguments", "c:\\apps\\OTHER", [] { ProgramBy("{0B4}", UninstallString, "\"C:\\Apps\\Other\\uninst.exe\" /S"); },
     false, "C:\\Apps\\Other\\other.exe", "is the directory of the installed program Other at C:\\Apps\\Other"},
    {"AboveAnUnquotedUninstallerWithBlanks", "C:\\Apps", [] { ProgramBy("{0B5}", UninstallString, "C:\\Apps\\My Tool\\uninst.exe /S /x"); },
     false, "C:\\Apps\\My Tool\\t.exe", "holds the installed program Other at C:\\Apps\\My Tool"},
    {"TheSystemsRunnersNameNothing", "C:\\Apps",
     [] {
       ProgramBy("{0B6}", UninstallString, "C:\\Apps\\MsiExec.exe /X{0B6}");
       ProgramBy("{0B7}", UninstallString, "c:\\apps\\RUNDLL32.EXE C:\\Apps\\x.dll,Uninstall");
       sim::MakeFile("C:\\Apps\\t.dat");
     },
     true},
    // Where per-user installers put programs, though the system may not say.
    {"TheAccountsProgramsFolder", "C:\\Users\\tester\\AppData\\Local\\Programs", [] {}, false,
     "C:\\Users\\tester\\AppData\\Local\\Programs\\Tool\\t.exe",
     "is this account's Programs folder C:\\Users\\tester\\AppData\\Local\\Programs"},
    {"AboveTheAccountsCommonProgramsByShortName", "C:\\Users\\tester\\AppData\\Local\\PROGRA~1",
     [] { sim::MakeDir("C:\\Users\\tester\\AppData\\Local\\Programs"), sim::SetShortName("C:\\Users\\tester\\AppData\\Local\\Programs", "PROGRA~1"); }, false,
     "C:\\Users\\tester\\AppData\\Local\\Programs\\Common\\c.dll",
     "is this account's Programs folder C:\\Users\\tester\\AppData\\Local\\Programs"},
    // Entries that name nothing usable are passed over; the release goes on.
    {"UnusableEntriesArePassedOver", kArea + "\\Data",
     [] {
       Program(Root::LocalMachine, "{0C1}", "\\\\server\\share\\App", "Offline");
       Program(Root::LocalMachine, "{0C2}", "F:\\Disc\\App", "Not ready");
       sim::FailWhen(Op::TargetFinalPath, "F:\\", 21);
       Program(Root::LocalMachine, "{0C3}", "E:\\App", "Removable");
       sim::SetDriveLocal('E', false);
       sim::FailWhen(Op::TargetFinalPath, "E:\\", 21);
       Program(Root::LocalMachine, "{0C4}", "C:\\Apps\\Other\\\"", "Stray quote");
       Program(Root::LocalMachine, "{0C6}", "C:\\Apps\\Bad|Name", "Rejected name");
       Profile("S-1-5-21-1009", "\\\\server\\profiles\\roaming");
     },
     true, "", "", "", 2},
    {"AListThatFailsPartway", kArea + "\\Data",
     [] { Program(Root::LocalMachine, "{0C5}", "C:\\Apps\\Other", ""), sim::FailWhen(Op::RegEnum, UninstallKey, 1015); },
     false, kArea + "\\Data\\a.dat", "", "HKLM\\" + std::string(UninstallKey) + " (64-bit view)"},
    {"TheProfilesUnreadable", kArea + "\\Data",
     [] { Profile("S-1-5-21-1001", kOther), sim::FailWhen(Op::RegRead, "ProfileImagePath", 1015); },
     false, kArea + "\\Data\\a.dat", "", "the list of profiles"},
    // Under WOW64: a program the 64-bit view alone lists, a 32-bit list
    // that is a link elsewhere, the machine's folders in the 64-bit view alone.
    {"AProgramListedOnlyIn64BitViewOnWow64", "C:\\Program Files\\Tool64",
     [] { sim::SetWow64(), sim::SetUpIn64BitView(true), Program(Root::LocalMachine, "{0D1}", "C:\\Program Files\\Tool64", "Tool64"), sim::SetUpIn64BitView(false); },
     false, "C:\\Program Files\\Tool64\\t.exe", "is the directory of the installed program Tool64 at C:\\Program Files\\Tool64"},
    {"The32BitListALinkElsewhereOnWow64", kArea + "\\Data",
     [] { sim::SetWow64(), sim::CreateKey(Root::LocalMachine, UninstallKey), sim::LinkKeyAway(Root::LocalMachine, UninstallKey, "Software\\Elsewhere"); },
     false, kArea + "\\Data\\a.dat", "", "HKLM\\" + std::string(UninstallKey) + " (32-bit view)"},
    {"MachineFoldersOnlyIn64BitViewOnWow64", "C:\\Program Files\\Common Files",
     [] {
       sim::SetWow64();
       for (const MachineFolder& folder : MachineFolders) sim::DeleteValue(Root::LocalMachine, WindowsVersionKey, folder.value);
     },
     false, "C:\\Program Files\\Common Files\\shared.dll", "is the machine's Common Files folder C:\\Program Files\\Common Files"},
    // This product's own entries are no other program's.
    {"TheProductsOwnAppPathsEntry", kArea + "\\Data",
     [] {
       sim::SetText(Root::LocalMachine, ProductVersionKey, InstallDir, "C:\\Program Files\\Quillforge\\");
       AppPath("quillforge.exe", "\"%ProgramFiles%\\Quillforge\\qf.exe\"", kArea + "\\Data;" + kArea);
       ProgramBy("Quillforge", UninstallString, "\"C:\\Program Files\\Quillforge\\uninst.exe\" /x");
     },
     true},
    {"AProductInstallDirTooWideNamesNothingOwn", kArea + "\\Data",
     [] {
       sim::SetText(Root::LocalMachine, ProductVersionKey, InstallDir, "C:\\Program Files");
       AppPath("quillforge.exe", "C:\\Program Files\\Quillforge\\qf.exe", kArea + "\\Data");
     },
     false, kArea + "\\Data\\a.dat", "is the directory of the installed program quillforge.exe at " + kArea + "\\Data"},
    // Only a local disk names a directory by one final path.
    {"OnAShare", "\\\\localhost\\C$\\Users\\Public", [] {}, false,
     "\\\\localhost\\C$\\Users\\Public\\p.txt", "is not on a local disk (\\\\localhost\\C$\\Users\\Public)"},
    {"OnARemovableDrive", "e:\\Data", [] { sim::SetDriveLocal('E', false); }, false,
     "E:\\Data\\x", "is not on a local disk (E:\\Data)"},
    {"BelowTheHostsDirectory", "C:\\Program Files\\Quillforge\\Data",
     [] { sim::MakeFile("C:\\Program Files\\Quillforge\\Data\\d"); }, true},
};
INSTANTIATE_TEST_SUITE_P(Foreign, NamedRootTest, ::testing::ValuesIn(kForeignRoots),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Roots, NamedRootTest,
    ::testing::Values(
        NamedRootCase{"ShortNames", "C:\\PROGRA~1\\HALVER~1\\Data", [] {}, true},
        NamedRootCase{"ShortNamesAnyCase", "c:\\progra~1\\halver~1\\DATA", [] {}, true},
        NamedRootCase{"AnotherCaseBeyondAscii", "C:\\ÉTUDES",
                      [] { sim::MakeFile("C:\\études\\e.dat"); }, true},
        NamedRootCase{"LookAlikeSibling", "C:\\Program Files\\Halvern Shared\\Dāta",
                      [] { sim::MakeFile("C:\\Program Files\\Halvern Shared\\Dāta\\d"); }, true,
                      "C:\\Program Files\\Halvern Shared\\Data\\a.dat"},
        NamedRootCase{"DriveShownAsAnother", "Q:\\tree\\Data",
                      [] { sim::ShowDriveAs("Q:", "Z:\\dev\\shm\\q"); }, true},
        NamedRootCase{"LinkOnTheWay", "C:\\Linked\\Data",
                      [] { sim::MakeLink("C:\\Linked", "D:\\Real", true); }, false},
        NamedRootCase{"LinkOnTheWayOfAShownDrive", "Q:\\Linked\\Data",
                      [] {
                        sim::ShowDriveAs("Q:", "Z:\\dev\\shm\\q");
                        sim::MakeLink("Q:\\Linked", "D:\\Real", true);
                      },
                      false},
        NamedRootCase{"ShortNameOfALink", "C:\\LINKED~1\\Data",
                      [] {
                        sim::MakeLink("C:\\Linked", "D:\\Real", true);
                        sim::SetShortName("C:\\Linked", "LINKED~1");
                      },
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComponentRecordTest, RootGivenWithDotsIsEmptiedWhereItResolves) {
  AddComponent(qf::DataComponent, "1", "C:\\Shared\\Other\\..\\Data\\.");
  sim::MakeFile(kRoot + "\\file.dat");
  sim::MakeFile("C:\\Shared\\Other\\keep.dat");
  ReleaseSharedComponent(qf::DataComponent);
  EXPECT_FALSE(sim::Exists(kRoot));
  EXPECT_TRUE(sim::Exists("C:\\Shared\\Other\\keep.dat"));
}

// The root emptied as the release empties it, the root itself left.
void EmptyRoot() {
  platform::FileHandle dir;
  std::string finalPath;
  long code = 0;
  ASSERT_EQ(OpenVerifiedRoot(kRoot, &dir, &finalPath, &code), RootCheck::Verified);
  EmptyDirectory(dir, finalPath, qf::DataComponent);
}

TEST_F(ComponentTreeTest, EmptyingAnEmptyDirectoryDeletesNothing) {
  sim::MakeDir(kRoot);
  EmptyRoot();
  EXPECT_TRUE(sim::Exists(kRoot));
  EXPECT_TRUE(sim::Journal().empty());
}

TEST_F(ComponentTreeTest, EmptyingKeepsTheTopDirectory) {
  sim::MakeFile(kRoot + "\\a\\b\\f.dat");
  EmptyRoot();
  EXPECT_TRUE(sim::Exists(kRoot));
  EXPECT_TRUE(sim::Tree(kRoot).empty());
}

// A name with a lone surrogate (stored here as its CESU bytes, no UTF-8)
// reaches nothing: the entry stays with what is in it, and says why.
TEST_F(ComponentTreeTest, NamesThatCannotBeCarriedStay) {
  const std::string odd = kRoot + "\\odd\xED\xA0\x80";
  sim::MakeFile(odd + "\\inner.dat");
  sim::MakeFile(kRoot + "\\odd.dat");
  EmptyRoot();
  EXPECT_EQ(sim::Tree(kRoot), (std::vector<std::string>{odd, odd + "\\inner.dat"}));
  ASSERT_EQ(sim::Decisions().size(), 1u);
  EXPECT_EQ(sim::Decisions()[0].decision, Decision::EntryUncarried);
}

}  // namespace
}  // namespace qf::test
