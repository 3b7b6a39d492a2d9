// Backend-independent parts of the platform layer.
#include "platform/platform.h"

namespace qf::platform {

long RegKey::ReadText(const char* name, uint32_t capacity,
                      std::string* text) const {
  uint32_t type = 0;
  std::string data;
  const long result = ReadValue(name, capacity, &type, &data);
  if (result != kSuccess) return result;
  // The stored bytes need not end in a NUL, nor be text at all: take what
  // precedes the first NUL and nothing beyond the bytes returned.
  const auto end = data.find('\0');
  text->assign(data, 0, end);
  return kSuccess;
}

}  // namespace qf::platform
