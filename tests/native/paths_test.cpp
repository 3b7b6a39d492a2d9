// Pure text helpers: path joining, root judgement and the use-count parser.
#include <gtest/gtest.h>

#include <climits>

#include "common/paths.h"
#include "shared/shared.h"

namespace qf {
namespace {

TEST(JoinPathTest, JoinsWithOneBackslashAsGiven) {
  EXPECT_EQ(JoinPath("Software\\Halvern", "Halvern Shared"), "Software\\Halvern\\Halvern Shared");
  EXPECT_EQ(JoinPath("C:\\", "x"), "C:\\\\x");  // no normalisation
  EXPECT_EQ(JoinPath("", "x"), "\\x");
}

TEST(ParseUseCountTest, ReadsLikeTheStandardConversion) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"3", 3},           {"11", 11},          {" 5", 5},     {"\t\n\v\f\r 7", 7},
      {"+8", 8},          {"-4", -4},          {"", 0},           {"abc", 0},
      {"12abc", 12},      {"- 3", 0},          {"+-3", 0},        {"0x10", 0},
      {"007", 7},         {"2147483647", INT_MAX},
      {"2147483648", INT_MIN},  // wraps, as an unchecked conversion does
      {"4294967297", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseUseCount(c.text), c.value) << '"' << c.text << '"';
}

TEST(BelowRootTest, OnlyPathsBelowADriveOrShareRootQualify) {
  const struct {
    const char* path;
    bool owned;
  } cases[] = {
      {"C:\\Shared\\Data", true},     {"c:/Shared/Data/", true},
      {"C:\\a", true},                {"\\\\server\\share\\dir", true},
      {"C:\\Temp\\..\\Data", true},   {"C:\\Temp\\...", false}, {"C:\\Data\\", true},
      {"", false},                    {"Data", false},
      {"..\\Data", false},            {"\\Data", false},
      {"C:", false},                  {"C:Data", false},
      {"C:\\", false},                {"C:\\\\", false},
      {"C:\\.", false},               {"C:\\Temp\\..", false},
      {"C:\\Temp\\. \\..", false}, {"C:\\a\\.. ", false},  {"C:\\a\\ ..", false},    {"C:\\a\\b\\..\\..\\..", false},
      {"\\\\server\\share", false},   {"\\\\server\\share\\", false},
      {"\\\\server", false},          {"\\\\server\\share\\x\\..", false},
      {"\\\\?\\C:\\Data", false},     {"\\\\.\\C:\\Data", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsBelowRoot(c.path), c.owned) << c.path;
}

}  // namespace
}  // namespace qf
