// The capture as one step, and what its readers share.
#include "capture/capture.h"

#include "capture/win32.h"
#include <vector>

#include "common/case_fold.h"
#include "common/schema.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

namespace qfpreview {
namespace {

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

std::string Folded(const std::string& path) { return qf::FoldName(path); }

std::wstring NtPath(const std::string& path) {
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\')
    return L"\\??\\UNC\\" + Wide(path.substr(2));
  return L"\\??\\" + Wide(path);
}

NTSTATUS OpenObject(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                    ULONG share, HandleGuard* handle) {
  UNICODE_STRING object;
  object.Buffer = const_cast<PWSTR>(name.c_str());
  object.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  object.MaximumLength = object.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK io;
  return NtOpenFile(handle->Put(), access, &attributes, &io, share,
                    options | FILE_SYNCHRONOUS_IO_NONALERT);
}

Snapshot Capture(const HostPlace& host) {
  Snapshot snapshot;
  snapshot.underWine = UnderWine();
  qf::sim::Reset();
  // A 32-bit process on 64-bit Windows, as every current Windows runs this
  // one: the simulation redirects as this machine does.
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) qf::sim::SetWow64();
  CaptureRegistry(&snapshot);
  CaptureFiles(&snapshot);
  CaptureKeptFolders(host, &snapshot);
  CaptureCompanions(host, &snapshot);
  // The plan names this computer: the pass compares it with its own.
  qf::platform::RunFacts facts;
  std::vector<wchar_t> name(MAX_COMPUTERNAME_LENGTH + 1);
  DWORD size = static_cast<DWORD>(name.size());
  if (qf::platform::ProcessFacts(&facts) == qf::platform::kSuccess &&
      GetComputerNameW(name.data(), &size) && Utf8(std::wstring_view(name.data(), size), &facts.computer))
    qf::sim::SetRunFacts(facts);
  return snapshot;
}

void HoldToPlan(const std::string& path) {
  qf::sim::SetText(qf::platform::Root::LocalMachine, qf::PolicyKey, qf::UninstallPlan, path);
  CopyPlan(path);
}

}  // namespace qfpreview
