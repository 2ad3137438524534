#include "CodePage.h"

#include <iconv.h>

namespace emugen {

namespace {

char32_t DecodeOneByte(iconv_t converter, uint8_t byte) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  char in[1] = {static_cast<char>(byte)};
  char* inPtr = in;
  size_t inLeft = 1;
  char32_t out[4] = {};
  char* outPtr = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
  // Flush what a composing converter still holds back.
  if (iconv(converter, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
  const size_t produced = (sizeof out - outLeft) / sizeof(char32_t);
  return produced == 1 ? out[0] : 0;
}

}  // namespace

std::optional<CodePage> CodePage::FromIconv(const std::string& iconvName) {
  // UTF-32 in the machine's byte order, without a byte order mark.
  const char* wide = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? "UTF-32LE" : "UTF-32BE";
  iconv_t converter = iconv_open(wide, iconvName.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::array<char32_t, 256> chars{};
  for (int byte = 0; byte < 256; ++byte) chars[byte] = DecodeOneByte(converter, static_cast<uint8_t>(byte));
  iconv_close(converter);
  // Byte 0 decodes to U+0000, which reads as undefined; that is what we want.
  return CodePage(chars);
}

int CodePage::ByteOf(char32_t character) const {
  if (character == 0) return -1;
  for (int byte = 0; byte < 256; ++byte) {
    if (chars_[byte] == character) return byte;
  }
  return -1;
}

bool CodePage::IsPrintable(uint8_t byte) const {
  const char32_t c = chars_[byte];
  if (c == 0) return false;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
  return true;
}

}  // namespace emugen
