// Owners of the Win32 handles the preview opens on the real machine, each
// released on every path (the platform layer's one owner template).
#pragma once

#include <windows.h>

#include "platform/unique_any.h"

namespace qfpreview {

using KeyGuard = qf::platform::UniqueAny<HKEY, &::RegCloseKey>;
// A directory or file opened for reading.
using HandleGuard = qf::platform::UniqueAny<HANDLE, &::CloseHandle>;

}  // namespace qfpreview
