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
  if (reader_.ReadChar() != 0) return -1;
  tagLength_ = 0;
  separatorSeen_ = false;
  numberStart_ = 0;
  for (;;) {
    const unsigned char c = reader_.currentChar();
    // A '>' right after the '<' does not close the tag: it is part of the name.
    if (c == '>' && tagLength_ != 0) break;
    if (tagLength_ == kMaxNameLength) break;
    if (reader_.eofCount() != 0) return -1;
    if (c == ' ' || c == '=') {
      // Separators are stored as terminators, so the name and the number
      // read as separate strings.
      tagName_[tagLength_] = '\0';
      if (!separatorSeen_) {
        numberStart_ = tagLength_;
        separatorSeen_ = true;
      }
    } else {
      tagName_[tagLength_] = UpperAscii(c);
    }
    ++tagLength_;
    reader_.ReadChar();  // the end of the source is caught at the top of the loop
  }
  tagName_[tagLength_] = '\0';

  // Without a separator (or with one first) the whole name is read as the number.
  ++numberStart_;
  if (numberStart_ == tagLength_ && reader_.currentChar() == '>') numberStart_ = 0;
  if (numberStart_ == 1) numberStart_ = 0;

  // Skip whatever follows the 15th character up to the '>'.
  while (reader_.currentChar() != '>') {
    if (reader_.eofCount() != 0) return -1;
    reader_.ReadChar();
  }
  return ParseTagNumber(tagName_ + numberStart_);
}

}  // namespace lumivane
