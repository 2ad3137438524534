#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace lumivane {

// A UTF-8 sequence in a text: how many bytes it takes and the code point
// they encode. A length of 0 means the byte there starts no valid sequence.
struct Utf8Sequence {
  std::size_t length = 0;
  char32_t codePoint = 0;
};

// The well-formed UTF-8 sequence at `at` (an ASCII byte is a sequence of
// 1); overlong forms, encoded surrogates and values past U+10FFFF are not.
inline Utf8Sequence ValidUtf8Sequence(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {1, lead};
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {};
  }
  if (at + length > text.size()) return {};
  if (byte(at + 1) < low || byte(at + 1) > high) return {};
  char32_t value = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if (i > 1 && (byte(at + i) & 0xC0) != 0x80) return {};
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  return {length, value};
}

// Appends the UTF-8 bytes of a code point.
inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace lumivane
