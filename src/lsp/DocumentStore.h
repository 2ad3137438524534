#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "lsp/JsonRpc.h"
#include "lsp/SourceAnalysis.h"
#include "lsp/TextDocument.h"

namespace lumivane::lsp {

// A source the editor has open.
struct OpenDocument {
  std::int64_t version = 0;
  TextDocument text;
  // Set when the text could not be taken (too large, or over the budget of
  // all open sources): the finding shown instead of an analysis.
  std::optional<Finding> refusal;
  std::optional<SourceAnalysis> analysis;  // of the current text; empty when stale
  bool published = false;                  // the current analysis's diagnostics were sent
};

// The open sources, within a budget of bytes for all of them together.
class DocumentStore {
 public:
  static constexpr std::size_t kMaxOpenBytes = 256 * 1024 * 1024;

  // Only sources: the language id lumivane-pos, or any id for a .pos file.
  static bool IsSource(const std::string& uri, const std::string& languageId);

  void Open(const std::string& uri, std::int64_t version, std::string text);
  // Applies the content changes of didChange in order; throws ParamsError
  // for a change that is not one.
  void Change(const std::string& uri, std::int64_t version, const Json& changes, PositionUnits units);
  // A document whose text could not be taken, with the reason.
  void Refuse(const std::string& uri, std::int64_t version, std::string code, std::string message);
  void Close(const std::string& uri);

  OpenDocument* Find(const std::string& uri);
  std::map<std::string, OpenDocument>& documents() { return documents_; }
  // Every analysis is stale (the layout changed).
  void InvalidateAll();

 private:
  // Takes `text` as the document's unless it breaks a limit.
  void SetText(OpenDocument& document, std::string text);
  void ApplyChange(OpenDocument& document, const Json& change, PositionUnits units);

  std::map<std::string, OpenDocument> documents_;
  std::size_t openBytes_ = 0;
};

}  // namespace lumivane::lsp
