// What the capture's readers share: owners of the handles they open on the
// real machine, the conversion of names, and NtOpenFile.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <string_view>

#include "capture/snapshot.h"
#include "wide.h"
#include "platform/unique_any.h"

namespace qfpreview {

using KeyGuard = qf::platform::UniqueAny<HKEY, &::RegCloseKey>;
// A directory or file opened through NtOpenFile.
using HandleGuard = qf::platform::UniqueAny<HANDLE, &::CloseHandle>;

// Names convert by the tools' one adapter: Wide throws for a text that is
// no UTF-8 (the capture only converts names it made or read exactly); Utf8
// is false for a name with a lone surrogate, which the pass cannot carry
// either; Utf8Shown gives such a name a stand-in that names nothing real.
using qf::tools::Utf8;
using qf::tools::Utf8Shown;
using qf::tools::Wide;

// The key paths and file paths of the snapshot's maps.
std::string Folded(const std::string& path);

// "C:\dir" or "\\server\share\dir" as the object manager names it.
std::wstring NtPath(const std::string& path);
// NtOpenFile of `name` below `parent` (null: `name` is a full object path),
// synchronous, shared as `share` says.  Opening only: it cannot create.
NTSTATUS OpenObject(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                    ULONG share, HandleGuard* handle);

// The readers, in the order Capture runs them.
void CaptureRegistry(Snapshot* snapshot);
void CaptureFiles(Snapshot* snapshot);
// The reviewed plan at `path` and its directory, as the pass reads them.
void CopyPlan(const std::string& path);
struct HostPlace;
void CaptureKeptFolders(const HostPlace& host, Snapshot* snapshot);
void CaptureCompanions(const HostPlace& host, Snapshot* snapshot);

}  // namespace qfpreview
