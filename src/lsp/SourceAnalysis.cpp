#include "lsp/SourceAnalysis.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "cli/CheckCommand.h"
#include "lsp/LoadedLayout.h"
#include "lsp/TextDocument.h"
#include "translator/ImageBuilder.h"

namespace lumivane::lsp {

namespace {

std::string CharacterName(char32_t character) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
  if (character < 0x20 || character == 0x7F || (character >= 0x80 && character < 0xA0)) return code;
  std::string shown = "'";
  AppendUtf8(shown, character);
  return shown + "' (" + code + ")";
}

// One finding per line for the characters the code page lacks, as the
// translator reports one untypable character per line.
void AddMissingCharacters(SourceAnalysis& analysis, const LoadedLayout& layout) {
  std::size_t lastLineEnd = 0, added = 0;
  const std::string& bytes = analysis.encoded.bytes;
  for (const EncodedText::Missing& missing : analysis.encoded.missing) {
    if (added == kCheckErrorsPerSource) break;
    if (added > 0 && missing.offset < lastLineEnd) continue;
    lastLineEnd = std::min(bytes.find('\n', missing.offset), bytes.size());
    Finding finding;
    finding.begin = missing.offset;
    finding.end = missing.offset + 1;
    finding.code = "not_in_code_page";
    finding.message = "the character " + CharacterName(missing.character) + " is not in code page " +
                      std::to_string(layout.codePage().number()) + ", in which sources for the layout " +
                      layout.name() + " are written";
    analysis.findings.push_back(std::move(finding));
    ++added;
  }
}

Finding FindingOf(const TranslationDiagnostic& diagnostic, const SourceOutline& outline, const ByteLines& lines,
                  std::size_t size) {
  Finding finding;
  finding.begin = lines.OffsetOf(diagnostic.line, diagnostic.column);
  finding.end = std::min(finding.begin + 1, size);
  finding.code = DiagnosticKindName(diagnostic.kind);
  finding.message = diagnostic.message;
  if (!diagnostic.suggestion.empty()) {
    if (const OutlineTag* tag = outline.TagClosedAt(finding.begin)) {
      finding.suggestion = diagnostic.suggestion;
      finding.fixBegin = tag->begin;
      finding.fixEnd = tag->end;
    }
  }
  return finding;
}

// The cost of each definition: from its mark to the next one.
void AddKeyCosts(SourceAnalysis& analysis, const std::vector<KeyMark>& marks, const ByteLines& lines) {
  std::map<std::size_t, std::size_t> keyOfTag;
  for (std::size_t i = 0; i < analysis.outline.keys.size(); ++i) keyOfTag[analysis.outline.keys[i].tag] = i;
  analysis.keyBytes.assign(analysis.outline.keys.size(), std::nullopt);
  for (std::size_t i = 0; i + 1 < marks.size(); ++i) {
    if (marks[i].key == 0) continue;
    const OutlineTag* tag = analysis.outline.TagClosedAt(lines.OffsetOf(marks[i].line, marks[i].column));
    if (!tag) continue;
    const auto found = keyOfTag.find(static_cast<std::size_t>(tag - analysis.outline.tags.data()));
    if (found == keyOfTag.end()) continue;
    analysis.keyBytes[found->second] = static_cast<unsigned>(marks[i + 1].imageOffset - marks[i].imageOffset);
  }
}

void SortFindings(std::vector<Finding>& findings) {
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.begin < b.begin; });
}

}  // namespace

Finding SourceFinding(std::string code, std::string message) {
  Finding finding;
  finding.code = std::move(code);
  finding.message = std::move(message);
  return finding;
}

std::string TooLargeMessage(std::size_t bytes) {
  return "the source holds " + std::to_string(bytes) + " bytes; sources above " +
         std::to_string(kMaxSourceBytes >> 20) + " MiB are not checked";
}

SourceAnalysis AnalyseSource(const std::string& text, LoadedLayout& layout, const std::string& keysText,
                             ImageBuilder& builder) {
  SourceAnalysis analysis;
  analysis.keyCount = keysText == "360" ? 360 : 120;
  analysis.keyLimit = keysText == "360" ? 691 : 231;
  analysis.encoded = EncodeText(text, layout.codePage());
  const std::string& bytes = analysis.encoded.bytes;
  analysis.outline = ReadOutline(bytes, layout.usable() ? &layout.table() : nullptr, analysis.keyLimit);
  if (!layout.usable()) {
    analysis.findings.push_back(SourceFinding("emulator_unavailable", layout.failure()));
    return analysis;
  }
  const ByteLines lines(bytes);
  builder.SetErrorLimit(kCheckErrorsPerSource);
  std::vector<KeyMark> marks;
  builder.SetKeyMarkObserver([&marks](const KeyMark& mark) { marks.push_back(mark); });
  analysis.state = builder.TranslateWith(bytes, layout.table(), layout.name(), keysText, false);
  analysis.translated = true;
  analysis.imageLength = builder.imageLength();
  for (const TranslationDiagnostic& diagnostic : builder.diagnostics()) {
    analysis.findings.push_back(FindingOf(diagnostic, analysis.outline, lines, bytes.size()));
  }
  AddMissingCharacters(analysis, layout);
  SortFindings(analysis.findings);
  AddKeyCosts(analysis, marks, lines);
  builder.SetKeyMarkObserver({});
  builder.ReleaseResults();
  return analysis;
}

}  // namespace lumivane::lsp
