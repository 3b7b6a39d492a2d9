// Backend-independent parts of the platform layer.
#include "platform/platform.h"

namespace qf::platform {

const char* RootName(Root root) {
  switch (root) {
    case Root::CurrentUser: return "HKCU";
    case Root::LocalMachine: return "HKLM";
    case Root::Users: return "HKU";
  }
  return "?";
}

bool RootNamed(std::string_view name, Root* root) {
  for (Root candidate : {Root::CurrentUser, Root::LocalMachine, Root::Users}) {
    if (name != RootName(candidate)) continue;
    *root = candidate;
    return true;
  }
  return false;
}

long ValueText(uint32_t type, const std::string& data, std::string* text) {
  // The stored data need not end in a NUL: take what precedes the first one
  // and nothing beyond the data returned.
  const std::string before = data.substr(0, data.find('\0'));
  if (type != kRegSz && type != kRegExpandSz) {
    for (const char c : before)
      if (static_cast<unsigned char>(c) >= 0x80) return kErrorInvalidData;
  }
  *text = before;
  return kSuccess;
}

long RegKey::ReadText(const char* name, uint32_t capacity, std::string* text) const {
  uint32_t type = 0;
  std::string data;
  const long result = ReadValue(name, capacity, &type, &data);
  if (result != kSuccess) return result;
  return ValueText(type, data, text);
}

}  // namespace qf::platform
