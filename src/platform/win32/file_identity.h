// A file's identity as a reviewed plan records it and a run held to the plan
// reads it again: the Win32 backend and the preview's capture both read it
// here, so the two can never read it differently.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace qf::platform::win32 {

// The file id (FileInternalInformation), the size and the last-write time
// (FileNetworkOpenInformation) of the open object `handle`, and with
// `volume` its volume's serial number (FileIdInfo), else 0.  The volume is
// asked apart: under Wine it costs a round of requests to the mount manager
// (so does GetFileInformationByHandle's), where the rest comes from the
// file itself.
long IdentityOf(HANDLE handle, FileIdentity* identity, bool volume = true);

}  // namespace qf::platform::win32
