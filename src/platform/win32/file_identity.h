// A file's identity as a reviewed plan records it and a run held to the plan
// reads it again: the Win32 backend and the preview's capture both read it
// here, so the two can never read it differently.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace qf::platform::win32 {

// The file id, the size and the last-write time (FileInternalInformation,
// FileStandardInformation, FileBasicInformation) of the open object
// `handle`, and with `volume` its volume's serial number (FileIdInfo), else
// 0.  Under Wine the volume costs a round of requests to the mount manager
// (so does GetFileInformationByHandle's) and FileNetworkOpenInformation a
// request for the file's name, where these three come from the open file
// alone.
long IdentityOf(HANDLE handle, FileIdentity* identity, bool volume = true);

}  // namespace qf::platform::win32
