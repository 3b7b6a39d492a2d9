// qf::UpcaseUnit must be the system's upper-case table, and FoldName and
// SameNameFolded must find two names the same exactly when the system does.
#include <gtest/gtest.h>

#include <string>

#include "common/case_fold.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

extern "C" __declspec(dllimport) WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR unit);
#endif

namespace qf::contract {
namespace {

TEST(CaseFoldContract, EveryUnitUpcasesAsTheSystemUpcasesIt) {
#ifndef _WIN32
  GTEST_SKIP() << "no system to ask";
#else
  const auto surrogate = [](unsigned v) { return v >= 0xD800 && v <= 0xDFFF; };
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    const WCHAR unit = static_cast<WCHAR>(u), ours = UpcaseUnit(unit);
    ASSERT_EQ(ours, RtlUpcaseUnicodeChar(unit)) << "U+" << std::hex << u;
    ASSERT_EQ(CompareStringOrdinal(&unit, 1, &ours, 1, TRUE), CSTR_EQUAL) << "U+" << std::hex << u;
    // What FoldName takes for granted: lowering A-Z after upper-casing merges
    // nothing, and no unit becomes a surrogate.
    ASSERT_FALSE((ours >= 'a' && ours <= 'z') || surrogate(ours) != surrogate(u)) << std::hex << u;
  }
#endif
}

#ifdef _WIN32
bool SystemSaysSame(const char* a, const char* b) {
  wchar_t wa[32] = {}, wb[32] = {};
  MultiByteToWideChar(CP_UTF8, 0, a, -1, wa, 32);
  MultiByteToWideChar(CP_UTF8, 0, b, -1, wb, 32);
  return CompareStringOrdinal(wa, -1, wb, -1, TRUE) == CSTR_EQUAL;
}
#endif

TEST(CaseFoldContract, NamesAreTheSameExactlyWhenTheSystemSaysSo) {
  const struct { const char *a, *b; bool same; } rows[] = {
      {"Program Files", "PROGRAM files", true}, {"itemA", "item_2", false}, {"É", "é", true},
      {"Ωmega", "ωMEGA", true}, {"Юникод", "юНИКОД", true}, {"ÿ", "Ÿ", true}, {"ab", "abc", false},
      {"ⱥx", "ȺX", true} /* UTF-8 lengths differ */, {"straße", "STRASSE", false},
      {"straße", "STRAßE", true}, {"ı", "I", false}, {"ſ", "S", false}, {"\u00B5", "\u039C", false},
      {"ς", "Σ", false}, {"\u212A", "K", false}, {"😀", "😀", true}, {"😀", "😁", false},
      {"\U00010400", "\U00010428", false}, {"C:\\Data\\Études", "c:\\DATA\\éTUDES", true},
      {"C:\\Shared\\Imāges", "C:\\Shared\\Images", false}, {"e\u0301", "\u00e9", false},
      {"C:\\Ελληνικά", "c:\\ΕΛΛΗΝΙΚΆ", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " / " + row.b);
    EXPECT_EQ(SameNameFolded(row.a, row.b), row.same);
    EXPECT_EQ(FoldName(row.a) == FoldName(row.b), row.same);
    EXPECT_EQ(platform::SameName(row.a, row.b), row.same);
#ifdef _WIN32
    EXPECT_EQ(SystemSaysSame(row.a, row.b), row.same) << "the system disagrees with this row";
#endif
  }
}

}  // namespace
}  // namespace qf::contract
