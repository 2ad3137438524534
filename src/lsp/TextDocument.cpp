#include "lsp/TextDocument.h"

#include <algorithm>

namespace lumivane::lsp {

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  return lead >= 0xC2 ? 2 : 1;
}

Utf8Sequence DecodeUtf8(const std::string& text, std::size_t offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  std::size_t count = std::min(Utf8SequenceLength(lead), text.size() - offset);
  char32_t value = count == 1 ? lead : lead & (0xFF >> (count + 1));
  for (std::size_t i = 1; i < count; ++i) {
    const auto next = static_cast<unsigned char>(text[offset + i]);
    if ((next & 0xC0) != 0x80) {
      count = i;
      break;
    }
    value = (value << 6) | (next & 0x3F);
  }
  return {count, value};
}

void TextDocument::Replace(std::string text) {
  text_ = std::move(text);
  lineStarts_.assign(1, 0);
  const std::size_t size = text_.size();
  for (std::size_t i = 0; i < size; ++i) {
    const char c = text_[i];
    if (c != '\n' && c != '\r') continue;
    if (c == '\r' && i + 1 < size && text_[i + 1] == '\n') ++i;
    lineStarts_.push_back(i + 1);
  }
}

std::size_t TextDocument::LineEnd(std::size_t line) const {
  if (line + 1 >= lineStarts_.size()) return text_.size();
  std::size_t end = lineStarts_[line + 1];
  if (end > 0 && text_[end - 1] == '\n') --end;
  if (end > lineStarts_[line] && text_[end - 1] == '\r') --end;
  return end;
}

std::size_t TextDocument::OffsetOf(Position position, PositionUnits units) const {
  if (position.line >= lineStarts_.size()) return text_.size();
  std::size_t offset = lineStarts_[position.line];
  const std::size_t end = LineEnd(position.line);
  std::uint32_t counted = 0;
  while (offset < end && counted < position.character) {
    const std::size_t length = DecodeUtf8(text_, offset).length;
    const std::uint32_t width = units == PositionUnits::Utf8 ? static_cast<std::uint32_t>(length)
                                                            : (length == 4 ? 2 : 1);
    if (counted + width > position.character) break;
    counted += width;
    offset += length;
  }
  return offset;
}

Position TextDocument::PositionOf(std::size_t offset, PositionUnits units) const {
  offset = std::min(offset, text_.size());
  const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
  const auto line = static_cast<std::size_t>(after - lineStarts_.begin()) - 1;
  std::size_t at = lineStarts_[line];
  std::uint32_t character = 0;
  while (at < offset) {
    const std::size_t length = DecodeUtf8(text_, at).length;
    if (at + length > offset) break;
    character += units == PositionUnits::Utf8 ? static_cast<std::uint32_t>(length) : (length == 4 ? 2 : 1);
    at += length;
  }
  return {static_cast<std::uint32_t>(line), character};
}

}  // namespace lumivane::lsp
