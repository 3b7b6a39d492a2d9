// QFUNINST.DLL as the host and the system see it on disk: its exports, the
// libraries it imports and its version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support.h"

namespace qftest {
namespace {

std::string DllPath() { return BuildPath("QFUNINST.DLL"); }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The file's bytes with the headers located; reads go through RVAs.
class PeImage {
 public:
  explicit PeImage(const std::string& path) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
      bytes_.insert(bytes_.end(), buffer, buffer + read);

    const auto* dos = At<IMAGE_DOS_HEADER>(0);
    if (dos == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    nt_ = At<IMAGE_NT_HEADERS>(static_cast<size_t>(dos->e_lfanew));
    if (nt_ == nullptr || nt_->Signature != IMAGE_NT_SIGNATURE) {
      nt_ = nullptr;
      return;
    }
    const size_t sections = static_cast<size_t>(dos->e_lfanew) + sizeof(DWORD) +
                            sizeof(IMAGE_FILE_HEADER) + nt_->FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i) {
      const auto* section = At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
      if (section == nullptr) {
        nt_ = nullptr;
        return;
      }
      sections_.push_back(*section);
    }
  }

  bool valid() const { return nt_ != nullptr; }
  const IMAGE_NT_HEADERS& nt() const { return *nt_; }

  const IMAGE_DATA_DIRECTORY& Directory(int index) const {
    return nt_->OptionalHeader.DataDirectory[index];
  }

  // The structure at `rva`, or null if it lies outside the file.
  template <typename T>
  const T* AtRva(DWORD rva) const {
    for (const IMAGE_SECTION_HEADER& s : sections_) {
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
        return At<T>(s.PointerToRawData + (rva - s.VirtualAddress));
    }
    return nullptr;
  }

  // The NUL-terminated text at `rva`; empty if it is not inside the file.
  std::string TextAt(DWORD rva) const {
    const char* text = AtRva<char>(rva);
    if (text == nullptr) return {};
    const char* end = reinterpret_cast<const char*>(bytes_.data() + bytes_.size());
    return std::string(text, std::find(text, end, '\0'));
  }

 private:
  template <typename T>
  const T* At(size_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(bytes_.data() + offset);
  }

  std::vector<BYTE> bytes_;
  const IMAGE_NT_HEADERS* nt_ = nullptr;
  std::vector<IMAGE_SECTION_HEADER> sections_;
};

class PeImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(image_.valid()) << "cannot read a PE image from " << DllPath();
  }
  PeImage image_{DllPath()};
};

// The product is the 32-bit build; the 64-bit one stands in for it only where
// a machine cannot run 32-bit programs.
#if defined(_WIN64)
constexpr WORD kBuildMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kBuildMachine = IMAGE_FILE_MACHINE_I386;
#endif

TEST_F(PeImageTest, IsADllOfTheMachineItIsBuiltFor) {
  EXPECT_EQ(image_.nt().FileHeader.Machine, kBuildMachine);
  EXPECT_NE(image_.nt().FileHeader.Characteristics & IMAGE_FILE_DLL, 0);
  EXPECT_EQ(image_.nt().OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC);
}

TEST_F(PeImageTest, ExportsExactlyBothEntriesUndecoratedAtOrdinalsOneAndTwo) {
  const IMAGE_DATA_DIRECTORY& dir = image_.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(dir.VirtualAddress, 0u) << "no export table";
  const auto* exports = image_.AtRva<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
  ASSERT_NE(exports, nullptr);

  EXPECT_EQ(image_.TextAt(exports->Name), "QFUNINST.DLL");
  EXPECT_EQ(exports->NumberOfFunctions, 2u);
  ASSERT_EQ(exports->NumberOfNames, 2u);

  const auto* names = image_.AtRva<DWORD>(exports->AddressOfNames);
  const auto* ordinals = image_.AtRva<WORD>(exports->AddressOfNameOrdinals);
  const auto* functions = image_.AtRva<DWORD>(exports->AddressOfFunctions);
  ASSERT_TRUE(names != nullptr && ordinals != nullptr && functions != nullptr);

  std::map<std::string, DWORD> byName;  // name -> ordinal
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    byName[image_.TextAt(names[i])] = exports->Base + ordinals[i];
    ASSERT_LT(ordinals[i], exports->NumberOfFunctions);
    EXPECT_NE(functions[ordinals[i]], 0u) << "export without code";
  }
  const std::map<std::string, DWORD> expected = {{"UninstInitialize", 1},
                                                 {"UninstUnInitialize", 2}};
  EXPECT_EQ(byName, expected);
}

TEST_F(PeImageTest, ImportsSystemLibrariesOnly) {
  const IMAGE_DATA_DIRECTORY& dir = image_.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_NE(dir.VirtualAddress, 0u) << "no import table";
  // shell32 and ole32 for the system's known folders, which no root may be.
  const std::vector<std::string> allowed = {"kernel32.dll", "advapi32.dll", "user32.dll", "ntdll.dll",
                                            "msvcrt.dll", "shell32.dll", "ole32.dll"};
  std::vector<std::string> imported;
  for (DWORD rva = dir.VirtualAddress;; rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto* entry = image_.AtRva<IMAGE_IMPORT_DESCRIPTOR>(rva);
    ASSERT_NE(entry, nullptr) << "import table runs off the file";
    if (entry->Name == 0) break;
    imported.push_back(image_.TextAt(entry->Name));
  }
  EXPECT_FALSE(imported.empty());
  for (const std::string& name : imported) {
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), Lower(name)), allowed.end())
        << "imports " << name;
  }
}

// ---- qfpreview.exe: read-only by construction ------------------------------

// Calls that write or delete: registry writes and deletions, file creation,
// deletion, renaming, attribute changes and dispositions, raw device control.
// A name matches when it starts with one of these (so the A, W and Ex forms
// count too); the C runtime's names must match exactly.
const char* const kWritingCalls[] = {
    "RegSet", "RegDelete", "RegCreate", "RegSave", "RegRestore", "RegReplace", "RegLoad",
    "RegUnLoad", "RegRename", "RegCopyTree", "SetFileSecurity", "SetNamedSecurityInfo",
    "SetSecurityInfo", "DeleteFile", "RemoveDirectory", "MoveFile", "ReplaceFile",
    "SetFileAttributes", "SetFileInformationByHandle", "CreateFile", "CreateDirectory",
    "CopyFile", "CreateHardLink", "CreateSymbolicLink", "WriteFile", "SetEndOfFile",
    "DeviceIoControl", "NtSetInformationFile", "NtDeleteFile", "NtDeleteKey", "NtDeleteValueKey",
    "NtSetValueKey", "NtCreateFile", "NtCreateKey", "NtWriteFile", "NtFsControlFile",
    "NtDeviceIoControlFile", "NtRenameKey", "NtSetSecurityObject", "Zw"};
const char* const kWritingRuntimeCalls[] = {"remove", "_unlink", "rename", "_rmdir", "_mkdir",
                                            "_chmod", "_utime", "_wremove", "_wunlink",
                                            "_wrename", "_wrmdir", "_wmkdir", "_wchmod",
                                            "_wutime", "system", "_wsystem"};

// Every imported name as "library!name" ("library!#n" for an ordinal).
std::vector<std::string> ImportedNames(const PeImage& image) {
  std::vector<std::string> names;
  const IMAGE_DATA_DIRECTORY& dir = image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  for (DWORD rva = dir.VirtualAddress; rva != 0; rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto* entry = image.AtRva<IMAGE_IMPORT_DESCRIPTOR>(rva);
    if (entry == nullptr || entry->Name == 0) break;
    const std::string library = Lower(image.TextAt(entry->Name));
    DWORD thunk = entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
    for (const ULONG_PTR* slot; (slot = image.AtRva<ULONG_PTR>(thunk)) != nullptr && *slot != 0;
         thunk += sizeof(ULONG_PTR)) {
      names.push_back(library + "!" + ((*slot & IMAGE_ORDINAL_FLAG)
                                           ? "#" + std::to_string(*slot & 0xFFFF)
                                           : image.TextAt(*slot + 2)));
    }
  }
  return names;
}

TEST(PreviewImage, ImportsNoCallThatWritesOrDeletes) {
  const PeImage image(BuildPath("qfpreview.exe"));
  ASSERT_TRUE(image.valid());
  const std::vector<std::string> names = ImportedNames(image);
  // The reads it is built on, so an unreadable table cannot pass.
  for (const char* needed : {"advapi32.dll!RegOpenKeyExW", "advapi32.dll!RegQueryValueExW",
                             "ntdll.dll!NtOpenFile", "kernel32.dll!GetFileInformationByHandleEx",
                             "kernel32.dll!SearchPathW"})
    EXPECT_NE(std::find(names.begin(), names.end(), needed), names.end()) << needed;
  for (const std::string& name : names) {
    const std::string call = name.substr(name.find('!') + 1);
    EXPECT_NE(call[0], '#') << "imported by ordinal, so it cannot be checked: " << name;
    for (const char* writing : kWritingCalls)
      EXPECT_NE(call.compare(0, std::strlen(writing), writing), 0) << "imports " << name;
    for (const char* writing : kWritingRuntimeCalls) EXPECT_NE(call, writing) << "imports " << name;
  }
}

// The library and the preview read values through the wide calls only: an
// ANSI call would best-fit them ("ＴＲＵＥ" read as "TRUE", "２" as "2").
TEST(PreviewImage, ReadsTheRegistryLikeTheLibraryThroughWideCallsOnly) {
  for (const std::string& path : {DllPath(), BuildPath("qfpreview.exe")}) {
    const std::vector<std::string> names = ImportedNames(PeImage(path));
    EXPECT_NE(std::find(names.begin(), names.end(), "advapi32.dll!RegQueryValueExW"), names.end())
        << path;
    for (const std::string& name : names)
      EXPECT_FALSE(name.rfind("advapi32.dll!Reg", 0) == 0 && name.back() == 'A') << name;
  }
}

class VersionResource : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(VersionResource, HasString) {
  const std::string path = DllPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_NE(size, 0u) << "no version resource: error " << GetLastError();
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translations), &length));
  ASSERT_GE(length, sizeof(Translation));

  char query[128];
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s",
                translations[0].language, translations[0].codePage, GetParam().first);
  char* value = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), query, reinterpret_cast<void**>(&value), &length))
      << query;
  EXPECT_STREQ(value, GetParam().second) << query;
}

INSTANTIATE_TEST_SUITE_P(
    QFUNINST, VersionResource,
    ::testing::Values(std::make_pair("ProductName", "Quillforge"),
                      std::make_pair("FileVersion", "3.0"),
                      std::make_pair("ProductVersion", "3.0"),
                      std::make_pair("InternalName", "QFUNINST.DLL"),
                      std::make_pair("OriginalFilename", "QFUNINST.DLL")),
    [](const auto& info) { return std::string(info.param.first); });

}  // namespace
}  // namespace qftest
