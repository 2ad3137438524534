// The server's documents: their notifications, their analysis and
// diagnostics, and the requests on them.
#include "lsp/Features.h"
#include "lsp/LanguageServer.h"

namespace lumivane::lsp {

namespace {

std::int64_t VersionOf(const Json& textDocument) {
  const auto version = textDocument.find("version");
  return version != textDocument.end() && version->is_number_integer() ? version->get<std::int64_t>() : 0;
}

}  // namespace

void LanguageServer::DidOpen(const Json& params) {
  const Json& textDocument = ObjectMember(params, "textDocument");
  const std::string uri = StringMember(textDocument, "uri");
  const auto languageId = textDocument.find("languageId");
  if (!DocumentStore::IsSource(uri, languageId != textDocument.end() && languageId->is_string()
                                        ? languageId->get<std::string>()
                                        : std::string())) {
    return;
  }
  documents_.Open(uri, VersionOf(textDocument), StringMember(textDocument, "text"));
}

void LanguageServer::DidChange(const Json& params) {
  const Json& textDocument = ObjectMember(params, "textDocument");
  const std::string uri = StringMember(textDocument, "uri");
  const auto changes = params.find("contentChanges");
  documents_.Change(uri, VersionOf(textDocument), changes == params.end() ? Json() : *changes, units_);
}

void LanguageServer::DidClose(const Json& params) {
  const std::string uri = StringMember(ObjectMember(params, "textDocument"), "uri");
  if (!documents_.Find(uri)) return;
  documents_.Close(uri);
  send_(NotificationMessage("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", Json::array()}}));
}

const SourceAnalysis& LanguageServer::AnalysisOf(OpenDocument& document, LoadedLayout& layout) {
  if (!document.analysis) {
    if (document.refusal) {
      document.analysis.emplace();
      document.analysis->findings.push_back(*document.refusal);
    } else {
      document.analysis = AnalyseSource(document.text.text(), layout, choice_.keys, builder_);
    }
  }
  return *document.analysis;
}

void LanguageServer::Publish(const std::string& uri, OpenDocument& document) {
  LoadedLayout& layout = Layout();
  const DocumentView view{document.text, AnalysisOf(document, layout), layout, units_};
  send_(NotificationMessage("textDocument/publishDiagnostics",
                            {{"uri", uri}, {"version", document.version}, {"diagnostics", DiagnosticsJson(view)}}));
  document.published = true;
}

bool LanguageServer::DoPendingWork() {
  if (!initialized_ || finished_ || deadline()) return false;
  for (auto& [uri, document] : documents_.documents()) {
    if (document.published) continue;
    Publish(uri, document);
    return true;
  }
  return false;
}

Json LanguageServer::DocumentRequest(const std::string& method, const Json& params) {
  const std::string uri = StringMember(ObjectMember(params, "textDocument"), "uri");
  OpenDocument* document = documents_.Find(uri);
  if (!document) throw ParamsError("the document " + uri + " is not open");
  LoadedLayout& layout = Layout();
  const DocumentView view{document->text, AnalysisOf(*document, layout), layout, units_};
  if (method == "textDocument/hover") return HoverJson(view, PositionParam(ObjectMember(params, "position")));
  if (method == "textDocument/completion") {
    return CompletionJson(view, PositionParam(ObjectMember(params, "position")), snippets_);
  }
  if (method == "textDocument/documentSymbol") return DocumentSymbolsJson(view, uri, hierarchicalSymbols_);
  const auto [begin, end] = RangeParam(view, ObjectMember(params, "range"));
  if (method == "textDocument/codeAction") return CodeActionsJson(view, uri, begin, end);
  return InlayHintsJson(view, begin, end);
}

}  // namespace lumivane::lsp
