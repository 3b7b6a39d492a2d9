// What a 32-bit process is given on 64-bit Windows (WOW64) and on 32-bit
// Windows, where the library relies on it: the known folders, where the
// machine records its own folders, System32's redirection, and which
// registry keys the two views share.  Each row runs as the process can be:
// the simulation both ways, Wine as its prefix is (a 64-bit prefix runs
// 32-bit programs under WOW64, a 32-bit prefix is 32-bit Windows).
#include <string>

#include "common/schema.h"
#include "scratch.h"

namespace qf::contract {
namespace {

using platform::Root;
using platform::SameName;

class Wow64Contract : public ContractTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ContractTest::SetUp();
    if (scratch().Wow64(GetParam()) != GetParam())
      GTEST_SKIP() << "this process is " << (GetParam() ? "not " : "") << "under WOW64";
  }
  const std::string programs = GetParam() ? "C:\\Program Files (x86)" : "C:\\Program Files";
};

std::string KnownFolder(const std::string& name) {
  std::vector<platform::KeptFolder> folders;
  EXPECT_EQ(platform::KeptFolders(&folders), platform::kSuccess);
  for (const platform::KeptFolder& folder : folders)
    if (folder.what == "the system's " + name + " folder") return folder.path;
  return "";
}

std::string MachineFolder(uint32_t view, const char* value) {
  platform::RegKey key;
  std::string path;
  EXPECT_EQ(key.Open(Root::LocalMachine, MachineFoldersKey, platform::kKeyRead | view), platform::kSuccess);
  return key.ReadText(value, MachineFolderCapacity, &path) == platform::kSuccess ? path : "(none)";
}

TEST_P(Wow64Contract, KnownFoldersAreThoseOfA32BitProcess) {
  const std::string systemX86 = GetParam() ? "C:\\Windows\\SysWOW64" : "C:\\Windows\\System32";
  // The 64-bit folders are refused to a 32-bit process on 64-bit Windows,
  // and 32-bit Windows has none.
  const std::pair<const char*, std::string> rows[] = {
      {"Program Files", programs}, {"Program Files (x86)", programs},
      {"Common Files", programs + "\\Common Files"}, {"Common Files (x86)", programs + "\\Common Files"},
      {"System", "C:\\Windows\\System32"}, {"System (x86)", systemX86},
      {"Program Files (x64)", ""}, {"Common Files (x64)", ""},
  };
  for (const auto& [name, path] : rows) EXPECT_TRUE(SameName(KnownFolder(name), path)) << name << ": " << KnownFolder(name);
}

TEST_P(Wow64Contract, TheMachinesOwnFoldersAreRecordedInThe64BitView) {
  EXPECT_EQ(MachineFolder(platform::kKeyView64, "ProgramFilesDir"), "C:\\Program Files");
  EXPECT_EQ(MachineFolder(platform::kKeyView64, "CommonFilesDir"), "C:\\Program Files\\Common Files");
  // A 32-bit process's own view names its own.
  EXPECT_EQ(MachineFolder(0, "ProgramFilesDir"), programs);
  // Windows records the 64-bit ones for 32-bit processes too; Wine does not.
  const std::string w6432 = MachineFolder(0, "ProgramW6432Dir");
  if (w6432 != "(none)" || !GetParam()) {
    EXPECT_EQ(w6432, GetParam() ? "C:\\Program Files" : "(none)");
  }
}

TEST_P(Wow64Contract, System32IsSysWow64AndSysnativeTheRealOne) {
  std::string system32, sysnative;
  ASSERT_EQ(platform::TargetFinalPath("C:\\Windows\\System32", &system32), platform::kSuccess);
  EXPECT_TRUE(SameName(system32, GetParam() ? "C:\\Windows\\SysWOW64" : "C:\\Windows\\System32")) << system32;
  const long opened = platform::TargetFinalPath("C:\\Windows\\Sysnative", &sysnative);
  const bool found = opened == platform::kSuccess && SameName(sysnative, "C:\\Windows\\System32");
  const bool absent = opened == platform::kErrorFileNotFound || opened == platform::kErrorPathNotFound;
  EXPECT_TRUE(GetParam() ? found : absent) << opened << " " << sysnative;
}

TEST_P(Wow64Contract, TheProductsKeysAreRedirectedThePoliciesAndHkcuShared) {
  const std::string name = "QuillforgeContractTest\\" + scratch().KeyPath().substr(scratch().KeyPath().rfind('\\') + 1);
  // Written by a 32-bit installer: the product's keys and the help
  // registrations are the 32-bit view's own, the policies both views'.
  const std::pair<std::string, bool> rows[] = {
      {"Software\\" + name, false},
      {std::string(HelpRegistrationKey) + "\\" + name, false},
      {"Software\\Policies\\" + name, true},
  };
  for (const auto& [key, shared] : rows) {
    scratch().SetMachineText(key, "Value", "x");
    platform::RegKey opened;
    EXPECT_EQ(opened.Open(Root::LocalMachine, key.c_str(), platform::kKeyRead), platform::kSuccess) << key;
    const long in64 = opened.Open(Root::LocalMachine, key.c_str(), platform::kKeyRead | platform::kKeyView64);
    EXPECT_EQ(in64, shared || !GetParam() ? platform::kSuccess : platform::kErrorFileNotFound) << key;
  }
  platform::RegKey user;
  EXPECT_EQ(user.Open(Root::CurrentUser, scratch().KeyPath().c_str(), platform::kKeyRead | platform::kKeyView64),
            platform::kSuccess);
  // Windows shares Policies itself; Wine gives it to a 32-bit process
  // through a link in the 32-bit view (the library opens it in the 64-bit
  // view, where it is the key itself, and the simulation follows Windows).
  platform::RegKey policies;
  uint32_t type = 0;
  for (uint32_t view : {0u, platform::kKeyView64}) {
    ASSERT_EQ(policies.Open(Root::LocalMachine, "Software\\Policies", platform::kKeyRead | view, platform::kOpenLink),
              platform::kSuccess);
    const bool link = policies.ReadValue("SymbolicLinkValue", 4096, &type, nullptr) == platform::kSuccess;
    EXPECT_EQ(link, view == 0 && GetParam() && !WineLinkQuirk().empty()) << "view " << view;
  }
}

INSTANTIATE_TEST_SUITE_P(As, Wow64Contract, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Wow64" : "Windows32"; });

}  // namespace
}  // namespace qf::contract
