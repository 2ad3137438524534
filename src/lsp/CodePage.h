#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumivane::lsp {

// A single-byte Windows code page, as the layout's sources are written in.
class CodePage {
 public:
  // The code page `number` (1252, 1255, 1256, or any other iconv knows as
  // WINDOWS-n or CPn) through iconv; one iconv lacks is taken as Latin-1.
  explicit CodePage(int number = 1252);

  int number() const { return number_; }
  // The byte of a character, or -1 when the code page has none.
  int ByteOf(char32_t character) const;
  // The character of a byte.
  char32_t CharacterOf(unsigned char byte) const { return characters_[byte]; }

 private:
  int number_;
  std::array<char32_t, 256> characters_{};
  std::vector<std::pair<char32_t, unsigned char>> bytesAbove127_;  // sorted by character
};

// The code page a layout file names in its first comment lines ("code page
// 1255"), or 1252 when it names none.
int CodePageOfLayoutHeader(std::string_view firstBytes);

// A document's text in the code page: one byte per character, so that a
// byte's offset is its character's index in the text.
struct EncodedText {
  struct Missing {
    std::size_t offset;  // of the byte that stands in for it
    char32_t character;
  };
  std::string bytes;
  // Characters the code page lacks, in order; '?' stands in for each.
  std::vector<Missing> missing;

  // The UTF-8 offset in the text of the character at byte `offset` (the
  // text's size at or past the end).
  std::size_t TextOffsetOf(std::size_t offset) const;
  // The byte offset of the character at (or containing) UTF-8 offset `textOffset`.
  std::size_t ByteOffsetOf(std::size_t textOffset) const;

  // Every character of more than one UTF-8 byte: its byte offset, and the
  // UTF-8 bytes beyond one that the characters up to and including it take.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> wide;
  std::size_t textSize = 0;
};

EncodedText EncodeText(const std::string& utf8, const CodePage& codePage);

}  // namespace lumivane::lsp
