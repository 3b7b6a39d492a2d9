#include "wide.h"

#include <stdexcept>

#include "common/utf.h"

namespace qf::tools {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

std::u16string_view Units(std::wstring_view wide) {
  return {reinterpret_cast<const char16_t*>(wide.data()), wide.size()};
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  std::u16string units;
  if (!ToUtf16(utf8, &units))
    throw std::invalid_argument("not UTF-8: " + std::string(utf8));
  return std::wstring(units.begin(), units.end());
}

bool Utf8(std::wstring_view wide, std::string* utf8) { return ToUtf8(Units(wide), utf8); }

std::string Utf8Shown(std::wstring_view wide) { return ToUtf8Shown(Units(wide)); }

}  // namespace qf::tools
