#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "translator/TranslationDiagnostic.h"

namespace lumivane {

class ImageBuilder;

// "FILE:LINE:COL: error: MESSAGE (did you mean <X>?)", the form editors jump from.
std::string CompilerLine(const std::string& file, const TranslationDiagnostic& diagnostic);

// The source line as a terminal may show it, and under it a caret at the
// byte column: tabs are kept (and repeated under the line, so the caret
// stays aligned), UTF-8 characters take one cell, every other byte that
// is not printable shows as '?'. Both lines end with a newline.
std::string CaretLines(std::string_view lineBytes, std::uint64_t column);

// The bytes of line `line` (1-based, LF-separated, without its LF and a
// trailing CR); nothing when the file cannot be read, has no such line, or
// the line is longer than is useful to show.
std::optional<std::string> ReadSourceLine(const std::string& path, std::uint64_t line);

// One JSON object on one line: file, line, column, kind, message, suggestion (null when none).
std::string JsonLine(const std::string& file, const TranslationDiagnostic& diagnostic);
// A JSON string literal: quotes, backslashes and control bytes escaped;
// valid UTF-8 kept, every other byte written as \u00NN (its Latin-1 reading).
std::string JsonString(std::string_view text);

// Prints every diagnostic of the builder's last translation in the compiler
// form, each followed by the source line and a caret when `withSourceLine`.
void PrintCompilerDiagnostics(std::FILE* out, const std::string& file, const ImageBuilder& builder,
                              bool withSourceLine);

}  // namespace lumivane
