#include "lsp/Features.h"
#include "lsp/LoadedLayout.h"

namespace lumivane::lsp {

Json DocumentView::PositionJson(std::size_t byteOffset) const {
  const Position position = document.PositionOf(analysis.encoded.TextOffsetOf(byteOffset), units);
  return Json{{"line", position.line}, {"character", position.character}};
}

Json DocumentView::RangeJson(std::size_t begin, std::size_t end) const {
  return Json{{"start", PositionJson(begin)}, {"end", PositionJson(end)}};
}

std::size_t DocumentView::ByteOffsetOf(Position position) const {
  return analysis.encoded.ByteOffsetOf(document.OffsetOf(position, units));
}

std::string DocumentView::CharacterText(unsigned char byte) const {
  std::string text;
  AppendUtf8(text, layout.codePage().CharacterOf(byte));
  return text;
}

std::pair<std::size_t, std::size_t> RangeParam(const DocumentView& view, const Json& range) {
  std::size_t begin = view.ByteOffsetOf(PositionParam(ObjectMember(range, "start")));
  std::size_t end = view.ByteOffsetOf(PositionParam(ObjectMember(range, "end")));
  if (end < begin) std::swap(begin, end);
  return {begin, end};
}

std::string ByteCount(std::size_t bytes) {
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

}  // namespace lumivane::lsp
