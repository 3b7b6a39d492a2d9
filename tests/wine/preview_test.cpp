// The preview never lies: installations of every kind (the sample, and
// generated ones from a fixed seed) are previewed with qfpreview.exe --json,
// then uninstalled by the real QFUNINST.DLL through qfhost.exe; the changes
// predicted must be the changes made, item for item, with the same boxes and
// companion calls, and the preview must load no companion library.  The
// reasons it gives must be those the installation calls for: each
// component's decision, each change's and each kept item's.  Where Wine
// differs from Windows on links, the difference is named, not hidden.  Names
// are UTF-8 here and go through the wide calls (common/utf.h).
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "../key_links_win32.h"
#include "support.h"
#include "wide.h"
// After <windows.h>, which they need.
#include <knownfolders.h>
#include <shlobj.h>

namespace qftest {
namespace {

const std::string kUnixBase = ScratchRoot() + "/preview";
// Other programs' entries the installations add, removed with them.
const std::string kProgramEntry = std::string(qf::UninstallKey) + "\\QF Test Program";
const std::string kUserProgramEntry = std::string(qf::UninstallKey) + "\\QF Test Tool";
const std::string kAppPathsEntry = std::string(qf::AppPathsKey) + "\\qftool.exe";
// Another account, whose profile lies in the prefix's C:.
const std::string kProfileEntry = std::string(qf::ProfileListKey) + "\\S-1-5-21-0-0-0-1999";
constexpr const auto& kHelpKey = qf::HelpRegistrationKey;
constexpr const auto& kShared = qf::SharedKey;

using qf::tools::Wide;
// What the machine holds, as the snapshots compare it; a lone surrogate
// shows as U+FFFD.
std::string FromWide(std::wstring_view wide) { return qf::tools::Utf8Shown(wide); }

// The host reports a box's text as MessageBoxA was given it: ANSI.
std::string FromAnsi(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0],
                                  static_cast<int>(wide.size())));
  return FromWide(wide);
}

// ---- Installations -----------------------------------------------------------

enum Feature : unsigned {
  kReadOnly = 1,
  kHelp = 2,
  kDirLink = 4,
  kFileLink = 8,
  kOtherProduct = 16,
  kAdmin = 32,
  kLock = 64,
  kNoUserTree = 128,
  kKeyLink = 256,
  kDeep = 512,
  kHeld = 1024,         // a help file held open, without sharing deletion, while both run
  kNames = 2048,        // Japanese, Greek, Cyrillic, emoji and combining names
  kLookalike = 4096,    // Image Files at "Imāges", beside another product's "Images"
  kHelpLengths = 8192,  // help files and registrations of every name length
  kProductLink = 16384, // HKCU's product key a link to Elsewhere, which gets its 3.0 tree
  kLongLink = 32768,    // kKeyLink's target too long for the link check to read
  kStray = 65536,       // entries naming nothing usable: a stray quote, an offline share
};

// Counts: "2" text, "#1" REG_DWORD, "~1" a REG_DWORD of 3 bytes, "@" longer
// than its field, "?" no UseCount, "-" no record; a leading "!" leaves the
// component unflagged.
// Roots: "tree", "empty", "none" (no directory), "short" (a tree whose
// RootDir is written with 8.3 short names), "link" (below the directory link
// of kDirLink), "-" (no RootDir), one that is not the component's own (see
// ForeignRoot) or as given.
struct Recipe {
  const char* label;
  const char* useShared;  // nullptr: no UseSharedFiles
  const char* counts[3];
  const char* roots[3];
  int depth;
  unsigned features;
  const char* host;  // companions beside the host: "full", "none", "noentry"
};

// clang-format off
const Recipe kRecipes[] = {
  {"last holder of all three, help registrations", "TRUE", {"1", "1", "1"}, {"tree", "tree", "tree"}, 2, kHelp, "full"},
  {"shared holders: 2, 3, 11", "TRUE", {"2", "3", "11"}, {"tree", "tree", "tree"}, 1, 0, "full"},
  {"counts as REG_DWORD", "TRUE", {"#1", "#2", "#0"}, {"tree", "tree", "tree"}, 2, kHelp, "full"},
  {"counts 0, -4 and letters", "TRUE", {"0", "-4", "abc"}, {"tree", "tree", "tree"}, 1, 0, "none"},
  {"counts with a blank, empty", "TRUE", {" 5", "", "+1"}, {"tree", "tree", "tree"}, 1, kHelp, "full"},
  {"read-only files", "TRUE", {"1", "1", "1"}, {"tree", "tree", "tree"}, 3, kReadOnly | kHelp, "full"},
  {"nested tree six deep", "TRUE", {"1", "-", "-"}, {"tree", "-", "-"}, 6, kReadOnly, "full"},
  {"directory link in a tree", "TRUE", {"1", "2", "1"}, {"tree", "tree", "tree"}, 2, kDirLink, "full"},
  {"file link in a tree", "TRUE", {"1", "2", "2"}, {"tree", "tree", "tree"}, 1, kFileLink, "full"},
  {"unsafe roots: drive, share, relative", "TRUE", {"1", "1", "1"}, {"C:\\", "\\\\server\\share", "relative\\dir"}, 1, 0, "full"},
  {"unsafe roots: empty, drive-relative", "TRUE", {"1", "1", "1"}, {"", "C:", "tree"}, 1, 0, "full"},
  {"missing record, count, RootDir", "TRUE", {"-", "?", "1"}, {"tree", "tree", "-"}, 1, kHelp, "full"},
  {"missing and empty directories", "TRUE", {"1", "1", "1"}, {"none", "empty", "tree"}, 1, 0, "full"},
  {"UseSharedFiles in lower case", "true", {"1", "1", "1"}, {"tree", "tree", "tree"}, 1, 0, "full"},
  {"UseSharedFiles in fullwidth letters", "ＴＲＵＥ", {"1", "1", "1"}, {"tree", "tree", "tree"}, 1, 0, "full"},
  {"counts with fullwidth digits", "TRUE", {"２", "3２", "２3"}, {"tree", "tree", "tree"}, 1, kHelp, "full"},
  {"no UseSharedFiles, no per-user tree", nullptr, {"1", "1", "1"}, {"tree", "tree", "tree"}, 1, kNoUserTree, "full"},
  {"count too long for its field", "TRUE", {"@", "1", "2"}, {"tree", "tree", "tree"}, 1, kHelp, "full"},
  {"unflagged components", "TRUE", {"!1", "1", "!1"}, {"tree", "tree", "tree"}, 1, kHelp, "full"},
  {"another product keeps the shared area", "TRUE", {"1", "1", "1"}, {"tree", "tree", "tree"}, 2, kOtherProduct | kHelp, "full"},
  {"refusing gate", "TRUE", {"1", "1", "1"}, {"tree", "tree", "tree"}, 1, kAdmin | kLock | kHelp, "full"},
  {"refusing gate, shared holders", "TRUE", {"2", "#2", "1"}, {"tree", "tree", "tree"}, 1, kAdmin | kLock, "none"},
  {"administrator, writable profile", "TRUE", {"1", "#1", "2"}, {"tree", "tree", "tree"}, 2, kAdmin | kReadOnly, "full"},
  {"companion without its entry", "TRUE", {"1", "1", "1"}, {"tree", "tree", "tree"}, 1, 0, "noentry"},
  {"no companions, read-only help", "TRUE", {"1", "1", "1"}, {"tree", "tree", "empty"}, 2, kReadOnly | kHelp, "none"},
  {"RootDir behind a directory link", "TRUE", {"1", "1", "1"}, {"link", "tree", "tree"}, 1, kDirLink, "full"},
  {"registry link in the per-user tree", "TRUE", {"2", "2", "2"}, {"tree", "tree", "tree"}, 1, kKeyLink, "full"},
  {"registry link too long to read in the per-user tree", "TRUE", {"2", "2", "2"}, {"tree", "tree", "tree"}, 1, kKeyLink | kLongLink, "full"},
  {"a tree deeper than MAX_PATH", "TRUE", {"1", "2", "1"}, {"tree", "tree", "tree"}, 1, kDeep, "full"},
  {"RootDir in 8.3 short names", "TRUE", {"1", "2", "1"}, {"tree", "short", "short"}, 2, kHelp, "full"},
  {"a REG_DWORD count of 3 bytes", "TRUE", {"~2", "1", "~1"}, {"tree", "tree", "tree"}, 1, kHelp, "full"},
  {"a help file held open by another program", "TRUE", {"1", "1", "2"}, {"tree", "tree", "tree"}, 2, kHelp | kHeld, "full"},
  {"names beyond the ANSI code page", "TRUE", {"1", "1", "3"}, {"tree", "tree", "tree"}, 1, kHelp | kNames, "full"},
  {"RootDir Im\u0101ges beside another's Images", "TRUE", {"2", "#1", "1"}, {"tree", "tree", "tree"}, 1, kLookalike, "full"},
  {"help registrations of every name length", "TRUE", {"1", "1", "!1"}, {"tree", "tree", "tree"}, 0, kHelp | kHelpLengths, "none"},
  {"the per-user product key a registry link", "TRUE", {"1", "2", "1"}, {"tree", "tree", "tree"}, 1, kProductLink, "full"},
  {"roots that are or hold the area, another's component", "TRUE", {"1", "1", "1"}, {"area", "above", "holder"}, 1, kOtherProduct, "full"},
  {"roots that are Public Documents, the host's directory", "TRUE", {"1", "1", "1"}, {"publicdocs", "host", "tree"}, 1, 0, "full"},
  {"a root that is the Public folder", "TRUE", {"1", "-", "-"}, {"public", "-", "-"}, 1, 0, "full"},
  {"a root that is the machine's Program Files", "TRUE", {"1", "-", "-"}, {"programs", "-", "-"}, 1, 0, "full"},
  {"roots that are the machine's Common Files, the (x86) folder", "TRUE", {"1", "1", "-"}, {"common", "x86", "-"}, 1, 0, "full"},
  {"roots below the Windows directory, its Temp, this account's temp", "TRUE", {"1", "1", "1"}, {"windows", "wintemp", "temp"}, 1, 0, "full"},
  {"roots that hold programs installed per machine, per user, by App Paths", "TRUE", {"1", "1", "1"}, {"program", "userprogram", "apppath"}, 1, 0, "full"},
  {"roots that are another account's profile, a folder in it, an expanded entry's directory", "TRUE", {"1", "1", "1"}, {"profile", "inprofile", "expanded"}, 1, 0, "full"},
  {"entries with a stray quote, on an offline share, beside roots emptied", "TRUE", {"1", "1", "1"}, {"tree", "tree", "tree"}, 1, kStray, "full"},
};
// clang-format on

struct Value {
  HKEY root;
  std::string key, name;  // an empty name with type 0: the key alone
  DWORD type;
  std::string data;
};

struct Installation {
  std::string label, host = "full";
  unsigned features = 0;
  bool sample = false;
  // What the pass must decide for each component: a decision's name, "tree"
  // for TreeRemoved or TreeKept as the tree fares, "" for none; with the
  // count it lowers, and its tree (relative).
  std::string decision[3];
  long count[3] = {};
  std::string root[3];
  std::string held;  // relative
  std::vector<Value> values;
  std::vector<std::string> dirs, files, readOnly;  // relative to the installation's directory
  std::map<std::string, std::string> links;        // link -> target, both relative
  std::map<std::string, std::string> keyLinks;     // HKCU link key -> target key
  std::string deep;  // a directory whose path is longer than MAX_PATH, made natively
  std::map<std::string, std::string> shortRoots;  // HKLM key -> its tree, named by short names
  std::vector<std::string> canaries;  // absolute: made before, there after, then removed
};

std::string Text(const std::string& text) { return text + '\0'; }

// The system's known folder `id`, as the system names it.
std::string KnownFolder(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  const std::string folder = SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK ? FromWide(path) : "";
  CoTaskMemFree(path);
  return folder;
}

// A RootDir that is not the component's own, each written another way, and
// the decision that keeps it; {"", ""} for any other root.
std::pair<std::string, const char*> ForeignRoot(const std::string& root, const std::string& dir,
                                                const std::string& host) {
  if (root == "area") return {dir + "\\Shared\\", "RootHoldsArea"};
  if (root == "above") return {dir + "\\Shared\\Data\\..\\..", "RootHoldsArea"};
  if (root == "holder") return {dir + "\\Elsewhere\\Fonts\\..", "RootHoldsComponent"};
  if (root == "host") return {WinPath(kUnixBase) + "\\host-" + host + "\\x\\..", "RootHoldsFolder"};
  if (root == "public") return {KnownFolder(FOLDERID_Public) + "\\", "RootHoldsFolder"};
  // The machine's own folders, which a 32-bit process on 64-bit Windows is
  // given no known folder for, and the (x86) one where the machine has it.
  if (root == "common") return {"c:\\program files\\common files\\", "RootHoldsFolder"};
  const bool x86 = GetFileAttributesW(L"C:\\Program Files (x86)") != INVALID_FILE_ATTRIBUTES;
  if (root == "x86") return {"C:\\Program Files (x86)\\Common Files\\..", x86 ? "RootHoldsFolder" : "RootMissing"};
  const std::string windows = KnownFolder(FOLDERID_Windows);
  wchar_t temp[MAX_PATH + 1];
  const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
  if (root == "windows") return {windows + "\\SYSTEM32\\..\\QF Test Data", "RootBelowWindows"};
  if (root == "wintemp") return {windows + "\\temp\\", "RootBelowWindows"};
  if (root == "temp") return {FromWide(std::wstring(temp, tempLength)), "RootHoldsFolder"};
  if (root == "program") return {dir + "\\Programs\\", "RootHoldsProgram"};
  if (root == "userprogram") return {dir + "\\MINE", "RootHoldsProgram"};
  if (root == "apppath") return {dir + "\\Tools\\bin\\..", "RootHoldsProgram"};
  if (root == "profile") return {"C:\\users\\qfother", "RootHoldsFolder"};
  if (root == "inprofile") return {"C:\\Users\\QFOTHER\\Documents\\", "RootInProfile"};
  if (root == "expanded") return {"c:\\qf apps\\other\\", "RootHoldsProgram"};
  if (root != "publicdocs" && root != "programs") return {"", ""};
  const std::wstring folder = root == "programs" ? L"C:\\Program Files" : Wide(KnownFolder(FOLDERID_PublicDocuments));
  wchar_t shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameW(folder.c_str(), shortPath, MAX_PATH);
  return {length > 0 && length < MAX_PATH ? FromWide(shortPath) : FromWide(folder), "RootHoldsFolder"};
}
std::string Dword(DWORD n) { return std::string(reinterpret_cast<const char*>(&n), 4); }

// A directory tree below `dir`: files, and `depth` levels of subdirectories.
void AddTree(Installation* inst, std::mt19937& rng, const std::string& dir, int depth,
             const char* extension, std::vector<std::string>* names) {
  inst->dirs.push_back(dir);
  static int serial = 0;
  const int files = static_cast<int>(rng() % 3) + (depth == 0 ? 1 : 0);
  for (int i = 0; i < files; ++i) {
    const std::string name = "f" + std::to_string(++serial) + extension;
    if (inst->held.empty() && (inst->features & kHeld) && std::string(extension) == ".hlp")
      inst->held = dir + "\\" + name;
    inst->files.push_back(dir + "\\" + name);
    names->push_back(name);
    if ((inst->features & kReadOnly) && rng() % 4 == 0) inst->readOnly.push_back(dir + "\\" + name);
  }
  if (depth == 0) return;
  const int subdirectories = 1 + static_cast<int>(rng() % 2);
  for (int i = 0; i < subdirectories; ++i)
    AddTree(inst, rng, dir + "\\d" + std::to_string(++serial), depth - 1, extension, names);
}

Installation Generate(const Recipe& r, std::mt19937& rng, const std::string& dir) {
  Installation inst;
  inst.label = r.label;
  inst.host = r.host;
  inst.features = r.features;
  auto value = [&](HKEY root, const std::string& key, const std::string& name, DWORD type,
                   const std::string& data) {
    inst.values.push_back({root, key, name, type, data});
  };
  const std::string product = qf::ProductVersionKey;
  value(HKEY_CURRENT_USER, std::string(qf::ProductKey) + "\\2.5", "Kept", REG_SZ, Text("1"));
  if (!(r.features & kNoUserTree)) {
    std::string key = product;
    for (int level = 0; level < 1 + static_cast<int>(rng() % 4); ++level) {
      value(HKEY_CURRENT_USER, key, "V" + std::to_string(level), REG_DWORD, Dword(level));
      value(HKEY_CURRENT_USER, key + "\\Sibling" + std::to_string(level), "", 0, "");
      key += "\\Level" + std::to_string(level);
    }
  }
  if (r.useShared)
    value(HKEY_LOCAL_MACHINE, product, qf::UseSharedFiles, REG_SZ, Text(r.useShared));
  if (r.features & kAdmin) value(HKEY_LOCAL_MACHINE, product, qf::InstallAdmin, REG_SZ, Text("1"));
  value(HKEY_LOCAL_MACHINE, kShared, qf::SharedFilesDir, REG_SZ, Text(dir + "\\Shared"));
  std::vector<std::string> helpFiles;
  for (int i = 0; i < 3; ++i) {
    std::string count = r.counts[i];
    std::string& decision = inst.decision[i];
    if (count[0] != '!')
      value(HKEY_LOCAL_MACHINE, qf::UnInstInfoKey, qf::ComponentFlags[i].flag, REG_SZ, Text("1"));
    else
      count.erase(0, 1), decision = "ComponentNotFlagged";
    if (count == "-") {
      if (decision.empty()) decision = "ComponentAbsent";
      continue;
    }
    const std::string key = std::string(kShared) + "\\" + qf::ComponentFlags[i].component;
    if (count[0] == '#' || count[0] == '~')
      value(HKEY_LOCAL_MACHINE, key, qf::UseCount, REG_DWORD,
            Dword(std::stoul(count.substr(1))).substr(0, count[0] == '#' ? 4 : 3));
    else if (count != "?")
      value(HKEY_LOCAL_MACHINE, key, qf::UseCount, REG_SZ,
            Text(count == "@" ? "12345678901" : count));
    inst.count[i] = std::strtol(count.c_str() + (count[0] == '#'), nullptr, 10);
    const std::string root = r.roots[i],
                      relative = std::string(root == "short" ? "Shared\\Long Named " : "Shared\\") +
                                 (i == 2 && (r.features & kLookalike)
                                      ? "Im\u0101ges"
                                      : qf::ComponentFlags[i].component);
    const bool ours = root == "tree" || root == "empty" || root == "none" || root == "short";
    const auto [foreign, kept] = ForeignRoot(root, dir, r.host);
    if (!decision.empty()) {
    } else if (count == "?" || count == "@") {
      decision = "CountAbsent";
    } else if (count[0] == '~') {
      decision = "CountMisstored";
    } else if (inst.count[i] > 1) {
      decision = "CountLowered";
    } else {
      decision = root == "-"      ? "RootDirAbsent"
                 : !foreign.empty() ? kept
                 : root == "link" ? "RootRefused"
                 : root == "none" ? "RootMissing"
                 : i == 2 && std::string(r.roots[0]) == "link" ? "RootHoldsComponent"
                 : ours           ? "tree"
                                  : "RootUnsafe";
    }
    if (ours) inst.root[i] = relative;
    if (root == "-") continue;
    const std::string behind = dir + "\\Shared\\Image Files\\Linked\\Sub";
    value(HKEY_LOCAL_MACHINE, key, qf::RootDir, REG_SZ,
          Text(ours             ? dir + "\\" + relative
               : root == "link" ? behind
               : !foreign.empty() ? foreign
                                : root));
    if (root == "link") inst.files.push_back("Outside\\Docs\\Sub\\behind.txt");
    // Image Files' tree holds the directory Data's RootDir names: Data's
    // release keeps its record (its root lies behind a link), so Image
    // Files' root, which holds it, is kept too.
    std::vector<std::string> names;
    if (root == "short") inst.shortRoots[key] = relative;
    if (root == "tree" || root == "short")
      AddTree(&inst, rng, relative, r.depth, i == 1 ? ".hlp" : ".dat", &names);
    if (root == "empty") inst.dirs.push_back(relative);
    if (i == 1) helpFiles.insert(helpFiles.end(), names.begin(), names.end());
    if (i == 0 && (r.features & kHelp) && !names.empty()) helpFiles.push_back(names[0]);
  }
  if (r.features & kNames) {
    for (const char* name : {"日本語\\ファイル.dat", "Ελληνικά\\αρχείο.dat",
                             "Кириллица\\файл.dat", "😀 emoji.dat", "e\u0301 combining.dat"})
      inst.files.push_back(inst.root[0] + "\\" + name);
    inst.files.push_back(inst.root[1] + "\\ヘルプ.hlp");
    helpFiles.push_back("ヘルプ.hlp");
    value(HKEY_CURRENT_USER, product + "\\Ελληνικά 日本語", "Кириллица", REG_SZ, Text("😀"));
  }
  // Every length a file's name may have, so the longest registration is
  // one the pass deletes (and longer than OtherApp.hlp's).
  for (size_t length = 1; (r.features & kHelpLengths) && length <= 255; ++length) {
    helpFiles.push_back(length < 5 ? std::string(length, 'h') : std::string(length - 4, 'h') + ".hlp");
    inst.files.push_back(inst.root[1] + "\\" + helpFiles.back());
  }
  if (r.features & kLookalike) {
    const std::string key = std::string(kShared) + "\\Other Images";
    value(HKEY_LOCAL_MACHINE, key, qf::UseCount, REG_SZ, Text("1"));
    value(HKEY_LOCAL_MACHINE, key, qf::RootDir, REG_SZ, Text(dir + "\\Shared\\Images"));
    inst.files.push_back("Shared\\Images\\other.bmp");
  }
  if (!r.useShared || std::string(r.useShared) != qf::SharedFilesUsed || (r.features & kLock))
    for (std::string& decision : inst.decision) decision.clear();
  if (r.features & kHelp) {
    helpFiles.push_back("OtherApp.hlp");
    for (const std::string& name : helpFiles)
      value(HKEY_LOCAL_MACHINE, kHelpKey, name, REG_SZ, Text(dir));
  }
  if (r.features & (kDirLink | kFileLink)) {
    inst.dirs.push_back("Outside\\Docs");
    inst.files.push_back("Outside\\Docs\\keep.txt");
    inst.files.push_back("Outside\\target.txt");
  }
  if (r.features & kProductLink) inst.keyLinks[qf::ProductKey] = "Software\\Halvern\\Elsewhere";
  if (r.features & kKeyLink) {
    value(HKEY_CURRENT_USER, "Software\\Halvern\\Elsewhere", "Kept", REG_SZ, Text("1"));
    value(HKEY_CURRENT_USER, "Software\\Halvern\\Elsewhere\\Below", "", 0, "");
    inst.keyLinks[product + "\\Linked"] =
        "Software\\Halvern\\" + std::string(r.features & kLongLink ? 2100 : 0, 'x') + "Elsewhere";
  }
  if (r.features & kDeep) {
    inst.deep = "Shared\\Data";
    for (int level = 0; level < 24; ++level)
      inst.deep += "\\level-" + std::to_string(level) + "-of-a-deep-tree";
  }
  if (r.features & kDirLink) inst.links["Shared\\Image Files\\Linked"] = "Outside\\Docs";
  if (r.features & kFileLink) inst.links["Shared\\Data\\alias.txt"] = "Outside\\target.txt";
  if (std::string(r.roots[2]) == "holder") {
    value(HKEY_LOCAL_MACHINE, std::string(kShared) + "\\Fonts", qf::UseCount, REG_SZ, Text("2"));
    value(HKEY_LOCAL_MACHINE, std::string(kShared) + "\\Fonts", qf::RootDir, REG_SZ,
          Text(dir + "\\Elsewhere\\Fonts"));
    inst.files.push_back("Elsewhere\\Fonts\\serif.ttf");
  }
  // Canaries in the folders a foreign root names outside the installation.
  if (std::string(r.roots[0]).rfind("public", 0) == 0)
    inst.canaries.push_back(KnownFolder(FOLDERID_PublicDocuments) + "\\qf-canary.txt");
  if (std::string(r.roots[1]) == "host")
    inst.canaries.push_back(WinPath(kUnixBase) + "\\host-" + r.host + "\\qf-canary.txt");
  if (std::string(r.roots[0]) == "programs" || std::string(r.roots[0]) == "common")
    for (const char* folder : {"C:\\Program Files", "C:\\Program Files\\Common Files", "C:\\Program Files (x86)"})
      if (GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES) inst.canaries.push_back(folder + std::string("\\qf-canary.txt"));
  // Other programs as the system lists them, each with a file that must
  // stay; canaries in the temporary folders and the Windows directory.
  if (std::string(r.roots[0]) == "program") {
    const std::string entries[][3] = {{kProgramEntry, "\\Programs\\Other Program", "Other Program"},
                                      {kUserProgramEntry, "\\Mine\\Tool", ""}};
    for (const auto& [entry, location, shown] : entries) {
      const HKEY hive = entry == kProgramEntry ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
      value(hive, entry, qf::InstallLocation, REG_SZ, Text(dir + location));
      if (!shown.empty()) value(hive, entry, qf::DisplayName, REG_SZ, Text(shown));
      inst.files.push_back(location.substr(1) + "\\qf-canary.txt");
    }
    value(HKEY_LOCAL_MACHINE, kAppPathsEntry, "", REG_SZ, Text("\"" + dir + "\\Tools\\bin\\qftool.exe\""));
    inst.files.push_back("Tools\\bin\\qf-canary.txt");
  }
  // Another account's profile as the system lists it, and a program whose
  // entry names its directory through a variable: canaries in both.
  if (std::string(r.roots[0]) == "profile") {
    value(HKEY_LOCAL_MACHINE, kProfileEntry, qf::ProfileImagePath, REG_EXPAND_SZ, Text("%SystemDrive%\\Users\\qfother"));
    for (const char* at : {"C:\\users\\qfother\\qf-canary.txt", "C:\\users\\qfother\\Documents\\qf-canary.txt"})
      inst.canaries.push_back(at);
  }
  if (std::string(r.roots[2]) == "expanded") {
    value(HKEY_LOCAL_MACHINE, kProgramEntry, qf::InstallLocation, REG_EXPAND_SZ, Text("\"%SystemDrive%\\QF Apps\\Other\""));
    inst.canaries.push_back("C:\\QF Apps\\Other\\qf-canary.txt");
  }
  // Entries that name nothing usable never stop a release: a stray quote,
  // a share that is not there (never opened), a name the system rejects.
  if (r.features & kStray) {
    value(HKEY_LOCAL_MACHINE, kProgramEntry, qf::InstallLocation, REG_SZ, Text("C:\\QF Apps\\Stray\\\""));
    value(HKEY_CURRENT_USER, kUserProgramEntry, qf::InstallLocation, REG_SZ, Text("\\\\qf-offline\\share\\App"));
    value(HKEY_LOCAL_MACHINE, kAppPathsEntry, "", REG_SZ, Text("C:\\QF Apps\\Bad|Name\\tool.exe"));
    inst.canaries.push_back("C:\\QF Apps\\Stray\\qf-canary.txt");
  }
  if (std::string(r.roots[0]) == "windows")
    for (const std::string& at : {KnownFolder(FOLDERID_Windows) + "\\QF Test Data", KnownFolder(FOLDERID_Windows) + "\\Temp",
                                  ForeignRoot("temp", dir, r.host).first})
      inst.canaries.push_back(at + (at.back() == '\\' ? "" : "\\") + "qf-canary.txt");
  if (r.features & kOtherProduct) {
    const std::string key = std::string(kShared) + "\\Other Product";
    value(HKEY_LOCAL_MACHINE, key, qf::UseCount, REG_SZ, Text("1"));
    value(HKEY_LOCAL_MACHINE, key, qf::RootDir, REG_SZ, Text(dir + "\\Shared\\Other"));
    inst.files.push_back("Shared\\Other\\other.dat");
  }
  return inst;
}

// ---- Setting one up ------------------------------------------------------------

void Clear() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProgramEntry.c_str());
  RegDeleteTreeA(HKEY_CURRENT_USER, kUserProgramEntry.c_str());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kAppPathsEntry.c_str());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProfileEntry.c_str());
  // A link key first, as itself: deleting a tree would follow it.
  qf_win32_test::DeleteCurrentUserKeyLink((std::string(qf::ProductVersionKey) + "\\Linked").c_str());
  qf_win32_test::DeleteCurrentUserKeyLink(qf::ProductKey);
  RegDeleteTreeA(HKEY_CURRENT_USER, qf::MakerKey);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, qf::MakerKey);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kHelpKey);
}

// Through "\\?\" paths, so names as long as a name may be fit.
void MakeDirs(const std::string& path) {
  for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
    CreateDirectoryW(Wide("\\\\?\\" + path.substr(0, at)).c_str(), nullptr);
    if (at == std::string::npos) return;
  }
}

// Runs a native program (`command` names it by its Z: path); it is waited
// for by watching for `result`, which it makes, to appear.
bool Native(const std::string& command, const std::string& result) {
  if (!StartNative(command)) return false;
  const std::wstring watched = L"\\\\?\\" + Wide(result);
  for (int i = 0; i < 200; ++i, Sleep(25))
    if (GetFileAttributesW(watched.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return false;
}

bool UnixLink(const std::string& unixTarget, const std::string& unixLink, const std::string& link) {
  return Native("Z:\\usr\\bin\\ln -s \"" + unixTarget + "\" \"" + unixLink + "\"", link);
}

bool IsKeyLink(HKEY parent, const std::wstring& name) {
  Key link;
  DWORD type = 0;
  return RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, link.Put()) ==
             ERROR_SUCCESS &&
         RegQueryValueExW(link.Get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
             ERROR_SUCCESS &&
         type == REG_LINK;
}

std::string Unix(const std::string& relative) {
  std::string path = relative;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

::testing::AssertionResult Install(const Installation& inst, const std::string& dir,
                                   const std::string& unixDir) {
  MakeDirs(dir);
  // Links first: values written through one land in its target.
  for (const auto& [link, target] : inst.keyLinks)
    if (qf_win32_test::MakeCurrentUserKeyLink(link, target) != ERROR_SUCCESS)
      return ::testing::AssertionFailure() << "cannot link " << link;
  for (const Value& v : inst.values) {
    Key key;
    if (RegCreateKeyExW(v.root, Wide(v.key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Put(), nullptr) != ERROR_SUCCESS)
      return ::testing::AssertionFailure() << "cannot create " << v.key;
    // Texts as the UTF-16 the system stores, other types as their bytes.
    const std::wstring text = Wide(v.data);
    const bool sz = v.type == REG_SZ || v.type == REG_EXPAND_SZ;
    if (v.type != 0)
      RegSetValueExW(key.Get(), Wide(v.name).c_str(), 0, v.type,
                     reinterpret_cast<const BYTE*>(sz ? static_cast<const void*>(text.data())
                                                      : v.data.data()),
                     static_cast<DWORD>(sz ? text.size() * sizeof(wchar_t) : v.data.size()));
  }
  for (const std::string& d : inst.dirs) MakeDirs(dir + "\\" + d);
  for (const std::string& f : inst.files) {
    const std::string path = dir + "\\" + f;
    MakeDirs(path.substr(0, path.rfind('\\')));
    FileHandle file(CreateFileW(Wide("\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    if (!WriteFile(file.Get(), f.data(), static_cast<DWORD>(f.size()), &written, nullptr))
      return ::testing::AssertionFailure() << "cannot write " << path;
  }
  for (const std::string& f : inst.readOnly)
    SetFileAttributesW(Wide(dir + "\\" + f).c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string deep = unixDir + "/" + Unix(inst.deep);
  if (!inst.deep.empty() &&
      !(Native("Z:\\usr\\bin\\mkdir -p \"" + deep + "\"", dir + "\\" + inst.deep) &&
        Native("Z:\\usr\\bin\\touch \"" + deep + "/bottom.dat\"",
               dir + "\\" + inst.deep + "\\bottom.dat")))
    return ::testing::AssertionFailure() << "cannot make " << inst.deep;
  for (const auto& [key, relative] : inst.shortRoots) {
    wchar_t shortPath[MAX_PATH];
    const DWORD length =
        GetShortPathNameW(Wide(dir + "\\" + relative).c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !std::wcschr(shortPath, L'~') ||
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), Wide(qf::RootDir).c_str(),
                        REG_SZ, shortPath, (length + 1) * sizeof(wchar_t)) != ERROR_SUCCESS)
      return ::testing::AssertionFailure() << "no short name for " << relative;
  }
  for (const auto& [link, target] : inst.links)
    if (!UnixLink(unixDir + "/" + Unix(target), unixDir + "/" + Unix(link), dir + "\\" + link))
      return ::testing::AssertionFailure() << "cannot link " << link;
  return ::testing::AssertionSuccess();
}

// A path as the snapshot names it: 8.3 short names (in a RootDir written
// with them) expanded; as given when nothing is there.
std::string LongName(const std::string& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetLongPathNameW(Wide(path).c_str(), buffer, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? path : FromWide(std::wstring(buffer, length));
}

// ---- State and its changes ----------------------------------------------------

using State = std::map<std::string, std::string>;  // "key|value|file <path>" -> content

void SnapKeys(HKEY root, const std::string& rootName, const std::string& path, State* state) {
  Key key;
  if (RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
  const std::string shown = rootName + "\\" + path;
  (*state)["key " + shown] = "";
  wchar_t name[1024];
  std::wstring data(32768, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = 1024, dataSize = static_cast<DWORD>(data.size() * sizeof(wchar_t)), type = 0;
    if (RegEnumValueW(key.Get(), i, name, &nameSize, nullptr, &type,
                      reinterpret_cast<BYTE*>(&data[0]), &dataSize) != ERROR_SUCCESS)
      break;
    // A count of another length than 4 shows its length.
    const std::string content =
        type != REG_DWORD ? FromWide(data.substr(0, data.find(L'\0')))
        : dataSize == 4   ? std::to_string(*reinterpret_cast<DWORD*>(&data[0]))
                          : "bytes " + std::to_string(dataSize);
    (*state)["value " + shown + "|" + FromWide(std::wstring(name, nameSize))] =
        (type == REG_DWORD ? "REG_DWORD " : "REG_SZ ") + content;
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD size = 1024;
    if (RegEnumKeyExW(key.Get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    const std::wstring wide(name, size);
    if (IsKeyLink(key.Get(), wide))
      (*state)["key " + shown + "\\" + FromWide(wide)] = "link";  // never followed
    else
      subkeys.push_back(FromWide(wide));
  }
  for (const std::string& subkey : subkeys) SnapKeys(root, rootName, path + "\\" + subkey, state);
}

// Listed through "\\?\" paths, so trees deeper than MAX_PATH are seen whole.
void SnapFiles(const std::wstring& dir, State* state) {
  WIN32_FIND_DATAW entry;
  const FindHandle find(FindFirstFileW((L"\\\\?\\" + dir + L"\\*").c_str(), &entry));
  if (!find.Valid()) return;
  std::vector<std::wstring> subdirectories;
  do {
    const std::wstring name = entry.cFileName, path = dir + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    const std::string shown = FromWide(path);
    const DWORD a = entry.dwFileAttributes;
    const bool link = a & FILE_ATTRIBUTE_REPARSE_POINT, directory = a & FILE_ATTRIBUTE_DIRECTORY;
    (*state)["file " + shown] = link        ? "remove-link"
                                : directory ? "remove-directory"
                                            : "delete-file";
    if (directory && !link) subdirectories.push_back(path);
  } while (FindNextFileW(find.Get(), &entry));
  for (const std::wstring& path : subdirectories) SnapFiles(path, state);
}

State Snap(const std::string& dir) {
  State state;
  SnapKeys(HKEY_CURRENT_USER, "HKCU", qf::MakerKey, &state);
  SnapKeys(HKEY_LOCAL_MACHINE, "HKLM", qf::MakerKey, &state);
  SnapKeys(HKEY_LOCAL_MACHINE, "HKLM", kHelpKey, &state);
  SnapFiles(Wide(dir), &state);
  return state;
}

// What went and what changed, as the preview's changes are written below.
std::set<std::string> Made(const State& before, const State& after) {
  std::set<std::string> made;
  for (const auto& [item, content] : before) {
    const auto now = after.find(item);
    const std::string kind = item.substr(0, item.find(' ')), path = item.substr(kind.size() + 1);
    const std::string key = "key " + path.substr(0, path.find('|'));
    if (kind == "key" && now == after.end()) made.insert("delete-key " + path);
    if (kind == "file" && now == after.end()) made.insert(content + " " + path);
    if (kind == "value" && now == after.end() && after.count(key))
      made.insert("delete-value " + path);
    if (kind == "value" && now != after.end() && now->second != content)
      made.insert("set-value " + path + " " + now->second);
  }
  for (const auto& [item, content] : after)
    if (!before.count(item)) made.insert("created " + item);
  return made;
}

std::set<std::string> Predicted(const nlohmann::json& preview) {
  std::set<std::string> predicted;
  for (const auto& c : preview["changes"]) {
    const std::string op = c["op"];
    std::string path = c.contains("root") ? c["root"].get<std::string>() + "\\" : "";
    path += c["path"].get<std::string>();
    if (c.contains("name")) path += "|" + c["name"].get<std::string>();
    if (op == "set-value")
      path += " " + c["type"].get<std::string>() + " " +
              (c["data"].is_number() ? std::to_string(c["data"].get<uint32_t>())
                                     : c["data"].get<std::string>());
    predicted.insert(op + " " + path);
  }
  return predicted;
}

// Takes out of both sets what Wine does differently from Windows with the
// installation's unix links, and says what it was.  A directory link stays
// (Wine's RemoveDirectory acts on its non-empty target); a file link lists
// as a plain file: deleting it by its path deletes its target and leaves the
// link dangling.  (A pass that checks what it opened leaves it alone, and
// the preview must predict that as it is.)  Either way the directories above
// the link stay: they go into `kept`.
std::vector<std::string> NameWineDifferences(const Installation& inst, const std::string& dir,
                                             std::set<std::string>* predicted,
                                             std::set<std::string>* made,
                                             std::set<std::string>* kept) {
  std::vector<std::string> named;
  const std::string base = dir + "\\";
  for (const auto& [link, target] : inst.links) {
    const std::string path = base + link;
    if (predicted->erase("remove-link " + path))
      named.push_back("Wine keeps the directory link " + link +
                      " (its RemoveDirectory acts on the link's non-empty target)");
    else if (predicted->count("delete-file " + path) && made->erase("delete-file " + base + target))
      named.push_back("Wine lists the file link " + link +
                      " as a plain file; deleting it deleted " + target +
                      " and left the link dangling (Windows deletes the link itself)");
    else
      continue;
    for (auto it = predicted->begin(); it != predicted->end();) {
      const std::string holder = it->substr(it->find(' ') + 1);
      const bool above = it->rfind("remove-directory ", 0) == 0 && !made->count(*it) &&
                         path.rfind(holder + "\\", 0) == 0;
      if (above) named.push_back("so " + holder.substr(base.size()) + ", which holds it, stays");
      if (above) kept->insert(holder.substr(base.size()));
      it = above ? predicted->erase(it) : std::next(it);
    }
  }
  return named;
}

// ---- The sweep ----------------------------------------------------------------

std::string HostDir(const std::string& kind) {
  const std::string dir = WinPath(kUnixBase) + "\\host-" + kind;
  MakeDirs(dir);
  for (const char* file : {"QFUNINST.DLL", "qfhost.exe", "qfpreview.exe"})
    CopyFileA(BuildPath(file).c_str(), (dir + "\\" + file).c_str(), FALSE);
  const std::string companions = kind == "noentry" ? "companions-noentry" : "companions";
  if (kind != "none") {
    CopyFileA(BuildPath(companions + "/RWUNINST.DLL").c_str(), (dir + "\\RWUNINST.DLL").c_str(),
              FALSE);
    CopyFileA(BuildPath("companions/MX20UNIB.DLL").c_str(), (dir + "\\MX20UNIB.DLL").c_str(),
              FALSE);
  }
  return dir;
}

TEST(Preview, PredictsEveryChangeOfEveryInstallation) {
  std::mt19937 rng(20261208);
  std::vector<Installation> installations;
  Installation sample;
  sample.label = "the sample, with a directory link";
  sample.sample = true;
  sample.features = kDirLink | kHelp;
  sample.dirs = {"Outside\\Docs"};
  sample.files = {"Outside\\Docs\\keep.txt"};
  sample.readOnly = {"Shared\\MSHelp\\Reference\\Legacy\\qfold.hlp"};
  sample.decision[0] = "CountLowered", sample.count[0] = 2;
  for (int i = 0; i < 3; ++i) {
    sample.root[i] = std::string("Shared\\") + qf::ComponentFlags[i].component;
    if (i > 0) sample.decision[i] = "tree";
  }
  sample.links["Shared\\Image Files\\Clip Art\\Animals\\My Documents"] = "Outside\\Docs";
  installations.push_back(sample);
  for (size_t i = 0; i < std::size(kRecipes); ++i) {
    const std::string dir = WinPath(kUnixBase) + "\\i" + std::to_string(installations.size());
    installations.push_back(Generate(kRecipes[i], rng, dir));
  }

  size_t exact = 0;
  for (size_t n = 0; n < installations.size(); ++n) {
    const Installation& inst = installations[n];
    const std::string unixDir = kUnixBase + "/i" + std::to_string(n), dir = WinPath(unixDir);
    Clear();
    if (inst.sample) {
      MakeDirs(dir);
      const HostRun run =
          RunHost(BuildPath("qfsample.exe"), "install \"" + dir + "\\Shared\"", dir);
      ASSERT_EQ(run.exitCode, 0u) << run.output;
    }
    ASSERT_TRUE(Install(inst, dir, unixDir)) << inst.label;
    const std::string host = HostDir(inst.host);
    const std::string log = host + "\\companions-" + std::to_string(n);
    const std::string previewLog = log + "-preview.log", hostLog = log + "-host.log";
    const State before = Snap(dir);
    for (const std::string& c : inst.canaries)
      MakeDirs(c.substr(0, c.rfind('\\')));
    for (const std::string& c : inst.canaries)
      ASSERT_TRUE(FileHandle(CreateFileW(Wide(c).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)).Valid());

    HostRun preview, uninstall;
    {
      std::unique_ptr<DefaultProfileLock> lock;
      if (inst.features & kLock) lock = std::make_unique<DefaultProfileLock>();
      if (lock) {
        ASSERT_EQ(lock->result(), ERROR_SUCCESS);
      }
      // Held as a program holds a file it has open: without sharing deletion.
      const FileHandle held(inst.held.empty()
                                ? INVALID_HANDLE_VALUE
                                : CreateFileW(Wide(dir + "\\" + inst.held).c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
      ASSERT_EQ(held.Valid(), !inst.held.empty()) << inst.held;
      SetEnvironmentVariableA("QF_COMPANION_LOG", previewLog.c_str());
      preview = RunHost(host + "\\qfpreview.exe", "--json", host);
      EXPECT_TRUE(before == Snap(dir)) << inst.label << ": the preview changed something";
      SetEnvironmentVariableA("QF_COMPANION_LOG", hostLog.c_str());
      uninstall = RunHost(host + "\\qfhost.exe", "--answer-boxes", host);
      SetEnvironmentVariableA("QF_COMPANION_LOG", nullptr);
    }
    ASSERT_EQ(preview.exitCode, 0u) << preview.output;
    ASSERT_EQ(uninstall.exitCode, 0u) << uninstall.output;
    const nlohmann::json json = nlohmann::json::parse(preview.output);
    EXPECT_TRUE(ReadLines(previewLog).empty()) << inst.label << ": the preview loaded a companion";

    const State after = Snap(dir);
    for (const std::string& canary : inst.canaries) {
      EXPECT_NE(GetFileAttributesW(Wide(canary).c_str()), INVALID_FILE_ATTRIBUTES) << canary;
      DeleteFileW(Wide(canary).c_str());
      CreateDirectoryW(Wide(canary.substr(0, canary.rfind('\\'))).c_str(), nullptr);  // were it gone
    }
    std::set<std::string> predicted = Predicted(json), made = Made(before, after), wineKept;
    const std::vector<std::string> differences =
        NameWineDifferences(inst, dir, &predicted, &made, &wineKept);
    std::vector<std::string> boxes;
    for (const auto& box : json["boxes"])
      boxes.push_back(box["caption"].get<std::string>() + "|" + box["text"].get<std::string>());
    std::vector<std::string> shown;
    for (const Box& box : uninstall.boxes) shown.push_back(FromAnsi(box.caption + "|" + box.text));
    const size_t calls = CountContaining(ReadLines(hostLog), "UNINSTALLVRXREGISTRY \"/vrxreg\"");
    const bool same = predicted == made && boxes == shown && json["calls"].size() == calls &&
                      (json["gate"] == "refuses") == !shown.empty();
    exact += same ? 1 : 0;
    std::cout << "  #" << n << " " << inst.label << ": " << predicted.size() << " changes, "
              << (same ? "exact" : "DIFFERS") << "\n";
    for (const std::string& d : differences) std::cout << "      Wine differs: " << d << "\n";
    EXPECT_EQ(predicted, made) << inst.label;
    // What it says stays is there afterwards (its files, keys and help
    // values), each with the pass's reason.
    std::map<std::string, std::string> why;
    for (const auto& kept : json["kept"]) {
      std::string path = kept["path"], item = "key " + path;
      why[path] = kept.value("why", "");
      EXPECT_TRUE(kept.contains("decision") && !why[path].empty()) << kept.dump();
      const size_t help = path.find(std::string(kHelpKey) + "\\");
      if (help != std::string::npos)
        item = "value " + path.replace(help + sizeof kHelpKey - 1, 1, "|");
      // A directory as its RootDir names it, separator and all; the
      // installation's own (a root that holds it all) is no item of it.
      if (path.size() > 3 && path.back() == '\\') path.pop_back();
      if (path.rfind(dir, 0) == 0) item = "file " + LongName(path);
      if ((item.rfind("file ", 0) == 0 && path != dir) || path.rfind("HK", 0) == 0) {
        EXPECT_TRUE(after.count(item) != 0) << inst.label << ": " << kept.dump();
      }
    }
    // Each component's decision is the one its installation calls for; a
    // last holder's tree goes unless something in it stays (on Windows:
    // Wine's links aside), and then what stays says why, and so does the
    // registration of a help file that stays.
    EXPECT_TRUE(!(inst.features & kProductLink) || (after.count("value HKCU\\Software\\Halvern\\Elsewhere\\3.0|V0") &&
                json["decisions"].dump().find("reached through a link") != std::string::npos));
    EXPECT_TRUE(!(inst.features & kStray) || json["passedOver"].contains("count")) << json;
    for (const char* overall : {"GateRefused", "SharedFilesUnused"}) {
      const bool expected = std::string(overall) == "GateRefused" ? (inst.features & kLock) != 0
                            : !(inst.features & kLock) && inst.decision[0].empty();
      EXPECT_EQ(json.dump().find("\"" + std::string(overall) + "\"") != std::string::npos,
                expected) << inst.label << ": " << overall;
    }
    for (int i = 0; i < 3; ++i) {
      const std::string component = qf::ComponentFlags[i].component, root = dir + "\\" + inst.root[i];
      std::string expected = inst.decision[i];
      if (expected == "tree")
        expected = after.count("file " + root) && !wineKept.count(inst.root[i]) ? "TreeKept"
                                                                               : "TreeRemoved";
      nlohmann::json found;
      for (const auto& d : json["decisions"])
        if (d["subject"] == component && d["decision"] == expected) found = d;
      EXPECT_TRUE(expected.empty() || !found.is_null()) << inst.label << ": " << component << " "
                                                        << expected << "\n" << json["decisions"];
      if (expected == "CountLowered") {
        EXPECT_EQ(found.value("why", ""), "UseCount " + std::to_string(inst.count[i]) + " → " +
                                              std::to_string(inst.count[i] - 1) +
                                              ", held by another product");
      }
      std::vector<std::string> staying = inst.readOnly;
      if (!inst.held.empty()) staying.push_back(inst.held);
      for (const std::string& file : staying) {
        if (expected != "TreeKept" || file.rfind(inst.root[i] + "\\", 0) != 0) continue;
        const std::string reason =
            file == inst.held ? "in use by another program" : "read-only or access denied";
        EXPECT_EQ(why[dir + "\\" + file], reason) << inst.label;
        const std::string name = file.substr(file.rfind('\\') + 1);
        if (i == 1 && (inst.features & kHelp)) {
          EXPECT_EQ(why["HKLM\\" + std::string(kHelpKey) + "\\" + name],
                    "its help file stays: " + reason) << inst.label;
        }
      }
    }
    // Each change goes with the decision of its step: a file, directory or
    // help registration with its component's tree, naming the component.
    for (const auto& c : json["changes"]) {
      const std::string op = c["op"], path = c["path"], root = c.value("root", "");
      std::set<std::string> allowed = {"TreeRemoved", "TreeKept"};
      std::string component = op == "delete-value" ? "MSHelp" : "";
      for (int i = 0; i < 3 && root.empty(); ++i)
        if (!inst.root[i].empty() && (path + "\\").rfind(dir + "\\" + inst.root[i] + "\\", 0) == 0)
          component = qf::ComponentFlags[i].component;
      if (op == "set-value") {
        allowed = {"CountLowered"};
      } else if (root == "HKCU") {
        allowed = {"UserTreeDeleted", "UserTreeKept"};
      } else if (path == kShared) {
        allowed = {"AreaKeyDeleted"};
      } else if (path == dir + "\\Shared") {
        allowed = {"AreaDirRemoved"};
      } else if (op == "delete-key") {
        allowed = {"ComponentKeyDeleted"}, component = path.substr(path.rfind('\\') + 1);
      }
      EXPECT_TRUE(allowed.count(c.value("decision", ""))) << inst.label << ": " << c.dump();
      EXPECT_NE(c.value("why", "").find(component), std::string::npos) << inst.label << ": "
                                                                        << c.dump();
    }
    EXPECT_EQ(boxes, shown) << inst.label << "\n" << uninstall.output;
    EXPECT_EQ(json["calls"].size(), calls) << inst.label;
  }
  std::cout << "preview: " << installations.size() << " installations, " << exact
            << " predicted exactly\n";
  EXPECT_EQ(installations.size(), 46u);
  EXPECT_EQ(exact, installations.size());
}

// ---- The command line and the report for people, on the sample ---------------

struct CommandCase {
  const char* name;
  const char* arguments;
  DWORD exitCode;
  const char* line;  // a line part that must be there (or, with `absent`, must not)
  bool absent;
  bool lockProfile =
      false;  // HKEY_USERS\.Default cannot be written (the sample is an administrator's)
};

// A run's record as the library writes it, by hand; the files of the
// --record and --compare cases are made from it.
const char* const kRunLines[] = {
  R"({"line":"start","format":1,"product":"Quillforge","version":"3.0","library":"3.0.0.0","time":"2026-12-08T13:12:36.123Z","process":1234,"account":"HOST\\user","hostDir":"C:\\Q"})",
  R"({"line":"decision","decision":"GateNotMarked","subject":"InstallAdmin","first":0,"second":0})",
  R"({"line":"change","op":"delete-key","root":"HKCU","path":"Software\\Halvern\\Quillforge\\3.0"})",
  R"({"line":"decision","decision":"UserTreeDeleted","subject":"Software\\Halvern\\Quillforge\\3.0","first":0,"second":0})",
  R"({"line":"change","op":"set-value","root":"HKLM","path":"Software\\Halvern\\Halvern Shared\\Data","name":"UseCount","type":"REG_SZ","data":"2"})",
  R"({"line":"decision","decision":"CountLowered","subject":"Data","first":3,"second":2})",
  R"({"line":"change","op":"delete-file","path":"C:\\Shared\\MSHelp\\a.hlp"})",
  R"({"line":"change","op":"remove-link","path":"C:\\Shared\\MSHelp\\linked"})",
  R"({"line":"change","op":"remove-directory","path":"C:\\Shared\\MSHelp"})",
  R"({"line":"change","op":"delete-value","root":"HKLM","path":"Software\\Microsoft\\Windows\\Help","name":"a.hlp"})",
  R"({"line":"decision","decision":"TreeRemoved","subject":"MSHelp","first":0,"second":0})",
  R"({"line":"call","library":"RWUNINST.DLL","entry":"UNINSTALLVRXREGISTRY","argument":"/vrxreg"})",
  R"({"line":"decision","decision":"CompanionCalled","subject":"RWUNINST.DLL","first":0,"second":0})",
  R"({"line":"end","complete":true,"totals":{"files":1,"directories":1,"links":1,"keys":1,"values":1,"changedValues":1}})",
};

// The first `lines` of kRunLines (0: all), with lines edited (a line's
// number and its text instead, "" to leave it out), the last without its
// line break if `unterminated`.
struct RecordFile {
  const char* name; size_t lines; std::map<size_t, std::string> edits; bool unterminated;
};
// clang-format off
const RecordFile kRecordFiles[] = {
  {"run.jsonl", 0, {}, false},
  {"differs.jsonl", 0, {{5, R"({"line":"change","op":"set-value","root":"HKLM","path":"Software\\Halvern\\Halvern Shared\\Data","name":"UseCount","type":"REG_SZ","data":"1"})"}}, false},
  {"missing.jsonl", 0, {{7, ""}}, false},
  {"two-apart.jsonl", 0, {{3, R"({"line":"change","op":"delete-key","root":"HKCU","path":"Software\\Halvern\\Quillforge\\2.9"})"}, {10, ""}}, false},
  {"renamed.jsonl", 0, {{7, R"({"line":"change","op":"delete-file","path":"c:\\SHARED\\mshelp\\A.HLP"})"}}, false},
  {"cut.jsonl", 6, {}, false},
  {"cut-in-line.jsonl", 8, {{8, R"({"line":"change","op":"remo)"}}, true},
  {"not-complete.jsonl", 0, {{14, R"({"line":"end","complete":false,"totals":{"files":1,"directories":1,"links":1,"keys":1,"values":1,"changedValues":1}})"}}, false},
  {"invalid.jsonl", 0, {{4, R"({"line":"decision",)"}}, false},
  {"unknown.jsonl", 0, {{5, R"({"line":"wipe"})"}}, false},
  {"unknown-decision.jsonl", 0, {{6, R"({"line":"decision","decision":"CountRaised","subject":"Data","first":3,"second":4})"}}, false},
  {"renumbered.jsonl", 0, {{6, R"({"line":"decision","decision":"CountLowered","subject":"Data","first":2,"second":1})"}}, false},
  {"boxed.jsonl", 0, {{2, std::string(kRunLines[1]) + "\n" + R"({"line":"box","caption":"CheckAdmin","text":"Access is denied."})"}}, false},
  {"reboxed.jsonl", 0, {{2, std::string(kRunLines[1]) + "\n" + R"({"line":"box","caption":"CheckAdmin","text":"Access is denied!"})"}}, false},
};
// The plans the --compare cases hold records to: each a record's own report.
const char* const kPlans[][2] = {
  {"plan.json", "run.jsonl"}, {"plan-boxed.json", "boxed.jsonl"}, {"plan-long.json", "long.jsonl"}};
// A run of 50,000 files (long.jsonl) and one that differs from it at both
// ends and in the middle (long-stale.jsonl): the first file not deleted,
// the middle one removed as a link, one more file at the end.
std::string LongRecord(bool stale) {
  std::string text = std::string(kRunLines[0]) + "\n";
  for (size_t n = stale ? 1 : 0; n < 50000; ++n)
    text += std::string(R"({"line":"change","op":")") + (stale && n == 25000 ? "remove-link" : "delete-file") +
            R"(","path":"C:\\Shared\\Data\\f)" + std::to_string(n) + "\"}\n";
  if (stale) text += R"({"line":"change","op":"delete-file","path":"C:\\Shared\\Data\\g"})" "\n";
  return text + R"({"line":"decision","decision":"TreeRemoved","subject":"Data","first":0,"second":0})" "\n" +
         kRunLines[std::size(kRunLines) - 1] + "\n";
}
// clang-format on

void WriteWhole(const std::string& path, const std::string& text) {
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                        nullptr)) << path;
}

class PreviewCommand : public ::testing::TestWithParam<CommandCase> {
 protected:
  static void SetUpTestSuite() {
    Clear();
    MakeDirs(Dir());
    RunHost(BuildPath("qfsample.exe"), "install \"" + Dir() + "\\Shared\"", Dir());
    for (const RecordFile& f : kRecordFiles) {
      std::string text;
      for (size_t n = 1; n <= (f.lines ? f.lines : std::size(kRunLines)); ++n) {
        const std::string line = f.edits.count(n) ? f.edits.at(n) : kRunLines[n - 1];
        if (!line.empty()) text += line + "\n";
      }
      if (f.unterminated) text.pop_back();
      WriteWhole(Dir() + "\\" + f.name, text);
    }
    WriteWhole(Dir() + "\\long.jsonl", LongRecord(false));
    WriteWhole(Dir() + "\\long-stale.jsonl", LongRecord(true));
    for (const auto& [plan, record] : kPlans) {
      const HostRun own =
          RunHost(BuildPath("qfpreview.exe"), "--record " + std::string(record) + " --json", Dir());
      WriteWhole(Dir() + "\\" + plan, own.output);
    }
  }
  static void TearDownTestSuite() { Clear(); }
  static std::string Dir() { return WinPath(kUnixBase) + "\\command"; }
};

TEST_P(PreviewCommand, ExitsAndReportsAsDocumented) {
  const CommandCase& c = GetParam();
  std::unique_ptr<DefaultProfileLock> lock;
  if (c.lockProfile) lock = std::make_unique<DefaultProfileLock>();
  if (lock) {
    ASSERT_EQ(lock->result(), ERROR_SUCCESS);
  }
  const HostRun run = RunHost(BuildPath("qfpreview.exe"), c.arguments, Dir());
  EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
  EXPECT_EQ(run.output.find(c.line) == std::string::npos, c.absent) << run.output;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sample, PreviewCommand, ::testing::Values(
  CommandCase{"Help", "--help", 0, "--host-dir", false},
  CommandCase{"UnknownOption", "--bogus", 2, "--bogus", false},
  CommandCase{"MissingHostDir", "--host-dir Z:\\no\\such\\dir", 2, "Z:\\no\\such\\dir", false},
  CommandCase{"CountLowered", "", 0, "changed  HKLM\\Software\\Halvern\\Halvern Shared\\Data UseCount \"2\" -> \"1\": UseCount 2 → 1, held by another product", false},
  CommandCase{"ReadOnlyStays", "", 0, "Legacy\\qfold.hlp: read-only or access denied\n", false},
  CommandCase{"HelpRegistrationStays", "", 0, "Help\\qfold.hlp: its help file stays: read-only or access denied\n", false},
  CommandCase{"PerDirectory", "", 0, "MSHelp\\Reference\\: 2 files (18 bytes)\n", false},
  CommandCase{"PerDirectoryHidesFiles", "", 0, "Reference\\qfref.hlp\n", true},
  CommandCase{"AllListsFiles", "--all", 0, "Reference\\qfref.hlp\n", false},
  CommandCase{"AllHasNoSummary", "--all", 0, ": 2 files (", true},
  CommandCase{"Totals", "", 0, "Totals: 7 files (72 bytes), 6 directories, 0 links, 11 keys (holding 12 values) and 3 values removed; 1 value changed; 8 items stay (4 of them known only from this machine", false},
  CommandCase{"Json", "--json", 0, "\"gate\": \"passes\"", false},
  CommandCase{"GateRefuses", "", 0, "1. Administrator gate: refuses\n", false, true},
  CommandCase{"GateBoxes", "", 0, "  [] Quillforge was installed by an administrator on this system.  You must run uninstall from an account with administrator rights.\n", false, true},
  CommandCase{"JsonTotalsCountAsTheRecord", "--json", 0, "\"keys\": 11,\n    \"values\": 3,\n    \"changedValues\": 1,\n    \"bytes\": 72,\n    \"valuesWithKeys\": 12", false},
  CommandCase{"HelpExitCodes", "--help", 0, "3 with --compare: they differ", false},
  CommandCase{"RecordStart", "--record run.jsonl", 0, "Run at 2026-12-08T13:12:36.123Z by HOST\\user (process 1234), from C:\\Q, with the library 3.0.0.0.\n", false},
  CommandCase{"RecordWhole", "--record run.jsonl", 0, "INCOMPLETE", true},
  CommandCase{"RecordChangeWithReason", "--record run.jsonl", 0, "changed  HKLM\\Software\\Halvern\\Halvern Shared\\Data UseCount to \"2\": UseCount 3 → 2, held by another product\n", false},
  CommandCase{"RecordLinkStaysLink", "--record run.jsonl", 0, "removed  C:\\Shared\\MSHelp\\linked: a link, removed as a link\n", false},
  CommandCase{"RecordTotalsWithoutSizes", "--record run.jsonl", 0, "Totals: 1 file, 1 directory, 1 link, 1 key and 1 value removed; 1 value changed; 0 items stay.\nA record does not tell what only a look at the machine can:", false},
  CommandCase{"RecordJsonLink", "--record run.jsonl --json", 0, "\"op\": \"remove-link\",\n      \"path\": \"C:\\\\Shared\\\\MSHelp\\\\linked\",\n      \"decision\": \"TreeRemoved\"", false},
  CommandCase{"RecordJsonHasNoSizes", "--record run.jsonl --json", 0, "\"bytes\"", true},
  CommandCase{"RecordOwnTotalsDiffer", "--record missing.jsonl", 0, "The record's end line counts otherwise: 1 file,", false},
  CommandCase{"RecordCut", "--record cut.jsonl", 0, "INCOMPLETE: the record stops after line 6 without its end line", false},
  CommandCase{"RecordCutInLine", "--record cut-in-line.jsonl", 0, "INCOMPLETE: the record stops inside line 8 (a write failed): it is true up to line 7.\n", false},
  CommandCase{"RecordNotComplete", "--record not-complete.jsonl --json", 0, "\"ended\": true,\n    \"complete\": false", false},
  CommandCase{"RecordInvalidLine", "--record invalid.jsonl", 1, "invalid.jsonl, line 4: not valid JSON", false},
  CommandCase{"RecordUnknownLine", "--record unknown.jsonl", 1, "line 5: a line of an unknown kind \"wipe\"", false},
  CommandCase{"RecordUnknownDecision", "--record unknown-decision.jsonl", 1, "line 6: unknown decision \"CountRaised\"", false},
  CommandCase{"RecordMissingFile", "--record no-such.jsonl", 1, "no-such.jsonl: cannot be opened", false},
  CommandCase{"CompareAgrees", "--compare plan.json run.jsonl", 0, "The run did what was predicted.\n", false},
  CommandCase{"CompareNamesFolded", "--compare plan.json renamed.jsonl", 0, "The run did what was predicted.\n", false},
  CommandCase{"CompareBothSides", "--compare plan.json differs.jsonl", 3, "  differs\n    predicted  set-value HKLM\\Software\\Halvern\\Halvern Shared\\Data UseCount = \"2\"\n        under CountLowered: UseCount 3 → 2, held by another product\n    done       set-value HKLM\\Software\\Halvern\\Halvern Shared\\Data UseCount = \"1\"\n", false},
  CommandCase{"CompareOneMissingOneDifference", "--compare plan.json missing.jsonl", 3, "\nchanges:\n  predicted, not done\n    predicted  delete-file C:\\Shared\\MSHelp\\a.hlp\n        under TreeRemoved: Quillforge was the last holder of MSHelp: its directory is emptied and removed\n\n1 difference between", false},
  CommandCase{"CompareAlignsAcrossDifferences", "--compare plan.json two-apart.jsonl", 3, "\n3 differences between", false},
  CommandCase{"CompareCut", "--compare plan.json cut.jsonl", 3, "the record is incomplete: it stops after line 6 without its end line, and is compared up to there.\n", false},
  CommandCase{"CompareCutCountsUnreached", "--compare plan.json cut.jsonl", 3, "\n4 of the changes predicted come after where the record stops.\n", false},
  CommandCase{"CompareCutListsNoUnreached", "--compare plan.json cut.jsonl", 3, "predicted, not done", true},
  CommandCase{"CompareNotComplete", "--compare plan.json not-complete.jsonl --json", 3, "\"kind\": \"incomplete\"", false},
  CommandCase{"CompareNumbers", "--compare plan.json renumbered.jsonl", 3, "  differs\n    predicted  CountLowered Data (3, 2)\n        UseCount 3 → 2, held by another product\n    done       CountLowered Data (2, 1)\n", false},
  CommandCase{"CompareBoxNotPredicted", "--compare plan.json boxed.jsonl", 3, "\nboxes:\n  done, not predicted\n    done       [CheckAdmin] Access is denied.\n", false},
  CommandCase{"CompareBoxNotDone", "--compare plan-boxed.json run.jsonl", 3, "\nboxes:\n  predicted, not done\n    predicted  [CheckAdmin] Access is denied.\n\n1 difference between", false},
  CommandCase{"CompareBoxOtherwise", "--compare plan-boxed.json reboxed.jsonl", 3, "  differs\n    predicted  [CheckAdmin] Access is denied.\n    done       [CheckAdmin] Access is denied!\n\n1 difference between", false},
  CommandCase{"CompareLongAgrees", "--compare plan-long.json long.jsonl", 0, "The run did what was predicted.\n", false},
  CommandCase{"CompareLongExactly", "--compare plan-long.json long-stale.jsonl", 3, "\nchanges:\n  predicted, not done\n    predicted  delete-file C:\\Shared\\Data\\f0\n        under TreeRemoved: Quillforge was the last holder of Data: its directory is emptied and removed\n  differs\n    predicted  delete-file C:\\Shared\\Data\\f25000\n        under TreeRemoved: Quillforge was the last holder of Data: its directory is emptied and removed\n    done       remove-link C:\\Shared\\Data\\f25000\n        under TreeRemoved: Quillforge was the last holder of Data: its directory is emptied and removed\n  done, not predicted\n    done       delete-file C:\\Shared\\Data\\g\n        under TreeRemoved: Quillforge was the last holder of Data: its directory is emptied and removed\n\n3 differences between", false},
  CommandCase{"CompareJson", "--compare plan.json differs.jsonl --json", 3, "\"agree\": false,\n  \"differences\": [\n    {\n      \"list\": \"changes\",\n      \"kind\": \"differs\"", false},
  CommandCase{"CompareInvalidPlan", "--compare run.jsonl run.jsonl", 1, "run.jsonl: not valid JSON", false},
  CommandCase{"CompareInvalidRecord", "--compare plan.json invalid.jsonl", 1, "line 4: not valid JSON", false},
  CommandCase{"CompareOneFile", "--compare plan.json", 2, "--compare", false},
  CommandCase{"RecordAndCompare", "--record run.jsonl --compare plan.json run.jsonl", 2, "--record excludes --compare", false},
  CommandCase{"GateKeepsUserSettings", "", 0, "stays    HKCU\\Software\\Halvern\\Quillforge\\3.0: an administrator's installation, and this account may not write HKEY_USERS\\.Default (read-only or access denied): nothing is removed\n", false, true}),
  [](const ::testing::TestParamInfo<CommandCase>& info) { return info.param.name; });
// clang-format on

// ---- The reviewed plan as a lock: the sample changed after its plan -------------

// What changes between the plan and the run: `how` 'w' writes `text` at
// `kept` in place (a new file, or one grown), 'r' makes another file of its
// name there, 'l' swaps that directory for a link, 'c' sets Data's count to
// `text`, 'p' writes `text` as the plan ("" removes it, "@" makes it another
// computer's).  `kept` stays ("" when the plan cannot be used and nothing
// changes), told by `decision`.
struct LockCase { const char* change; char how; const char* kept; const char* text; const char* decision; };
// clang-format off
const LockCase kLockCases[] = {
  {"nothing", 'w', "", "", "PlanFollowed"},
  {"a file added", 'w', "Shared\\Image Files\\Borders\\added.bmp", "added", "NotInPlan"},
  {"a file replaced by another of its name", 'r', "Shared\\Image Files\\Backgrounds\\paper.bmp", "paper", "ChangedSincePlan"},
  {"a file grown", 'w', "Shared\\Image Files\\Clip Art\\Animals\\owl.bmp", "an owl, grown since the plan", "ChangedSincePlan"},
  {"a directory swapped for a link", 'l', "Shared\\Image Files\\Clip Art\\Animals\\Birds", "", "NotInPlan"},
  {"a count changed", 'c', "Shared\\Data", "1", "ComponentNotAsPlanned"},
  {"the plan missing", 'p', "", "", "PlanUnusable"},
  {"the plan malformed", 'p', "", "{\"plan\": ", "PlanUnusable"},
  {"the plan from another computer", 'p', "", "@", "PlanUnusable"},
};
// clang-format on

TEST(PreviewLock, HoldsTheRunToThePlanAndPredictsIt) {
  const std::string host = HostDir("full");
  for (const LockCase& c : kLockCases) {  // each in a directory of its own: Wine leaves links
    const std::string unixDir = kUnixBase + "/lock" + std::to_string(&c - kLockCases);
    const std::string dir = WinPath(unixDir), plan = dir + "\\plan.json", kept = dir + "\\" + c.kept;
    const bool unusable = c.how == 'p';
    Clear();
    MakeDirs(dir);
    ASSERT_EQ(RunHost(BuildPath("qfsample.exe"), "install \"" + dir + "\\Shared\"", dir).exitCode, 0u);
    const HostRun planned = RunHost(host + "\\qfpreview.exe", "--json", host);
    nlohmann::json other = nlohmann::json::parse(planned.output);
    other["plan"]["computer"] = "ELSEWHERE";
    WriteWhole(plan, !unusable ? planned.output : *c.text == '@' ? other.dump() : c.text);
    if (unusable && !*c.text) DeleteFileW(Wide(plan).c_str());
    if (c.how == 'r') DeleteFileW(Wide(kept).c_str());
    if ((c.how == 'w' || c.how == 'r') && *c.kept) WriteWhole(kept, c.text);
    ASSERT_TRUE(c.how != 'l' || (MoveFileW(Wide(kept).c_str(), Wide(dir + "\\Birds").c_str()) &&
                                 UnixLink(unixDir + "/Birds", unixDir + "/" + Unix(c.kept), kept)));
    ASSERT_TRUE(c.how != 'c' || RegSetKeyValueW(HKEY_LOCAL_MACHINE, Wide(std::string(kShared) + "\\Data").c_str(),
                                                L"UseCount", REG_SZ, L"1", 4) == ERROR_SUCCESS);
    const nlohmann::json against =
        nlohmann::json::parse(RunHost(host + "\\qfpreview.exe", "--against \"" + plan + "\" --json", host).output);
    Key policy;  // where the pass reads it: the 64-bit view
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(qf::PolicyKey).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, policy.Put(), nullptr), ERROR_SUCCESS);
    RegSetValueExW(policy.Get(), L"UninstallPlan", 0, REG_SZ, reinterpret_cast<const BYTE*>(Wide(plan).c_str()),
                   static_cast<DWORD>((Wide(plan).size() + 1) * sizeof(wchar_t)));
    const nlohmann::json locked = nlohmann::json::parse(RunHost(host + "\\qfpreview.exe", "--json", host).output);
    const State before = Snap(dir);
    EXPECT_EQ(RunHost(host + "\\qfhost.exe", "--answer-boxes", host).exitCode, 0u);
    RegDeleteValueW(policy.Get(), L"UninstallPlan");
    const std::set<std::string> made = Made(before, Snap(dir));
    EXPECT_EQ(Predicted(against), made) << c.change;
    EXPECT_EQ(Predicted(locked), made) << c.change;
    EXPECT_NE(against["decisions"].dump().find(c.decision), std::string::npos) << c.change << against["decisions"];
    EXPECT_TRUE(!unusable || made.empty()) << c.change;
    EXPECT_TRUE(!*c.kept || GetFileAttributesW(Wide(kept).c_str()) != INVALID_FILE_ATTRIBUTES) << c.change;
    // With a plan that can be used, every other file it deletes goes.
    for (const std::string& change : unusable ? std::set<std::string>() : Predicted(nlohmann::json::parse(planned.output))) {
      const std::string path = change.substr(change.find(' ') + 1);
      EXPECT_TRUE(change.rfind("delete-file ", 0) != 0 || made.count(change) || (*c.kept && (path + "\\").rfind(kept + "\\", 0) == 0))
          << c.change << ": " << change << " was not made";
    }
  }
  Clear();
}

}  // namespace
}  // namespace qftest
