#pragma once
#include <cstdint>

#include "translator/SourceReader.h"

namespace lumivane {

// Reads one tag ("<NAME n>") once its opening character has been delivered,
// splitting it into an upper-cased name of at most 15 characters and a number.
class TagLexer {
 public:
  static constexpr int kMaxNameLength = 15;

  explicit TagLexer(SourceReader& reader) : reader_(reader) {}

  // The tag's number (as atoi reads it, within the 15 stored positions), or
  // -1 when the source ended before the tag's '>'.
  int ReadTag();

  // The tag name up to its first separator, as a terminated string.
  const char* tagName() const { return tagName_; }
  // The text the number was read from (the whole name when the tag has no separator).
  const char* numberText() const { return tagName_ + numberStart_; }

 private:
  SourceReader& reader_;
  char tagName_[kMaxNameLength + 1] = {};
  int tagLength_ = 0;
  bool separatorSeen_ = false;
  int numberStart_ = 0;
};

// atoi without its undefined overflow: leading white space, an optional sign,
// decimal digits; the value wraps to 32 bits instead of overflowing.
int ParseTagNumber(const char* text);

}  // namespace lumivane
