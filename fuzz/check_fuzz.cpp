// libFuzzer target: collecting every translation error, as lumivane-cli
// check does, must end on any input, with errors that point into the source
// in source order, each with its sentence, the first of them the one a
// single translation reports. Input: see FuzzTranslationInput.h.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "FuzzTranslationInput.h"
#include "translator/ImageBuilder.h"

namespace {

using fuzzing::Check;

// Enough to cover resuming after every kind of error; a storm of them
// would only slow every run down (the command line allows 100).
constexpr std::size_t kErrorLimit = 8;

// Every diagnostic lies within the source, in source order, and the first
// is the single translation's.
void CheckDiagnostics(const lumivane::ImageBuilder& single, const lumivane::ImageBuilder& all,
                      std::string_view source) {
  const auto& diagnostics = all.diagnostics();
  Check(single.diagnostics().size() <= 1, "a single translation reports at most one error");
  Check(single.diagnostics().empty() == diagnostics.empty(), "both runs fail or neither does");
  if (diagnostics.empty()) return;
  const lumivane::TranslationDiagnostic& first = single.diagnostics().front();
  Check(first.kind == diagnostics.front().kind && first.line == diagnostics.front().line &&
            first.column == diagnostics.front().column && first.text == diagnostics.front().text,
        "the first error is the single translation's");
  const std::uint64_t lines = 1 + static_cast<std::uint64_t>(std::count(source.begin(), source.end(), '\n'));
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    const lumivane::TranslationDiagnostic& d = diagnostics[i];
    Check(d.line >= 1 && d.line <= lines, "line within the source");
    Check(d.column >= 1 && d.column <= source.size() + 1, "column within the source");
    Check(!d.message.empty(), "every error says what is wrong");
    if (i > 0) {
      const auto& before = diagnostics[i - 1];
      Check(before.line < d.line || (before.line == d.line && before.column < d.column),
            "errors in source order, one per position");
    }
  }
  Check(diagnostics.size() <= kErrorLimit, "the error limit holds");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const fuzzing::TranslationInput input = fuzzing::SplitInput(data, size);
  static lumivane::ImageBuilder single;
  single.SetErrorSentences(false);
  const lumivane::DownloadState state =
      single.TranslateBytes(input.source, input.layout, input.keysText, input.pcAtLink);
  if (state == lumivane::DownloadState::TranslationError) {
    static lumivane::ImageBuilder collector;
    collector.SetErrorLimit(kErrorLimit);
    collector.TranslateBytes(input.source, input.layout, input.keysText, input.pcAtLink);
    CheckDiagnostics(single, collector, input.source);
    collector.ReleaseResults();
  }
  // Whatever this input allocated is freed with it (see translate_fuzz).
  single.ReleaseResults();
  return 0;
}
