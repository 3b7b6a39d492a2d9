// What the pass asks the real system about whose a directory is, copied
// into the simulation, which has only the captured trees: the system's known
// folders, the host's, the library's and the current directory, the Windows
// directory and the temporary folders, the environment and which drives are
// local disks; then, for every directory the shared area's records name and
// every foreign directory the pass lists (ListForeignDirectories, run on the
// copy as the pass runs it), what it really leads to, asked only where the
// pass asks.
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/win32.h"
#include "common/paths.h"
#include "common/schema.h"
#include "platform/sim/sim.h"
#include "platform/win32/folders.h"
#include "platform/win32/system_dirs.h"
#include "ownership/ownership.h"

namespace qfpreview {
namespace {

namespace sim = qf::sim;
using qf::platform::Root;

// Every directory the shared area's key names: its own and each record's.
std::vector<std::string> RecordedDirectories() {
  std::vector<std::string> dirs;
  if (auto area = sim::GetText(Root::LocalMachine, qf::SharedKey, qf::SharedFilesDir)) dirs.push_back(*area);
  for (const std::string& name : sim::SubkeyNames(Root::LocalMachine, qf::SharedKey)) {
    const std::string key = std::string(qf::SharedKey) + "\\" + name;
    if (auto root = sim::GetText(Root::LocalMachine, key, qf::RootDir)) dirs.push_back(*root);
  }
  return dirs;
}

// The real answer for `path` and each of its ancestors, since a directory
// that is not there is named by its nearest ancestor that is.
// What the pass's TargetFinalPath gives, learnt through NtOpenFile, which
// cannot create.
long TargetFinalPathOf(const std::string& path, std::string* finalPath) {
  HandleGuard handle;
  const NTSTATUS status =
      OpenObject(nullptr, NtPath(path), FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_OPEN_FOR_BACKUP_INTENT,
                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &handle);
  if (!NT_SUCCESS(status)) return static_cast<long>(RtlNtStatusToDosError(status));
  return qf::platform::win32::FinalPathOfHandle(handle.Get(), finalPath);
}

void CopyTargetFinalPaths(std::string path) {
  std::string name;
  do {
    std::string finalPath;
    const long code = TargetFinalPathOf(path, &finalPath);
    sim::SetTargetFinalPath(path, code, finalPath);
    if (code == 0) return;
  } while (qf::SplitParent(std::string(path), &path, &name));
}

}  // namespace

void CaptureKeptFolders(const HostPlace& host, Snapshot*) {
  std::vector<qf::platform::KeptFolder> folders;
  qf::platform::win32::SystemFolders(&folders);
  sim::SetSystemFolders(std::move(folders));
  sim::SetHostPlaces(host.dir, host.libraryDir, host.currentDir);
  std::string windows, system, temp;
  qf::platform::win32::SystemWindowsDir(&windows);
  qf::platform::win32::SystemDir(&system);
  qf::platform::win32::AccountTempDir(&temp);
  sim::SetSystemPlaces(windows, system, temp);
  std::vector<std::pair<std::string, std::string>> environment;
  qf::platform::win32::EnvironmentVariables(&environment);
  sim::ClearEnvironment();
  for (const auto& [name, value] : environment) sim::SetEnvironment(name, value);
  for (char drive = 'A'; drive <= 'Z'; ++drive) sim::SetDriveLocal(drive, qf::platform::win32::DriveIsLocalDisk(drive));
  std::vector<std::string> paths = RecordedDirectories();
  // Read from the copy as the pass reads them (the registry is captured first).
  std::vector<qf::ForeignDir> foreign;
  std::string what;
  long code = 0;
  qf::ListForeignDirectories(&foreign, &what, &code);
  for (const qf::ForeignDir& dir : foreign) paths.push_back(dir.path);
  for (const std::string& path : paths)
    if (qf::IsBelowRoot(path) && qf::platform::IsLocalDisk(qf::ResolveAbsolutePath(path)))
      CopyTargetFinalPaths(qf::ResolveAbsolutePath(path));
}

}  // namespace qfpreview
