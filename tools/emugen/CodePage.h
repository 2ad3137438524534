#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace emugen {

// A Windows 8-bit code page: which character each byte stands for.
class CodePage {
 public:
  // chars[b] is the character of byte b, 0 when the byte is undefined.
  explicit CodePage(const std::array<char32_t, 256>& chars) : chars_(chars) {}

  // Decodes every byte through iconv, one byte at a time (glibc's CP1255
  // converter would otherwise compose base letters with following points).
  static std::optional<CodePage> FromIconv(const std::string& iconvName);

  char32_t CharOf(uint8_t byte) const { return chars_[byte]; }
  // The byte of a character; -1 when the code page has none.
  int ByteOf(char32_t character) const;
  // Defined and not a control character: the bytes emulator files give entries to.
  bool IsPrintable(uint8_t byte) const;

 private:
  std::array<char32_t, 256> chars_;
};

}  // namespace emugen
