// What the uninstall logic relies on when it calls companion libraries and
// explains error codes.
#include <string>
#include <utility>

#include "scratch.h"

namespace qf::contract {
namespace {

using namespace platform;

class LibraryContract : public ContractTest {};

TEST_F(LibraryContract, MissingLibraryFailsToLoad) {
  const TextEntry setter = scratch().CurrentDirectorySetter();
  Library library;
  ASSERT_EQ(library.Load(setter.library.c_str()), kSuccess);
  // A library held before the load is let go, whatever the outcome.
  EXPECT_EQ(library.Load("QFCTMISSING.DLL"), kErrorModNotFound);
  EXPECT_FALSE(library.Valid());
  EXPECT_EQ(library.Lookup(setter.entry.c_str()), nullptr);
}

TEST_F(LibraryContract, OnlyPresentEntriesAreFound) {
  const TextEntry setter = scratch().CurrentDirectorySetter();
  Library library;
  ASSERT_EQ(library.Load(setter.library.c_str()), kSuccess);
  EXPECT_NE(library.Lookup(setter.entry.c_str()), nullptr);
  EXPECT_EQ(library.Lookup("QfContractMissingEntry"), nullptr);

  Library moved = std::move(library);
  EXPECT_FALSE(library.Valid());  // NOLINT(bugprone-use-after-move): the guard's state is the point
  EXPECT_EQ(library.Lookup(setter.entry.c_str()), nullptr);
  EXPECT_NE(moved.Lookup(setter.entry.c_str()), nullptr);

  moved.Close();
  EXPECT_FALSE(moved.Valid());
  EXPECT_EQ(moved.Lookup(setter.entry.c_str()), nullptr);
}

TEST_F(LibraryContract, CalledEntryReceivesTheText) {
  const TextEntry setter = scratch().CurrentDirectorySetter();
  scratch().MakeDir("called");
  Library library;
  ASSERT_EQ(library.Load(setter.library.c_str()), kSuccess);
  void* entry = library.Lookup(setter.entry.c_str());
  ASSERT_NE(entry, nullptr);

  CallTextEntry(entry, scratch().Path("called").c_str());
  EXPECT_EQ(scratch().CurrentDir(), scratch().Path("called"));
}

class SystemTextContract : public ContractTest {};

TEST_F(SystemTextContract, KnownCodeHasAText) {
  std::string text;
  ASSERT_EQ(SystemErrorText(kErrorAccessDenied, &text), kSuccess);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST_F(SystemTextContract, UnknownCodeHasNoText) {
  std::string text = "untouched";
  EXPECT_NE(SystemErrorText(0x2FFFFFFF, &text), kSuccess);
  EXPECT_EQ(text, "untouched");
}

}  // namespace
}  // namespace qf::contract
