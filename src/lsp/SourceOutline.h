#pragma once
#include <cstddef>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumivane {
class EmulatorTable;
}

namespace lumivane::lsp {

// Byte offsets of the lines as the translator counts them (LF ends a line),
// to turn its line and column into an offset.
class ByteLines {
 public:
  explicit ByteLines(std::string_view bytes);
  // The offset of a 1-based line and byte column, clamped to the bytes.
  std::size_t OffsetOf(std::uint64_t line, std::uint64_t column) const;

 private:
  std::vector<std::size_t> starts_;
  std::size_t size_;
};

// What a tag is to the translator.
enum class TagRole : std::uint8_t {
  FirstTag,     // the header's first tag
  HeaderDelay,  // the header's second tag
  Keyword,      // DELAY, RDELAY, REM, RE-, -PEAT, OUT, WAITACK, REPORT
  KeyName,      // a key name of the layout
  KeyStart,     // a key number: starts the definition of that key
  Unknown,      // none of these: an error
};

// Kept small: a source holds thousands (offsets fit 32 bits, as sources
// above 16 MiB are not taken).
struct OutlineTag {
  std::uint32_t begin = 0;  // its '<' (for the first tag: the file's first byte that is no line end)
  std::uint32_t end = 0;    // one past its '>'; the end of the source when it has none
  std::int32_t value = 0;
  TagRole role = TagRole::Unknown;
  bool closed = true;
  // As the translator reads it: upper case, at most 15 characters.
  std::array<char, 16> nameText{};
  std::string_view name() const { return nameText.data(); }
};

struct KeyDefinition {
  std::size_t tag = 0;  // index in tags
  std::uint16_t key = 0;
  std::size_t end = 0;  // where the next key tag begins, or the end of the source
};

// The tags of a source in order, read the way the translator reads them.
struct SourceOutline {
  // Beyond this many tags the outline ends: its memory stays bounded for
  // any text, while a source of a full image has far fewer.
  static constexpr std::size_t kMaxTags = 200000;

  std::vector<OutlineTag> tags;
  std::vector<KeyDefinition> keys;
  std::size_t headerTags = 0;  // 0 to 2: the header's tags that were read
  bool cut = false;            // kMaxTags was reached

  // The tag that holds the byte at `offset`, or nullptr.
  const OutlineTag* TagAt(std::size_t offset) const;
  // The tag whose '>' is at `offset`, or nullptr.
  const OutlineTag* TagClosedAt(std::size_t offset) const;
  // The index in keys of the definition that holds `offset`, or -1.
  int KeyAt(std::size_t offset) const;
};

// `layout` may be nullptr (no key names then); key numbers run from 1 to keyLimit - 1.
SourceOutline ReadOutline(std::string_view bytes, EmulatorTable* layout, int keyLimit);

// The keywords in the order the translator tests them.
bool IsKeyword(std::string_view name);

}  // namespace lumivane::lsp
