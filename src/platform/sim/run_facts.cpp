// The simulated run: fixed facts and a fixed time, which tests set, so that
// what a record says of them can be checked exactly; and the folders the
// system and the process keep.
#include <algorithm>

#include "common/paths.h"
#include "platform/sim/machine.h"

namespace qf::sim {
namespace detail {
namespace {

// The system's folders of a 32-bit Windows of the usual shape, for
// "tester", where the (x86) folders are the only ones (SetWow64 makes them
// a 32-bit process's on 64-bit Windows).
std::vector<platform::KeptFolder> UsualSystemFolders() {
  const std::pair<const char*, const char*> folders[] = {
      {"Windows", "C:\\Windows"},
      {"System", "C:\\Windows\\System32"},
      {"System (x86)", "C:\\Windows\\System32"},
      {"Fonts", "C:\\Windows\\Fonts"},
      {"Program Files", "C:\\Program Files"},
      {"Program Files (x86)", "C:\\Program Files"},
      {"Common Files", "C:\\Program Files\\Common Files"},
      {"Common Files (x86)", "C:\\Program Files\\Common Files"},
      {"ProgramData", "C:\\ProgramData"},
      {"Users", "C:\\Users"},
      {"Profile", "C:\\Users\\tester"},
      {"Documents", "C:\\Users\\tester\\Documents"},
      {"Desktop", "C:\\Users\\tester\\Desktop"},
      {"Roaming AppData", "C:\\Users\\tester\\AppData\\Roaming"},
      {"Local AppData", "C:\\Users\\tester\\AppData\\Local"},
      {"Public", "C:\\Users\\Public"},
      {"Public Documents", "C:\\Users\\Public\\Documents"},
  };
  std::vector<platform::KeptFolder> out;
  for (const auto& [name, path] : folders)
    out.push_back({std::string("the system's ") + name + " folder", path});
  return out;
}

}  // namespace

void InitRunFacts(Machine& machine) {
  machine.runFacts =
      platform::RunFacts{4242, "QFTEST\\tester", "C:\\Program Files\\Quillforge", "QFTEST"};
  machine.nextRandom = 1;
  machine.utcTime = "2026-12-08T13:12:36.000Z";
  machine.systemFolders = UsualSystemFolders();
  machine.libraryDir = machine.runFacts.hostDir;
  machine.windowsDir = "C:\\Windows";
  machine.systemDir = "C:\\Windows\\System32";
  machine.tempDir = "C:\\Users\\tester\\AppData\\Local\\Temp";
  machine.dllDirs.clear();
  const std::pair<const char*, const char*> environment[] = {
      {"SystemDrive", "C:"},
      {"SystemRoot", "C:\\Windows"},
      {"windir", "C:\\Windows"},
      {"ProgramFiles", "C:\\Program Files"},
      {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
      {"ProgramData", "C:\\ProgramData"},
      {"USERPROFILE", "C:\\Users\\tester"},
      {"APPDATA", "C:\\Users\\tester\\AppData\\Roaming"},
      {"LOCALAPPDATA", "C:\\Users\\tester\\AppData\\Local"},
      {"TEMP", "C:\\Users\\tester\\AppData\\Local\\Temp"},
      {"TMP", "C:\\Users\\tester\\AppData\\Local\\Temp"},
  };
  for (const auto& [name, value] : environment) machine.environment[Fold(name)] = {name, value};
}

}  // namespace detail

void SetRunFacts(const platform::RunFacts& facts) { detail::M().runFacts = facts; }

void SetUtcTime(const std::string& text) { detail::M().utcTime = text; }

void SetRandomBits(uint64_t first) { detail::M().nextRandom = first; }

void SetSystemFolders(std::vector<platform::KeptFolder> folders) {
  detail::M().systemFolders = std::move(folders);
}

const std::vector<platform::KeptFolder>& SystemFolders() { return detail::M().systemFolders; }

void SetLibraryDir(const std::string& dir) { detail::M().libraryDir = dir; }

void SetHostPlaces(const std::string& hostDir, const std::string& libraryDir,
                   const std::string& currentDir) {
  detail::M().runFacts.hostDir = hostDir;
  detail::M().libraryDir = libraryDir;
  detail::M().cwdKept = currentDir;
}

void SetSystemPlaces(const std::string& windowsDir, const std::string& systemDir,
                     const std::string& tempDir) {
  detail::M().windowsDir = windowsDir;
  detail::M().systemDir = systemDir;
  detail::M().tempDir = tempDir;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) detail::M().environment.erase(detail::Fold(name));
  else detail::M().environment[detail::Fold(name)] = {name, value};
}

void ClearEnvironment() { detail::M().environment.clear(); }

void SetDriveLocal(char letter, bool local) {
  std::string& others = detail::M().otherDrives;
  const char upper = static_cast<char>(letter & ~0x20);
  others.erase(std::remove(others.begin(), others.end(), upper), others.end());
  if (!local) others.push_back(upper);
}

std::vector<std::string> SystemPlaces() {
  return {detail::M().windowsDir, detail::M().systemDir, detail::M().tempDir};
}

void AddDllDirectory(const std::string& dir) { detail::M().dllDirs.push_back(dir); }

std::vector<platform::KeptFolder> AllKeptFolders() {
  const detail::Machine& m = detail::M();
  std::vector<platform::KeptFolder> out = m.systemFolders;
  platform::AddRunningFolders(m.runFacts.hostDir, m.libraryDir, m.cwdKept.empty() ? m.cwd : m.cwdKept, &out);
  return out;
}

}  // namespace qf::sim

namespace qf::platform {

long ProcessFacts(RunFacts* facts) {
  *facts = sim::detail::M().runFacts;
  return kSuccess;
}

std::string UtcTimeText() { return sim::detail::M().utcTime; }

long RandomBits(uint64_t* bits) {
  if (long injected = sim::detail::BeginOp(sim::Op::RandomBits, {"(random bits)"})) return injected;
  *bits = sim::detail::M().nextRandom++;
  return kSuccess;
}

long KeptFolders(std::vector<KeptFolder>* folders) {
  using namespace sim::detail;
  // Injection names the call by what it learns.
  if (long injected = BeginOp(sim::Op::KeptFolders, {"(kept folders)"})) return injected;
  *folders = sim::AllKeptFolders();
  return kSuccess;
}

long WindowsDir(std::string* dir) {
  if (long injected = sim::detail::BeginOp(sim::Op::SystemPlaces, {"(windows directory)"})) return injected;
  *dir = sim::detail::M().windowsDir;
  return kSuccess;
}

long ExpandEnvironment(const std::string& text, std::string* expanded) {
  if (long injected = sim::detail::BeginOp(sim::Op::SystemPlaces, {"(environment)", text})) return injected;
  // As the system expands: a name between two percent signs that the
  // environment holds is replaced; anything else is copied as it is.
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out += text.substr(at);
      break;
    }
    out += text.substr(at, open - at);
    const auto& environment = sim::detail::M().environment;
    const auto found = environment.find(sim::detail::Fold(text.substr(open + 1, close - open - 1)));
    if (found == environment.end() || close == open + 1) {
      out += text.substr(open, close - open);  // the second % may open the next name
      at = close;
      continue;
    }
    out += found->second.second;
    at = close + 1;
  }
  *expanded = out;
  return kSuccess;
}

bool IsLocalDisk(std::string_view path) {
  const char drive = DriveLetterOf(path);
  return drive != 0 && sim::detail::M().otherDrives.find(static_cast<char>(drive & ~0x20)) == std::string::npos;
}

long TempDir(std::string* dir) {
  if (long injected = sim::detail::BeginOp(sim::Op::SystemPlaces, {"(temporary folder)"})) return injected;
  *dir = sim::detail::M().tempDir;
  return kSuccess;
}

}  // namespace qf::platform
