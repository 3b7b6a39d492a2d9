// How the system compares names, over kernel32.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace qf::platform {

bool SameName(std::string_view a, std::string_view b) {
  // A name that cannot be carried exactly is the same as no other.
  std::wstring wideA, wideB;
  return win32::Wide(a, &wideA) && win32::Wide(b, &wideB) &&
         CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                              static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace qf::platform
