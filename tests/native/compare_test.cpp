// --compare: each list aligned as a longest common subsequence, what is left
// paired by identity, and every field a plan and a record share compared.
#include <gtest/gtest.h>

#include <random>

#include "compare/compare.h"

namespace qfpreview {
namespace {

using Json = OrderedJson;

// A whole record's document holding `items` in `list` and nothing else.
Json Document(const char* list, const std::vector<Json>& items) {
  Json document = {{"changes", Json::array()}, {"decisions", Json::array()}, {"calls", Json::array()},
                   {"boxes", Json::array()},   {"record", {{"complete", true}, {"cutInLine", false}}}};
  document[list] = items;
  return document;
}
std::vector<Json> Boxes(const std::string& captions) {
  std::vector<Json> boxes;
  for (char caption : captions) boxes.push_back({{"caption", std::string(1, caption)}, {"text", "t"}});
  return boxes;
}
Json Set(const char* path, const char* name, const char* data) {
  return {{"op", "set-value"}, {"root", "HKLM"}, {"path", path}, {"name", name}, {"type", "REG_SZ"}, {"data", data}};
}

TEST(CompareTest, AlignsAsLongAsTheFullTable) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 2000; ++round) {
    std::string a, b;  // boxes of one letter each: no two in one gap are alike
    for (std::string* side : {&a, &b})
      for (size_t n = random() % 32; n-- > 0;) side->push_back(char('A' + random() % (2 + round % 5)));
    std::vector<std::vector<size_t>> t(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = a.size(); i-- > 0;)
      for (size_t j = b.size(); j-- > 0;) t[i][j] = a[i] == b[j] ? t[i + 1][j + 1] + 1 : std::max(t[i + 1][j], t[i][j + 1]);
    const Comparison c = Compare(Document("boxes", Boxes(a)), Document("boxes", Boxes(b)));
    EXPECT_EQ(c.differences.size(), a.size() + b.size() - 2 * t[0][0]) << a << " against " << b;
    for (const Difference& d : c.differences) ASSERT_NE(d.kind, "differs") << a << " against " << b;
  }
}

TEST(CompareTest, PairsWhatIsLeftByIdentity) {
  const struct {
    const char* list;
    std::vector<Json> plan, done;
    std::vector<std::string> told;  // "kind predicted done", each by its name or caption
  } cases[] = {
      {"boxes", Boxes("xABy"), Boxes("xCy"), {"predicted-only A -", "predicted-only B -", "done-only - C"}},
      {"changes", {Set("S\\Data", "UseCount", "2"), Set("S\\Data", "Flags", "x")}, {Set("S\\Data", "Flags", "y")},
       {"predicted-only UseCount -", "differs Flags Flags"}},
      {"changes", {Set("S\\Data", "Flags", "x")}, {Set("s\\DATA", "FLAGS", "x")}, {}},
  };
  const auto name = [](const Json& i) { return i.is_null() ? "-" : i.value("name", i.value("caption", "")); };
  for (const auto& c : cases) {
    std::vector<std::string> told;
    for (const Difference& d : Compare(Document(c.list, c.plan), Document(c.list, c.done)).differences)
      told.push_back(d.kind + " " + name(d.predicted) + " " + name(d.done));
    EXPECT_EQ(told, c.told);
  }
}

TEST(CompareTest, CountsWhatAReviewedPlanWithheldAsAgreed) {
  const Json file = {{"op", "delete-file"}, {"path", "C:\\D\\a"}}, other = {{"op", "delete-file"}, {"path", "C:\\D\\b"}};
  const Json dir = {{"op", "remove-directory"}, {"path", "C:\\D"}};
  Json plan = Document("changes", {file, other, dir, Set("Software\\Halvern\\Halvern Shared\\Data", "UseCount", "1")});
  Json done = Document("changes", {});
  // What the lock withheld, and what stays because of it: the directory that
  // holds it, a read-only file the plan kept for its own reason, the tree.
  for (const auto& [decision, subject, first] : {std::tuple{"ChangedSincePlan", "c:\\d\\A", 0}, {"ComponentNotAsPlanned", "Data", 0},
                                                 {"NotInPlan", "C:\\D\\ro", 0}, {"EntryNotDeleted", "C:\\D", 145}, {"TreeKept", "D", 0x20000001}})
    done["decisions"].push_back({{"decision", decision}, {"subject", subject}, {"first", first}, {"second", 0}});
  for (const auto& [decision, subject, first] : {std::tuple{"CountLowered", "Data", 2}, {"EntryNotDeleted", "C:\\D\\ro", 5}, {"TreeKept", "D", 145}})
    plan["decisions"].push_back({{"decision", decision}, {"subject", subject}, {"first", first}, {"second", first == 2 ? 1 : 0}});
  const Comparison c = Compare(plan, done);
  ASSERT_EQ(c.differences.size(), 1u);  // b went unwithheld
  EXPECT_EQ(c.differences[0].predicted, other);
  EXPECT_EQ(c.withheld, (std::map<std::string, size_t>{{"changes", 3}, {"decisions", 8}}));
}

TEST(CompareTest, ComparesEveryFieldBothSidesHold) {
  const std::pair<const char*, Json> items[] = {
      {"changes", Set("S\\Data", "UseCount", "2")},
      {"decisions", {{"decision", "root-holds-area"}, {"subject", "Data"}, {"first", 1}, {"second", 0}, {"detail", "C:\\A"}}},
      {"calls", {{"library", "RWUNINST.DLL"}, {"entry", "Entry"}, {"argument", "/vrxreg"}}},
      {"boxes", {{"caption", "CheckAdmin"}, {"text", "t"}}},
  };
  for (const auto& [list, item] : items)
    for (const auto& [field, value] : item.items()) {
      Json other = item;
      other[field] = value.is_string() ? Json(value.get<std::string>() + "2") : Json(value.get<int>() + 1);
      EXPECT_FALSE(Compare(Document(list, {item}), Document(list, {other})).differences.empty()) << list << " " << field;
    }
}

}  // namespace
}  // namespace qfpreview
