#include "lsp/SourceOutline.h"

#include <algorithm>
#include <cstring>

#include "translator/EmulatorTable.h"
#include "translator/SourceReader.h"
#include "translator/TagLexer.h"

namespace lumivane::lsp {

ByteLines::ByteLines(std::string_view bytes) : starts_{0}, size_(bytes.size()) {
  for (std::size_t at = bytes.find('\n'); at != std::string_view::npos; at = bytes.find('\n', at + 1)) {
    starts_.push_back(at + 1);
  }
}

std::size_t ByteLines::OffsetOf(std::uint64_t line, std::uint64_t column) const {
  if (line == 0) return 0;
  if (line > starts_.size()) return size_;
  const std::uint64_t offset = starts_[line - 1] + (column == 0 ? 0 : column - 1);
  return offset > size_ ? size_ : static_cast<std::size_t>(offset);
}

bool IsKeyword(std::string_view name) {
  static constexpr std::string_view kKeywords[] = {"DELAY", "RDELAY", "REM", "RE-", "-PEAT", "OUT", "WAITACK", "REPORT"};
  return std::find(std::begin(kKeywords), std::end(kKeywords), name) != std::end(kKeywords);
}

namespace {

// Reads the tags with the translator's own reader and lexer.
class OutlineReader {
 public:
  OutlineReader(std::string_view bytes, EmulatorTable* layout, int keyLimit)
      : lines_(bytes), layout_(layout), keyLimit_(keyLimit), lexer_(reader_), size_(bytes.size()) {
    reader_.OpenBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    firstByte_ = std::min(bytes.find_first_not_of("\r\n"), bytes.size());
  }

  SourceOutline Read() {
    // The header: the first tag from the first byte on, one byte unread,
    // then the second tag; as the translator reads it.
    if (!ReadTag(firstByte_, TagRole::FirstTag)) return std::move(outline_);
    if (reader_.ReadChar() != 0 || !ReadTag(Here(), TagRole::HeaderDelay)) return std::move(outline_);
    while (reader_.ReadChar() == 0 && !outline_.cut) {
      if (reader_.currentChar() == '<' && !ReadTag(Here(), TagRole::Unknown)) break;
    }
    outline_.tags.shrink_to_fit();
    outline_.keys.shrink_to_fit();
    for (std::size_t i = 0; i < outline_.keys.size(); ++i) {
      outline_.keys[i].end =
          i + 1 < outline_.keys.size() ? outline_.tags[outline_.keys[i + 1].tag].begin : size_;
    }
    return std::move(outline_);
  }

 private:
  std::size_t Here() const { return lines_.OffsetOf(reader_.fullLineNumber(), reader_.column()); }

  // Reads a tag that begins at `begin`; false when the source ended in it.
  bool ReadTag(std::size_t begin, TagRole role) {
    OutlineTag tag;
    tag.begin = static_cast<std::uint32_t>(begin);
    tag.value = lexer_.ReadTag();
    tag.closed = reader_.eofCount() == 0;
    tag.end = static_cast<std::uint32_t>(tag.closed ? Here() + 1 : size_);
    const char* name = lexer_.tagName();
    // The first tag's name starts with the file's '<'.
    if (role == TagRole::FirstTag && *name == '<') ++name;
    std::memcpy(tag.nameText.data(), name, ::strnlen(name, tag.nameText.size() - 1));
    tag.role = role == TagRole::Unknown ? RoleOf(tag) : role;
    if (tag.role == TagRole::KeyStart) {
      outline_.keys.push_back({outline_.tags.size(), static_cast<std::uint16_t>(tag.value), size_});
    }
    if (role != TagRole::Unknown) ++outline_.headerTags;
    outline_.tags.push_back(std::move(tag));
    outline_.cut = outline_.tags.size() >= SourceOutline::kMaxTags;
    return outline_.tags.back().closed;
  }

  TagRole RoleOf(const OutlineTag& tag) const {
    if (!tag.closed) return TagRole::Unknown;
    if (IsKeyword(tag.name())) return TagRole::Keyword;
    if (layout_ && layout_->FindName(tag.nameText.data())) return TagRole::KeyName;
    const auto key = static_cast<std::uint16_t>(tag.value);
    return key != 0 && key < keyLimit_ ? TagRole::KeyStart : TagRole::Unknown;
  }

  ByteLines lines_;
  EmulatorTable* layout_;
  int keyLimit_;
  SourceReader reader_;
  TagLexer lexer_;
  std::size_t size_;
  std::size_t firstByte_ = 0;
  SourceOutline outline_;
};

}  // namespace

SourceOutline ReadOutline(std::string_view bytes, EmulatorTable* layout, int keyLimit) {
  return OutlineReader(bytes, layout, keyLimit).Read();
}

const OutlineTag* SourceOutline::TagAt(std::size_t offset) const {
  const auto after = std::upper_bound(tags.begin(), tags.end(), offset,
                                      [](std::size_t at, const OutlineTag& tag) { return at < tag.begin; });
  if (after == tags.begin()) return nullptr;
  const OutlineTag& tag = *std::prev(after);
  return offset < tag.end ? &tag : nullptr;
}

const OutlineTag* SourceOutline::TagClosedAt(std::size_t offset) const {
  const OutlineTag* tag = TagAt(offset);
  return tag && tag->closed && tag->end == offset + 1 ? tag : nullptr;
}

int SourceOutline::KeyAt(std::size_t offset) const {
  const auto after = std::upper_bound(keys.begin(), keys.end(), offset, [&](std::size_t at, const KeyDefinition& key) {
    return at < tags[key.tag].begin;
  });
  if (after == keys.begin()) return -1;
  const auto index = static_cast<int>(after - keys.begin()) - 1;
  return offset < keys[static_cast<std::size_t>(index)].end ? index : -1;
}

}  // namespace lumivane::lsp
