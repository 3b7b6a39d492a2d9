#include "common/utf.h"

namespace qf {

bool ToUtf16(std::string_view utf8, std::u16string* out) {
  std::u16string text;
  text.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      text.push_back(lead);
      ++i;
      continue;
    }
    // The length of the sequence, the bits of its lead byte, and the least
    // code point it may encode (anything less is an overlong encoding).
    size_t length = 0;
    char32_t point = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, point = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, point = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, point = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (utf8.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    if (point >= 0x10000) {
      point -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(point));
    }
    i += length;
  }
  *out = std::move(text);
  return true;
}

bool ToUtf8(std::u16string_view utf16, std::string* out) {
  std::string text;
  text.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t point = utf16[i];
    if (point >= 0xD800 && point <= 0xDFFF) {
      // Only a high surrogate followed by a low one is a character.
      if (point > 0xDBFF || i + 1 == utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF)
        return false;
      point = 0x10000 + ((point - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    }
    if (point < 0x80) {
      text.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
      text.push_back(static_cast<char>(0xC0 | (point >> 6)));
      text.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
      text.push_back(static_cast<char>(0xE0 | (point >> 12)));
      text.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xF0 | (point >> 18)));
      text.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
  }
  *out = std::move(text);
  return true;
}

std::string ToUtf8Shown(std::u16string_view utf16) {
  std::u16string units(utf16);
  for (size_t i = 0; i < units.size(); ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
      ++i;  // a pair: one character
    else if (units[i] >= 0xD800 && units[i] <= 0xDFFF)
      units[i] = 0xFFFD;
  }
  std::string shown;
  ToUtf8(units, &shown);
  return shown;
}

}  // namespace qf
