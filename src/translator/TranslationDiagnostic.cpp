#include "translator/TranslationDiagnostic.h"

#include <cstdio>

namespace lumivane {

const char* DiagnosticKindName(DiagnosticKind kind) {
  switch (kind) {
    case DiagnosticKind::BadFirstTag: return "bad_first_tag";
    case DiagnosticKind::MissingBody: return "missing_body";
    case DiagnosticKind::SecondTagNotDelay: return "second_tag_not_delay";
    case DiagnosticKind::IncompleteTag: return "incomplete_tag";
    case DiagnosticKind::OutZero: return "out_zero";
    case DiagnosticKind::UnknownName: return "unknown_name";
    case DiagnosticKind::KeyOutOfRange: return "key_out_of_range";
    case DiagnosticKind::UntypableChar: return "untypable_char";
    case DiagnosticKind::ImageTooLarge: return "image_too_large";
  }
  return "unknown";
}

std::string DiagnosticText(const TranslationDiagnostic& diagnostic) {
  if (diagnostic.suggestion.empty()) return diagnostic.message;
  return diagnostic.message + " (did you mean " + diagnostic.suggestion + "?)";
}

std::string PrintableBytes(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      text += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  return text;
}

namespace {

std::string DescribeTag(const std::string& name) { return "<" + PrintableBytes(name) + ">"; }

std::string DescribeChar(unsigned char c) {
  char text[16];
  if (c > 0x20 && c < 0x7F) {
    std::snprintf(text, sizeof text, "'%c'", c);
  } else if (c == ' ') {
    std::snprintf(text, sizeof text, "blank");
  } else {
    std::snprintf(text, sizeof text, "0x%02X", c);
  }
  return text;
}

std::string DescribeFirstTagError(const ErrorSite& site) {
  char text[200];
  if (site.sourceEnded) return "the source ends inside its first tag: it must begin with <HEADER>";
  if (site.textBeforeHeader) {
    std::snprintf(text, sizeof text,
                  "a source begins with <HEADER> and then <DELAY n>: the text up to the first '>' is "
                  "read as its first tag, and holds the number %u, not 0",
                  site.tagValue);
    return text;
  }
  std::snprintf(text, sizeof text, "the first tag %s must have the number 0, as <HEADER> has, not %u",
                DescribeTag(site.tagName).c_str(), site.tagValue);
  return text;
}

std::string DescribeSecondTagError(const ErrorSite& site) {
  const unsigned char opener = site.secondTagOpener;
  const std::string what = opener == ' ' ? "a blank" : opener == '\t' ? "a tab" : DescribeChar(opener);
  if (site.delayAfterGap) {
    return "put <DELAY n> directly after <HEADER> or on the next line, with nothing between them (here " +
           what + ")";
  }
  if (site.secondTagOpener != '<')
    return "a source begins with <HEADER> and then <DELAY n>, but " + what + " follows the first tag";
  return "the second tag must be <DELAY n>, not " + DescribeTag(site.tagName);
}

}  // namespace

std::string DescribeError(const ErrorSite& site) {
  char text[160];
  const std::string tag = DescribeTag(site.tagName);
  switch (site.kind) {
    case DiagnosticKind::BadFirstTag: return DescribeFirstTagError(site);
    case DiagnosticKind::MissingBody:
      if (!site.afterHeader) return "the source ends after its first tag: the header needs <DELAY n> next";
      return "nothing follows the header: a source needs at least one character after <DELAY n>";
    case DiagnosticKind::SecondTagNotDelay: return DescribeSecondTagError(site);
    case DiagnosticKind::IncompleteTag:
      return "the source ends inside a tag: a '<' has no closing '>'";
    case DiagnosticKind::OutZero:
      std::snprintf(text, sizeof text,
                    "<OUT %u> sends nothing: an OUT number must be 1 to 255 (its low 8 bits must not be 0)",
                    site.tagValue);
      return text;
    case DiagnosticKind::UnknownName:
      if (site.tagName.empty()) return "a tag needs a name or a key number";
      return "unknown key name " + tag;
    case DiagnosticKind::KeyOutOfRange:
      std::snprintf(text, sizeof text, "key number %u is out of range: key numbers run from 1 to %d with %d keys",
                    site.tagValue, site.keyLimit - 1, site.keyCount);
      return text;
    case DiagnosticKind::UntypableChar: {
      const std::string layout = site.layoutName.empty() ? "the layout" : "the layout " + PrintableBytes(site.layoutName);
      return layout + " cannot type the character " + DescribeChar(site.character);
    }
    case DiagnosticKind::ImageTooLarge:
      return "the image would be larger than 65,535 bytes";
  }
  return "translation error";
}

}  // namespace lumivane
