// What the capture's readers share: owners of the handles they open on the
// real machine, the exact conversion of names, and NtOpenFile.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <string_view>

#include "capture/snapshot.h"
#include "platform/unique_any.h"

namespace qfpreview {

using KeyGuard = qf::platform::UniqueAny<HKEY, &::RegCloseKey>;
// A directory or file opened through NtOpenFile.
using HandleGuard = qf::platform::UniqueAny<HANDLE, &::CloseHandle>;

// UTF-8 to the system's UTF-16, exactly (qf::ToUtf16).  The capture only
// converts names it made itself or read exactly, so a text that does not
// convert is a fault of the program: it throws.
std::wstring Wide(std::string_view utf8);
// The system's UTF-16 to UTF-8, exactly; false for a name that holds a lone
// surrogate, which the pass cannot carry (qf::ToUtf8).
bool Utf8(std::wstring_view wide, std::string* utf8);
// For such a name a stand-in that names nothing real: each lone surrogate
// replaced by U+FFFD.
std::string Utf8Shown(std::wstring_view wide);

// The key paths and file paths of the snapshot's maps.
std::string Folded(const std::string& path);

// "C:\dir" or "\\server\share\dir" as the object manager names it.
std::wstring NtPath(const std::string& path);
// NtOpenFile of `name` below `parent` (null: `name` is a full object path),
// synchronous, shared as `share` says.  Opening only: it cannot create.
NTSTATUS OpenObject(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                    ULONG share, HandleGuard* handle);

// The three readers, in the order Capture runs them.
void CaptureRegistry(Snapshot* snapshot);
void CaptureFiles(Snapshot* snapshot);
struct HostPlace;
void CaptureCompanions(const HostPlace& host, Snapshot* snapshot);

}  // namespace qfpreview
