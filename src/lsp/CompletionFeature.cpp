// Completion inside a tag: keywords, the layout's key names and the key
// numbers not yet defined.
#include <cstdio>
#include <set>

#include "lsp/Features.h"
#include "lsp/LoadedLayout.h"
#include "lsp/TagCatalog.h"

namespace lumivane::lsp {

namespace {

constexpr int kKindValue = 12;
constexpr int kKindKeyword = 14;
constexpr int kKindEnumMember = 20;
constexpr int kFormatPlain = 1;
constexpr int kFormatSnippet = 2;
// How far back a '<' opens the tag being typed: a tag's name counts 15 characters.
constexpr std::size_t kLongestTypedTag = 64;

// Where the name of the tag being typed at `cursor` begins (after its
// '<'), or npos when the cursor is not inside a tag.
std::size_t TypedTagStart(const std::string& bytes, std::size_t cursor) {
  for (std::size_t back = 1; back <= kLongestTypedTag && back <= cursor; ++back) {
    const char c = bytes[cursor - back];
    if (c == '<') return cursor - back + 1;
    if (c == '>' || c == '\n' || c == '\r') break;
  }
  return std::string::npos;
}

std::string CodesText(const std::vector<unsigned>& codes) {
  std::string text;
  for (const unsigned code : codes) text += (text.empty() ? "" : ", ") + std::to_string(code);
  return text;
}

struct ItemMaker {
  const DocumentView& view;
  Json range;
  bool closeTag;  // no '>' follows the cursor yet
  bool snippets;
  Json items = Json::array();

  void Add(const std::string& label, int kind, const std::string& detail, const std::string& sortGroup,
           const std::string& snippet, const std::string& plain) {
    const std::string close = closeTag ? ">" : "";
    Json item = {{"label", label},
                 {"kind", kind},
                 {"detail", detail},
                 {"sortText", sortGroup + label},
                 {"filterText", label}};
    item["insertTextFormat"] = snippets ? kFormatSnippet : kFormatPlain;
    item["textEdit"] = {{"range", range}, {"newText", (snippets ? snippet : plain) + close}};
    items.push_back(std::move(item));
  }
};

void AddKeywords(ItemMaker& maker, bool atHeader) {
  if (atHeader) maker.Add("HEADER", kKindKeyword, "the first tag of every source", "0", "HEADER", "HEADER");
  for (const KeywordTag& tag : kKeywordTags) {
    const std::string name(tag.name);
    const std::string argument(tag.argument);
    const std::string snippet = argument.empty() ? name : name + " ${1:" + argument + "}";
    const std::string plain = argument.empty() ? name : name + " " + argument;
    maker.Add(name, kKindKeyword, std::string(tag.summary), "1", snippet, plain);
  }
}

void AddKeyNames(ItemMaker& maker, LoadedLayout& layout) {
  for (const std::string& name : layout.keyNames()) {
    maker.Add(name, kKindEnumMember, "scan codes " + CodesText(layout.CodesOf(name)), "2", name, name);
  }
}

void AddFreeKeys(ItemMaker& maker, const SourceAnalysis& analysis) {
  std::set<unsigned> defined;
  for (const KeyDefinition& key : analysis.outline.keys) defined.insert(key.key);
  for (int key = 1; key <= analysis.keyCount; ++key) {
    if (defined.count(static_cast<unsigned>(key)) != 0) continue;
    char label[16];
    std::snprintf(label, sizeof label, "%02d", key);
    char sort[16];
    std::snprintf(sort, sizeof sort, "3%03d", key);
    maker.Add(label, kKindValue, "starts key " + std::to_string(key) + ", not yet defined", sort, label, label);
  }
}

}  // namespace

Json CompletionJson(const DocumentView& view, Position position, bool snippets) {
  const std::string& bytes = view.analysis.encoded.bytes;
  const std::size_t cursor = view.ByteOffsetOf(position);
  const std::size_t start = TypedTagStart(bytes, cursor);
  if (start == std::string::npos) return Json::array();
  ItemMaker maker{view, view.RangeJson(start, cursor), cursor >= bytes.size() || bytes[cursor] != '>', snippets};
  const std::size_t firstByte = bytes.find_first_not_of("\r\n");
  AddKeywords(maker, start == firstByte + 1);
  if (view.layout.usable()) AddKeyNames(maker, view.layout);
  AddFreeKeys(maker, view.analysis);
  return Json{{"isIncomplete", false}, {"items", std::move(maker.items)}};
}

}  // namespace lumivane::lsp
