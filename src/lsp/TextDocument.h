#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Utf8.h"

namespace lumivane::lsp {

// What a position's character counts, as negotiated at initialisation.
enum class PositionUnits { Utf16, Utf8 };

struct Position {
  std::uint32_t line = 0;
  std::uint32_t character = 0;
};

// A document as the editor holds it: UTF-8 text whose lines end at LF,
// CR LF or a lone CR, as the protocol counts them.
class TextDocument {
 public:
  TextDocument() = default;
  explicit TextDocument(std::string text) { Replace(std::move(text)); }

  const std::string& text() const { return text_; }
  void Replace(std::string text);

  // The byte offset of a position. A line past the last means the end of
  // the text; a character past its line's end means the line's end; one
  // inside a character (half a UTF-16 pair) means that character's start.
  std::size_t OffsetOf(Position position, PositionUnits units) const;
  // The position of a byte offset (clamped to the text; an offset inside a
  // character counts as that character's start).
  Position PositionOf(std::size_t offset, PositionUnits units) const;

 private:
  // The offset where line `line`'s text ends (before its line break).
  std::size_t LineEnd(std::size_t line) const;

  std::string text_;
  std::vector<std::size_t> lineStarts_{0};
};

// The UTF-8 sequence length its lead byte announces (1 for a stray byte).
std::size_t Utf8SequenceLength(unsigned char lead);
// The code point at `offset` of valid UTF-8 text, and its length there.
Utf8Sequence DecodeUtf8(const std::string& text, std::size_t offset);

}  // namespace lumivane::lsp
