// Component trees that the real QFUNINST.DLL empties under Wine, driven by
// qfhost.exe: deeper than the narrow calls reach, named by 8.3 names or in
// another case, named beyond the ANSI code page, holding unix links, and raced
// by a native process that swaps its directories for links to a canary while
// the pass runs.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include "support.h"

namespace qftest {
namespace {

constexpr const auto& kShared = qf::SharedKey;
constexpr const auto& kData = qf::KeyPath<qf::MakerKey, qf::SharedKeyName, qf::DataComponent>;

// A directory below the scratch root, by its unix path and as Wine names it.
struct Place {
  std::string unix;
  std::string win() const { return WinPath(unix); }
};

Place Below(const Place& dir, const std::string& name) { return {dir.unix + "/" + name}; }

bool MakeDir(const std::string& win) {
  const std::wstring wide = L"\\\\?\\" + Utf16(win);
  return CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MakeFile(const std::string& win, DWORD attributes = 0) {
  const std::wstring wide = L"\\\\?\\" + Utf16(win);
  const FileHandle file(
      CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
  return file.Valid();
}

// `width` files in `dir`, and `width` subdirectories with as many files each
// when `levels` > 1.
void MakeTree(const std::string& dir, int levels, int width) {
  MakeDir(dir);
  for (int i = 0; i < width; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    MakeFile(dir + "\\f" + n + ".dat");
    if (levels > 1) MakeTree(dir + "\\e" + n, levels - 1, width);
  }
}

size_t CountFiles(const std::wstring& dir) {
  size_t count = 0;
  WIN32_FIND_DATAW entry;
  const FindHandle find(FindFirstFileW((dir + L"\\*").c_str(), &entry));
  if (!find.Valid()) return 0;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    count += directory ? CountFiles(dir + L"\\" + name) : 1;
  } while (FindNextFileW(find.Get(), &entry));
  return count;
}
size_t CountFiles(const std::string& dir) { return CountFiles(Utf16(dir)); }

bool Exists(const std::string& win) {
  return GetFileAttributesW(Utf16(win).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Files named beyond the ANSI code page (a surrogate pair, a combining mark),
// and one that code page holds, in `dir` and a directory of each kind below.
bool MakeNamesTree(const std::string& dir) {
  bool made = true;
  for (const char* sub :
       {"", "\\日本語", "\\Ελληνικά", "\\Кириллица", "\\Кириллица\\😀", "\\e\u0301"}) {
    made = made && MakeDir(dir + sub);
    for (const char* file :
         {"\\日本語.txt", "\\😀.dat", "\\Cafe\u0301.txt", "\\Café Notes.txt", "\\Café ā 記録.txt"})
      made = made && MakeFile(dir + sub + file);
  }
  return made;
}

// Help files and their registrations under HelpRegistrationKey: those that go
// with their files, one whose file stays (read-only), and another product's.
const char* const kHelpGone[] = {"日本語.hlp", "😀.hlp", "Imāges.hlp", "Café Notes.hlp"};
constexpr char kHelpStuck[] = "Кириллица.hlp";
constexpr char kHelpForeign[] = "Images.hlp";  // "Imāges.hlp" in the ANSI code page

bool HelpRegistered(const std::string& name) {
  return RegGetValueW(HKEY_LOCAL_MACHINE, Utf16(qf::HelpRegistrationKey).c_str(),
                      Utf16(name).c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Starts tests/wine/native_links.pl natively.  Wine gives no handle to such
// a process, so it reports through `done`: returns its line, or "" when
// `wait` is set and it did not come within a minute.
class Native {
 public:
  Native(const std::string& arguments, const Place& done) : done_(done) {
    DeleteFileA(done_.win().c_str());
    const std::string line = "Z:\\usr\\bin\\perl " + std::string(QF_NATIVE_LINKS) + " " + arguments +
                       " " + done_.unix;
    StartNative(line);
  }
  std::string Wait() const {
    for (int i = 0; i < 600; ++i) {
      const std::vector<std::string> lines = ReadLines(done_.win());
      if (!lines.empty()) return lines[0];
      Sleep(100);
    }
    return "";
  }

 private:
  Place done_;
};

std::string RunNative(const std::string& arguments, const Place& done) {
  return Native(arguments, done).Wait();
}

// An empty directory of the test's own below the scratch root.
Place Fresh(const std::string& name) {
  const Place trees{ScratchRoot() + "/trees"};
  CreateDirectoryA(WinPath(QF_SCRATCH_ROOT).c_str(), nullptr);
  CreateDirectoryA(WinPath(ScratchRoot()).c_str(), nullptr);
  CreateDirectoryA(trees.win().c_str(), nullptr);
  const Place base = Below(trees, name);
  RunNative("remove " + base.unix, Below(trees, "removed"));
  CreateDirectoryA(base.win().c_str(), nullptr);
  return base;
}

// The installation's record of a component ("Data" unless told), released by
// this product alone; its RootDir is written as UTF-16 (RegSetValueExW).
class DataRecord {
 public:
  explicit DataRecord(const std::string& rootDir,
                      const qf::ComponentFlag& component = qf::ComponentFlags[0])
      : key_(std::string(kShared) + "\\" + component.component) {
    result_ = WriteText(HKEY_LOCAL_MACHINE, kProductKey, qf::UseSharedFiles, "TRUE");
    if (result_ == ERROR_SUCCESS)
      result_ = WriteText(HKEY_LOCAL_MACHINE, qf::UnInstInfoKey, component.flag, "1");
    if (result_ == ERROR_SUCCESS) result_ = WriteText(HKEY_LOCAL_MACHINE, key_, qf::UseCount, "1");
    if (result_ == ERROR_SUCCESS)
      result_ = WriteText(HKEY_LOCAL_MACHINE, key_, qf::RootDir, rootDir);
  }
  const std::string& key() const { return key_; }
  ~DataRecord() {
    for (const char* key : {kProductKey, kShared, qf::ProductKey, qf::MakerKey, qf::PolicyMakerKey})
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, key), RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
  }
  LONG result() const { return result_; }

 private:
  std::string key_;
  LONG result_;
};

void Uninstall(const std::string& currentDir) {
  const HostRun run = RunHost(BuildPath("qfhost.exe"), "--answer-boxes", currentDir);
  EXPECT_TRUE(run.finished && run.exitCode == 0) << run.output;
  EXPECT_TRUE(run.boxes.empty()) << run.output;
}

FileHandle held;  // by this process without share-delete (the HeldOpen row)
std::string PlainTree(const Place& root, const Place&) {
  MakeTree(root.win(), 2, 3);
  return root.win();
}

// ---- Trees emptied and removed, and what they must not take with them -------

struct TreeCase {
  const char* name;
  // Builds the tree at `root` (and what lies outside it in `outside`);
  // returns the RootDir to record, or "" when the set-up failed.
  std::function<std::string(const Place& root, const Place& outside)> build;
  bool rootGoes;
  const char* rootName = "Data";        // `root` and its sibling `outside`
  const char* outsideName = "outside";  // (another product's files)
  const qf::ComponentFlag* component = &qf::ComponentFlags[0];
  std::function<void()> after = [] {};  // more checks, once the pass is over
  // Where the policy sends the record: missing, a link, or (Own) where it
  // goes, whole, with one line holding this text.
  enum { Own, Missing, Linked } recordAt = Own;
  std::string recorded = R"({"line":"end",)";
};

void ExpectRecord(const TreeCase& row, const Place& records) {
  WIN32_FIND_DATAA found;
  const FindHandle find(FindFirstFileA((records.win() + "\\uninstall-*.jsonl").c_str(), &found));
  ASSERT_EQ(find.Valid(), row.recordAt == TreeCase::Own);
  if (!find.Valid()) return;
  std::vector<std::string> lines = ReadLines(Below(records, found.cFileName).win());
  ASSERT_TRUE(lines.size() >= 2 && !FindNextFileA(find.Get(), &found)) << "not one whole record";
  EXPECT_EQ(lines[0].rfind(R"({"line":"start","format":1,"product":"Quillforge","version":"3.0",)", 0), 0u);
  EXPECT_EQ(lines.back().rfind(R"({"line":"end","complete":true,"totals":{"files":)", 0), 0u);
  EXPECT_EQ(CountContaining(lines, row.recorded), 1u) << row.recorded;
}

class Trees : public ::testing::TestWithParam<TreeCase> {};

TEST_P(Trees, AreEmptiedAsFarAsNoLinkLeadsOut) {
  const Place base = Fresh(GetParam().name);
  const Place root = Below(base, GetParam().rootName);
  const Place outside = Below(base, GetParam().outsideName);
  ASSERT_TRUE(MakeDir(root.win()));
  MakeTree(outside.win(), 2, 3);
  const size_t outsideFiles = CountFiles(outside.win());
  const std::string rootDir = GetParam().build(root, outside);
  ASSERT_FALSE(rootDir.empty());
  DataRecord record(rootDir, *GetParam().component);
  ASSERT_EQ(record.result(), ERROR_SUCCESS);
  const Place records = Below(base, "records");  // a link to `outside`, counted below
  ASSERT_TRUE(GetParam().recordAt != TreeCase::Own || MakeDir(records.win()));
  ASSERT_TRUE(GetParam().recordAt != TreeCase::Linked ||
              RunNative("link " + outside.unix + " " + records.unix, Below(base, "l")) == "linked");
  ASSERT_EQ(WriteText(HKEY_LOCAL_MACHINE, qf::PolicyKey, qf::UninstallRecord, records.win()),
            ERROR_SUCCESS);

  Uninstall(base.win());
  ExpectRecord(GetParam(), records);
  EXPECT_EQ(CountFiles(outside.win()), outsideFiles) << "the pass went out of its tree";
  EXPECT_EQ(Exists(root.win()), !GetParam().rootGoes);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, record.key()));
  GetParam().after();
  Fresh(GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Wine, Trees,
    ::testing::Values(
        // Far past MAX_PATH, up to near the unix path limit (4,096 bytes)
        // that bounds the final paths Wine can give: every level is reached
        // through its parent.
        TreeCase{"DeeperThanMaxPath",
                 [](const Place& root, const Place&) {
                   std::string dir = root.win();
                   while (dir.size() < 3900) {
                     dir += "\\level_with_a_long_name_" + std::to_string(dir.size());
                     if (!MakeDir(dir) || !MakeFile(dir + "\\f.dat")) return std::string();
                   }
                   return root.win();
                 },
                 true},
        // Past that limit a final path cannot be read, so it cannot be
        // checked: that part stays, with the directories above it, and the
        // rest of the tree goes.
        TreeCase{"PastTheUnixPathLimit",
                 [](const Place& root, const Place&) {
                   MakeTree(root.win(), 2, 3);
                   const Place deep = Below(root, "deep");
                   if (!MakeDir(deep.win()) ||
                       RunNative("deep " + deep.unix + " 4200", Below(root, "../made")) != "deep")
                     return std::string();
                   return root.win();
                 },
                 false, "Data", "outside", &qf::ComponentFlags[0],
                 [] {
                   const Place root{ScratchRoot() + "/trees/PastTheUnixPathLimit/Data"};
                   EXPECT_FALSE(Exists(Below(root, "e00").win()));
                   EXPECT_TRUE(Exists(Below(root, "deep/level_past_the_limit").win()));
                 }},
        // A RootDir written with 8.3 names names the same directory.
        TreeCase{"ShortNames",
                 [](const Place& root, const Place&) {
                   MakeTree(root.win(), 2, 3);
                   char shortPath[MAX_PATH];
                   const DWORD length = GetShortPathNameA(root.win().c_str(), shortPath, MAX_PATH);
                   if (length == 0 || length >= MAX_PATH || root.win() == shortPath) return std::string();
                   std::cout << "RootDir " << shortPath << "\n";
                   return std::string(shortPath);
                 },
                 true},
        // Unix links to a file and to a directory outside: Wine shows the
        // first as a plain file and opens both as their targets.
        TreeCase{"LinksOut",
                 [](const Place& root, const Place& outside) {
                   MakeTree(root.win(), 2, 3);
                   const Place done = Below(root, "../linked");
                   if (RunNative("link " + Below(outside, "f00.dat").unix + " " +
                                     Below(root, "e00/linked.dat").unix, done) != "linked" ||
                       RunNative("link " + Below(outside, "e01").unix + " " +
                                     Below(root, "e01/linked").unix, done) != "linked")
                     return std::string();
                   return root.win();
                 },
                 false},
        // Names beyond the ANSI code page (1252 here), which the narrow calls
        // would give as "?" or a look-alike, go like any other.
        TreeCase{"NamesBeyondTheCodePage",
                 [](const Place& root, const Place&) {
                   return MakeNamesTree(root.win()) ? root.win() : std::string();
                 },
                 true, "Data", "outside", &qf::ComponentFlags[0], [] {}, TreeCase::Own,
                 R"(\\trees\\NamesBeyondTheCodePage\\Data\\Кириллица\\Café ā 記録.txt"})"},
        // "Imāges" narrowed would be its sibling "Images", someone else's.
        TreeCase{"LookAlikeSibling", PlainTree, true, "Imāges", "Images"},
        // A RootDir in another case than the directory names the directory.
        // (Wine's GetLongPathNameW gives the case on disk, so a root compared
        // case-sensitively would pass here too; the simulation's NamedRootTest
        // and the SameName contract rows catch that.)
        TreeCase{"RootDirInAnotherCase",
                 [](const Place& root, const Place&) {
                   MakeTree(root.win(), 2, 3);
                   return WinPath(root.unix.substr(0, root.unix.rfind('/'))) + "\\data";
                 },
                 true},
        TreeCase{"RootDirInAnotherCaseBeyondAscii",
                 [](const Place& root, const Place&) {
                   MakeTree(root.win(), 2, 3);
                   return WinPath(root.unix.substr(0, root.unix.rfind('/'))) + "\\ÉTUDES";
                 },
                 true, "études"},
        // Help files named beyond the code page lose their registrations, and
        // only theirs: a read-only one stays and keeps its own, and so does
        // another product's "Images.hlp".
        TreeCase{"HelpNamesBeyondTheCodePage",
                 [](const Place& root, const Place&) {
                   const auto registered = [](const std::string& name, const std::string& dir) {
                     return WriteText(HKEY_LOCAL_MACHINE, qf::HelpRegistrationKey, name, dir) ==
                            ERROR_SUCCESS;
                   };
                   bool made = registered(kHelpForeign, "C:\\Other") &&
                               registered(kHelpStuck, root.win()) &&
                               MakeFile(root.win() + "\\" + kHelpStuck, FILE_ATTRIBUTE_READONLY);
                   for (const char* name : kHelpGone)
                     made = made && registered(name, root.win()) &&
                            MakeFile(root.win() + "\\" + name);
                   return made ? root.win() : std::string();
                 },
                 false, "MSHelp", "outside", &qf::ComponentFlags[1],
                 [] {
                   for (const char* name : kHelpGone) EXPECT_FALSE(HelpRegistered(name)) << name;
                   for (const char* name : {kHelpStuck, kHelpForeign})
                     EXPECT_TRUE(HelpRegistered(name)) << name;
                   for (const char* name : {kHelpStuck, kHelpForeign, kHelpGone[0], kHelpGone[1],
                                            kHelpGone[2], kHelpGone[3]})
                     RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, Utf16(qf::HelpRegistrationKey).c_str(),
                                        Utf16(name).c_str());
                 }},
        // Where the record cannot go, the pass is the same without it.
        TreeCase{"RecordDirMissing", PlainTree, true, "Data", "outside", &qf::ComponentFlags[0],
                 [] {}, TreeCase::Missing},
        TreeCase{"RecordDirALink", PlainTree, true, "Data", "outside", &qf::ComponentFlags[0],
                 [] {}, TreeCase::Linked},
        // A file another program holds without share-delete stays; the record says why.
        TreeCase{"HeldOpen",
                 [](const Place& root, const Place&) {
                   MakeTree(root.win(), 2, 3);
                   held.Reset(CreateFileW(Utf16(root.win() + "\\e00\\f01.dat").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
                   return held.Valid() ? root.win() : "";
                 },
                 false, "Data", "outside", &qf::ComponentFlags[0], [] { held.Reset(); },
                 TreeCase::Own,
                 R"(\\HeldOpen\\Data\\e00\\f01.dat","first":32,"second":0,"why":"in use by another program"})"}),
    [](const ::testing::TestParamInfo<TreeCase>& info) { return std::string(info.param.name); });

// The rows named beyond the code page prove something only where the ANSI
// code page lacks those characters, as 1252, these prefixes' own, does.
TEST(CodePage, LacksTheNamesTheRowsUse) {
  for (const char* name : {"日本語", "Ελληνικά", "Кириллица", "😀", "e\u0301", "Imāges", "É"}) {
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Utf16(name).c_str(), -1, nullptr, 0, nullptr,
                        &lossy);
    EXPECT_EQ(lossy, std::string(name) != "É")
        << name << " in the ANSI code page " << GetACP() << ": the rows prove nothing there";
  }
}

// ---- A native process racing the pass ---------------------------------------

TEST(TreeRace, DirectoriesSwappedForLinksWhileThePassRunsNeverLeadToTheCanary) {
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    const Place base = Fresh("Race");
    const Place root = Below(base, "Data"), canary = Below(base, "canary");
    MakeTree(root.win(), 3, 12);
    MakeTree(canary.win(), 2, 12);  // named like the tree's own entries
    const size_t canaryFiles = CountFiles(canary.win());
    DataRecord record(root.win());
    ASSERT_EQ(record.result(), ERROR_SUCCESS);

    const Native swapper("swap " + canary.unix + " " + root.unix, Below(base, "swapped"));
    Uninstall(base.win());
    const std::string swapped = swapper.Wait();
    std::cout << "run " << run << ": " << swapped << "\n";
    EXPECT_EQ(swapped.rfind("swapped ", 0), 0u) << swapped;
    EXPECT_EQ(CountFiles(canary.win()), canaryFiles) << "the pass deleted through a link";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kData));
  }
  Fresh("Race");
}

}  // namespace
}  // namespace qftest
