// Owners of the Win32 handles the sample tool opens, one line per kind: each
// is released when its owner goes out of scope, on every path.
#pragma once

#include <windows.h>

#include "platform/unique_any.h"

namespace qfsample {

using KeyGuard = qf::platform::UniqueAny<HKEY, &::RegCloseKey>;
using FileGuard = qf::platform::UniqueAny<HANDLE, &::CloseHandle, -1>;
using FindGuard = qf::platform::UniqueAny<HANDLE, &::FindClose, -1>;

}  // namespace qfsample
