#include "cli/DiagnosticPrinter.h"

#include <cstdio>

#include "common/Utf8.h"
#include "translator/ImageBuilder.h"
#include "translator/RegularFile.h"

namespace lumivane {

namespace {

// Longest source line shown under a diagnostic; a longer one would wrap
// into a block in which no caret can be found.
constexpr std::size_t kLongestShownLine = 512;

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
    } else if (byte >= 0x80 && (length = ValidUtf8Sequence(lineBytes, i).length) > 0) {
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

std::optional<std::string> ReadSourceLine(const std::string& path, std::uint64_t line) {
  // Only the regular file that was translated: a FIFO or device put there
  // since would make the open or the reads wait.
  ReadableFile source = OpenRegularFile(path);
  if (source.outcome != OpenOutcome::Opened) return std::nullopt;
  std::FILE* file = ::fdopen(source.fd(), "rb");
  if (!file) return std::nullopt;
  source.Release();
  std::uint64_t current = 1;
  std::string bytes;
  bool tooLong = false;
  int c;
  while ((c = std::fgetc(file)) != EOF) {
    if (c == '\n') {
      if (current == line) break;
      ++current;
      continue;
    }
    if (current != line) continue;
    if (bytes.size() == kLongestShownLine) {
      tooLong = true;
      break;
    }
    bytes.push_back(static_cast<char>(c));
  }
  std::fclose(file);
  if (current != line || tooLong) return std::nullopt;
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  return bytes;
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
    } else if (byte >= 0x80 && (length = ValidUtf8Sequence(text, i).length) > 0) {
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
    if (!withSourceLine) continue;
    if (const std::optional<std::string> line = ReadSourceLine(file, diagnostic.line)) {
      std::fputs(CaretLines(*line, diagnostic.column).c_str(), out);
    }
  }
  std::fflush(out);
}

}  // namespace lumivane
