// qfbench: sets up and times uninstall passes under Wine, against what the
// system itself offers for the same job.  scripts/bench drives it; each
// command prints one "key=value" line per figure.
//
//   qfbench files-setup ROOTDIR
//       Writes the machine keys of a Quillforge installation that is the last
//       holder of the shared component "Data" at ROOTDIR, with the shared
//       area's directory being ROOTDIR's parent.  Removes any per-user tree.
//   qfbench files-pass ROOTDIR [RECORDDIR]
//       files-setup, then loads QFUNINST.DLL from beside qfbench and times
//       UninstInitialize alone:                      pass_seconds=S
//       With RECORDDIR the policy has the pass keep its record there
//       (UninstallRecord); without, there is no policy.
//   qfbench files-locked ROOTDIR PLAN
//       As files-pass, the pass held to PLAN (UninstallPlan), which
//       qfpreview --json wrote for this very tree after files-setup; the
//       policy goes again after the pass.
//   qfbench launch EMPTIES COMMANDLINE
//       Times COMMANDLINE from CreateProcess to its exit, and EMPTIES launches
//       of "cmd /c rem" before and EMPTIES after it; prints the launch, the
//       median empty launch and their difference:    launch_seconds=S
//                                                    empty_seconds=S
//                                                    net_seconds=S
//   qfbench keys A B C D VALUES REPS
//       REPS times, alternating: builds the per-user tree (A keys below the
//       product's version key, B below each of those, then C, then D, with
//       VALUES values in every key) and times UninstInitialize removing it;
//       builds it again and times RegDeleteTreeA removing it.
//                                                    keys=K
//                                                    pass_seconds=S (REPS lines)
//                                                    tree_seconds=S (REPS lines)
//
//   qfbench keys-variants A B C D VALUES REPS
//       As keys, with two more sides in the rotation, each a copy of the
//       per-user tree removal written straight against advapi32: "current"
//       does what the pass does (every key and every parent opened by its
//       full path), "relative" deletes the same keys in the same order but
//       opens each key below its already open parent and deletes it there.
//                                                    current_seconds=S, relative_seconds=S
//
// Exit code 0 when every step did what it should (the tree is gone after
// each removal), 1 otherwise, 2 for bad usage.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/schema.h"
#include "platform/unique_any.h"

namespace {

using qf::MakerKey;
using qf::ProductVersionKey;
using qf::SharedKey;
using qf::UnInstInfoKey;
using qf::UserSettingsKey;
constexpr const auto& kComponentKey = qf::KeyPath<qf::MakerKey, qf::SharedKeyName, qf::DataComponent>;

using Entry = int32_t(__stdcall*)(uint32_t, uint32_t, uint32_t);
using DeleteTree = LONG(WINAPI*)(HKEY, LPCSTR);

using Key = qf::platform::UniqueAny<HKEY, &::RegCloseKey>;
using Module = qf::platform::UniqueAny<HMODULE, &::FreeLibrary>;
using Handle = qf::platform::UniqueAny<HANDLE, &::CloseHandle>;

class Timer {
 public:
  Timer() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double Seconds() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) /
           static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_;
  LARGE_INTEGER start_;
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

bool Fail(const char* what, long code) {
  std::fprintf(stderr, "qfbench: %s failed (%ld)\n", what, code);
  return false;
}

bool KeyExists(HKEY root, const char* path) {
  Key key;
  return RegOpenKeyExA(root, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

bool SetText(HKEY key, const char* name, const std::string& text) {
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>(text.size() + 1));
  return result == ERROR_SUCCESS || Fail("RegSetValueExA", result);
}

bool CreateWithText(HKEY root, const char* path, const char* name, const std::string& text) {
  Key key;
  const LONG result = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                      key.Put(), nullptr);
  if (result != ERROR_SUCCESS) return Fail("RegCreateKeyExA", result);
  return SetText(key.Get(), name, text);
}

DeleteTree FindDeleteTree() {
  const HMODULE advapi = GetModuleHandleA("advapi32.dll");
  if (advapi == nullptr) return nullptr;
  return reinterpret_cast<DeleteTree>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteTreeA")));
}

// Removes what an earlier run may have left: the per-user tree, and the
// maker's machine keys.
bool ClearKeys() {
  const DeleteTree deleteTree = FindDeleteTree();
  if (deleteTree == nullptr) return Fail("GetProcAddress(RegDeleteTreeA)", 0);
  if (KeyExists(HKEY_CURRENT_USER, UserSettingsKey)) deleteTree(HKEY_CURRENT_USER, UserSettingsKey);
  if (KeyExists(HKEY_LOCAL_MACHINE, MakerKey)) deleteTree(HKEY_LOCAL_MACHINE, MakerKey);
  return !KeyExists(HKEY_CURRENT_USER, UserSettingsKey) && !KeyExists(HKEY_LOCAL_MACHINE, MakerKey);
}

bool FilesSetup(const std::string& rootDir) {
  const size_t slash = rootDir.find_last_of('\\');
  if (slash == std::string::npos || slash < 3) return Fail("ROOTDIR below a directory", 0);
  return ClearKeys() &&
         CreateWithText(HKEY_LOCAL_MACHINE, ProductVersionKey, qf::UseSharedFiles,
                        qf::SharedFilesUsed) &&
         CreateWithText(HKEY_LOCAL_MACHINE, UnInstInfoKey, qf::UseSharedData, "1") &&
         CreateWithText(HKEY_LOCAL_MACHINE, SharedKey, qf::SharedFilesDir,
                        rootDir.substr(0, slash)) &&
         CreateWithText(HKEY_LOCAL_MACHINE, kComponentKey, qf::UseCount, "1") &&
         CreateWithText(HKEY_LOCAL_MACHINE, kComponentKey, qf::RootDir, rootDir);
}

// QFUNINST.DLL from qfbench's own directory, as the host finds it.
Module LoadProduct(Entry* init) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Module();
  std::string dll(path, length);
  dll.erase(dll.find_last_of('\\') + 1);
  dll += "QFUNINST.DLL";
  Module module(LoadLibraryA(dll.c_str()));
  if (!module.Valid()) {
    Fail(("LoadLibraryA " + dll).c_str(), static_cast<long>(GetLastError()));
    return module;
  }
  // Through void*: the entry's real type is not the one GetProcAddress gives.
  *init = reinterpret_cast<Entry>(
      reinterpret_cast<void*>(GetProcAddress(module.Get(), "UninstInitialize")));
  if (*init == nullptr) {
    Fail("GetProcAddress(UninstInitialize)", static_cast<long>(GetLastError()));
    return Module();
  }
  return module;
}

// Marks the start and end of a timed part in a Wine trace (WINEDEBUG=+debugstr
// with +server or +relay), so its calls can be counted apart from the set-up.
void Mark(const char* text) { OutputDebugStringA(text); }

double TimePass(Entry init) {
  Mark("qfbench: pass begins");
  const Timer timer;
  init(0, 0, 0);
  const double seconds = timer.Seconds();
  Mark("qfbench: pass ends");
  return seconds;
}

// The policy names the record's directory `dir` and the plan `plan`, each
// when not empty; with neither, it is gone.
bool Policy(const std::string& dir, const std::string& plan = "") {
  const DeleteTree deleteTree = FindDeleteTree();
  if (deleteTree == nullptr) return Fail("GetProcAddress(RegDeleteTreeA)", 0);
  if (KeyExists(HKEY_LOCAL_MACHINE, qf::PolicyMakerKey)) deleteTree(HKEY_LOCAL_MACHINE, qf::PolicyMakerKey);
  return (dir.empty() || CreateWithText(HKEY_LOCAL_MACHINE, qf::PolicyKey, qf::UninstallRecord, dir)) &&
         (plan.empty() || CreateWithText(HKEY_LOCAL_MACHINE, qf::PolicyKey, qf::UninstallPlan, plan)) &&
         (!dir.empty() || !plan.empty() || !KeyExists(HKEY_LOCAL_MACHINE, qf::PolicyMakerKey));
}

int FilesPass(const std::string& rootDir, const std::string& recordDir, const std::string& plan = "") {
  if (!FilesSetup(rootDir) || !Policy(recordDir, plan)) return 1;
  Entry init = nullptr;
  Module module = LoadProduct(&init);
  if (!module.Valid()) return 1;
  const double seconds = TimePass(init);
  module.Reset();
  std::printf("pass_seconds=%.6f\n", seconds);
  // The pass removes the component's directory and its key.
  const DWORD left = GetFileAttributesA(rootDir.c_str());
  if (left != INVALID_FILE_ATTRIBUTES) return Fail("removing ROOTDIR", 0), 1;
  if (KeyExists(HKEY_LOCAL_MACHINE, kComponentKey)) return Fail("removing the component key", 0), 1;
  return plan.empty() || Policy("") ? 0 : 1;
}

// Seconds from CreateProcess to the child's exit; negative on failure.
double TimeLaunch(const std::string& commandLine) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const Timer timer;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Fail(("CreateProcessA " + commandLine).c_str(), static_cast<long>(GetLastError()));
    return -1;
  }
  const Handle child(process.hProcess), thread(process.hThread);
  WaitForSingleObject(child.Get(), INFINITE);
  const double seconds = timer.Seconds();
  DWORD code = 1;
  GetExitCodeProcess(child.Get(), &code);
  if (code != 0) {
    Fail(commandLine.c_str(), static_cast<long>(code));
    return -1;
  }
  return seconds;
}

int Launch(int empties, const std::string& commandLine) {
  std::vector<double> empty;
  for (int i = 0; i < empties; ++i) {
    // The first empty launch is the baseline of a trace's request count.
    if (i == 0) Mark("qfbench: empty launch begins");
    empty.push_back(TimeLaunch("cmd /c rem"));
    if (i == 0) Mark("qfbench: empty launch ends");
  }
  Mark("qfbench: launch begins");
  const double launch = TimeLaunch(commandLine);
  Mark("qfbench: launch ends");
  for (int i = 0; i < empties; ++i) empty.push_back(TimeLaunch("cmd /c rem"));
  if (launch < 0 || std::any_of(empty.begin(), empty.end(), [](double s) { return s < 0; }))
    return 1;
  const double baseline = Median(empty);
  std::printf("launch_seconds=%.6f\nempty_seconds=%.6f\nnet_seconds=%.6f\n", launch, baseline,
              launch - baseline);
  return 0;
}

struct Shape {
  int fanout[4];
  int values;
};

int CountKeys(const Shape& shape) {
  int total = 0, level = 1;
  for (int fanout : shape.fanout) {
    level *= fanout;
    total += level;
  }
  return total + 1;  // with the version key itself
}

// A key's values: a path, a number and a flag, as settings keys hold them.
bool FillValues(HKEY key, int count, int serial) {
  static const char* const kNames[] = {"Path", "Size", "Enabled", "Label", "Order", "Mode"};
  for (int i = 0; i < count; ++i) {
    const char* name = kNames[i % 6];
    char numbered[32];
    if (i >= 6) {
      std::snprintf(numbered, sizeof numbered, "%s%d", name, i / 6);
      name = numbered;
    }
    LONG result;
    if (i % 3 == 1) {
      const DWORD number = static_cast<DWORD>(serial * 7 + i);
      result = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                              sizeof number);
    } else {
      char text[64];
      std::snprintf(text, sizeof text, "C:\\Quillforge\\Settings\\Entry%06d", serial);
      result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                              static_cast<DWORD>(std::strlen(text) + 1));
    }
    if (result != ERROR_SUCCESS) return Fail("RegSetValueExA", result);
  }
  return true;
}

bool BuildLevel(HKEY parent, const Shape& shape, int level, int* serial) {
  static const char* const kPrefixes[] = {"Group", "Section", "Item", "Entry"};
  for (int i = 0; i < shape.fanout[level]; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%02d", kPrefixes[level], i);
    Key child;
    const LONG result = RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        child.Put(), nullptr);
    if (result != ERROR_SUCCESS) return Fail("RegCreateKeyExA", result);
    if (!FillValues(child.Get(), shape.values, ++*serial)) return false;
    if (level + 1 < 4 && !BuildLevel(child.Get(), shape, level + 1, serial)) return false;
  }
  return true;
}

bool BuildUserTree(const Shape& shape) {
  if (KeyExists(HKEY_CURRENT_USER, UserSettingsKey)) return Fail("clearing the per-user tree", 0);
  Key top;
  const LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, UserSettingsKey, 0, nullptr, 0,
                                      KEY_ALL_ACCESS, nullptr, top.Put(), nullptr);
  if (result != ERROR_SUCCESS) return Fail("RegCreateKeyExA", result);
  int serial = 0;
  return FillValues(top.Get(), shape.values, 0) && BuildLevel(top.Get(), shape, 0, &serial);
}

// Calls `visit` with each subkey name of `key`, from the highest index down,
// as the pass walks them.
template <typename Visit>
void ForEachSubkeyDownward(HKEY key, Visit visit) {
  DWORD count = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  for (DWORD index = count; index-- > 0;) {
    char child[260] = {};
    if (RegEnumKeyA(key, index, child, sizeof child) == ERROR_SUCCESS) visit(child);
  }
}

// The pass's per-user tree removal as it is: the key opened by its full
// path, its subkeys highest index first, then the parent opened by its path
// for the deletion.
void CurrentTree(const std::string& parentPath, const std::string& name) {
  const std::string fullPath = parentPath + "\\" + name;
  {
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, fullPath.c_str(), 0, KEY_ALL_ACCESS, key.Put()) !=
        ERROR_SUCCESS)
      return;
    ForEachSubkeyDownward(key.Get(), [&](const char* child) { CurrentTree(fullPath, child); });
  }
  Key parent;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, parentPath.c_str(), 0, KEY_ALL_ACCESS, parent.Put()) ==
      ERROR_SUCCESS)
    RegDeleteKeyA(parent.Get(), name.c_str());
}

// The same deletions in the same order, each key opened below its parent's
// open handle and deleted there.
void RelativeSubtree(HKEY parent, const char* name) {
  {
    Key key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) return;
    ForEachSubkeyDownward(key.Get(), [&](const char* child) { RelativeSubtree(key.Get(), child); });
  }
  RegDeleteKeyA(parent, name);
}

// The top key as the pass treats it (opened by path, parent opened by path
// afterwards); only the keys below it go relative.
void RelativeTree(const std::string& parentPath, const std::string& name) {
  const std::string fullPath = parentPath + "\\" + name;
  {
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, fullPath.c_str(), 0, KEY_ALL_ACCESS, key.Put()) !=
        ERROR_SUCCESS)
      return;
    ForEachSubkeyDownward(key.Get(), [&](const char* child) { RelativeSubtree(key.Get(), child); });
  }
  Key parent;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, parentPath.c_str(), 0, KEY_ALL_ACCESS, parent.Put()) ==
      ERROR_SUCCESS)
    RegDeleteKeyA(parent.Get(), name.c_str());
}

int Keys(const Shape& shape, int reps, bool variants) {
  const DeleteTree deleteTree = FindDeleteTree();
  if (deleteTree == nullptr) return Fail("GetProcAddress(RegDeleteTreeA)", 0), 1;
  if (!ClearKeys()) return 1;
  Entry init = nullptr;
  const Module module = LoadProduct(&init);
  if (!module.Valid()) return 1;

  // One small round of each first, so neither side pays for first use.
  const Shape warmup = {{2, 2, 2, 2}, shape.values};
  if (!BuildUserTree(warmup)) return 1;
  TimePass(init);
  if (!BuildUserTree(warmup)) return 1;
  deleteTree(HKEY_CURRENT_USER, UserSettingsKey);

  std::vector<double> pass, tree, current, relative;
  const std::string parentPath = qf::ProductKey;
  for (int rep = 0; rep < reps; ++rep) {
    if (variants) {
      if (!BuildUserTree(shape)) return 1;
      {
        Mark("qfbench: current copy begins");
        const Timer timer;
        CurrentTree(parentPath, qf::VersionKeyName);
        current.push_back(timer.Seconds());
        Mark("qfbench: current copy ends");
      }
      if (KeyExists(HKEY_CURRENT_USER, UserSettingsKey)) return Fail("the current copy", 0), 1;
      if (!BuildUserTree(shape)) return 1;
      {
        Mark("qfbench: relative copy begins");
        const Timer timer;
        RelativeTree(parentPath, qf::VersionKeyName);
        relative.push_back(timer.Seconds());
        Mark("qfbench: relative copy ends");
      }
      if (KeyExists(HKEY_CURRENT_USER, UserSettingsKey)) return Fail("the relative copy", 0), 1;
    }
    if (!BuildUserTree(shape)) return 1;
    pass.push_back(TimePass(init));
    if (KeyExists(HKEY_CURRENT_USER, UserSettingsKey))
      return Fail("the pass removing the tree", 0), 1;

    if (!BuildUserTree(shape)) return 1;
    Mark("qfbench: RegDeleteTreeA begins");
    const Timer timer;
    const LONG result = deleteTree(HKEY_CURRENT_USER, UserSettingsKey);
    tree.push_back(timer.Seconds());
    Mark("qfbench: RegDeleteTreeA ends");
    if (result != ERROR_SUCCESS) return Fail("RegDeleteTreeA", result), 1;
    if (KeyExists(HKEY_CURRENT_USER, UserSettingsKey))
      return Fail("RegDeleteTreeA removing the tree", 0), 1;
  }

  std::printf("keys=%d\n", CountKeys(shape));
  for (double s : pass) std::printf("pass_seconds=%.6f\n", s);
  for (double s : tree) std::printf("tree_seconds=%.6f\n", s);
  for (double s : current) std::printf("current_seconds=%.6f\n", s);
  for (double s : relative) std::printf("relative_seconds=%.6f\n", s);
  return 0;
}

bool ParseCount(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < low || value > high) return false;
  *out = static_cast<int>(value);
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qfbench files-setup ROOTDIR\n"
               "       qfbench files-pass ROOTDIR [RECORDDIR]\n"
               "       qfbench files-locked ROOTDIR PLAN\n"
               "       qfbench launch EMPTIES COMMANDLINE\n"
               "       qfbench keys A B C D VALUES REPS\n"
               "       qfbench keys-variants A B C D VALUES REPS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "files-setup" && argc == 3) return FilesSetup(argv[2]) ? 0 : 1;
  if (command == "files-pass" && (argc == 3 || argc == 4))
    return FilesPass(argv[2], argc == 4 ? argv[3] : "");
  if (command == "files-locked" && argc == 4) return FilesPass(argv[2], "", argv[3]);
  if (command == "launch" && argc == 4) {
    int empties = 0;
    if (!ParseCount(argv[2], 0, 100, &empties)) return Usage();
    return Launch(empties, argv[3]);
  }
  if ((command == "keys" || command == "keys-variants") && argc == 8) {
    Shape shape = {};
    int reps = 0;
    for (int i = 0; i < 4; ++i)
      if (!ParseCount(argv[2 + i], 1, 1000, &shape.fanout[i])) return Usage();
    if (!ParseCount(argv[6], 0, 100, &shape.values) || !ParseCount(argv[7], 1, 100, &reps))
      return Usage();
    return Keys(shape, reps, command == "keys-variants");
  }
  return Usage();
}
