// qf::ResolveAbsolutePath must name what the system names: the logic compares
// paths in the resolved form before it deletes anything.
#include <string>

#include "common/paths.h"
#include "scratch.h"

namespace qf::contract {
namespace {

struct Row {
  const char* input;
  const char* resolved;  // what the system gives
};

// Checks the resolver against each row, and on Windows the system too.
void ExpectResolvedAsTheSystemDoes(const Row* begin, const Row* end) {
  for (const Row* row = begin; row != end; ++row) {
    SCOPED_TRACE(row->input);
    EXPECT_EQ(ResolveAbsolutePath(row->input), row->resolved);
    if (const auto system = SystemFullPath(row->input)) {
      EXPECT_EQ(*system, row->resolved) << "the system disagrees with this row";
    }
  }
}

TEST(PathsContract, DotsSeparatorsAndRootsResolveAsTheSystemResolvesThem) {
  const Row rows[] = {
      {"C:\\Temp\\..", "C:\\"},
      {"C:\\a\\.\\b", "C:\\a\\b"},
      {"C:\\a\\b\\..\\..\\..", "C:\\"},
      {"C:\\..\\a", "C:\\a"},
      {"C:\\a\\b\\..\\c\\.", "C:\\a\\c"},
      {"C:\\a\\..\\", "C:\\"},
      {"C:\\", "C:\\"},
      {"C:\\.", "C:\\"},
      {"c:\\Mixed\\Case", "c:\\Mixed\\Case"},
      {"C:/a/b", "C:\\a\\b"},
      {"C:\\a\\\\b", "C:\\a\\b"},
      {"C:\\a\\b. ", "C:\\a\\b"},
      {"C:\\a\\ b", "C:\\a\\ b"},
      {"C:\\a\\..b", "C:\\a\\..b"},
      {"\\\\server\\share\\x\\..", "\\\\server\\share\\"},
      {"\\\\server\\share\\..\\..\\x", "\\\\server\\share\\x"},
      {"\\\\server\\share\\.", "\\\\server\\share\\"},
      {"\\\\server\\share\\", "\\\\server\\share\\"},
      {"\\\\server\\share\\x. ", "\\\\server\\share\\x"},
      {"//server/share/x", "\\\\server\\share\\x"},
  };
  ExpectResolvedAsTheSystemDoes(std::begin(rows), std::end(rows));
}

// Trailing separators, and dots and blanks that end a component in the
// middle of a path.
TEST(PathsContract, TrailingSeparatorsAndInnerDotsResolveAsTheSystemResolvesThem) {
  const Row rows[] = {
      {"C:\\a\\b\\", "C:\\a\\b\\"},
      {"C:\\a\\.\\", "C:\\a\\"},
      {"C:\\a .\\b", "C:\\a \\b"},
      {"C:\\a. \\b", "C:\\a. \\b"},
      {"\\\\server\\share", "\\\\server\\share"},
  };
  ExpectResolvedAsTheSystemDoes(std::begin(rows), std::end(rows));
}

// Names made only of dots and blanks are read differently by different layers
// of the system ("C:\a\..." is "C:\a\" to GetFullPathNameW), so the resolver
// refuses them rather than guess.
TEST(PathsContract, NamesOfOnlyDotsAndBlanksAreRefused) {
  for (const char* path : {"C:\\a\\...", "C:\\a\\. .\\b", "C:\\a\\.. ", "\\\\s\\share\\ .\\x"}) {
    EXPECT_EQ(ResolveAbsolutePath(path), "") << path;
  }
}

// What the lists' values are expanded by: a name the environment holds is
// replaced, anything else, a lone percent sign too, stays as written; and
// which of them may be opened.
TEST(PathsContract, VariablesExpandAsTheSystemExpandsThemAndTheSystemsDriveIsLocal) {
  std::string expanded;
  ASSERT_EQ(platform::ExpandEnvironment("%SystemDrive%\\Users", &expanded), platform::kSuccess);
  EXPECT_EQ(expanded.substr(1), ":\\Users");
  for (const char* kept : {"%QF_NOT_SET%\\x", "50%\\y", "%%", "%QF_NOT_SET%%SystemDrive"}) {
    ASSERT_EQ(platform::ExpandEnvironment(kept, &expanded), platform::kSuccess);
    EXPECT_EQ(expanded, kept);
  }
  // What may be opened without waiting on a network: the system's drive, not a share.
  EXPECT_TRUE(platform::IsLocalDisk("C:\\Windows"));
  EXPECT_FALSE(platform::IsLocalDisk("\\\\server\\share\\Windows"));
  EXPECT_FALSE(platform::IsLocalDisk("Windows"));
}

}  // namespace
}  // namespace qf::contract
