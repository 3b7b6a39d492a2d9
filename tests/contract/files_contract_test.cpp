// What the uninstall logic relies on when it opens files and directories
// through their parents' handles, lists them, checks them and deletes them.
#include <algorithm>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "common/case_fold.h"
#include "scratch.h"

namespace qf::contract {
namespace {

using namespace platform;

class FilesContract : public ContractTest {
 protected:
  // Makes a link or skips the case when this backend cannot.
  void MakeLink(const std::string& rel, const std::string& target, bool directory) {
    reason_ = scratch().MakeLink(rel, target, directory);
  }
  std::string reason_;
};

#define MAKE_LINK_OR_SKIP(rel, target, directory)       \
  do {                                                  \
    MakeLink(rel, target, directory);                   \
    if (!reason_.empty()) GTEST_SKIP() << reason_;      \
  } while (0)

// ---- Through handles ----

std::string Folded(const std::string& text) { return FoldName(text); }

FileFacts FactsOf(const FileHandle& handle) {
  FileFacts facts;
  EXPECT_EQ(handle.Facts(&facts), kSuccess);
  return facts;
}

std::optional<DirEntry> Listed(const FileHandle& directory, const std::string& name) {
  std::vector<DirEntry> entries;
  EXPECT_EQ(directory.List(&entries), kSuccess);
  for (const DirEntry& entry : entries)
    if (entry.name == name) return entry;
  return std::nullopt;
}

TEST_F(FilesContract, EntryOpensBelowItsParentInAnyCaseAndNowhereElse) {
  scratch().MakeFile("dir\\Sub\\file.txt");
  scratch().MakeFile("file.txt");
  for (const char* name : {"Ελληνικά", "e\u0301", "Imāges"})
    scratch().MakeDir(std::string("dir\\") + name);
  FileHandle dir;
  ASSERT_EQ(dir.Open(scratch().Path("dir").c_str(), FileAccess::List), kSuccess);
  struct Row {
    const char* name;
    bool opens;
    const char* real;  // below the scratch directory
  };
  // Names beyond the ANSI code page open as exactly themselves: no look-alike
  // ("Imāges" is no "Images"), no other composition ("e\u0301" is no "\u00e9").
  const Row rows[] = {{"sub", true, "dir\\Sub"}, {"SUB", true, "dir\\Sub"},
                      {"file.txt", false, ""}, {"..\\file.txt", false, ""}, {"", false, ""},
                      {"Ελληνικά", true, "dir\\Ελληνικά"}, {"ελληνικά", true, "dir\\Ελληνικά"},
                      {"Ελληνικα", false, ""}, {"e\u0301", true, "dir\\e\u0301"},
                      {"\u00e9", false, ""}, {"IMĀGES", true, "dir\\Imāges"},
                      {"Images", false, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FileHandle entry;
    EXPECT_EQ(entry.OpenBelow(dir, row.name, FileAccess::List) == kSuccess, row.opens);
    EXPECT_EQ(entry.Valid(), row.opens);
    if (!row.opens) continue;
    const FileFacts facts = FactsOf(entry);
    EXPECT_EQ(Folded(facts.finalPath), Folded(scratch().Path(row.real)));
    EXPECT_EQ(facts.attributes & (kAttrDirectory | kAttrReparsePoint), kAttrDirectory);
    EXPECT_EQ(facts.id, Listed(dir, row.real + 4).value_or(DirEntry{}).id);
  }
  FileFacts untouched{7, 7, "untouched"};
  FileHandle closed;
  EXPECT_NE(closed.Facts(&untouched), kSuccess);
  EXPECT_EQ(untouched.finalPath, "untouched");
}

TEST_F(FilesContract, ListingThroughAHandleGivesEveryNameWithAttributesAndId) {
  scratch().MakeFile("listed\\file.txt");
  scratch().MakeFile("listed\\Sub\\deep.txt");
  scratch().MakeFile("listed\\locked.txt", /*readOnly=*/true);
  for (const char* name : {"日本語.txt", "😀.dat", "Café Notes.txt", "Кириллица\\e\u0301"})
    scratch().MakeFile(std::string("listed\\") + name);
  FileHandle dir;
  ASSERT_EQ(dir.Open(scratch().Path("listed").c_str(), FileAccess::List), kSuccess);
  std::vector<DirEntry> entries;
  ASSERT_EQ(dir.List(&entries), kSuccess);
  std::vector<std::string> names;
  for (const DirEntry& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {".",          "..",         "Sub",          "file.txt",
                                       "locked.txt", "日本語.txt", "😀.dat", "Café Notes.txt",
                                       "Кириллица"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);

  std::vector<uint64_t> ids;
  for (const DirEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    SCOPED_TRACE(entry.name);
    FileHandle opened;
    ASSERT_EQ(opened.OpenBelow(dir, entry.name, FileAccess::Inspect), kSuccess);
    const FileFacts facts = FactsOf(opened);
    EXPECT_EQ(facts.id, entry.id);
    EXPECT_EQ(facts.attributes & (kAttrDirectory | kAttrReadOnly),
              entry.attributes & (kAttrDirectory | kAttrReadOnly));
    const bool directory = entry.name == "Sub" || entry.name == "Кириллица";
    EXPECT_EQ(entry.attributes & kAttrDirectory, directory ? kAttrDirectory : 0u);
    ids.push_back(entry.id);
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "ids are distinct";

  FileHandle file;
  ASSERT_EQ(file.OpenBelow(dir, "file.txt", FileAccess::List), kSuccess);
  std::vector<DirEntry> untouched{DirEntry{"untouched", 0, 0}};
  EXPECT_NE(file.List(&untouched), kSuccess);
  EXPECT_EQ(untouched.size(), 1u);
}

TEST_F(FilesContract, FinalPathIsTheRealPathWhateverThePathGiven) {
  scratch().MakeDir("Real\\Inner");
  const std::string given[] = {scratch().Path("Real"), scratch().Path("real\\.\\INNER\\.."),
                               scratch().Path("Real\\Inner\\..\\")};
  for (const std::string& path : given) {
    SCOPED_TRACE(path);
    FileHandle dir;
    ASSERT_EQ(dir.Open(path.c_str(), FileAccess::Inspect), kSuccess);
    EXPECT_EQ(Folded(FactsOf(dir).finalPath), Folded(scratch().Path("Real")));
  }
  // A name the system rejects is no name: neither there nor missing.
  for (const char* rejected : {"Real\\Bad|Name", "Real\\Bad<Name", "Real\\Bad?Name"}) {
    std::string finalPath;
    EXPECT_EQ(TargetFinalPath(scratch().Path(rejected).c_str(), &finalPath), 123) << rejected;
  }
  FileHandle missing;
  EXPECT_NE(missing.Open(scratch().Path("Missing").c_str(), FileAccess::Inspect), kSuccess);
  EXPECT_FALSE(missing.Valid());
  std::string longPath = "untouched";
  EXPECT_NE(LongPathName(scratch().Path("Missing").c_str(), &longPath), kSuccess);
  EXPECT_EQ(longPath, "untouched");
  ASSERT_EQ(LongPathName(scratch().Path("Real\\Inner").c_str(), &longPath), kSuccess);
  EXPECT_EQ(Folded(longPath), Folded(scratch().Path("Real\\Inner")));
}

// What the deletion of a tree relies on to tell a link from the entry its
// name was listed as: on Windows the handle is the link itself, under Wine
// it is the target, whose final path is elsewhere.
TEST_F(FilesContract, LinkNeverPassesForThePlainEntryItsNameWasListedAs) {
  scratch().MakeFile("target\\kept.txt");
  scratch().MakeFile("target.txt");
  scratch().MakeDir("dir");
  MAKE_LINK_OR_SKIP("dir\\link", "target", /*directory=*/true);
  MAKE_LINK_OR_SKIP("dir\\link.txt", "target.txt", /*directory=*/false);
  FileHandle dir;
  ASSERT_EQ(dir.Open(scratch().Path("dir").c_str(), FileAccess::List), kSuccess);
  for (const char* name : {"link", "link.txt"}) {
    SCOPED_TRACE(name);
    FileHandle link;
    ASSERT_EQ(link.OpenBelow(dir, name, FileAccess::Inspect), kSuccess);
    const FileFacts facts = FactsOf(link);
    const bool seenAsLink = (facts.attributes & kAttrReparsePoint) != 0;
    const bool elsewhere = Folded(facts.finalPath) != Folded(scratch().Path("dir\\") + name);
    EXPECT_NE(seenAsLink, elsewhere) << facts.finalPath;
  }
}

TEST_F(FilesContract, LinkIsOpenedAsItself) {
  if (!WineLinkQuirk().empty())
    GTEST_SKIP() << "Wine ignores FILE_OPEN_REPARSE_POINT: a unix link opens as its target";
  scratch().MakeFile("target\\kept.txt");
  scratch().MakeFile("target.txt");
  MAKE_LINK_OR_SKIP("link", "target", /*directory=*/true);
  MAKE_LINK_OR_SKIP("link.txt", "target.txt", /*directory=*/false);
  FileHandle dir;
  ASSERT_EQ(dir.Open(scratch().Dir().c_str(), FileAccess::List), kSuccess);
  FileHandle byPath;
  ASSERT_EQ(byPath.Open(scratch().Path("link").c_str(), FileAccess::Delete), kSuccess);
  EXPECT_EQ(FactsOf(byPath).id, Listed(dir, "link").value_or(DirEntry{}).id);
  byPath.Close();
  for (const char* name : {"link", "link.txt"}) {
    SCOPED_TRACE(name);
    FileHandle link;
    ASSERT_EQ(link.OpenBelow(dir, name, FileAccess::Delete), kSuccess);
    const FileFacts facts = FactsOf(link);
    EXPECT_EQ(facts.attributes & kAttrReparsePoint, kAttrReparsePoint);
    EXPECT_EQ(Folded(facts.finalPath), Folded(scratch().Path(name)));
    EXPECT_EQ(facts.id, Listed(dir, name).value_or(DirEntry{}).id);
    EXPECT_EQ(link.Dispose(), kSuccess);
    link.Close();
    EXPECT_FALSE(scratch().Exists(name));
  }
  EXPECT_TRUE(scratch().Exists("target\\kept.txt"));
  EXPECT_TRUE(scratch().Exists("target.txt"));
}

TEST_F(FilesContract, DeletionThroughTheHandleTakesFilesAndEmptyDirectoriesOnly) {
  scratch().MakeFile("plain.txt");
  scratch().MakeFile("locked.txt", /*readOnly=*/true);
  scratch().MakeDir("empty");
  scratch().MakeFile("full\\file.txt");
  for (const char* name : {"日本語.txt", "😀.dat", "e\u0301.txt", "\u00e9.txt", "Imāges", "Images"})
    scratch().MakeFile(name);
  scratch().MakeDir("Ελληνικά");
  struct Row {
    const char* rel;
    FileAccess access;
    long result;
  };
  const Row rows[] = {{"plain.txt", FileAccess::Delete, kSuccess},
                      {"locked.txt", FileAccess::Delete, kErrorAccessDenied},
                      {"empty", FileAccess::ListAndDelete, kSuccess},
                      {"full", FileAccess::ListAndDelete, kErrorDirNotEmpty},
                      {"full\\file.txt", FileAccess::Inspect, kErrorAccessDenied},
                      {"日本語.txt", FileAccess::Delete, kSuccess},
                      {"😀.dat", FileAccess::Delete, kSuccess},
                      {"e\u0301.txt", FileAccess::Delete, kSuccess},
                      {"Imāges", FileAccess::Delete, kSuccess},
                      {"Ελληνικά", FileAccess::ListAndDelete, kSuccess}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rel);
    FileHandle handle;
    ASSERT_EQ(handle.Open(scratch().Path(row.rel).c_str(), row.access), kSuccess);
    EXPECT_EQ(handle.Dispose(), row.result);
    handle.Close();
    EXPECT_EQ(scratch().Exists(row.rel), row.result != kSuccess);
  }
  for (const char* kept : {"full\\file.txt", "\u00e9.txt", "Images"})
    EXPECT_TRUE(scratch().Exists(kept)) << kept;
}

TEST_F(FilesContract, HeldDirectoryCannotBeRenamedRemovedOrOpenedForDeletion) {
  scratch().MakeDir("parent\\held");
  scratch().MakeDir("parent\\free");
  FileHandle held;
  ASSERT_EQ(held.Open(scratch().Path("parent\\held").c_str(), FileAccess::List), kSuccess);

  EXPECT_NE(scratch().Rename("parent\\held", "parent\\moved"), 0);
  FileHandle second;
  EXPECT_NE(second.Open(scratch().Path("parent\\held").c_str(), FileAccess::Delete), kSuccess);
  EXPECT_EQ(second.Open(scratch().Path("parent\\held").c_str(), FileAccess::Inspect), kSuccess);
  EXPECT_TRUE(scratch().Exists("parent\\held"));
  // What is not held can go.
  EXPECT_EQ(scratch().Rename("parent\\free", "parent\\moved"), 0);
  EXPECT_TRUE(scratch().Exists("parent\\moved"));
}

// As the pass holds each entry it deletes: opened below its parent, by a
// name beyond the ANSI code page.  Its own handle deletes it.
TEST_F(FilesContract, EntryHeldBelowItsParentCannotBeRenamedOrOpenedForDeletion) {
  scratch().MakeFile("parent\\日本語.txt");
  scratch().MakeDir("parent\\Кириллица");
  FileHandle parent;
  ASSERT_EQ(parent.Open(scratch().Path("parent").c_str(), FileAccess::List), kSuccess);
  for (const auto& [name, access] : {std::pair{"日本語.txt", FileAccess::Delete},
                                     std::pair{"Кириллица", FileAccess::ListAndDelete}}) {
    SCOPED_TRACE(name);
    const std::string rel = std::string("parent\\") + name;
    FileHandle held, second;
    ASSERT_EQ(held.OpenBelow(parent, name, access), kSuccess);
    EXPECT_NE(scratch().Rename(rel, "parent\\moved"), 0);
    EXPECT_NE(second.OpenBelow(parent, name, FileAccess::Delete), kSuccess);
    EXPECT_NE(second.Open(scratch().Path(rel).c_str(), FileAccess::Delete), kSuccess);
    EXPECT_TRUE(scratch().Exists(rel));
    EXPECT_EQ(held.Dispose(), kSuccess);
    held.Close();
    EXPECT_FALSE(scratch().Exists(rel));
  }
}

// ---- New files ----

// What a record kept in a directory an administrator's policy names relies
// on: a new file is made below the directory's handle, with its exact name,
// and nothing already at a name, a link least of all, is opened or written.
TEST_F(FilesContract, FileIsCreatedBelowItsDirectoryOnlyWhereNothingHasItsName) {
  for (const char* file : {"record\\taken.jsonl", "aside\\target.jsonl"}) scratch().MakeFile(file);
  for (const char* dir : {"record\\sub", "aside\\target", "aside\\gone"}) scratch().MakeDir(dir);
  MAKE_LINK_OR_SKIP("record\\file link.jsonl", "aside\\target.jsonl", /*directory=*/false);
  MAKE_LINK_OR_SKIP("record\\dir link.jsonl", "aside\\target", /*directory=*/true);
  MAKE_LINK_OR_SKIP("record\\dangling.jsonl", "aside\\gone", /*directory=*/true);
  FileHandle dir, gone;  // the last link's target goes: it leads nowhere then
  ASSERT_EQ(gone.Open(scratch().Path("aside\\gone").c_str(), FileAccess::Delete), kSuccess);
  ASSERT_EQ(gone.Dispose(), kSuccess);
  gone.Close();
  ASSERT_EQ(dir.Open(scratch().Path("record").c_str(), FileAccess::List), kSuccess);
  // `kept` must stay as it was, with its bytes `contents` (none for a directory).
  struct Row { const char *name; long result; const char *kept, *contents; };
  const Row rows[] = {{"Rapport ā 記録.jsonl", kSuccess, "", nullptr},
                      {"taken.jsonl", kErrorAlreadyExists, "record\\taken.jsonl", "record\\taken.jsonl"},
                      {"TAKEN.JSONL", kErrorAlreadyExists, "record\\taken.jsonl", "record\\taken.jsonl"},
                      {"sub", kErrorAlreadyExists, "record\\sub", nullptr},
                      {"file link.jsonl", kErrorAlreadyExists, "aside\\target.jsonl", "aside\\target.jsonl"},
                      {"dir link.jsonl", kErrorAlreadyExists, "aside\\target", nullptr},
                      {"dangling.jsonl", kErrorAlreadyExists, "aside\\gone", nullptr}};
  const std::string lines[] = {"{\"run\":1}\n", "{\"name\":\"ā 記録\"}\n"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FileHandle file;
    EXPECT_EQ(file.CreateBelow(dir, row.name), row.result);
    EXPECT_EQ(file.Valid(), row.result == kSuccess);
    for (const std::string& line : lines) EXPECT_EQ(file.Write(line) == kSuccess, file.Valid());
    EXPECT_EQ(file.Flush() == kSuccess, file.Valid());
    file.Close();
    if (row.result != kSuccess) {
      EXPECT_EQ(scratch().Exists(row.kept), row.contents || std::string(row.kept) != "aside\\gone");
      EXPECT_EQ(scratch().FileContents(row.kept).value_or("-"), row.contents ? row.contents : "-");
      continue;
    }
    const std::string rel = std::string("record\\") + row.name;
    EXPECT_EQ(scratch().FileContents(rel), lines[0] + lines[1]);
    EXPECT_TRUE(Listed(dir, row.name).has_value()) << "not listed by its exact name";
    FileHandle reader;  // a handle not made for writing writes nothing
    ASSERT_EQ(reader.Open(scratch().Path(rel).c_str(), FileAccess::Inspect), kSuccess);
    EXPECT_NE(reader.Write("more"), kSuccess);
    EXPECT_EQ(scratch().FileContents(rel), lines[0] + lines[1]);
  }
}

// What a reviewed plan holds an entry to: one object opened twice has one
// identity, a directory its own on the same volume, and another file made
// in its place under its name another (id or last-write time: Wine's ids are
// inode numbers, which a new file may reuse).
TEST_F(FilesContract, IdentityStaysWithTheObjectNotWithItsName) {
  scratch().MakeDir("plan");
  FileHandle dir, gone;
  ASSERT_EQ(dir.Open(scratch().Path("plan").c_str(), FileAccess::List), kSuccess);
  auto make = [&] {
    FileHandle file;
    return file.CreateBelow(dir, "kept.txt") == kSuccess && file.Write("twelve bytes") == kSuccess;
  };
  auto identity = [&](const char* rel) {
    FileHandle handle;
    FileIdentity found, again;  // again: all but the volume, which is 0
    EXPECT_EQ(handle.Open(scratch().Path(rel).c_str(), FileAccess::Inspect), kSuccess);
    EXPECT_TRUE(handle.Identity(&found) == kSuccess && handle.Identity(&again, /*volume=*/false) == kSuccess);
    EXPECT_TRUE(again.volume == 0 && again.id == found.id && again.size == found.size && again.lastWrite == found.lastWrite);
    return found;
  };
  ASSERT_TRUE(make());
  const FileIdentity first = identity("plan\\kept.txt"), folder = identity("plan");
  EXPECT_TRUE(first.size == 12 && first.id != 0 && first.id == identity("plan\\kept.txt").id);
  EXPECT_TRUE(folder.id != first.id && folder.volume == first.volume);
  ASSERT_EQ(gone.Open(scratch().Path("plan\\kept.txt").c_str(), FileAccess::Delete), kSuccess);
  ASSERT_EQ(gone.Dispose(), kSuccess);
  gone.Close();
  ASSERT_TRUE(make());
  const FileIdentity other = identity("plan\\kept.txt");
  EXPECT_TRUE(other.size == 12 && (other.id != first.id || other.lastWrite != first.lastWrite));
}

// What a record says of the run: well formed on every backend.
TEST_F(FilesContract, RunFactsAndTimeAreWellFormed) {
  RunFacts facts;
  ASSERT_EQ(ProcessFacts(&facts), kSuccess);
  EXPECT_NE(facts.processId, 0u);
  const size_t slash = facts.account.find('\\');  // "DOMAIN\user"
  EXPECT_TRUE(slash + 1 > 1 && slash + 1 < facts.account.size()) << facts.account;
  EXPECT_TRUE(facts.hostDir.find(":\\") == 1 && facts.hostDir.back() != '\\') << facts.hostDir;
  const std::regex iso8601(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  EXPECT_TRUE(std::regex_match(UtcTimeText(), iso8601)) << UtcTimeText();
  EXPECT_FALSE(facts.computer.empty());
  uint64_t bits[2] = {};
  ASSERT_TRUE(RandomBits(&bits[0]) == kSuccess && RandomBits(&bits[1]) == kSuccess);
  EXPECT_NE(bits[0], bits[1]);  // a name drawn twice would be foretold
}

}  // namespace
}  // namespace qf::contract
