#include "translator/TagLexer.h"

#include <cstdint>

namespace lumivane {

namespace {

bool IsAtoiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char UpperAscii(unsigned char c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

}  // namespace

int ParseTagNumber(const char* text) {
  while (IsAtoiSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // At most 15 characters reach here, so 64 bits never overflow.
  std::uint64_t value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10 + static_cast<unsigned>(*text++ - '0');
  if (negative) value = ~value + 1;
  return static_cast<int>(static_cast<std::uint32_t>(value));
}

int TagLexer::ReadTag() {
  if (reader.ReadChar() != 0) return -1;
  tagLength = 0;
  separatorSeen = false;
  numberStart = 0;
  for (;;) {
    const unsigned char c = reader.currentChar();
    // A '>' right after the '<' does not close the tag: it is part of the name.
    if (c == '>' && tagLength != 0) break;
    if (tagLength == kMaxNameLength) break;
    if (reader.eofCount() != 0) return -1;
    if (c == ' ' || c == '=') {
      // Separators are stored as terminators, so the name and the number
      // read as separate strings.
      tagName_[tagLength] = '\0';
      if (!separatorSeen) {
        numberStart = tagLength;
        separatorSeen = true;
      }
    } else {
      tagName_[tagLength] = UpperAscii(c);
    }
    ++tagLength;
    reader.ReadChar();  // the end of the source is caught at the top of the loop
  }
  tagName_[tagLength] = '\0';

  // Without a separator (or with one first) the whole name is read as the number.
  ++numberStart;
  if (numberStart == tagLength && reader.currentChar() == '>') numberStart = 0;
  if (numberStart == 1) numberStart = 0;

  // Skip whatever follows the 15th character up to the '>'.
  while (reader.currentChar() != '>') {
    if (reader.eofCount() != 0) return -1;
    reader.ReadChar();
  }
  return ParseTagNumber(tagName_ + numberStart);
}

}  // namespace lumivane
