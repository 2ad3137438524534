#include "cli/DiagnosticPrinter.h"

#include <cstdio>

#include "translator/ImageBuilder.h"
#include "translator/RegularFile.h"

namespace lumivane {

namespace {

// Longest source line shown under a diagnostic; a longer one would wrap
// into a block in which no caret can be found.
constexpr std::size_t kLongestShownLine = 512;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at `text`, or 0 when the byte
// there starts none (an ASCII byte is a sequence of 1).
std::size_t Utf8Length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;  // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  const auto second = static_cast<unsigned char>(text[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) return 0;
  }
  return length;
}

std::string Number(std::uint64_t value) { return std::to_string(static_cast<unsigned long long>(value)); }

}  // namespace

std::string CompilerLine(const std::string& file, const TranslationDiagnostic& diagnostic) {
  return file + ":" + Number(diagnostic.line) + ":" + Number(diagnostic.column) +
         ": error: " + DiagnosticText(diagnostic);
}

std::string CaretLines(std::string_view lineBytes, std::uint64_t column) {
  std::string shown, caret;
  std::size_t i = 0;
  while (i < lineBytes.size()) {
    const auto byte = static_cast<unsigned char>(lineBytes[i]);
    std::size_t length = 1;
    if (byte == '\t') {
      shown += '\t';
    } else if (byte >= 0x20 && byte < 0x7F) {
      shown += static_cast<char>(byte);
    } else if (byte >= 0x80 && (length = Utf8Length(lineBytes.substr(i))) > 0) {
      shown.append(lineBytes.substr(i, length));
    } else {
      length = 1;
      shown += '?';
    }
    // The cell of this character lies before the column: pad under it.
    if (i + length < column) caret += byte == '\t' ? '\t' : ' ';
    i += length;
  }
  // A column past the line's end (the source ended there) pads on.
  for (std::uint64_t cell = lineBytes.size() + 1; cell < column && cell <= kLongestShownLine; ++cell) caret += ' ';
  return shown + "\n" + caret + "^\n";
}

bool ReadSourceLine(const std::string& path, std::uint64_t line, std::string* bytes) {
  // Only the regular file that was translated: a FIFO or device put there
  // since would make the open or the reads wait.
  ReadableFile source = OpenRegularFile(path);
  if (source.outcome != OpenOutcome::Opened) return false;
  std::FILE* file = ::fdopen(source.fd(), "rb");
  if (!file) return false;
  source.Release();
  std::uint64_t current = 1;
  bytes->clear();
  bool tooLong = false;
  int c;
  while ((c = std::fgetc(file)) != EOF) {
    if (c == '\n') {
      if (current == line) break;
      ++current;
      continue;
    }
    if (current != line) continue;
    if (bytes->size() == kLongestShownLine) {
      tooLong = true;
      break;
    }
    bytes->push_back(static_cast<char>(c));
  }
  std::fclose(file);
  if (current != line || tooLong) return false;
  if (!bytes->empty() && bytes->back() == '\r') bytes->pop_back();
  return true;
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    if (byte == '"' || byte == '\\') {
      json += '\\';
      json += static_cast<char>(byte);
    } else if (byte >= 0x20 && byte < 0x7F) {
      json += static_cast<char>(byte);
    } else if (byte >= 0x80 && (length = Utf8Length(text.substr(i))) > 0) {
      json.append(text.substr(i, length));
    } else {
      length = 1;
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      json += escaped;
    }
    i += length;
  }
  return json + "\"";
}

std::string JsonLine(const std::string& file, const TranslationDiagnostic& diagnostic) {
  return "{\"file\":" + JsonString(file) + ",\"line\":" + Number(diagnostic.line) +
         ",\"column\":" + Number(diagnostic.column) + ",\"kind\":\"" + DiagnosticKindName(diagnostic.kind) +
         "\",\"message\":" + JsonString(diagnostic.message) +
         ",\"suggestion\":" + (diagnostic.suggestion.empty() ? "null" : JsonString(diagnostic.suggestion)) + "}";
}

void PrintCompilerDiagnostics(std::FILE* out, const std::string& file, const ImageBuilder& builder,
                              bool withSourceLine) {
  for (const TranslationDiagnostic& diagnostic : builder.diagnostics()) {
    std::fprintf(out, "%s\n", CompilerLine(file, diagnostic).c_str());
    std::string line;
    if (withSourceLine && ReadSourceLine(file, diagnostic.line, &line)) {
      std::fputs(CaretLines(line, diagnostic.column).c_str(), out);
    }
  }
  std::fflush(out);
}

}  // namespace lumivane
