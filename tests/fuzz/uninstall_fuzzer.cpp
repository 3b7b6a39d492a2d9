// Builds an installation on the simulated machine from the fuzzer's input,
// runs the uninstall pass over it once or twice, and aborts when the pass
// breaks one of the invariants (tests/reliability/invariants.h) or ends
// elsewhere than the oracle's state (tests/reliability/oracle.h): exactly
// when no injected failure hit a call, part by part otherwise.
//
// The input decides: the product's flags and marker (text, numbers, raw
// bytes, too long to read), the shared components' counts and directories
// (empty, relative, roots, dots, links, over-long), the trees of files,
// directories and links around them, the per-user key tree, which keys can
// be opened or written, a key on the way to those the pass opens moved behind
// a link, the companion libraries, the current directory, and
// failures injected into the platform calls; last, whether the run is held
// to a reviewed plan: the machine's own, or one made after the machine
// changed, when the changes it makes must be among the plan's (and, where
// no failure hit either, among those made without it), and every invariant
// but the oracle's, which knows no plan, must hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

#include "common/paths.h"
#include "common/schema.h"
#include "exports/entry_points.h"
#include "invariants.h"
#include "plan_check.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

namespace {

using qf::platform::Root;
using qf::reliability::Link;
namespace sim = qf::sim;
namespace p = qf::platform;

// Directories the trees, the components and the links are placed around.
const char* const kPlaces[] = {
    "C:\\Shared\\Data",   "C:\\Shared\\MSHelp",        "C:\\Shared\\Images", "C:\\Shared",
    "C:\\Windows",        "C:\\Host",                  "D:\\Moved",          "\\\\server\\share\\Halvern",
    "C:\\Shared\\Data\\sub", "C:\\Windows\\Help",      "C:\\Shared\\Data ",  "D:\\Moved\\Images",
    // Folders the system keeps, the host's, and a directory below one.
    "C:\\Users\\tester\\Documents", "C:\\Users\\Public", "C:\\Program Files\\Quillforge",
    "C:\\ProgramData\\Halvern", "C:\\Program Files\\Common Files", "C:\\Program Files (x86)",
    // Temporary folders, below the Windows directory, other programs'.
    "C:\\Windows\\Temp", "C:\\Users\\tester\\AppData\\Local\\Temp", "C:\\Windows\\QA Data",
    "C:\\Other Program", "D:\\Moved\\Other Program\\bin",
};


const char* const kNames[] = {"a", "b", "A", "sub", "x.hlp", "guide.hlp", "Data", "link", "n ",
                              "Images", "MSHelp", "deep", "a.dat"};

const char* const kComponents[] = {qf::DataComponent, qf::HelpComponent, qf::ImagesComponent, "Fonts", "mshelp"};

// sim::Op by number, for the report of a failing input.
const char* const kOpNames[] = {
    "RegOpen",        "RegRead",       "RegWrite",   "RegCountSubkeys", "RegEnum",   "RegDeleteKey",
    "RegDeleteValue", "SystemErrorText", "LoadLibrary", "Lookup",        "FileOpen",  "FileOpenBelow",
    "FileFacts",      "FileList",      "FileDispose", "LongPathName",  "FileCreate", "FileWrite",
    "FileFlush",      "TargetFinalPath", "KeptFolders"};
static_assert(std::size(kOpNames) == static_cast<size_t>(qf::sim::Op::KeptFolders) + 1);

class Builder {
 public:
  explicit Builder(FuzzedDataProvider& in) : in_(in) {
    for (const char* place : kPlaces) dirs_.push_back(place);
  }

  std::vector<Link> links;
  std::vector<std::string> failures;

  // The registry values and the failures come first: the input may run out
  // before the trees are done, and what is built after that is built from
  // zeros.
  void Build() {
    // A 32-bit process on 64-bit Windows, or on 32-bit Windows.
    if (in_.ConsumeBool()) sim::SetWow64();
    Product();
    Components();
    OtherPrograms();
    Failures();
    Files();
    UserTree();
    HelpRegistrations();
    Rights();
    LinkOnTheWay();
    Companions();
    CurrentDirectory();
    Profiles();
  }

 private:
  template <typename F>
  void Try(F&& step) {
    try {
      step();
    } catch (const std::exception&) {
      // A set-up the simulation refuses (a file in the way, a link on the
      // way) is simply not made.
    }
  }

  std::string Place() { return in_.PickValueInArray(kPlaces); }
  std::string Dir() { return dirs_[in_.ConsumeIntegralInRange<size_t>(0, dirs_.size() - 1)]; }

  std::string Name() {
    switch (in_.ConsumeIntegralInRange(0, 3)) {
      case 0: return std::string(in_.ConsumeIntegralInRange<size_t>(1, 130), 'n');
      case 1: {
        // Any bytes but NUL, which no file name can hold.
        std::string name = in_.ConsumeRandomLengthString(12);
        for (char& c : name) c = c == '\0' ? '_' : c;
        return name.empty() ? "e" : name;
      }
      default: return in_.PickValueInArray(kNames);
    }
  }

  // A path as a registry value may hold it.
  std::string PathText() {
    const std::string place = Place();
    switch (in_.ConsumeIntegralInRange(0, 19)) {
      case 0: return place + "\\";
      case 1: return place + "\\x\\..";
      case 2: return place + "\\.";
      case 3: {
        std::string slashed = place;
        for (char& c : slashed) c = c == '\\' ? '/' : c;
        return slashed;
      }
      case 4: return place + in_.PickValueInArray({" ", ".", ". ", " .", "...", " \\.", " \\", " \\x\\.."});
      case 5: return "";
      case 6: return in_.PickValueInArray({"Shared\\Data", qf::DataComponent, ".\\", "\\Shared\\Data", "C:Shared"});
      case 7:
        return in_.PickValueInArray({"C:\\", "C:", "C:\\Temp\\..", "\\\\server\\share",
                                     "\\\\server\\share\\", "D:\\", "C:\\\\", "\\\\server\\share\\x\\.."});
      case 8: return place + "\\" + std::string(in_.ConsumeIntegralInRange<size_t>(200, 300), 'L');
      case 9: return in_.ConsumeRandomLengthString(48);
      case 10: {
        std::string lower = place;
        for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        return lower;
      }
      case 11: return place + "\\..\\..\\Windows";
      case 12: return "\\\\?\\" + place;
      case 13: case 14: case 15:
        if (!links.empty()) return links[in_.ConsumeIntegralInRange<size_t>(0, links.size() - 1)].path;
        return place;
      case 16: return Dir();
      // Kept folders written another way (8.3 names and WOW64's file
      // redirection, which the model of the pass knows nothing of, are the tables'.)
      case 17:
        return in_.PickValueInArray({"C:\\users\\TESTER\\documents", "C:\\Program Files\\Quillforge\\x\\..",
                                     "C:\\Users\\tester\\", "C:\\Users\\Public\\Documents\\..",
                                     "c:\\program files\\", "C:\\Program Files (x86)\\x\\.."});
      default: return place;
    }
  }

  // Raw value bytes and type for a text: with or without its NUL, padded,
  // as binary.
  void StoreText(Root root, const std::string& key, const std::string& name, const std::string& text) {
    std::string bytes = text;
    uint32_t type = in_.PickValueInArray({p::kRegSz, p::kRegSz, p::kRegExpandSz, p::kRegBinary});
    switch (in_.ConsumeIntegralInRange(0, 3)) {
      case 0: break;  // no terminating NUL
      case 1: bytes += std::string(in_.ConsumeIntegralInRange<size_t>(2, 8), '\0'); break;
      default: bytes.push_back('\0');
    }
    if (in_.ConsumeIntegralInRange(0, 15) == 0) type = p::kRegDword;
    sim::SetValue(root, key, name, type, bytes);
  }

  void Files() {
    const int steps = in_.ConsumeIntegralInRange(0, 40);
    for (int i = 0; i < steps; ++i) {
      std::string path = Dir();
      const int depth = in_.ConsumeIntegralInRange(0, 4);
      for (int d = 0; d < depth; ++d) path += "\\" + Name();
      const int kind = in_.ConsumeIntegralInRange(0, 6);
      const uint32_t attributes =
          in_.PickValueInArray({0u, 0u, p::kAttrReadOnly, p::kAttrHidden, p::kAttrReadOnly | p::kAttrHidden});
      Try([&] {
        if (kind <= 2) {
          sim::MakeFile(path, attributes);
        } else if (kind == 3) {
          sim::MakeDir(path, attributes);
          dirs_.push_back(path);
        } else {
          MakeLink(path, kind != 6);
        }
      });
    }
  }

  // A link whose own path does not run through another link, so the check
  // knows it by its real path.
  void MakeLink(const std::string& path, bool directory) {
    const std::string resolved = qf::ResolveAbsolutePath(path);
    if (resolved.empty()) return;
    for (size_t at = resolved.find('\\', 3); at != std::string::npos; at = resolved.find('\\', at + 1)) {
      // With its separator, so that a name ending in a blank keeps it.
      const auto attributes = sim::Attributes(resolved.substr(0, at + 1));
      if (attributes && (*attributes & p::kAttrReparsePoint)) return;
    }
    std::string target;
    switch (in_.ConsumeIntegralInRange(0, 3)) {
      case 0: target = Place(); break;
      case 1: target = Dir() + "\\" + Name(); break;
      case 2: target = in_.PickValueInArray({"C:\\", "D:\\", "\\\\server\\share\\", "C:\\Nowhere"}); break;
      default: target = Dir();
    }
    sim::MakeLink(path, target, directory);
    links.push_back(Link{path, target, directory});
  }

  // Sometimes the directory a value names is a link itself, and the
  // failures injected later may aim at it.
  void MaybeLinkAt(const std::string& path) {
    named_.push_back(path);
    if (in_.ConsumeIntegralInRange(0, 5) != 0) return;
    const bool directory = in_.ConsumeIntegralInRange(0, 3) != 0;
    Try([&] { MakeLink(path, directory); });
  }

  void Product() {
    const std::string product = qf::ProductVersionKey;
    switch (in_.ConsumeIntegralInRange(0, 7)) {
      case 0: break;
      case 1: sim::SetText(Root::LocalMachine, product, qf::UseSharedFiles, in_.ConsumeRandomLengthString(12)); break;
      case 2: StoreText(Root::LocalMachine, product, qf::UseSharedFiles, "TRUE"); break;
      case 3: sim::SetText(Root::LocalMachine, product, qf::UseSharedFiles,
                           in_.PickValueInArray({"true", "TRUE ", " TRUE", "TRUEX"})); break;
      default: sim::SetText(Root::LocalMachine, product, qf::UseSharedFiles, "TRUE");
    }
    if (in_.ConsumeBool()) {
      sim::SetValue(Root::LocalMachine, product, qf::InstallAdmin, p::kRegSz,
                    std::string(in_.ConsumeIntegralInRange<size_t>(0, 12), '1'));
      if (in_.ConsumeBool()) sim::SetKeyRights(Root::Users, qf::DefaultUserKey, true, false);
    }
    for (const char* flag : {qf::UseSharedData, qf::UseSharedMSHelp, qf::UseSharedImages}) {
      switch (in_.ConsumeIntegralInRange(0, 5)) {
        case 0: break;
        case 1: sim::SetDword(Root::LocalMachine, qf::UnInstInfoKey, flag, in_.ConsumeIntegral<uint32_t>()); break;
        case 2: sim::SetValue(Root::LocalMachine, qf::UnInstInfoKey, flag, p::kRegBinary,
                              in_.ConsumeRandomLengthString(14)); break;
        default: sim::SetText(Root::LocalMachine, qf::UnInstInfoKey, flag, in_.PickValueInArray({"1", "", "FALSE"}));
      }
    }
  }

  void Count(const std::string& key) {
    switch (in_.ConsumeIntegralInRange(0, 7)) {
      case 0: break;  // no count
      case 1: {
        const uint32_t value = in_.ConsumeBool() ? in_.ConsumeIntegralInRange<uint32_t>(0, 4)
                                                 : in_.ConsumeIntegral<uint32_t>();
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        bytes.resize(in_.PickValueInArray({4, 4, 0, 1, 2, 3, 5, 8}));
        sim::SetValue(Root::LocalMachine, key, qf::UseCount, p::kRegDword, bytes);
        break;
      }
      case 2: StoreText(Root::LocalMachine, key, qf::UseCount, in_.ConsumeRandomLengthString(12)); break;
      case 3: StoreText(Root::LocalMachine, key, qf::UseCount,
                        in_.PickValueInArray({"2147483647", "-2147483648", "4294967298", " +3", "0003", "2x"}));
              break;
      default: StoreText(Root::LocalMachine, key, qf::UseCount,
                         std::to_string(in_.ConsumeIntegralInRange(-2, 4)));
    }
  }

  void Components() {
    if (!in_.ConsumeBool()) return;
    sim::CreateKey(Root::LocalMachine, qf::SharedKey);
    if (in_.ConsumeBool()) {
      const std::string dir = PathText();
      StoreText(Root::LocalMachine, qf::SharedKey, qf::SharedFilesDir, dir);
      MaybeLinkAt(dir);
    }
    const int count = in_.ConsumeIntegralInRange(0, 5);
    for (int i = 0; i < count; ++i) {
      const std::string key = qf::JoinPath(qf::SharedKey, in_.PickValueInArray(kComponents));
      sim::CreateKey(Root::LocalMachine, key);
      Count(key);
      if (in_.ConsumeIntegralInRange(0, 7) != 0) {
        const std::string rootDir = PathText();
        StoreText(Root::LocalMachine, key, qf::RootDir, rootDir);
        MaybeLinkAt(rootDir);
      }
      if (in_.ConsumeIntegralInRange(0, 7) == 0) sim::CreateKey(Root::LocalMachine, key + "\\Files");
    }
    // A component record that is a link to another record, or to a key
    // outside the shared area that reads like one.
    if (in_.ConsumeIntegralInRange(0, 3) == 0) {
      const std::string outside = "Software\\Other";
      StoreText(Root::LocalMachine, outside, qf::UseCount, "1");
      StoreText(Root::LocalMachine, outside, qf::RootDir, PathText());
      const std::string link = qf::JoinPath(qf::SharedKey, in_.PickValueInArray(kComponents));
      const std::string target =
          in_.ConsumeBool() ? outside : qf::JoinPath(qf::SharedKey, in_.PickValueInArray(kComponents));
      Try([&] { sim::MakeKeyLink(Root::LocalMachine, link, target); });
    }
  }

  // Installed programs listed per machine and per user, by uninstall entry
  // and App Paths, and a temporary folder moved.
  void OtherPrograms() {
    const int count = in_.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < count; ++i) {
      const Root root = in_.ConsumeBool() ? Root::LocalMachine : Root::CurrentUser;
      const std::string entry = in_.PickValueInArray({"{0A1}", "other.exe", "Mine"});
      if (in_.ConsumeBool()) StoreText(root, std::string(qf::UninstallKey) + "\\" + entry, qf::InstallLocation, PathText());
      else StoreText(root, std::string(qf::AppPathsKey) + "\\" + entry, "", "\"" + PathText() + "\\" + entry + "\"");
    }
    if (in_.ConsumeIntegralInRange(0, 7) == 0) sim::SetSystemPlaces("C:\\Windows", "C:\\Windows\\System32", PathText());
    if (in_.ConsumeIntegralInRange(0, 7) == 0)
      Try([&] { sim::SetKeyRights(in_.ConsumeBool() ? Root::LocalMachine : Root::CurrentUser, qf::UninstallKey, false, false); });
  }

  // Other accounts' profiles as the system lists them, read last so that the
  // seeds build what they built before: nothing at, above or below one may
  // go (an invariant; the oracle leaves roots kept for one to it).
  void Profiles() {
    const int count = in_.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < count; ++i) {
      const std::string path = PathText();
      sim::SetUpIn64BitView(true);
      Try([&] { StoreText(Root::LocalMachine, std::string(qf::ProfileListKey) + "\\S-1-5-21-" + std::to_string(i), qf::ProfileImagePath, path); });
      sim::SetUpIn64BitView(false);
    }
  }

  void UserTree() {
    const std::string tree = std::string(qf::UserSettingsKey);
    const int count = in_.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < count; ++i) {
      std::string key = in_.ConsumeBool() ? tree : std::string(qf::ProductKey) + "\\2.5";
      const int depth = in_.ConsumeIntegralInRange(0, 3);
      for (int d = 0; d < depth; ++d) {
        key += "\\" + (in_.ConsumeIntegralInRange(0, 7) == 0
                           ? std::string(in_.ConsumeIntegralInRange<size_t>(250, 270), 'k')
                           : std::string(in_.PickValueInArray({"Options", "Editor", "a", "B", "..", "Recent"})));
      }
      if (in_.ConsumeIntegralInRange(0, 5) == 0) {
        // A link key: to another program's settings, the sibling version,
        // the tree itself, or nothing.
        sim::SetText(Root::CurrentUser, "Software\\Other\\Inner", "Keep", "me");
        const std::string target = in_.PickValueInArray(
            {std::string("Software\\Other"), std::string(qf::ProductKey) + "\\2.5", tree,
             std::string("Software\\Missing")});
        Try([&] { sim::MakeKeyLink(Root::CurrentUser, key, target); });
        continue;
      }
      Try([&] { sim::SetText(Root::CurrentUser, key, "Setting", "on"); });
      if (in_.ConsumeIntegralInRange(0, 5) == 0)
        Try([&] { sim::SetKeyRights(Root::CurrentUser, key, in_.ConsumeBool(), false); });
    }
  }

  void HelpRegistrations() {
    const int count = in_.ConsumeIntegralInRange(0, 5);
    for (int i = 0; i < count; ++i)
      sim::SetText(Root::LocalMachine, qf::HelpRegistrationKey, Name(), "C:\\Shared\\MSHelp");
  }

  void Rights() {
    const std::string keys[] = {qf::ProductVersionKey, qf::UnInstInfoKey, qf::SharedKey,
                                qf::JoinPath(qf::SharedKey, qf::DataComponent), qf::JoinPath(qf::SharedKey, qf::HelpComponent),
                                qf::HelpRegistrationKey, qf::MakerKey};
    const int count = in_.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
      const std::string& key = keys[in_.ConsumeIntegralInRange<size_t>(0, std::size(keys) - 1)];
      const bool canOpen = in_.ConsumeBool(), canWrite = in_.ConsumeBool();
      Try([&] { sim::SetKeyRights(Root::LocalMachine, key, canOpen, canWrite); });
    }
  }

  // A key at any level of a path the pass opens, moved behind a link.
  void LinkOnTheWay() {
    if (in_.ConsumeIntegralInRange(0, 3) != 0) return;
    const bool user = in_.ConsumeBool();
    const std::vector<std::string> names = qf::SplitPath(
        user ? qf::UserSettingsKey : in_.PickValueInArray<const char*>({qf::UnInstInfoKey, qf::SharedKey, qf::HelpRegistrationKey}));
    std::string level = names[0];
    for (size_t i = 1, n = in_.ConsumeIntegralInRange<size_t>(1, names.size()); i < n; ++i) level += "\\" + names[i];
    Try([&] { sim::LinkKeyAway(user ? Root::CurrentUser : Root::LocalMachine, level, "Elsewhere\\" + level); });
  }

  void Companions() {
    if (in_.ConsumeBool()) {
      sim::AddLibrary(qf::FirstCompanion);
      sim::AddEntry(qf::FirstCompanion, qf::FirstCompanionEntry);
    }
    if (in_.ConsumeBool()) {
      sim::AddLibrary(qf::SecondCompanion);
      if (in_.ConsumeBool()) sim::AddEntry(qf::SecondCompanion, qf::VrxEntry);
    }
  }

  void CurrentDirectory() {
    if (in_.ConsumeBool()) sim::SetLibraryDir(Dir());
    std::string cwd = Dir();
    if (in_.ConsumeIntegralInRange(0, 3) == 0) {
      while (cwd.size() < 300) cwd += "\\" + std::string(40, 'c');
      Try([&] { sim::MakeDir(cwd); });
    }
    Try([&] { sim::SetCwd(cwd); });
  }

  void Failures() {
    // Every call the pass makes can fail.  The file calls on the components'
    // own paths are where a failure can change what is deleted, so they are
    // picked most often.
    constexpr sim::Op kOps[] = {
        sim::Op::FileOpen,      sim::Op::FileOpen,      sim::Op::FileOpenBelow, sim::Op::FileOpenBelow,
        sim::Op::FileFacts,     sim::Op::FileFacts,     sim::Op::FileList,      sim::Op::FileDispose,
        sim::Op::FileDispose,   sim::Op::LongPathName,  sim::Op::RegOpen,       sim::Op::RegRead,
        sim::Op::RegWrite,      sim::Op::RegCountSubkeys, sim::Op::RegEnum,     sim::Op::RegDeleteKey,
        sim::Op::RegDeleteValue, sim::Op::SystemErrorText, sim::Op::LoadLibrary, sim::Op::Lookup,
        sim::Op::TargetFinalPath, sim::Op::KeptFolders};
    const int count = in_.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
      const sim::Op op = in_.PickValueInArray(kOps);
      std::string part;
      switch (in_.ConsumeIntegralInRange(0, 3)) {
        case 0:
          part = in_.PickValueInArray({"", "Data", "MSHelp", "Help", "Shared", "3.0", "*.*", "Default", "Windows"});
          break;
        case 1: case 2: {
          // A path a value names, as the calls will be given it.
          const std::string named =
              named_.empty() ? Place() : named_[in_.ConsumeIntegralInRange<size_t>(0, named_.size() - 1)];
          const std::string resolved = qf::ResolveAbsolutePath(named);
          part = resolved.empty() ? named : resolved;
          break;
        }
        default: part = in_.ConsumeRandomLengthString(6);
      }
      // No read calls a value that is there absent (no system answers so).
      const long code = op == sim::Op::RegRead ? in_.PickValueInArray({5L, 32L, 206L, 234L, 1018L})
                                               : in_.PickValueInArray({5L, 2L, 3L, 32L, 206L, 234L, 1018L});
      sim::FailWhen(op, part, code);
      failures.push_back(std::string(kOpNames[static_cast<size_t>(op)]) + " on \"" + part +
                         "\" fails with " + std::to_string(code));
    }
    // Zeros, as an input that ran out gives them, mean no failure here.
    if (in_.ConsumeIntegralInRange(0, 3) == 3) {
      const uint64_t n = in_.ConsumeIntegralInRange<uint64_t>(1, 300);
      const bool andAfter = in_.ConsumeBool();
      sim::FailAt(n, andAfter);
      failures.push_back("operation " + std::to_string(n) + (andAfter ? " and after" : "") + " fails");
    }
  }


  FuzzedDataProvider& in_;
  std::vector<std::string> dirs_;
  std::vector<std::string> named_;  // directories named by registry values
};

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += c == '\\' ? "\\" : escaped;
    }
  }
  return out;
}

void PrintValue(const std::string& key, const char* name) {
  if (const auto value = sim::GetValue(Root::LocalMachine, key, name))
    std::fprintf(stderr, "  %s|%s = type %u [%s]\n", key.c_str(), name, value->type, Printable(value->data).c_str());
}

// What the failing input built, for whoever reads the report.
void Describe(const Builder& builder) {
  std::fprintf(stderr, "Installation:\n  current directory %s\n", sim::CurrentDir().c_str());
  for (const char* name : {qf::UseSharedFiles, qf::InstallAdmin}) PrintValue(qf::ProductVersionKey, name);
  for (const char* name : {qf::UseSharedData, qf::UseSharedMSHelp, qf::UseSharedImages}) PrintValue(qf::UnInstInfoKey, name);
  PrintValue(qf::SharedKey, qf::SharedFilesDir);
  for (const std::string& component : sim::SubkeyNames(Root::LocalMachine, qf::SharedKey)) {
    for (const char* name : {qf::UseCount, qf::RootDir}) PrintValue(qf::JoinPath(qf::SharedKey, component), name);
  }
  for (const char* root : {"C:\\", "D:\\", "\\\\server\\share"}) {
    for (const std::string& path : sim::Tree(root)) std::fprintf(stderr, "  file %s\n", path.c_str());
  }
  for (const Link& link : builder.links)
    std::fprintf(stderr, "  link [%s] -> [%s]%s\n", link.path.c_str(), link.target.c_str(),
                 link.directory ? " (directory)" : "");
  for (const std::string& failure : builder.failures) std::fprintf(stderr, "  %s\n", failure.c_str());
}

// Runs checked against the whole oracle, and runs that a failure hit.
unsigned long exactRuns = 0, failedRuns = 0;

void PrintRuns() {
  std::fprintf(stderr, "runs checked against the whole oracle: %lu; with an injected failure: %lu\n",
               exactRuns, failedRuns);
}

}  // namespace

// The machine the plan was made on, changed from the one the run meets: a
// file of a component's rewritten, and a count raised.
void ChangeMachine() {
  for (const std::string& path : sim::Tree("C:\\Shared")) {
    if (!sim::FileContents(path)) continue;
    sim::MakeFile(path, *sim::Attributes(path) & (p::kAttrReadOnly | p::kAttrHidden), "changed");
    break;
  }
  const std::string data = qf::JoinPath(qf::SharedKey, qf::DataComponent);
  if (sim::KeyExists(Root::LocalMachine, data) && sim::GetText(Root::LocalMachine, data, qf::UseCount))
    sim::SetText(Root::LocalMachine, data, qf::UseCount, "2");
}

// Builds the input's installation anew, as often as a run held to a plan needs it.
std::vector<Link> Rebuild(const uint8_t* data, size_t size) {
  FuzzedDataProvider again(data, size);
  sim::Reset();
  Builder builder(again);
  builder.Build();
  return builder.links;
}

// The violations of `passes` runs held to a plan made on the machine, or
// on it changed (`changed`).
std::vector<std::string> HeldToPlan(const uint8_t* data, size_t size, int passes, bool changed) {
  Rebuild(data, size);
  if (changed) {
    try {
      ChangeMachine();
    } catch (const std::exception&) {  // a set-up the simulation refuses is not made
    }
  }
  const qf::reliability::MadePlan plan = qf::reliability::MakePlan();
  Rebuild(data, size);
  for (int i = 0; i < passes; ++i) UninstInitialize(0, 0, 0);
  const std::vector<std::string> unlocked = qf::reliability::ChangesMade();
  const bool unfailed = sim::FailuresHit().empty();
  const std::vector<Link> links = Rebuild(data, size);
  try {
    qf::reliability::HoldToPlan(plan.text);
  } catch (const std::exception&) {  // no policy can be set behind a link: a run as ever
    return qf::reliability::RunPassesAndCheck(qf::reliability::Capture(links), passes);
  }
  const auto before = qf::reliability::Capture(links);
  for (int i = 0; i < passes; ++i) UninstInitialize(0, 0, 0);
  std::vector<std::string> bad = qf::reliability::CheckInvariants(before, passes);
  for (auto found : {qf::reliability::CheckStaysCovered(before, passes),
                     qf::reliability::CheckWithinPlan(plan.changes, unfailed && sim::FailuresHit().empty()
                                                                        ? &unlocked : nullptr)})
    bad.insert(bad.end(), found.begin(), found.end());
  return bad;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = (std::atexit(PrintRuns), true);
  (void)once;
  FuzzedDataProvider in(data, size);
  sim::Reset();
  Builder builder(in);
  builder.Build();
  const int passes = in.ConsumeIntegralInRange(1, 2);
  const int plan = in.ConsumeIntegralInRange(0, 2);  // none, the machine's own, a changed machine's
  const std::vector<std::string> violations =
      plan ? HeldToPlan(data, size, passes, plan == 2)
           : qf::reliability::RunPassesAndCheck(qf::reliability::Capture(builder.links), passes);
  ++(sim::FailuresHit().empty() ? exactRuns : failedRuns);
  if (violations.empty()) return 0;

  std::fprintf(stderr, "The pass broke its invariants (%d pass(es)%s):\n", passes,
               plan == 1 ? ", held to its own plan" : plan == 2 ? ", held to a changed machine's plan" : "");
  for (const std::string& v : violations) std::fprintf(stderr, "  %s\n", v.c_str());
  std::fprintf(stderr, "Journal:\n");
  for (const sim::JournalEntry& e : sim::Journal())
    std::fprintf(stderr, "  %s %s%s%s\n", sim::ChangeName(e.kind), e.path.c_str(), e.detail.empty() ? "" : " | ",
                 e.detail.c_str());
  std::fprintf(stderr, "Decisions:\n");
  for (const sim::DecisionEntry& d : sim::Decisions())
    std::fprintf(stderr, "  %s %s (%lld)%s%s\n", qf::RowOf(d.decision).name, d.subject.c_str(),
                 static_cast<long long>(d.first), d.detail.empty() ? "" : ": ", d.detail.c_str());
  std::fprintf(stderr, "Injected failures that hit a call:\n");
  for (const std::string& hit : sim::FailuresHit()) std::fprintf(stderr, "  %s\n", hit.c_str());
  // The machine is deterministic: build the same installation again to show it.
  FuzzedDataProvider again(data, size);
  sim::Reset();
  Builder rebuilt(again);
  rebuilt.Build();
  Describe(rebuilt);
  std::abort();
}
