#pragma once
#include <cstddef>
#include <string>

#include "lsp/JsonRpc.h"
#include "lsp/SourceAnalysis.h"
#include "lsp/TextDocument.h"

namespace lumivane::lsp {

class LoadedLayout;

// One document as the features read it: its text, the analysis of that
// text, the layout, and the position units of the client.
struct DocumentView {
  const TextDocument& document;
  const SourceAnalysis& analysis;
  LoadedLayout& layout;
  PositionUnits units;

  // Byte offsets in the code page, to and from the client's positions.
  Json PositionJson(std::size_t byteOffset) const;
  Json RangeJson(std::size_t begin, std::size_t end) const;
  std::size_t ByteOffsetOf(Position position) const;
  // A byte of the code page as UTF-8.
  std::string CharacterText(unsigned char byte) const;
};

// A range's byte offsets, checked; begin <= end.
std::pair<std::size_t, std::size_t> RangeParam(const DocumentView& view, const Json& range);

// Diagnostics: every finding, with its code and the source "lumivane".
Json DiagnosticsJson(const DocumentView& view);
// Quick fixes: the suggestion of each finding that touches the bytes from begin to end.
Json CodeActionsJson(const DocumentView& view, const std::string& uri, std::size_t begin, std::size_t end);
// Completion after '<': keywords, the layout's key names, key numbers not yet defined.
Json CompletionJson(const DocumentView& view, Position position, bool snippets);
// Hover: a key definition, a key name, a character, a keyword or the header; null elsewhere.
Json HoverJson(const DocumentView& view, Position position);
// The header and one symbol per key definition.
Json DocumentSymbolsJson(const DocumentView& view, const std::string& uri, bool hierarchical);
// The bytes of each key definition whose tag ends between begin and end.
Json InlayHintsJson(const DocumentView& view, std::size_t begin, std::size_t end);

// "12 bytes", "1 byte".
std::string ByteCount(std::size_t bytes);

}  // namespace lumivane::lsp
