// The error sites of ImageBuilder: what it records when a source is wrong,
// and how it reads on when it collects every error.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "translator/EmulatorTable.h"
#include "translator/ImageBuilder.h"
#include "translator/NameSuggestion.h"
#include "translator/SourceReader.h"
#include "translator/TagLexer.h"

namespace lumivane {

namespace {

constexpr const char* kKeywords[] = {"DELAY", "RDELAY", "REM", "RE-", "-PEAT", "OUT", "WAITACK", "REPORT"};

bool IsTagError(DiagnosticKind kind) {
  return kind == DiagnosticKind::BadFirstTag || kind == DiagnosticKind::SecondTagNotDelay ||
         kind == DiagnosticKind::OutZero || kind == DiagnosticKind::UnknownName ||
         kind == DiagnosticKind::KeyOutOfRange;
}

// Text that atoi reads a number from: blanks, a sign, then a digit.
bool HoldsNumber(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  if (*text == '+' || *text == '-') ++text;
  return *text >= '0' && *text <= '9';
}

}  // namespace

bool ImageBuilder::Fail(const Run& run, DiagnosticKind kind) {
  const SourceReader& reader = run.reader;
  ErrorSite site;
  site.kind = kind;
  site.sourceEnded = reader.eofCount() != 0;
  site.afterHeader = headerRead_;
  site.keyLimit = keyLimit_;
  site.keyCount = keyLimit_ == 231 ? 120 : 360;

  TranslationDiagnostic diagnostic;
  diagnostic.kind = kind;
  diagnostic.line = reader.fullLineNumber();
  diagnostic.column = reader.column();
  if (IsTagError(kind) && !site.sourceEnded) {
    site.tagName = run.lexer.tagName();
    site.tagValue = tagValue_;
    diagnostic.text = "<" + site.tagName + ">";
    if (kind == DiagnosticKind::BadFirstTag) DescribeFirstTag(&site, &diagnostic);
    if (kind == DiagnosticKind::SecondTagNotDelay) DescribeSecondTag(&site, &diagnostic);
  } else if (kind == DiagnosticKind::UntypableChar) {
    site.character = reader.currentChar();
    diagnostic.text.assign(1, static_cast<char>(site.character));
  }
  if (errorSentences_) {
    site.layoutName = layoutName_;
    diagnostic.message = DescribeError(site);
    if (kind == DiagnosticKind::UnknownName) diagnostic.suggestion = SuggestTag(site.tagName, run.emulator);
  }
  diagnostics_.push_back(std::move(diagnostic));
  errorLimitReached_ = diagnostics_.size() >= errorLimit_;
  return errorLimitReached_;
}

// The first tag is read from the file's first byte: its name starts with
// the file's '<', or, when text comes first, with that text.
void ImageBuilder::DescribeFirstTag(ErrorSite* site, TranslationDiagnostic* diagnostic) const {
  if (!site->tagName.empty() && site->tagName[0] == '<') {
    site->tagName.erase(0, 1);
    diagnostic->text = "<" + site->tagName + ">";
    return;
  }
  site->textBeforeHeader = true;
  diagnostic->text = site->tagName + ">";
}

// The character after the first tag is taken as the second tag's '<'
// unread: when it is something else, the name read holds text that is no
// tag of the file. The error is that character, and it is pointed at.
void ImageBuilder::DescribeSecondTag(ErrorSite* site, TranslationDiagnostic* diagnostic) const {
  site->secondTagOpener = secondTagOpener_.value;
  site->delayAfterGap = site->tagName == "<DELAY";
  if (secondTagOpener_.value == '<' && !site->delayAfterGap) return;
  diagnostic->line = secondTagOpener_.line;
  diagnostic->column = secondTagOpener_.column;
  diagnostic->text.assign(1, static_cast<char>(secondTagOpener_.value));
}

DownloadState ImageBuilder::End(const Run& run, DiagnosticKind kind) {
  Fail(run, kind);
  // The translation ends here anyway; the limit did not cut anything off.
  errorLimitReached_ = false;
  return DownloadState::TranslationError;
}

bool ImageBuilder::FailKeyTag(const Run& run) {
  // A number (even 0) makes it a key tag with a bad number; a word alone
  // (<ENTRE>) is a name the layout does not know.
  const bool keyNumber = tagValue_ != 0 || HoldsNumber(run.lexer.numberText());
  return Fail(run, keyNumber ? DiagnosticKind::KeyOutOfRange : DiagnosticKind::UnknownName);
}

bool ImageBuilder::SkipToNextTagOrLine(SourceReader& reader) {
  // A character error is often one of many (a pasted binary, a wrong
  // encoding): one report per line is enough.
  const std::uint64_t line = reader.fullLineNumber();
  while (reader.ReadChar() == 0) {
    if (reader.currentChar() == '<' || reader.fullLineNumber() != line) return true;
  }
  return false;
}

std::string ImageBuilder::SuggestTag(const std::string& name, EmulatorTable& emulator) {
  // Gathered once per translation: a source may misspell many names.
  if (suggestionCandidates_.empty()) {
    suggestionCandidates_.assign(std::begin(kKeywords), std::end(kKeywords));
    const std::vector<std::string_view> keyNames = emulator.TagNames();
    suggestionCandidates_.insert(suggestionCandidates_.end(), keyNames.begin(), keyNames.end());
  }
  const std::string nearest = NearestName(name, suggestionCandidates_);
  if (nearest.empty()) return {};
  return "<" + PrintableBytes(nearest) + ">";
}

void ImageBuilder::ComposeDetailLine() {
  if (diagnostics_.empty() || !errorSentences_) return;
  const TranslationDiagnostic& first = diagnostics_.front();
  char position[48];
  std::snprintf(position, sizeof position, "%llu:%llu: ", static_cast<unsigned long long>(first.line),
                static_cast<unsigned long long>(first.column));
  detailLine_ = (sourceName_.empty() ? "" : sourceName_ + ":") + position + DiagnosticText(first);
}

}  // namespace lumivane
