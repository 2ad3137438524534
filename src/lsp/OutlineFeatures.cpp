// The outline of a source: document symbols and the cost of each key as an inlay hint.
#include "lsp/Features.h"

namespace lumivane::lsp {

namespace {

constexpr int kSymbolModule = 2;
constexpr int kSymbolKey = 20;
constexpr int kHintType = 1;

// Where a definition's symbol ends: before the line ends that follow it.
std::size_t TrimmedEnd(const std::string& bytes, std::size_t begin, std::size_t end) {
  while (end > begin && (bytes[end - 1] == '\n' || bytes[end - 1] == '\r')) --end;
  return end;
}

struct Symbol {
  std::string name, detail;
  int kind;
  std::size_t begin, end, selectionBegin, selectionEnd;
};

std::vector<Symbol> Symbols(const DocumentView& view) {
  const SourceOutline& outline = view.analysis.outline;
  const std::string& bytes = view.analysis.encoded.bytes;
  std::vector<Symbol> symbols;
  if (outline.headerTags > 0) {
    const OutlineTag& first = outline.tags[0];
    const OutlineTag& last = outline.tags[outline.headerTags - 1];
    const std::string detail =
        outline.headerTags == 2 ? "DELAY " + std::to_string(outline.tags[1].value & 0xFFFF) : std::string();
    symbols.push_back({"Header", detail, kSymbolModule, first.begin, last.end, first.begin, first.end});
  }
  for (std::size_t i = 0; i < outline.keys.size(); ++i) {
    const KeyDefinition& key = outline.keys[i];
    const OutlineTag& tag = outline.tags[key.tag];
    const auto& bytesTaken = view.analysis.keyBytes[i];
    symbols.push_back({"Key " + std::to_string(key.key), bytesTaken ? ByteCount(*bytesTaken) : std::string(),
                       kSymbolKey, tag.begin, std::max<std::size_t>(tag.end, TrimmedEnd(bytes, tag.end, key.end)), tag.begin,
                       tag.end});
  }
  return symbols;
}

}  // namespace

Json DocumentSymbolsJson(const DocumentView& view, const std::string& uri, bool hierarchical) {
  Json result = Json::array();
  for (const Symbol& symbol : Symbols(view)) {
    Json entry = {{"name", symbol.name}, {"kind", symbol.kind}};
    if (hierarchical) {
      entry["detail"] = symbol.detail;
      entry["range"] = view.RangeJson(symbol.begin, symbol.end);
      entry["selectionRange"] = view.RangeJson(symbol.selectionBegin, symbol.selectionEnd);
    } else {
      entry["location"] = {{"uri", uri}, {"range", view.RangeJson(symbol.begin, symbol.end)}};
    }
    result.push_back(std::move(entry));
  }
  return result;
}

Json InlayHintsJson(const DocumentView& view, std::size_t begin, std::size_t end) {
  const SourceOutline& outline = view.analysis.outline;
  Json hints = Json::array();
  for (std::size_t i = 0; i < outline.keys.size(); ++i) {
    const std::size_t at = outline.tags[outline.keys[i].tag].end;
    if (at < begin || at > end || !view.analysis.keyBytes[i]) continue;
    hints.push_back({{"position", view.PositionJson(at)},
                     {"label", ByteCount(*view.analysis.keyBytes[i])},
                     {"kind", kHintType},
                     {"paddingLeft", true},
                     {"paddingRight", true}});
  }
  return hints;
}

}  // namespace lumivane::lsp
