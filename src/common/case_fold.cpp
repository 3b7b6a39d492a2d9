// The system's upper-case table, and names folded by it.
#include "common/case_fold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace qf {
namespace {

// The units first, first + step, ... up to last map to unit + delta (modulo
// 2^16); every unit in no run maps to itself.
struct UpcaseRun {
  char16_t first;
  char16_t last;
  uint8_t step;
  int16_t delta;
};

// Generated, not written: a throwaway Win32 program asked ntdll's
// RtlUpcaseUnicodeChar, under Wine 8.0, for the upper case of every unit
// 0..0xFFFF and merged the units it changes into runs, each as long as it
// would go (step 2 where capitals and small letters alternate), in order.
// Regenerate the same way rather than edit.  The Wine build's contract test
// CaseFoldContract.EveryUnitUpcasesAsTheSystemUpcasesIt checks the table
// against the system unit by unit.
constexpr UpcaseRun kRuns[] = {
    {0x0061, 0x007A, 1, -32},    {0x00E0, 0x00F6, 1, -32},    {0x00F8, 0x00FE, 1, -32},
    {0x00FF, 0x00FF, 1, 121},    {0x0101, 0x012F, 2, -1},     {0x0133, 0x0137, 2, -1},
    {0x013A, 0x0148, 2, -1},     {0x014B, 0x0177, 2, -1},     {0x017A, 0x017E, 2, -1},
    {0x0180, 0x0180, 1, 195},    {0x0183, 0x0185, 2, -1},     {0x0188, 0x0188, 1, -1},
    {0x018C, 0x018C, 1, -1},     {0x0192, 0x0192, 1, -1},     {0x0195, 0x0195, 1, 97},
    {0x0199, 0x0199, 1, -1},     {0x019A, 0x019A, 1, 163},    {0x019E, 0x019E, 1, 130},
    {0x01A1, 0x01A5, 2, -1},     {0x01A8, 0x01A8, 1, -1},     {0x01AD, 0x01AD, 1, -1},
    {0x01B0, 0x01B0, 1, -1},     {0x01B4, 0x01B6, 2, -1},     {0x01B9, 0x01B9, 1, -1},
    {0x01BD, 0x01BD, 1, -1},     {0x01BF, 0x01BF, 1, 56},     {0x01C6, 0x01C6, 1, -2},
    {0x01C9, 0x01C9, 1, -2},     {0x01CC, 0x01CC, 1, -2},     {0x01CE, 0x01DC, 2, -1},
    {0x01DD, 0x01DD, 1, -79},    {0x01DF, 0x01EF, 2, -1},     {0x01F3, 0x01F3, 1, -2},
    {0x01F5, 0x01F5, 1, -1},     {0x01F9, 0x021F, 2, -1},     {0x0223, 0x0233, 2, -1},
    {0x023C, 0x023C, 1, -1},     {0x023F, 0x0240, 1, 10815},  {0x0242, 0x0242, 1, -1},
    {0x0247, 0x024F, 2, -1},     {0x0250, 0x0250, 1, 10783},  {0x0251, 0x0251, 1, 10780},
    {0x0252, 0x0252, 1, 10782},  {0x0253, 0x0253, 1, -210},   {0x0254, 0x0254, 1, -206},
    {0x0256, 0x0257, 1, -205},   {0x0259, 0x0259, 1, -202},   {0x025B, 0x025B, 1, -203},
    {0x025C, 0x025C, 1, -23217}, {0x0260, 0x0260, 1, -205},   {0x0261, 0x0261, 1, -23221},
    {0x0263, 0x0263, 1, -207},   {0x0265, 0x0265, 1, -23256}, {0x0266, 0x0266, 1, -23228},
    {0x0268, 0x0268, 1, -209},   {0x0269, 0x0269, 1, -211},   {0x026A, 0x026A, 1, -23228},
    {0x026B, 0x026B, 1, 10743},  {0x026C, 0x026C, 1, -23231}, {0x026F, 0x026F, 1, -211},
    {0x0271, 0x0271, 1, 10749},  {0x0272, 0x0272, 1, -213},   {0x0275, 0x0275, 1, -214},
    {0x027D, 0x027D, 1, 10727},  {0x0280, 0x0280, 1, -218},   {0x0282, 0x0282, 1, -23229},
    {0x0283, 0x0283, 1, -218},   {0x0287, 0x0287, 1, -23254}, {0x0288, 0x0288, 1, -218},
    {0x0289, 0x0289, 1, -69},    {0x028A, 0x028B, 1, -217},   {0x028C, 0x028C, 1, -71},
    {0x0292, 0x0292, 1, -219},   {0x029D, 0x029D, 1, -23275}, {0x029E, 0x029E, 1, -23278},
    {0x0371, 0x0373, 2, -1},     {0x0377, 0x0377, 1, -1},     {0x037B, 0x037D, 1, 130},
    {0x03AC, 0x03AC, 1, -38},    {0x03AD, 0x03AF, 1, -37},    {0x03B1, 0x03C1, 1, -32},
    {0x03C3, 0x03CB, 1, -32},    {0x03CC, 0x03CC, 1, -64},    {0x03CD, 0x03CE, 1, -63},
    {0x03D7, 0x03D7, 1, -8},     {0x03D9, 0x03EF, 2, -1},     {0x03F2, 0x03F2, 1, 7},
    {0x03F3, 0x03F3, 1, -116},   {0x03F8, 0x03F8, 1, -1},     {0x03FB, 0x03FB, 1, -1},
    {0x0430, 0x044F, 1, -32},    {0x0450, 0x045F, 1, -80},    {0x0461, 0x0481, 2, -1},
    {0x048B, 0x04BF, 2, -1},     {0x04C2, 0x04CE, 2, -1},     {0x04CF, 0x04CF, 1, -15},
    {0x04D1, 0x052F, 2, -1},     {0x0561, 0x0586, 1, -48},    {0x10D0, 0x10FA, 1, 3008},
    {0x10FD, 0x10FF, 1, 3008},   {0x13F8, 0x13FD, 1, -8},     {0x1D79, 0x1D79, 1, -30204},
    {0x1D7D, 0x1D7D, 1, 3814},   {0x1D8E, 0x1D8E, 1, -30152}, {0x1E01, 0x1E95, 2, -1},
    {0x1EA1, 0x1EFF, 2, -1},     {0x1F00, 0x1F07, 1, 8},      {0x1F10, 0x1F15, 1, 8},
    {0x1F20, 0x1F27, 1, 8},      {0x1F30, 0x1F37, 1, 8},      {0x1F40, 0x1F45, 1, 8},
    {0x1F51, 0x1F57, 2, 8},      {0x1F60, 0x1F67, 1, 8},      {0x1F70, 0x1F71, 1, 74},
    {0x1F72, 0x1F75, 1, 86},     {0x1F76, 0x1F77, 1, 100},    {0x1F78, 0x1F79, 1, 128},
    {0x1F7A, 0x1F7B, 1, 112},    {0x1F7C, 0x1F7D, 1, 126},    {0x1F80, 0x1F87, 1, 8},
    {0x1F90, 0x1F97, 1, 8},      {0x1FA0, 0x1FA7, 1, 8},      {0x1FB0, 0x1FB1, 1, 8},
    {0x1FB3, 0x1FB3, 1, 9},      {0x1FC3, 0x1FC3, 1, 9},      {0x1FD0, 0x1FD1, 1, 8},
    {0x1FE0, 0x1FE1, 1, 8},      {0x1FE5, 0x1FE5, 1, 7},      {0x1FF3, 0x1FF3, 1, 9},
    {0x214E, 0x214E, 1, -28},    {0x2170, 0x217F, 1, -16},    {0x2184, 0x2184, 1, -1},
    {0x24D0, 0x24E9, 1, -26},    {0x2C30, 0x2C5F, 1, -48},    {0x2C61, 0x2C61, 1, -1},
    {0x2C65, 0x2C65, 1, -10795}, {0x2C66, 0x2C66, 1, -10792}, {0x2C68, 0x2C6C, 2, -1},
    {0x2C73, 0x2C73, 1, -1},     {0x2C76, 0x2C76, 1, -1},     {0x2C81, 0x2CE3, 2, -1},
    {0x2CEC, 0x2CEE, 2, -1},     {0x2CF3, 0x2CF3, 1, -1},     {0x2D00, 0x2D25, 1, -7264},
    {0x2D27, 0x2D27, 1, -7264},  {0x2D2D, 0x2D2D, 1, -7264},  {0xA641, 0xA66D, 2, -1},
    {0xA681, 0xA69B, 2, -1},     {0xA723, 0xA72F, 2, -1},     {0xA733, 0xA76F, 2, -1},
    {0xA77A, 0xA77C, 2, -1},     {0xA77F, 0xA787, 2, -1},     {0xA78C, 0xA78C, 1, -1},
    {0xA791, 0xA793, 2, -1},     {0xA794, 0xA794, 1, 48},     {0xA797, 0xA7A9, 2, -1},
    {0xA7B5, 0xA7C3, 2, -1},     {0xA7C8, 0xA7CA, 2, -1},     {0xA7D1, 0xA7D1, 1, -1},
    {0xA7D7, 0xA7D9, 2, -1},     {0xA7F6, 0xA7F6, 1, -1},     {0xAB53, 0xAB53, 1, -928},
    {0xAB70, 0xABBF, 1, 26672},  {0xFF41, 0xFF5A, 1, -32},
};

// The length of the valid UTF-8 character at text[i], with its code point,
// or 0 when none starts there: a stray continuation byte, an overlong form,
// an encoded surrogate, a code point beyond U+10FFFF or a cut-short tail.
size_t DecodeAt(std::string_view text, size_t i, char32_t* codePoint) {
  const unsigned lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  size_t length = 0;
  char32_t value = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned byte = static_cast<unsigned char>(text[i + k]);
    if (byte < low || byte > high) return 0;
    low = 0x80, high = 0xBF;
    value = value << 6 | (byte & 0x3F);
  }
  *codePoint = value;
  return length;
}

// The folded form of one character or stray byte.
struct Folded {
  char bytes[4];
  size_t size = 0;
};

// Folds the character or stray byte at text[i] into *out; returns how many
// bytes of text it took.
size_t FoldAt(std::string_view text, size_t i, Folded* out) {
  if (const auto byte = static_cast<unsigned char>(text[i]); byte < 0x80) {  // ASCII, most names
    out->bytes[0] = static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
    out->size = 1;
    return 1;
  }
  char32_t codePoint = 0;
  const size_t length = DecodeAt(text, i, &codePoint);
  if (length == 0 || codePoint > 0xFFFF) {  // kept as it is
    out->size = length == 0 ? 1 : length;
    std::copy_n(text.data() + i, out->size, out->bytes);
    return out->size;
  }
  char16_t unit = UpcaseUnit(static_cast<char16_t>(codePoint));
  if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + (u'a' - u'A'));
  // Never a surrogate: those only map to themselves, and only from themselves.
  if (unit < 0x80) {
    out->bytes[0] = static_cast<char>(unit);
    out->size = 1;
  } else if (unit < 0x800) {
    out->bytes[0] = static_cast<char>(0xC0 | unit >> 6);
    out->bytes[1] = static_cast<char>(0x80 | (unit & 0x3F));
    out->size = 2;
  } else {
    out->bytes[0] = static_cast<char>(0xE0 | unit >> 12);
    out->bytes[1] = static_cast<char>(0x80 | (unit >> 6 & 0x3F));
    out->bytes[2] = static_cast<char>(0x80 | (unit & 0x3F));
    out->size = 3;
  }
  return length;
}

}  // namespace

char16_t UpcaseUnit(char16_t unit) {
  if (unit < 0x80) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
  }
  const UpcaseRun* run =
      std::upper_bound(std::begin(kRuns), std::end(kRuns), unit,
                       [](char16_t u, const UpcaseRun& r) { return u < r.first; });
  if (run == std::begin(kRuns)) return unit;
  --run;
  if (unit > run->last || (unit - run->first) % run->step != 0) return unit;
  return static_cast<char16_t>(unit + run->delta);
}

std::string FoldName(std::string_view utf8) {
  std::string key;
  key.reserve(utf8.size());
  Folded folded;
  for (size_t i = 0; i < utf8.size();) {
    i += FoldAt(utf8, i, &folded);
    key.append(folded.bytes, folded.size);
  }
  return key;
}

bool SameNameFolded(std::string_view a, std::string_view b) {
  Folded fa, fb;
  size_t i = 0, j = 0;    // next byte of a and b to fold
  size_t ka = 0, kb = 0;  // next byte of fa and fb to compare
  for (;;) {
    if (ka == fa.size && i < a.size()) i += FoldAt(a, i, &fa), ka = 0;
    if (kb == fb.size && j < b.size()) j += FoldAt(b, j, &fb), kb = 0;
    const bool aDone = ka == fa.size, bDone = kb == fb.size;
    if (aDone || bDone) return aDone && bDone;
    if (fa.bytes[ka++] != fb.bytes[kb++]) return false;
  }
}

}  // namespace qf
