// What a 32-bit process is given on 64-bit Windows (WOW64) and on 32-bit
// Windows, where the library relies on it: the known folders, where the
// machine records its own, System32's redirection, and which registry keys
// the two views share.  Each row runs as the process can be: the simulation
// both ways, Wine as its prefix is (a 64-bit prefix runs 32-bit programs
// under WOW64, a 32-bit prefix is 32-bit Windows).
#include "common/schema.h"
#include "scratch.h"

namespace qf::contract {
namespace {

using namespace platform;

class Wow64Contract : public ContractTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ContractTest::SetUp();
#if defined(_WIN64)
    GTEST_SKIP() << "a 64-bit Windows process (the stand-in build) is neither kind";
#endif
    if (scratch().Wow64(GetParam()) != GetParam()) GTEST_SKIP() << "this process is not of that kind";
  }
};

std::string KnownFolder(const std::string& name) {
  std::vector<KeptFolder> folders;
  EXPECT_EQ(KeptFolders(&folders), kSuccess);
  for (const KeptFolder& folder : folders)
    if (folder.what == "the system's " + name + " folder") return folder.path;
  return "";
}

// "" for a key that opens in `view`, or the text of its `value`.
std::string Read(Root root, const std::string& key, uint32_t view, const char* value = nullptr) {
  RegKey opened;
  std::string text;
  if (opened.Open(root, key.c_str(), kKeyRead | view) != kSuccess) return "(no key)";
  return !value || opened.ReadText(value, MachineFolderCapacity, &text) == kSuccess ? text : "(none)";
}

TEST_P(Wow64Contract, FoldersAreThoseOfA32BitProcessAndTheMachineRecordsItsOwn) {
  const bool wow64 = GetParam();
  const std::string x86 = wow64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
  const std::string system32 = wow64 ? "C:\\Windows\\SysWOW64" : "C:\\Windows\\System32";
  std::string opened, sysnative = "(none)";
  EXPECT_EQ(TargetFinalPath("C:\\Windows\\System32", &opened), kSuccess);
  BestEffort(TargetFinalPath("C:\\Windows\\Sysnative", &sysnative));
  // The 64-bit folders are refused to a 32-bit process on 64-bit Windows,
  // and 32-bit Windows has none.  (Windows also records the 64-bit ones in
  // the 32-bit view, ProgramW6432Dir; Wine does not.)
  const std::pair<std::string, std::string> rows[] = {
      {KnownFolder("Program Files"), x86}, {KnownFolder("Program Files (x86)"), x86},
      {KnownFolder("Common Files"), x86 + "\\Common Files"}, {KnownFolder("Common Files (x86)"), x86 + "\\Common Files"},
      {KnownFolder("Program Files (x64)"), ""}, {KnownFolder("Common Files (x64)"), ""},
      {KnownFolder("System (x86)"), system32},
      {Read(Root::LocalMachine, WindowsVersionKey, kKeyView64, "ProgramFilesDir"), "C:\\Program Files"},
      {Read(Root::LocalMachine, WindowsVersionKey, kKeyView64, "CommonFilesDir"), "C:\\Program Files\\Common Files"},
      {Read(Root::LocalMachine, WindowsVersionKey, 0, "ProgramFilesDir"), x86},
      {opened, system32}, {sysnative, wow64 ? "C:\\Windows\\System32" : "(none)"},
  };
  for (const auto& [found, expected] : rows) EXPECT_TRUE(SameName(found, expected)) << found << " for " << expected;
}

// HKLM\Software\Microsoft, where the help registrations are, is the 32-bit
// view's own like the product's keys (the first test's ProgramFilesDir);
// HKCU\Software and HKLM\Software\Policies are both views'.
TEST_P(Wow64Contract, PoliciesAndHkcuAreSharedAndWineSharesPoliciesThroughALink) {
  EXPECT_EQ(Read(Root::CurrentUser, scratch().KeyPath(), kKeyView64), "");
  // Windows shares Policies itself; Wine gives it to a 32-bit process
  // through a link in the 32-bit view.  The library reads it in the 64-bit
  // view, where it is the key itself; the simulation follows Windows.
  for (uint32_t view : {0u, kKeyView64}) {
    RegKey policies;
    uint32_t type = 0;
    ASSERT_EQ(policies.Open(Root::LocalMachine, "Software\\Policies", kKeyRead | view, kOpenLink), kSuccess);
    EXPECT_EQ(policies.ReadValue("SymbolicLinkValue", 4096, &type, nullptr) == kSuccess,
              view == 0 && GetParam() && !WineLinkQuirk().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(As, Wow64Contract, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Wow64" : "Windows32"; });

}  // namespace
}  // namespace qf::contract
