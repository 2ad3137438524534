#include "lsp/DocumentStore.h"

#include <strings.h>


namespace lumivane::lsp {

bool DocumentStore::IsSource(const std::string& uri, const std::string& languageId) {
  if (languageId == "lumivane-pos") return true;
  std::string path = uri.substr(0, uri.find_first_of("?#"));
  return path.size() > 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".pos") == 0;
}

void DocumentStore::Open(const std::string& uri, std::int64_t version, std::string text) {
  Close(uri);
  OpenDocument& document = documents_[uri];
  document.version = version;
  SetText(document, std::move(text));
}

void DocumentStore::Refuse(const std::string& uri, std::int64_t version, std::string code, std::string message) {
  Close(uri);
  OpenDocument& document = documents_[uri];
  document.version = version;
  document.refusal = SourceFinding(std::move(code), std::move(message));
}

void DocumentStore::Close(const std::string& uri) {
  const auto found = documents_.find(uri);
  if (found == documents_.end()) return;
  openBytes_ -= found->second.text.text().size();
  documents_.erase(found);
}

OpenDocument* DocumentStore::Find(const std::string& uri) {
  const auto found = documents_.find(uri);
  return found == documents_.end() ? nullptr : &found->second;
}

void DocumentStore::InvalidateAll() {
  for (auto& [uri, document] : documents_) {
    document.analysis.reset();
    document.published = false;
  }
}

void DocumentStore::SetText(OpenDocument& document, std::string text) {
  openBytes_ -= document.text.text().size();
  document.analysis.reset();
  document.published = false;
  document.refusal.reset();
  if (text.size() > kMaxSourceBytes || openBytes_ + text.size() > kMaxOpenBytes) {
    const bool alone = text.size() > kMaxSourceBytes;
    document.refusal = SourceFinding(
        "source_too_large", alone ? TooLargeMessage(text.size())
                                  : "the open sources together would hold more than " +
                                        std::to_string(kMaxOpenBytes >> 20) + " MiB; close some to check this one");
    document.text = TextDocument();
    return;
  }
  openBytes_ += text.size();
  document.text.Replace(std::move(text));
}

void DocumentStore::Change(const std::string& uri, std::int64_t version, const Json& changes, PositionUnits units) {
  OpenDocument* document = Find(uri);
  if (!document) throw ParamsError("the document " + uri + " is not open");
  if (!changes.is_array()) throw ParamsError("\"contentChanges\" must be an array");
  document->version = version;
  for (const Json& change : changes) ApplyChange(*document, change, units);
}

void DocumentStore::ApplyChange(OpenDocument& document, const Json& change, PositionUnits units) {
  std::string replacement = StringMember(change, "text");
  const Json* range = OptionalObject(change, "range");
  if (!range) return SetText(document, std::move(replacement));
  // A text that could not be taken cannot be edited; the next whole text mends it.
  if (document.refusal) return;
  std::size_t begin = document.text.OffsetOf(PositionParam(ObjectMember(*range, "start")), units);
  std::size_t end = document.text.OffsetOf(PositionParam(ObjectMember(*range, "end")), units);
  if (end < begin) std::swap(begin, end);
  std::string text = document.text.text();
  text.replace(begin, end - begin, replacement);
  SetText(document, std::move(text));
}

}  // namespace lumivane::lsp
