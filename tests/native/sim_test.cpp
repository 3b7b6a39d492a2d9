// The simulation's own set-up, inspection and failure-injection API.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim.h"

namespace qf {
namespace {

namespace p = platform;
using sim::Op;
using sim::Root;
using Strings = std::vector<std::string>;

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override { sim::Reset(); }
};

std::vector<std::string> Kinds() {
  std::vector<std::string> kinds;
  for (const sim::JournalEntry& entry : sim::Journal()) kinds.push_back(sim::ChangeName(entry.kind));
  return kinds;
}

// Deletes what `path` names through a handle (a link named last goes itself).
long Dispose(const char* path) {
  p::FileHandle handle;
  const long opened = handle.Open(path, p::FileAccess::Delete);
  return opened != p::kSuccess ? opened : handle.Dispose();
}

// The simulated registry: keys, values, rights.
class SimRegistryTest : public SimTest {};
// Failures and actions injected into the simulated operations.
class SimFaultTest : public SimTest {};
// The rest of the simulated machine: reset, files, journal, handles, messages, libraries.
class SimulationTest : public SimTest {};

TEST_F(SimulationTest, ResetGivesTheEmptyMachine) {
  sim::SetText(Root::CurrentUser, "Software\\Quill", "Name", "x");
  sim::MakeFile("C:\\Data\\a.txt");
  sim::SetCwd("C:\\Data");
  sim::AddLibrary("QFHELP.DLL");
  sim::FailWhen(Op::LongPathName, "");
  sim::SetMessageText(5, "copied from a real machine\r\n");
  p::RegKey survivor;
  ASSERT_EQ(p::kSuccess, survivor.Open(Root::CurrentUser, "Software", p::kKeyRead));
  p::Beep();

  sim::Reset();

  EXPECT_EQ(Strings{}, sim::SubkeyNames(Root::CurrentUser, ""));
  // HKLM holds only where the system records its Program Files.
  EXPECT_EQ(Strings{"Software"}, sim::SubkeyNames(Root::LocalMachine, ""));
  EXPECT_EQ(Strings{"CurrentVersion"}, sim::SubkeyNames(Root::LocalMachine, "Software\\Microsoft\\Windows"));
  EXPECT_EQ(Strings{".Default"}, sim::SubkeyNames(Root::Users, ""));
  EXPECT_EQ(Strings{}, sim::Tree("C:\\"));
  EXPECT_EQ("C:\\", sim::CurrentDir());
  EXPECT_TRUE(sim::Journal().empty());
  EXPECT_EQ(0, sim::OpenHandles());
  EXPECT_EQ(0u, sim::OperationCount());
  std::string longPath;
  EXPECT_EQ(p::kSuccess, p::LongPathName("C:\\", &longPath));  // the injected failure is gone
  p::Library library;
  EXPECT_EQ(p::kErrorModNotFound, library.Load("QFHELP.DLL"));
  std::string message;
  ASSERT_EQ(p::kSuccess, p::SystemErrorText(5, &message));
  EXPECT_EQ("Access denied.\r\n", message);  // the built-in table again

  // A guard from before the reset must not release what is opened after it.
  p::RegKey fresh;
  ASSERT_EQ(p::kSuccess, fresh.Open(Root::Users, ".Default", p::kKeyRead));
  survivor.Close();
  EXPECT_EQ(1, sim::OpenHandles());
  uint32_t count = 99;
  EXPECT_EQ(p::kSuccess, fresh.CountSubkeys(&count));
  EXPECT_EQ(0u, count);
}

TEST_F(SimRegistryTest, ValuesKeepTypeAndRawBytes) {
  const std::string binary("ab\0cd", 5);
  sim::SetText(Root::LocalMachine, "Software\\Quill", "Text", "hello");
  sim::SetDword(Root::LocalMachine, "Software\\Quill", "Number", 0x01020304);
  sim::SetValue(Root::LocalMachine, "Software\\Quill", "Blob", p::kRegBinary, binary);
  sim::SetValue(Root::LocalMachine, "Software\\Quill", "Bare", p::kRegSz, "raw");

  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"Text", p::kRegSz, std::string("hello\0", 6), "hello"},
      {"Number", p::kRegDword, std::string("\x04\x03\x02\x01", 4), "\x04\x03\x02\x01"},
      {"Blob", p::kRegBinary, binary, "ab"},
      {"Bare", p::kRegSz, "raw", "raw"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto value = sim::GetValue(Root::LocalMachine, "Software\\Quill", c.name);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(c.type, value->type);
    EXPECT_EQ(c.bytes, value->data);
    EXPECT_EQ(c.text, sim::GetText(Root::LocalMachine, "Software\\Quill", c.name));
  }
  EXPECT_FALSE(sim::GetValue(Root::LocalMachine, "Software\\Quill", "Missing"));
  EXPECT_FALSE(sim::GetText(Root::LocalMachine, "Software\\Nothing", "Text"));
  EXPECT_FALSE(sim::GetValue(Root::CurrentUser, "Software\\Quill", "Text"));  // other root
}

TEST_F(SimRegistryTest, KeyNamesAreCaseInsensitiveAndKeepTheirCase) {
  sim::CreateKey(Root::CurrentUser, "Software\\Quill\\beta");
  sim::CreateKey(Root::CurrentUser, "SOFTWARE\\quill\\Alpha");
  sim::SetText(Root::CurrentUser, "software\\QUILL\\GAMMA", "Name", "g");
  sim::SetText(Root::CurrentUser, "Software\\Quill\\gamma", "NAME", "second");

  EXPECT_EQ(Strings{"Software"}, sim::SubkeyNames(Root::CurrentUser, ""));
  EXPECT_EQ((Strings{"Alpha", "beta", "GAMMA"}),
            sim::SubkeyNames(Root::CurrentUser, "software\\quill"));
  EXPECT_TRUE(sim::KeyExists(Root::CurrentUser, "SOFTWARE\\QUILL\\BETA"));
  EXPECT_FALSE(sim::KeyExists(Root::CurrentUser, "Software\\Quill\\Delta"));
  EXPECT_EQ("second", sim::GetText(Root::CurrentUser, "Software\\Quill\\Gamma", "name"));
  EXPECT_EQ(Strings{}, sim::SubkeyNames(Root::CurrentUser, "Software\\Missing"));
}

TEST_F(SimRegistryTest, KeyRightsGovernOpening) {
  sim::CreateKey(Root::LocalMachine, "Software\\Locked");
  sim::CreateKey(Root::LocalMachine, "Software\\ReadOnly");
  sim::SetKeyRights(Root::LocalMachine, "Software\\Locked", false, false);
  sim::SetKeyRights(Root::LocalMachine, "Software\\ReadOnly", true, false);

  struct Case {
    const char* path;
    uint32_t mask;
    long expected;
  } cases[] = {
      {"Software\\Locked", p::kKeyRead, p::kErrorAccessDenied},
      {"Software\\ReadOnly", p::kKeyRead, p::kSuccess},
      {"Software\\ReadOnly", p::kKeyWrite, p::kErrorAccessDenied},
      {"Software\\ReadOnly", p::kKeyAllAccess, p::kErrorAccessDenied},
      {"Software", p::kKeyAllAccess, p::kSuccess},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " mask " + std::to_string(c.mask));
    p::RegKey key;
    EXPECT_EQ(c.expected, key.Open(Root::LocalMachine, c.path, c.mask));
    EXPECT_EQ(c.expected == p::kSuccess, key.Valid());
  }
  EXPECT_THROW(sim::SetKeyRights(Root::LocalMachine, "Software\\Missing", true, true),
               std::invalid_argument);
}

TEST_F(SimulationTest, FileSetUpAndInspection) {
  sim::MakeDir("C:\\Target\\Sub", p::kAttrHidden);
  sim::MakeFile("C:\\Target\\a.txt", p::kAttrReadOnly);
  sim::MakeLink("C:\\Apps\\ToTarget", "C:\\Target", true);
  sim::MakeLink("C:\\Apps\\ToFile", "C:\\Target\\a.txt", false);
  sim::MakeLink("C:\\Apps\\Dangling", "C:\\Nowhere", true);
  sim::MakeDir("\\\\Server\\Share\\Docs");

  struct Case {
    const char* path;
    std::optional<uint32_t> attributes;
  } cases[] = {
      {"C:\\Target", p::kAttrDirectory},
      {"c:\\target\\SUB", p::kAttrDirectory | p::kAttrHidden},
      {"C:\\Target\\a.txt", p::kAttrArchive | p::kAttrReadOnly},
      {"C:\\Apps\\ToTarget", p::kAttrDirectory | p::kAttrReparsePoint},
      {"C:\\Apps\\ToFile", p::kAttrReparsePoint},
      {"C:\\Apps\\Dangling", p::kAttrDirectory | p::kAttrReparsePoint},
      {"C:\\Apps\\ToTarget\\a.txt", p::kAttrArchive | p::kAttrReadOnly},  // through the link
      {"C:\\Apps\\Dangling\\x", std::nullopt},
      {"C:\\Target\\b.txt", std::nullopt},
      {"\\\\server\\share\\docs", p::kAttrDirectory},
      {"D:\\", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.attributes, sim::Attributes(c.path));
    EXPECT_EQ(c.attributes.has_value(), sim::Exists(c.path));
  }

  // Tree lists links without what is behind them, with the case of creation.
  EXPECT_EQ((Strings{"C:\\Apps", "C:\\Apps\\Dangling", "C:\\Apps\\ToFile",
                     "C:\\Apps\\ToTarget", "C:\\Target", "C:\\Target\\Sub",
                     "C:\\Target\\a.txt"}),
            sim::Tree("c:\\"));
  EXPECT_EQ((Strings{"C:\\Target\\Sub", "C:\\Target\\a.txt"}), sim::Tree("C:\\Apps\\ToTarget"));
  EXPECT_EQ(Strings{"\\\\Server\\Share\\Docs"}, sim::Tree("\\\\Server\\Share"));
  EXPECT_EQ(Strings{}, sim::Tree("C:\\Missing"));
}

TEST_F(SimulationTest, SetUpMisuseThrows) {
  sim::MakeFile("C:\\Data\\a.txt");
  EXPECT_THROW(sim::MakeFile("C:\\Data\\a.txt\\b.txt"), std::invalid_argument);
  EXPECT_THROW(sim::MakeDir("C:\\Data\\a.txt"), std::invalid_argument);
  EXPECT_THROW(sim::MakeDir("relative\\dir"), std::invalid_argument);
  EXPECT_THROW(sim::SetCwd("C:\\Data\\a.txt"), std::invalid_argument);
  EXPECT_THROW(sim::SetCwd("C:\\Missing"), std::invalid_argument);
  EXPECT_THROW(sim::AddEntry("NOTADDED.DLL", "Entry"), std::invalid_argument);
  EXPECT_EQ("C:\\", sim::CurrentDir());
  sim::MakeDir("C:\\Data");  // an existing directory is fine
  sim::SetCwd("c:\\data\\.");
  EXPECT_EQ("c:\\data", sim::CurrentDir());
}

TEST_F(SimulationTest, JournalShowsRealPathsInOrder) {
  sim::MakeFile("C:\\Target\\Keep.txt");
  sim::MakeFile("C:\\Target\\Gone.txt");
  sim::MakeDir("C:\\Target\\Empty");
  sim::MakeLink("C:\\Link", "C:\\Target", true);
  sim::SetText(Root::CurrentUser, "Software\\Quill", "Name", "x");

  EXPECT_EQ(p::kSuccess, Dispose("c:\\link\\GONE.TXT"));
  EXPECT_EQ(p::kSuccess, Dispose("C:\\LINK\\empty"));
  p::Beep();
  p::RegKey key;
  ASSERT_EQ(p::kSuccess, key.Open(Root::CurrentUser, "SOFTWARE\\QUILL", p::kKeyAllAccess));
  EXPECT_EQ(p::kSuccess, key.DeleteValue("NAME"));
  EXPECT_EQ(p::kSuccess, Dispose("C:\\Link"));  // the link, not its target
  p::ShowMessage("Done.", "Quillforge", p::kIconInformation);

  EXPECT_EQ((Strings{"DeleteFile", "RemoveDirectory", "Beep", "RegDeleteValue",
                     "RemoveDirectory", "MessageBox"}),
            Kinds());
  const auto removed = sim::JournalOf(sim::Change::RemoveDirectory);
  ASSERT_EQ(2u, removed.size());
  EXPECT_EQ("C:\\Target\\Empty", removed[0].path);
  EXPECT_EQ("C:\\Link", removed[1].path);
  EXPECT_EQ("C:\\Target\\Gone.txt", sim::JournalOf(sim::Change::DeleteFile).at(0).path);
  const auto value = sim::JournalOf(sim::Change::RegDeleteValue).at(0);
  EXPECT_EQ("HKCU\\Software\\Quill", value.path);
  EXPECT_EQ("Name", value.detail);
  const auto box = sim::JournalOf(sim::Change::MessageBox).at(0);
  EXPECT_EQ("Quillforge", box.path);
  EXPECT_EQ("Done.", box.detail);
  EXPECT_EQ(p::kIconInformation, box.flags);
  EXPECT_EQ((Strings{"C:\\Target", "C:\\Target\\Keep.txt"}), sim::Tree("C:\\"));
}

// Each call, failed by a rule on its kind and a part of its path: it returns
// the injected code and changes nothing; without the rule it succeeds.
TEST_F(SimFaultTest, FailWhenHitsTheMatchingCallOnly) {
  constexpr long kCode = 1234;
  auto arrange = [] {
    sim::SetText(Root::LocalMachine, "Software\\Quill\\3.0", "Path", "C:\\Quill");
    sim::CreateKey(Root::LocalMachine, "Software\\Quill\\3.0\\Sub");
    sim::MakeFile("C:\\Target\\a.txt");
    sim::MakeDir("C:\\Target\\Empty");
    sim::MakeLink("C:\\Link", "C:\\Target", true);
    sim::AddLibrary("QFHELP.DLL");
    sim::AddEntry("QFHELP.DLL", "Register");
  };
  auto openKey = [](p::RegKey* key) {
    return key->Open(Root::LocalMachine, "Software\\Quill\\3.0", p::kKeyAllAccess);
  };
  // A new file below C:\Target, as a record is made; -1 when it cannot be.
  auto create = [](p::FileHandle* file) {
    p::FileHandle dir;
    if (dir.Open("C:\\Target", p::FileAccess::List) != p::kSuccess) return -1L;
    const long result = file->CreateBelow(dir, "new.jsonl");
    return file->Valid() == (result == p::kSuccess) ? result : -1;
  };

  struct Case {
    const char* name;
    Op op;
    const char* part;
    std::function<long()> call;
    std::function<bool()> unchanged;
  } cases[] = {
      {"open", Op::RegOpen, "hklm\\software\\QUILL",
       [&] {
         p::RegKey key;
         const long result = openKey(&key);
         return key.Valid() == (result == p::kSuccess) ? result : -1;
       },
       [] { return true; }},
      {"read", Op::RegRead, "3.0\\path",
       [&] {
         p::RegKey key;
         openKey(&key);
         std::string text = "untouched";
         const long result = key.ReadText("Path", 260, &text);
         return result == p::kSuccess || text == "untouched" ? result : -1;
       },
       [] { return true; }},
      {"write", Op::RegWrite, "Quill\\3.0\\Path",
       [&] { p::RegKey key; openKey(&key); return key.WriteText("Path", "D:\\"); },
       [] { return sim::GetText(Root::LocalMachine, "Software\\Quill\\3.0", "Path") == "C:\\Quill"; }},
      {"delete key", Op::RegDeleteKey, "3.0\\Sub",
       [&] {
         p::RegKey key, sub;
         openKey(&key);
         if (sub.Open(key, "Sub", p::kKeyAllAccess) != p::kSuccess) return -1L;
         return sub.Delete();
       },
       [] { return sim::KeyExists(Root::LocalMachine, "Software\\Quill\\3.0\\Sub"); }},
      {"dispose through link", Op::FileDispose, "C:\\Target\\A.TXT",
       [] { return Dispose("C:\\Link\\a.txt"); },
       [] { return sim::Exists("C:\\Target\\a.txt"); }},
      {"open", Op::FileOpen, "empty",
       [] {
         p::FileHandle dir;
         const long result = dir.Open("C:\\Target\\Empty", p::FileAccess::List);
         return dir.Valid() == (result == p::kSuccess) ? result : -1;
       },
       [] { return sim::OpenHandles() == 0; }},
      {"list", Op::FileList, "C:\\Target",
       [] {
         p::FileHandle dir;
         if (dir.Open("C:\\Target", p::FileAccess::List) != p::kSuccess) return -1L;
         std::vector<p::DirEntry> entries{{"untouched", 7, 7}};
         const long result = dir.List(&entries);
         return result == p::kSuccess || entries.at(0).name == "untouched" ? result : -1;
       },
       [] { return true; }},
      {"create", Op::FileCreate, "target\\NEW.jsonl", [&] { p::FileHandle file; return create(&file); },
       [] { return !sim::Exists("C:\\Target\\new.jsonl"); }},
      {"write in a full directory", Op::FileWrite, "C:\\Target",
       [&] { p::FileHandle file; return create(&file) != p::kSuccess ? -1 : file.Write("line\n"); },
       [] { return sim::FileContents("C:\\Target\\new.jsonl") == ""; }},
      {"flush", Op::FileFlush, "new.jsonl",
       [&] { p::FileHandle file; return create(&file) != p::kSuccess ? -1 : file.Flush(); },
       [] { return true; }},
      {"load", Op::LoadLibrary, "qfhelp",
       [] { p::Library library; return library.Load("QFHELP.DLL"); },
       [] { return sim::OpenHandles() == 0; }},
      {"lookup", Op::Lookup, "qfhelp",
       [] {
         p::Library library;
         if (library.Load("QFHELP.DLL") != p::kSuccess) return -1L;
         return library.Lookup("Register") ? p::kSuccess : kCode;
       },
       [] { return true; }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    arrange();
    sim::FailWhen(c.op, "no such path");  // a rule for another path leaves it alone
    sim::FailWhen(c.op, c.part, kCode);
    EXPECT_EQ(kCode, c.call());
    EXPECT_TRUE(c.unchanged());
    for (const sim::JournalEntry& entry : sim::Journal()) {
      EXPECT_TRUE(entry.kind == sim::Change::LoadLibrary || entry.kind == sim::Change::FreeLibrary) << sim::ChangeName(entry.kind);
    }

    sim::Reset();
    arrange();
    sim::FailWhen(c.op, "no such path");
    EXPECT_EQ(p::kSuccess, c.call());
  }
}

TEST_F(SimulationTest, MessageTextsGivenReplaceAndExtendTheTable) {
  std::string text;
  EXPECT_NE(p::kSuccess, p::SystemErrorText(1234, &text));
  sim::SetMessageText(1234, "Copied.\r\n");
  sim::SetMessageText(5, "Access is denied.\r\n");
  const std::vector<std::pair<uint32_t, std::string>> expected = {
      {1234, "Copied.\r\n"}, {5, "Access is denied.\r\n"},
      {2, "The system cannot find the file specified.\r\n"}};
  for (const auto& [code, message] : expected) {
    ASSERT_EQ(p::kSuccess, p::SystemErrorText(code, &text)) << code;
    EXPECT_EQ(message, text) << code;
  }
}

TEST_F(SimFaultTest, FailAtCountsEveryOperation) {
  struct Case {
    uint64_t n;
    bool andAfter;
    std::vector<long> expected;
  } cases[] = {
      {2, false, {0, 5, 0, 0}},
      {2, true, {0, 5, 5, 5}},
      {9, false, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    sim::Reset();
    sim::MakeDir("C:\\Data");
    sim::FailAt(c.n, c.andAfter);
    std::vector<long> results;
    p::FileHandle first, second;
    p::RegKey key;
    results.push_back(first.Open("C:\\Data", p::FileAccess::Inspect));
    results.push_back(key.Open(Root::Users, ".Default", p::kKeyRead));
    results.push_back(second.Open("C:\\Data", p::FileAccess::Inspect));
    std::string text;
    results.push_back(p::SystemErrorText(2, &text));
    EXPECT_EQ(c.expected, results);
    EXPECT_EQ(4u, sim::OperationCount());
  }
}

// Another process acts when the n-th call starts, before its effect; its
// renames are refused while a handle holds the object.
TEST_F(SimFaultTest, ActionsRunWhenTheirOperationStarts) {
  sim::MakeDir("C:\\Data\\Held");
  sim::MakeDir("C:\\Data\\Free");
  p::FileHandle held;
  std::vector<long> renames;
  sim::AtOperation(2, [&] {
    renames.push_back(sim::Rename("C:\\Data\\Held", "C:\\Data\\Moved"));
    renames.push_back(sim::Rename("C:\\Data\\Free", "C:\\Data\\Moved"));
    renames.push_back(sim::Rename("C:\\Data\\Gone", "C:\\Data\\Other"));
  });
  ASSERT_EQ(p::kSuccess, held.Open("C:\\Data\\Held", p::FileAccess::List));
  p::FileHandle free;
  EXPECT_EQ(p::kErrorFileNotFound, free.Open("C:\\Data\\Free", p::FileAccess::List));
  EXPECT_EQ((std::vector<long>{32, p::kSuccess, p::kErrorFileNotFound}), renames);
  EXPECT_EQ((Strings{"C:\\Data\\Held", "C:\\Data\\Moved"}), sim::Tree("C:\\Data"));
  EXPECT_EQ(2u, sim::OperationCount());
}

TEST_F(SimulationTest, HandlesAreCountedAndTransferred) {
  sim::MakeDir("C:\\Data");
  sim::AddLibrary("QFHELP.DLL");
  const uint64_t before = sim::OperationCount();

  p::RegKey key;
  ASSERT_EQ(p::kSuccess, key.Open(Root::Users, ".Default", p::kKeyRead));
  ASSERT_EQ(p::kSuccess, key.Open(Root::Users, ".Default", p::kKeyRead));  // replaces
  p::FileHandle find;
  ASSERT_EQ(p::kSuccess, find.Open("C:\\Data", p::FileAccess::List));
  p::Library library;
  ASSERT_EQ(p::kSuccess, library.Load("qfhelp.dll"));
  EXPECT_EQ(3, sim::OpenHandles());
  EXPECT_EQ(before + 4, sim::OperationCount());

  p::RegKey movedKey(std::move(key));
  p::FileHandle movedFind;
  movedFind = std::move(find);
  p::Library movedLibrary(std::move(library));
  key.Close();
  find.Close();
  library.Close();
  EXPECT_EQ(3, sim::OpenHandles());
  EXPECT_TRUE(movedKey.Valid() && movedFind.Valid() && movedLibrary.Valid());

  EXPECT_NE(p::kSuccess, find.Open("C:\\Missing", p::FileAccess::List));
  EXPECT_FALSE(find.Valid());
  movedKey.Close();
  movedFind.Close();
  movedLibrary.Close();
  EXPECT_EQ(0, sim::OpenHandles());
  // Closing and moving are not operations; the failed Start is.
  EXPECT_EQ(before + 5, sim::OperationCount());
  EXPECT_EQ((Strings{"LoadLibrary", "FreeLibrary"}), Kinds());
}

TEST_F(SimulationTest, EntriesRunTheirCallbacks) {
  std::vector<std::string> received;
  sim::AddLibrary("QfHelp.dll");
  sim::AddEntry("QFHELP.DLL", "Register", [&](const char* text) {
    received.push_back(text);
    sim::MakeFile("C:\\registered.txt");
  });
  sim::AddEntry("QfHelp.dll", "Silent");

  p::Library library;
  ASSERT_EQ(p::kSuccess, library.Load("QFHELP.DLL"));
  void* registerEntry = library.Lookup("Register");
  void* silentEntry = library.Lookup("Silent");
  ASSERT_NE(nullptr, registerEntry);
  ASSERT_NE(nullptr, silentEntry);
  EXPECT_NE(registerEntry, silentEntry);
  EXPECT_EQ(nullptr, library.Lookup("register"));  // entry names are exact
  const uint64_t before = sim::OperationCount();
  p::CallTextEntry(registerEntry, "C:\\Quill");
  p::CallTextEntry(silentEntry, "quiet");
  EXPECT_EQ(before, sim::OperationCount());

  EXPECT_EQ(Strings{"C:\\Quill"}, received);
  EXPECT_TRUE(sim::Exists("C:\\registered.txt"));
  const auto calls = sim::JournalOf(sim::Change::Call);
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ("QfHelp.dll!Register", calls[0].path);
  EXPECT_EQ("C:\\Quill", calls[0].detail);
  EXPECT_EQ("QfHelp.dll!Silent", calls[1].path);
  EXPECT_EQ(2u, sim::JournalOf(sim::Change::Lookup).size());
}

}  // namespace
}  // namespace qf
