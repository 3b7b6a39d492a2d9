// Names as the system compares them: file and registry names are the same
// when their UTF-16 units are the same once each is upper-cased by the
// system's upper-case table (RtlUpcaseUnicodeChar, and CompareStringOrdinal
// with bIgnoreCase).  No locale, no expansions: "ß" is not "SS", and the
// dotless "ı" and the long "ſ" are not "I" and "S".
#pragma once

#include <string>
#include <string_view>

namespace qf {

// The system's upper case of one UTF-16 unit; surrogates map to themselves.
char16_t UpcaseUnit(char16_t unit);

// A key to compare and order names by: the UTF-8 text with each UTF-16 unit
// upper-cased by UpcaseUnit and then A-Z lowered to a-z, so that keys in byte
// order list ASCII names as Wine enumerates registry subkeys ("item_2" before
// "itemA").  Characters above U+FFFF are kept as they are, and so are bytes
// that are not part of valid UTF-8, one by one.  Two names are the same to
// the system exactly when their keys are equal.
std::string FoldName(std::string_view utf8);

// FoldName(a) == FoldName(b), without building either key.
bool SameNameFolded(std::string_view a, std::string_view b);

}  // namespace qf
