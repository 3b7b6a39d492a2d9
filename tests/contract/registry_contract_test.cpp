// What the uninstall logic relies on when it reads, writes, walks and deletes
// registry keys.
#include <string>
#include <utility>
#include <vector>

#include "scratch.h"

namespace qf::contract {
namespace {

using namespace platform;
using namespace std::string_literals;

class RegistryContract : public ContractTest {
 protected:
  // The scratch key, or `sub` below it, opened with `mask`.
  RegKey Open(const std::string& sub = "", uint32_t mask = kKeyAllAccess) {
    RegKey key;
    EXPECT_EQ(key.Open(scratch().KeyRoot(), scratch().KeyPath(sub).c_str(), mask), kSuccess)
        << scratch().KeyPath(sub);
    return key;
  }
};

TEST_F(RegistryContract, KeyOpensBelowAnOpenKeyAsByItsFullPath) {
  scratch().SetValue("Parent\\Child", "Name", kRegSz, "child\0"s);
  RegKey parent = Open("Parent", kKeyRead);
  RegKey child;
  ASSERT_EQ(child.Open(parent, "Child", kKeyAllAccess), kSuccess);
  std::string text;
  EXPECT_EQ(child.ReadText("Name", 10, &text), kSuccess);
  EXPECT_EQ(text, "child");
  RegKey missing;
  EXPECT_EQ(missing.Open(parent, "Missing", kKeyRead), kErrorFileNotFound);
  EXPECT_FALSE(missing.Valid());
}

// "Link" leads to "Target", which holds a value and a subkey.
class KeyLinkContract : public RegistryContract {
 protected:
  void SetUp() override {
    RegistryContract::SetUp();
    scratch().SetValue("Target", "Name", kRegSz, "target\0"s);
    scratch().CreateKey("Target\\Child");
    scratch().MakeKeyLink("Link", "Target");
  }
  // The target is untouched: its value and its subkey are there.
  void ExpectTargetIntact() {
    EXPECT_EQ(scratch().Value("Target", "Name"), (StoredValue{kRegSz, "target\0"s}));
    EXPECT_TRUE(scratch().KeyExists("Target\\Child"));
  }
};

TEST_F(KeyLinkContract, OpenLinkOpensTheLinkItselfAndPlainOpenItsTarget) {
  RegKey parent = Open("", kKeyRead);
  struct Row {
    const char* label;
    uint32_t options;
    uint32_t subkeys;
    const char* value;  // the one value name that reads
  };
  for (const Row& row : {Row{"followed", 0, 1, "Name"},
                         Row{"as itself", kOpenLink, 0, "SymbolicLinkValue"}}) {
    SCOPED_TRACE(row.label);
    RegKey link;
    ASSERT_EQ(link.Open(parent, "Link", kKeyRead, row.options), kSuccess);
    uint32_t count = 99;
    ASSERT_EQ(link.CountSubkeys(&count), kSuccess);
    EXPECT_EQ(count, row.subkeys);
    uint32_t type = 0;
    std::string data;
    EXPECT_EQ(link.ReadValue(row.value, 1024, &type, &data), kSuccess);
    EXPECT_EQ(link.ReadValue(row.options ? "Name" : "SymbolicLinkValue", 1024, &type, &data),
              kErrorFileNotFound);
  }
  // The link's value names the target's registry path in UTF-16.
  RegKey link;
  ASSERT_EQ(link.Open(parent, "Link", kKeyRead, kOpenLink), kSuccess);
  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(link.ReadValue("SymbolicLinkValue", 1024, &type, &data), kSuccess);
  EXPECT_EQ(type, kRegLink);
  std::string narrow;
  for (size_t i = 0; i < data.size(); i += 2) narrow += data[i];
  EXPECT_EQ(narrow.substr(0, 10), "\\Registry\\");
  EXPECT_EQ(narrow.substr(narrow.size() - 7), "\\Target");
  // A link earlier in the path is followed even when opening as itself.
  RegKey child;
  EXPECT_EQ(child.Open(parent, "Link\\Child", kKeyRead, kOpenLink), kSuccess);
  // So is the link itself, when a name is opened below it as itself.
  EXPECT_EQ(child.Open(link, "Child", kKeyRead, kOpenLink), kSuccess);
}

TEST_F(KeyLinkContract, DeleteRemovesTheLinkItselfNotItsTarget) {
  RegKey parent = Open();
  RegKey link;
  ASSERT_EQ(link.Open(parent, "Link", kKeyAllAccess, kOpenLink), kSuccess);
  ASSERT_EQ(link.Delete(), kSuccess);
  // The guard holds a deleted key now: calls through it fail.
  uint32_t count = 99;
  EXPECT_NE(link.CountSubkeys(&count), kSuccess);
  EXPECT_EQ(count, 99u);
  link.Close();
  EXPECT_FALSE(scratch().KeyExists("Link"));
  ExpectTargetIntact();
}

TEST_F(RegistryContract, DeleteFailsWhileTheKeyHasSubkeys) {
  scratch().CreateKey("Parent\\Child");
  RegKey key = Open("Parent");
  EXPECT_EQ(key.Delete(), kErrorAccessDenied);
  EXPECT_TRUE(scratch().KeyExists("Parent\\Child"));
  // The same handle deletes it once the subkey is gone.
  RegKey child;
  ASSERT_EQ(child.Open(key, "Child", kKeyAllAccess, kOpenLink), kSuccess);
  ASSERT_EQ(child.Delete(), kSuccess);
  EXPECT_EQ(key.Delete(), kSuccess);
  EXPECT_FALSE(scratch().KeyExists("Parent"));
}

TEST_F(RegistryContract, DeleteGoesThroughAHandleOpenedBelowAParent) {
  scratch().CreateKey("Sibling");
  scratch().CreateKey("Images");  // what "Imāges" would be in the ANSI code page
  for (const char* name : {"Doomed", "日本語", "Ελληνικά", "😀", "e\u0301", "Imāges"}) {
    SCOPED_TRACE(name);
    scratch().SetValue(name, "Name", kRegSz, "x\0"s);
    EXPECT_TRUE(Open(name, kKeyRead).Valid());
    RegKey parent = Open("", kKeyRead);
    RegKey key;
    // Deleting needs the DELETE right, which kKeyRead lacks.
    ASSERT_EQ(key.Open(parent, name, kKeyRead, kOpenLink), kSuccess);
    EXPECT_EQ(key.Delete(), kErrorAccessDenied);
    ASSERT_EQ(key.Open(parent, name, kKeyAllAccess, kOpenLink), kSuccess);
    parent.Close();  // the key's own handle is all the deletion needs
    EXPECT_EQ(key.Delete(), kSuccess);
    EXPECT_FALSE(scratch().KeyExists(name));
  }
  EXPECT_TRUE(scratch().KeyExists("Sibling"));
  EXPECT_TRUE(scratch().KeyExists("Images"));
  RegKey closed;
  EXPECT_NE(closed.Delete(), kSuccess);
}

TEST_F(RegistryContract, ValueReadsWholeOnlyWhenItFitsTheCapacity) {
  struct Row {
    const char* label;
    uint32_t type;
    std::string bytes;
    uint32_t capacity;
    bool fits;
  };
  const Row rows[] = {
      {"binary, one byte short", kRegBinary, "\x01\x02\x00\x04"s, 3, false},
      {"binary, exact", kRegBinary, "\x01\x02\x00\x04"s, 4, true},
      {"binary, ample", kRegBinary, "\x01\x02\x00\x04"s, 260, true},
      {"text with NUL, NUL does not fit", kRegSz, "abc\0"s, 3, false},
      {"text with NUL, exact", kRegSz, "abc\0"s, 4, true},
      {"text without NUL, exact", kRegSz, "abc"s, 3, true},
      {"text without NUL, ample", kRegSz, "abc"s, 260, true},
      {"dword, one byte short", kRegDword, "\x44\x33\x22\x11"s, 3, false},
      {"dword, exact", kRegDword, "\x44\x33\x22\x11"s, 4, true},
      {"empty binary, no room", kRegBinary, ""s, 0, true},
      {"one byte, no room", kRegBinary, "\x07"s, 0, false},
      // A text's capacity counts UTF-16 units, whatever its UTF-8 takes.
      {"text beyond ASCII, exact", kRegSz, "ＴＲＵＥ\0"s, 5, true},
      {"text beyond ASCII, one unit short", kRegSz, "ＴＲＵＥ\0"s, 4, false},
      {"binary beyond ASCII, bytes", kRegBinary, "\xEF\xBC\x92"s, 3, true},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string name = "Value" + std::to_string(n++);
    scratch().SetValue("", name, row.type, row.bytes);
    RegKey key = Open("", kKeyRead);

    uint32_t type = 0xEEEE;
    std::string data = "untouched";
    // Asked whether it can be read at all, it answers as the read does.
    EXPECT_EQ(key.ReadValue(name.c_str(), row.capacity, &type, nullptr) == kSuccess, row.fits);
    type = 0xEEEE;
    const long result = key.ReadValue(name.c_str(), row.capacity, &type, &data);
    if (row.fits) {
      EXPECT_EQ(result, kSuccess);
      EXPECT_EQ(type, row.type);
      EXPECT_EQ(data, row.bytes);  // exactly the stored bytes, never padded
    } else {
      EXPECT_EQ(result, kErrorMoreData);
      EXPECT_EQ(type, 0xEEEEu);
      EXPECT_EQ(data, "untouched");
    }
  }
}

TEST_F(RegistryContract, MissingValueFailsToReadAndLeavesTheOutputs) {
  RegKey key = Open("", kKeyRead);
  uint32_t type = 0xEEEE;
  std::string data = "untouched";
  EXPECT_NE(key.ReadValue("Missing", 260, &type, &data), kSuccess);
  EXPECT_EQ(type, 0xEEEEu);
  EXPECT_EQ(data, "untouched");
  EXPECT_NE(key.ReadText("Missing", 260, &data), kSuccess);
  EXPECT_EQ(data, "untouched");
}

// Counts, flags and directories are read as text by one rule: the capacity
// counts characters (UTF-16 units), and text beyond the ANSI code page is
// carried exactly, never best-fit ("ＴＲＵＥ" stays itself).
TEST_F(RegistryContract, TextReadsUpToTheFirstNulOrTheEndOfItsBytes) {
  struct Row {
    const char* label;
    uint32_t type;
    std::string bytes;
    uint32_t capacity;
    const char* text;  // nullptr when it fails
  };
  const Row rows[] = {
      {"stored without NUL, exact", kRegSz, "abc"s, 3, "abc"},
      {"stored without NUL, ample", kRegSz, "abc"s, 260, "abc"},
      {"stored with NUL", kRegSz, "abc\0"s, 260, "abc"},
      {"bytes after the first NUL", kRegSz, "ab\0cd"s, 260, "ab"},
      {"expandable, not expanded", kRegExpandSz, "%TEMP%\\x\0"s, 260, "%TEMP%\\x"},
      {"binary bytes", kRegBinary, "xy"s, 260, "xy"},
      {"path beyond the code page", kRegSz, "C:\\Shared\\Imāges\0"s, 260,
       "C:\\Shared\\Imāges"},
      {"capacity in characters, not bytes", kRegSz, "C:\\Imāges\0"s, 10, "C:\\Imāges"},
      {"one character over the capacity", kRegSz, "C:\\Imāges\0"s, 9, nullptr},
      {"surrogate pair", kRegExpandSz, "C:\\😀\\日本語\0"s, 260, "C:\\😀\\日本語"},
      {"binary bytes beyond ASCII", kRegBinary, "Im\xC4\x81ges"s, 260, nullptr},
      {"fullwidth word, not best fit", kRegSz, "ＴＲＵＥ\0"s, 10, "ＴＲＵＥ"},
      {"fullwidth digit before a digit", kRegSz, "２3\0"s, 10, "２3"},
      {"nine fullwidth digits fill a flag", kRegSz, "２２２２２２２２２\0"s, 10, "２２２２２２２２２"},
      {"ten fullwidth digits overflow it", kRegSz, "２２２２２２２２２２\0"s, 10, nullptr},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string name = "Text" + std::to_string(n++);
    scratch().SetValue("", name, row.type, row.bytes);
    RegKey key = Open("", kKeyRead);
    std::string text = "untouched";
    EXPECT_EQ(key.ReadText(name.c_str(), row.capacity, &text) == kSuccess, row.text != nullptr);
    EXPECT_EQ(text, row.text ? row.text : "untouched");
  }
}

TEST_F(RegistryContract, WrittenValuesKeepTheirTypeAndBytes) {
  RegKey key = Open();
  ASSERT_EQ(key.WriteText("Text", "abc"), kSuccess);
  ASSERT_EQ(key.WriteText("Wide", "２3"), kSuccess);
  ASSERT_EQ(key.WriteDword("Number", 0x11223344), kSuccess);
  // No UTF-8, no UTF-16 to store: refused, and nothing is written.
  EXPECT_EQ(key.WriteText("Broken", "\xFF"), kErrorInvalidData);

  EXPECT_EQ(scratch().Value("", "Text"), (StoredValue{kRegSz, "abc\0"s}));
  EXPECT_EQ(scratch().Value("", "Wide"), (StoredValue{kRegSz, "２3\0"s}));  // NUL counted once
  EXPECT_EQ(scratch().Value("", "Broken"), std::nullopt);
  EXPECT_EQ(scratch().Value("", "Number"), (StoredValue{kRegDword, "\x44\x33\x22\x11"s}));

  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(key.ReadValue("Number", 4, &type, &data), kSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(data, "\x44\x33\x22\x11"s);

  // Writing again replaces value and type.
  ASSERT_EQ(key.WriteText("Number", ""), kSuccess);
  EXPECT_EQ(scratch().Value("", "Number"), (StoredValue{kRegSz, "\0"s}));
}

TEST_F(RegistryContract, ValueIsDeletedOnceByName) {
  scratch().SetValue("", "Stays", kRegSz, "b\0"s);
  scratch().SetValue("", "Images", kRegSz, "b\0"s);
  RegKey key = Open();
  const std::pair<const char*, const char*> names[] = {
      {"Gone", "Gone"}, {"日本語.hlp", "日本語.hlp"}, {"Ελληνικά", "ΕΛΛΗΝΙΚΆ"}, {"😀", "😀"},
      {"Imāges", "IMĀGES"}};
  for (const auto& [stored, named] : names) {
    SCOPED_TRACE(stored);
    scratch().SetValue("", stored, kRegSz, "a\0"s);
    EXPECT_EQ(key.DeleteValue(named), kSuccess);
    EXPECT_FALSE(scratch().Value("", stored));
    EXPECT_NE(key.DeleteValue(named), kSuccess);
  }
  EXPECT_TRUE(scratch().Value("", "Stays"));
  EXPECT_TRUE(scratch().Value("", "Images"));
}

TEST_F(RegistryContract, SubkeysAreCountedAndEnumeratedSortedCaseInsensitively) {
  for (const char* name : {"beta", "Alpha", "gamma", "Delta", "item_2", "itemB", "itemb2", "ITEMA",
                           "😀", "日本語", "Кириллица", "Ελληνικά", "e\u0301"})
    scratch().CreateKey(name);
  scratch().CreateKey("beta\\NotCounted");
  const std::vector<std::string> expected = {
      "Alpha", "beta",  "Delta", "e\u0301", "gamma",     "item_2",   "ITEMA",
      "itemB", "itemb2", "Ελληνικά", "Кириллица", "日本語", "😀"};
  RegKey key = Open("", kKeyRead);

  uint32_t count = 0;
  ASSERT_EQ(key.CountSubkeys(&count), kSuccess);
  EXPECT_EQ(count, expected.size());

  std::vector<std::string> names;
  std::string name;
  for (uint32_t index = 0; key.SubkeyName(index, &name) == kSuccess && index < 100; ++index)
    names.push_back(name);
  EXPECT_EQ(names, expected);

  name = "untouched";
  EXPECT_NE(key.SubkeyName(static_cast<uint32_t>(expected.size()), &name), kSuccess);
  EXPECT_EQ(name, "untouched");
}

TEST_F(RegistryContract, KeyWithoutSubkeysHasNoneToEnumerate) {
  scratch().SetValue("", "NotAKey", kRegSz, "x\0"s);
  RegKey key = Open("", kKeyRead);
  uint32_t count = 99;
  ASSERT_EQ(key.CountSubkeys(&count), kSuccess);
  EXPECT_EQ(count, 0u);
  std::string name = "untouched";
  EXPECT_NE(key.SubkeyName(0, &name), kSuccess);
  EXPECT_EQ(name, "untouched");
}

TEST_F(RegistryContract, KeyAndValueNamesAreCaseInsensitive) {
  scratch().CreateKey("MixedCase\\Inner");
  scratch().SetValue("MixedCase", "ValueName", kRegSz, "old\0"s);

  RegKey inner;
  EXPECT_EQ(inner.Open(scratch().KeyRoot(), scratch().KeyPath("MIXEDCASE\\inner").c_str(), kKeyRead),
            kSuccess);
  inner.Close();

  RegKey key = Open("mixedcase");
  std::string text;
  EXPECT_EQ(key.ReadText("VALUENAME", 260, &text), kSuccess);
  EXPECT_EQ(text, "old");

  ASSERT_EQ(key.WriteText("valuename", "new"), kSuccess);
  EXPECT_EQ(scratch().Value("MixedCase", "ValueName"), (StoredValue{kRegSz, "new\0"s}));

  ASSERT_EQ(inner.Open(key, "INNER", kKeyAllAccess), kSuccess);
  EXPECT_EQ(inner.Delete(), kSuccess);
  EXPECT_FALSE(scratch().KeyExists("MixedCase\\Inner"));
  EXPECT_EQ(key.DeleteValue("VALUEname"), kSuccess);
  EXPECT_FALSE(scratch().Value("MixedCase", "ValueName"));
}

TEST_F(RegistryContract, KeyOpenedForReadingCannotBeWritten) {
  scratch().SetValue("", "Kept", kRegSz, "old\0"s);
  RegKey key = Open("", kKeyRead);

  EXPECT_EQ(key.WriteText("Kept", "new"), kErrorAccessDenied);
  EXPECT_EQ(key.WriteDword("Added", 1), kErrorAccessDenied);
  EXPECT_EQ(key.DeleteValue("Kept"), kErrorAccessDenied);

  EXPECT_EQ(scratch().Value("", "Kept"), (StoredValue{kRegSz, "old\0"s}));
  EXPECT_FALSE(scratch().Value("", "Added"));
  std::string text;
  EXPECT_EQ(key.ReadText("Kept", 260, &text), kSuccess);
  EXPECT_EQ(text, "old");
}

TEST_F(RegistryContract, MissingKeyFailsToOpen) {
  scratch().CreateKey("Present");
  for (const char* sub : {"Missing", "Missing\\Deeper", "Present\\Missing"}) {
    SCOPED_TRACE(sub);
    RegKey key = Open();  // a key held before the open is let go
    EXPECT_EQ(key.Open(scratch().KeyRoot(), scratch().KeyPath(sub).c_str(), kKeyRead),
              kErrorFileNotFound);
    EXPECT_FALSE(key.Valid());
  }
}

TEST_F(RegistryContract, KeyWithoutHandleFailsEveryCall) {
  scratch().SetValue("", "Value", kRegSz, "v\0"s);
  RegKey opened = Open();
  RegKey moved = std::move(opened);
  EXPECT_TRUE(moved.Valid());
  EXPECT_FALSE(opened.Valid());  // NOLINT(bugprone-use-after-move): the guard's state is the point

  RegKey closed = Open();
  closed.Close();
  EXPECT_FALSE(closed.Valid());

  for (RegKey* key : {&opened, &closed}) {
    uint32_t type = 0, count = 0;
    std::string data;
    EXPECT_NE(key->ReadValue("Value", 260, &type, &data), kSuccess);
    EXPECT_NE(key->WriteText("Value", "x"), kSuccess);
    EXPECT_NE(key->WriteDword("Value", 1), kSuccess);
    EXPECT_NE(key->CountSubkeys(&count), kSuccess);
    EXPECT_NE(key->SubkeyName(0, &data), kSuccess);
    EXPECT_NE(key->DeleteValue("Value"), kSuccess);
  }
  // The moved-to guard carries on with the handle.
  std::string text;
  EXPECT_EQ(moved.ReadText("Value", 260, &text), kSuccess);
  EXPECT_EQ(text, "v");
}

}  // namespace
}  // namespace qf::contract
