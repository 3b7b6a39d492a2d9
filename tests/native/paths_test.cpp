// Pure text helpers: path joining, root judgement, the use-count parser and
// name folding.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "common/case_fold.h"
#include "common/paths.h"
#include "common/utf.h"
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

TEST(FoldNameTest, KeepsBytesThatAreNotUtf8AndFoldsAroundThem) {
  const struct { std::string name, key; } cases[] = {
      {"Ab\xFF" "C\x80" "D\xBF", "ab\xFF" "c\x80" "d\xBF"},          // never lead bytes
      {"\xC1\x81\xE0\x81\x81\xC3" "E", "\xC1\x81\xE0\x81\x81\xC3" "e"},  // overlong, cut off
      {"\xC3\xA9\xE2\x82", "\xC3\x89\xE2\x82"},                  // "é" folded, short tail kept
      {"\xF0\x90\x90\xA8" "Q", "\xF0\x90\x90\xA8" "q"},          // above U+FFFF: as it is
      {"\xC9\x90", "\xE2\xB1\xAF"},                              // U+0250 upper-cases to U+2C6F
  };
  for (const auto& a : cases) {
    EXPECT_EQ(FoldName(a.name), a.key) << a.name;
    for (const auto& b : cases) {
      for (const std::string& other : {b.name, b.key, b.key.substr(1), a.name + "\xAF"})
        EXPECT_EQ(SameNameFolded(a.name, other), FoldName(a.name) == FoldName(other))
            << a.name << " / " << other;
    }
  }
}

TEST(FoldNameTest, KeysOrderNamesAsWineListsSubkeys) {
  std::vector<std::string> names = {"itemb2", "Delta", "ITEMA", "beta",
                                    "item_2", "gamma", "itemB", "Alpha"};
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return FoldName(a) < FoldName(b);
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "Delta", "gamma", "item_2", "ITEMA",
                                             "itemB", "itemb2"}));
}

TEST(UtfTest, NamesConvertExactlyOrNotAtAll) {
  const struct { std::u16string utf16; const char* utf8; } cases[] = {
      {u"Im\u0101ges", "Im\xC4\x81ges"}, {u"\U0001F600", "\xF0\x9F\x98\x80"}, {u"", ""},
      {std::u16string(1, 0xD800), nullptr}, {u"a" + std::u16string(1, 0xDC00), nullptr},
      {std::u16string{0xD83D, u'b'}, nullptr}, {std::u16string{0xDE00, 0xD83D}, nullptr},
  };
  for (const auto& c : cases) {
    std::string utf8 = "untouched";  // a name that cannot be carried reaches nothing
    EXPECT_EQ(ToUtf8(c.utf16, &utf8), c.utf8 != nullptr);
    EXPECT_EQ(utf8, c.utf8 ? c.utf8 : "untouched");
    std::u16string back;
    EXPECT_EQ(ToUtf16(utf8, &back) && back == c.utf16, c.utf8 != nullptr);
    EXPECT_EQ(ToUtf8Shown(c.utf16).find("\xEF\xBF\xBD") != std::string::npos, c.utf8 == nullptr);
  }
}

}  // namespace
}  // namespace qf
