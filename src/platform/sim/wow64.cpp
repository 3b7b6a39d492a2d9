// A 32-bit process on 64-bit Windows, as the simulation shows it once
// SetWow64() is called: what the system redirects for such a process (the
// 32-bit registry view of HKLM\Software, System32), what it shares between
// the views, and the known folders it gets.  Windows is followed where Wine
// differs (Wine gives the shared keys to a 32-bit process through links).
#include "common/paths.h"
#include "platform/sim/machine.h"

namespace qf::sim {
namespace detail {
namespace {

// Where the 32-bit view of HKLM\Software keeps its own keys.
constexpr char kWow64Node[] = "WOW6432Node";
// The keys below HKLM\Software that both views share.
const char* const kSharedKeys[] = {"Policies", "RegisteredApplications"};

bool IsSoftware(const std::string& name) { return Fold(name) == Fold("Software"); }

bool IsShared(const std::string& name) {
  if (Fold(name) == Fold(kWow64Node)) return true;
  for (const char* shared : kSharedKeys)
    if (Fold(name) == Fold(shared)) return true;
  return false;
}

// `path` with its leading directory `from` written as `to`; false when
// `path` is neither `from` nor below it.
bool Replace(const std::string& path, const std::string& from, const std::string& to, std::string* out) {
  if (Fold(path.substr(0, from.size())) != Fold(from)) return false;
  if (path.size() > from.size() && path[from.size()] != '\\') return false;
  *out = to + path.substr(from.size());
  return true;
}

}  // namespace

std::vector<std::string> KeyInView(Root root, std::vector<std::string> parts, uint32_t mask) {
  if (!M().wow64 || root != Root::LocalMachine || (mask & platform::kKeyView64) != 0 ||
      parts.size() < 2 || !IsSoftware(parts[0]) || IsShared(parts[1]))
    return parts;
  parts.insert(parts.begin() + 1, kWow64Node);
  return parts;
}

bool IsViewKey(Root root, const std::string& name) {
  return M().wow64 && root == Root::LocalMachine && Fold(name) == Fold(kWow64Node);
}

std::string SetUpKeyPath(Root root, const std::string& path) {
  const std::vector<std::string> named = SplitPath(path);
  const std::vector<std::string> parts = KeyInView(root, named, M().setUpView64 ? platform::kKeyView64 : 0);
  if (parts.size() == named.size()) return path;
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : "\\") + part;
  return out;
}

std::string FileInView(const std::string& absolute) {
  if (!M().wow64) return absolute;
  std::string out;
  if (Replace(absolute, "C:\\Windows\\System32", "C:\\Windows\\SysWOW64", &out) ||
      Replace(absolute, "C:\\Windows\\Sysnative", "C:\\Windows\\System32", &out))
    return out;
  return absolute;
}

}  // namespace detail

void SetWow64() {
  detail::Machine& m = detail::M();
  m.wow64 = true;
  // The known folders as a 32-bit process gets them: its Program Files and
  // Common Files are the (x86) ones, the 64-bit ones it is refused.
  for (platform::KeptFolder& folder : m.systemFolders) {
    std::string x86;
    if (detail::Replace(folder.path, "C:\\Program Files", "C:\\Program Files (x86)", &x86))
      folder.path = x86;
    if (folder.what == "the system's System (x86) folder") folder.path = "C:\\Windows\\SysWOW64";
  }
  // A 32-bit host is installed below the (x86) Program Files.
  for (std::string* dir : {&m.runFacts.hostDir, &m.libraryDir})
    if (std::string x86; detail::Replace(*dir, "C:\\Program Files", "C:\\Program Files (x86)", &x86)) *dir = x86;
  // Its environment names the (x86) folders too, and the machine's own by
  // names of their own.
  SetEnvironment("ProgramFiles", "C:\\Program Files (x86)");
  SetEnvironment("CommonProgramFiles", "C:\\Program Files (x86)\\Common Files");
  SetEnvironment("ProgramW6432", "C:\\Program Files");
  SetEnvironment("CommonProgramW6432", "C:\\Program Files\\Common Files");
  MakeDir("C:\\Windows\\SysWOW64");
  MakeDir("C:\\Windows\\System32");
  // Where the system records the machine's own folders, in either view.
  SetUpIn64BitView(true);
  for (const char* view : {"", "\\WOW6432Node"}) {
    const std::string key = std::string("Software") + view + "\\Microsoft\\Windows\\CurrentVersion";
    const std::string programs = *view ? "C:\\Program Files (x86)" : "C:\\Program Files";
    SetText(Root::LocalMachine, key, "ProgramFilesDir", programs);
    SetText(Root::LocalMachine, key, "CommonFilesDir", programs + "\\Common Files");
    SetText(Root::LocalMachine, key, "ProgramFilesDir (x86)", "C:\\Program Files (x86)");
    SetText(Root::LocalMachine, key, "CommonFilesDir (x86)", "C:\\Program Files (x86)\\Common Files");
    SetText(Root::LocalMachine, key, "ProgramW6432Dir", "C:\\Program Files");
    SetText(Root::LocalMachine, key, "CommonW6432Dir", "C:\\Program Files\\Common Files");
  }
  SetUpIn64BitView(false);
}

bool IsWow64() { return detail::M().wow64; }

void SetUpIn64BitView(bool on) { detail::M().setUpView64 = on; }

}  // namespace qf::sim
