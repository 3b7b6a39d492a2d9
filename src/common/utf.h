// The one rule for converting names between UTF-8, as the library carries
// them, and UTF-16, as Windows stores them: exact both ways.  A text that
// is not valid (bytes that are no UTF-8, an overlong or surrogate encoding,
// a lone surrogate in UTF-16) does not convert at all, so it can never be
// taken for the name of another object.
#pragma once

#include <string>
#include <string_view>

namespace qf {

// UTF-8 to UTF-16; false, with `*out` untouched, when `utf8` is not valid.
bool ToUtf16(std::string_view utf8, std::u16string* out);

// UTF-16 to UTF-8; false, with `*out` untouched, when `utf16` is not valid.
bool ToUtf8(std::u16string_view utf16, std::string* out);

// UTF-16 to UTF-8 for showing to people only, never for reaching anything:
// a lone surrogate, which has no UTF-8, shows as U+FFFD.
std::string ToUtf8Shown(std::u16string_view utf16);

}  // namespace qf
