// What the uninstall logic relies on when it lists directories, deletes
// files, removes directories and links, and works with the current directory.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scratch.h"

namespace qf::contract {
namespace {

using namespace platform;

class FilesContract : public ContractTest {
 protected:
  // Every entry of the listing of `pattern`, in the order given.
  std::vector<FileEntry> List(const std::string& pattern) {
    std::vector<FileEntry> entries;
    FileFind find;
    FileEntry entry;
    EXPECT_EQ(find.Start(pattern.c_str(), &entry), kSuccess) << pattern;
    if (!find.Valid()) return entries;
    long result = kSuccess;
    for (; result == kSuccess && entries.size() < 1000; result = find.Next(&entry))
      entries.push_back(entry);
    EXPECT_EQ(result, kErrorNoMoreFiles);
    return entries;
  }

  static std::vector<std::string> Names(const std::vector<FileEntry>& entries) {
    std::vector<std::string> names;
    for (const FileEntry& entry : entries) names.push_back(entry.name);
    return names;
  }

  static std::optional<uint32_t> AttributesOf(const std::vector<FileEntry>& entries,
                                              const std::string& name) {
    for (const FileEntry& entry : entries)
      if (entry.name == name) return entry.attributes;
    return std::nullopt;
  }

  std::string Current() {
    std::string path;
    EXPECT_EQ(GetCurrentDir(&path), kSuccess);
    return path;
  }

  // Makes a link or skips the case when this backend cannot.
  void MakeLink(const std::string& rel, const std::string& target, bool directory) {
    reason_ = scratch().MakeLink(rel, target, directory);
  }
  std::string reason_;
};

#define SKIP_WHERE_LINKS_ARE_FOLLOWED()                                   \
  do {                                                                    \
    if (!WineLinkQuirk().empty()) GTEST_SKIP() << WineLinkQuirk();        \
  } while (0)

#define MAKE_LINK_OR_SKIP(rel, target, directory)       \
  do {                                                  \
    MakeLink(rel, target, directory);                   \
    if (!reason_.empty()) GTEST_SKIP() << reason_;      \
  } while (0)

TEST_F(FilesContract, NonEmptyDirectoryCannotBeRemoved) {
  scratch().MakeFile("full\\file.txt");
  scratch().MakeDir("nested\\inner");

  EXPECT_EQ(RemoveDir(scratch().Path("full").c_str()), kErrorDirNotEmpty);
  EXPECT_TRUE(scratch().Exists("full\\file.txt"));
  EXPECT_EQ(RemoveDir(scratch().Path("nested").c_str()), kErrorDirNotEmpty);
  EXPECT_TRUE(scratch().Exists("nested\\inner"));

  EXPECT_EQ(RemoveDir(scratch().Path("nested\\inner").c_str()), kSuccess);
  EXPECT_EQ(RemoveDir(scratch().Path("nested").c_str()), kSuccess);
  EXPECT_FALSE(scratch().Exists("nested"));
  EXPECT_NE(RemoveDir(scratch().Path("nested").c_str()), kSuccess);
}

TEST_F(FilesContract, ReadOnlyFileCannotBeDeleted) {
  scratch().MakeFile("locked.txt", /*readOnly=*/true);
  scratch().MakeFile("plain.txt");

  EXPECT_EQ(EraseFile(scratch().Path("locked.txt").c_str()), kErrorAccessDenied);
  EXPECT_TRUE(scratch().Exists("locked.txt"));

  EXPECT_EQ(EraseFile(scratch().Path("plain.txt").c_str()), kSuccess);
  EXPECT_FALSE(scratch().Exists("plain.txt"));
  EXPECT_NE(EraseFile(scratch().Path("plain.txt").c_str()), kSuccess);
}

TEST_F(FilesContract, AttributesTellDirectoriesFilesAndReadOnlyFiles) {
  scratch().MakeDir("dir");
  scratch().MakeFile("file.txt");
  scratch().MakeFile("locked.txt", /*readOnly=*/true);
  struct Row {
    const char* rel;
    uint32_t set;
    uint32_t clear;
  };
  const Row rows[] = {
      {"dir", kAttrDirectory, kAttrReparsePoint | kAttrReadOnly},
      {"file.txt", 0, kAttrDirectory | kAttrReparsePoint | kAttrReadOnly},
      {"locked.txt", kAttrReadOnly, kAttrDirectory | kAttrReparsePoint},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rel);
    uint32_t attributes = 0;
    ASSERT_EQ(GetAttributes(scratch().Path(row.rel).c_str(), &attributes), kSuccess);
    EXPECT_EQ(attributes & row.set, row.set);
    EXPECT_EQ(attributes & row.clear, 0u);
  }
  uint32_t attributes = 0xEEEE;
  EXPECT_NE(GetAttributes(scratch().Path("missing").c_str(), &attributes), kSuccess);
  EXPECT_EQ(attributes, 0xEEEEu);
}

TEST_F(FilesContract, ListingGivesDotEntriesFirstThenEveryNameWithItsAttributes) {
  scratch().MakeFile("listed\\file.txt");
  scratch().MakeFile("listed\\Sub\\deep.txt");
  scratch().MakeDir("listed\\Empty");

  const std::vector<FileEntry> entries = List(scratch().Path("listed") + "\\*.*");
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_EQ(entries[1].name, "..");
  // The rest come in whatever order the file system keeps them.
  const std::vector<std::string> names = Names(entries);
  std::vector<std::string> rest(names.begin() + 2, names.end());
  std::sort(rest.begin(), rest.end());
  EXPECT_EQ(rest, (std::vector<std::string>{"Empty", "Sub", "file.txt"}));

  for (const char* name : {".", "..", "Sub", "Empty"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(AttributesOf(entries, name).value_or(0) & kAttrDirectory, kAttrDirectory);
  }
  EXPECT_EQ(AttributesOf(entries, "file.txt").value_or(kAttrDirectory) & kAttrDirectory, 0u);
}

TEST_F(FilesContract, ListingOfAnEmptyDirectoryGivesOnlyTheDotEntries) {
  scratch().MakeDir("empty");
  EXPECT_EQ(Names(List(scratch().Path("empty") + "\\*.*")),
            (std::vector<std::string>{".", ".."}));
}

TEST_F(FilesContract, ListingOfAMissingDirectoryFails) {
  FileFind find;
  FileEntry entry{"untouched", 0xEEEE};
  EXPECT_NE(find.Start((scratch().Path("missing") + "\\*.*").c_str(), &entry), kSuccess);
  EXPECT_FALSE(find.Valid());
  EXPECT_EQ(entry.name, "untouched");
  EXPECT_EQ(entry.attributes, 0xEEEEu);
  EXPECT_NE(find.Next(&entry), kSuccess);
}

TEST_F(FilesContract, ListingGuardsMoveTheirHandle) {
  scratch().MakeFile("one.txt");
  FileFind first;
  FileEntry entry;
  ASSERT_EQ(first.Start((scratch().Dir() + "\\*.*").c_str(), &entry), kSuccess);
  FileFind second = std::move(first);
  EXPECT_FALSE(first.Valid());  // NOLINT(bugprone-use-after-move): the guard's state is the point
  EXPECT_TRUE(second.Valid());
  EXPECT_EQ(second.Next(&entry), kSuccess);
  second.Close();
  EXPECT_FALSE(second.Valid());
}

TEST_F(FilesContract, DirectoryLinkCarriesTheReparsePointBesideTheDirectoryBit) {
  scratch().MakeFile("target\\kept.txt");
  MAKE_LINK_OR_SKIP("link", "target", /*directory=*/true);

  uint32_t attributes = 0;
  ASSERT_EQ(GetAttributes(scratch().Path("link").c_str(), &attributes), kSuccess);
  EXPECT_EQ(attributes & (kAttrDirectory | kAttrReparsePoint), kAttrDirectory | kAttrReparsePoint);
  const std::vector<FileEntry> entries = List(scratch().Dir() + "\\*.*");
  EXPECT_EQ(AttributesOf(entries, "link").value_or(0) & (kAttrDirectory | kAttrReparsePoint),
            kAttrDirectory | kAttrReparsePoint);

  ASSERT_EQ(GetAttributes(scratch().Path("target").c_str(), &attributes), kSuccess);
  EXPECT_EQ(attributes & kAttrReparsePoint, 0u);
}

TEST_F(FilesContract, RemovingADirectoryLinkRemovesTheLinkOnly) {
  SKIP_WHERE_LINKS_ARE_FOLLOWED();
  scratch().MakeFile("target\\kept.txt");
  MAKE_LINK_OR_SKIP("link", "target", /*directory=*/true);

  EXPECT_EQ(RemoveDir(scratch().Path("link").c_str()), kSuccess);
  EXPECT_FALSE(scratch().Exists("link"));
  EXPECT_TRUE(scratch().Exists("target\\kept.txt"));
}

// Holds under Wine as well: a non-empty target is never emptied through a link.
TEST_F(FilesContract, RemovingADirectoryLinkNeverEmptiesItsTarget) {
  scratch().MakeFile("target\\kept.txt");
  MAKE_LINK_OR_SKIP("link", "target", /*directory=*/true);

  RemoveDir(scratch().Path("link").c_str());
  EXPECT_TRUE(scratch().Exists("target\\kept.txt"));
}

TEST_F(FilesContract, RemovingALinkToAnEmptyDirectoryKeepsTheDirectory) {
  SKIP_WHERE_LINKS_ARE_FOLLOWED();
  scratch().MakeDir("target");
  MAKE_LINK_OR_SKIP("link", "target", /*directory=*/true);

  EXPECT_EQ(RemoveDir(scratch().Path("link").c_str()), kSuccess);
  EXPECT_FALSE(scratch().Exists("link"));
  EXPECT_TRUE(scratch().Exists("target"));
}

TEST_F(FilesContract, ErasingAFileLinkKeepsItsTarget) {
  SKIP_WHERE_LINKS_ARE_FOLLOWED();
  scratch().MakeFile("target.txt");
  MAKE_LINK_OR_SKIP("link.txt", "target.txt", /*directory=*/false);

  EXPECT_EQ(EraseFile(scratch().Path("link.txt").c_str()), kSuccess);
  EXPECT_FALSE(scratch().Exists("link.txt"));
  EXPECT_TRUE(scratch().Exists("target.txt"));
}

TEST_F(FilesContract, MissingCurrentDirectoryIsNotSetAndTheOldOneStays) {
  ASSERT_EQ(SetCurrentDir(scratch().Dir().c_str()), kSuccess);
  scratch().MakeFile("file.txt");
  for (const char* rel : {"missing", "missing\\deeper", "file.txt"}) {
    SCOPED_TRACE(rel);
    EXPECT_NE(SetCurrentDir(scratch().Path(rel).c_str()), kSuccess);
    EXPECT_EQ(Current(), scratch().Dir());
  }
}

TEST_F(FilesContract, CurrentDirectoryReadsBackAsSet) {
  const std::string longName(60, 'x');  // stays below MAX_PATH in full
  const std::string rels[] = {"", "with blanks\\and.dots", "Mixed Case", longName + "\\" + longName};
  for (const std::string& rel : rels) {
    SCOPED_TRACE(rel);
    scratch().MakeDir(rel);
    ASSERT_EQ(SetCurrentDir(scratch().Path(rel).c_str()), kSuccess);
    EXPECT_EQ(Current(), scratch().Path(rel));
  }
}

TEST_F(FilesContract, BareFileNameIsErasedInTheCurrentDirectory) {
  scratch().MakeFile("victim.txt");
  scratch().MakeFile("current\\victim.txt");
  ASSERT_EQ(SetCurrentDir(scratch().Path("current").c_str()), kSuccess);

  EXPECT_EQ(EraseFile("victim.txt"), kSuccess);
  EXPECT_FALSE(scratch().Exists("current\\victim.txt"));
  EXPECT_TRUE(scratch().Exists("victim.txt"));
}

}  // namespace
}  // namespace qf::contract
