// UTF-8, as the tools and the Wine tests carry texts, to and from the
// system's UTF-16, for the programs that call Windows themselves.  Built on
// common/utf.h, so every one of them converts by the library's own rule, and
// fails the same way everywhere:
// - Wide: a text that is not UTF-8 was made wrong by the program itself
//   (names it wrote, layouts, arguments it read exactly): it throws
//   std::invalid_argument naming the text, so nothing is ever reached by a
//   part of a name or by "";
// - Utf8: a name read from the machine may hold a lone surrogate, which has
//   no UTF-8: false, the output untouched, and the caller decides;
// - Utf8Shown is for showing only, never for reaching anything: a lone
//   surrogate shows as U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace qf::tools {

std::wstring Wide(std::string_view utf8);
bool Utf8(std::wstring_view wide, std::string* utf8);
std::string Utf8Shown(std::wstring_view wide);

}  // namespace qf::tools
