#include "cli/CheckCommand.h"

#include <unistd.h>

#include <cstdio>

#include "app/EmulatorFiles.h"
#include "cli/DiagnosticPrinter.h"
#include "common/ExitStatus.h"
#include "translator/ImageBuilder.h"

namespace lumivane {

namespace {

// The failure lines of a source or emulator that cannot be used, as the
// translate command shows them, on standard error.
void PrintUnusable(DownloadState state, const std::string& path, const ImageBuilder& builder) {
  if (const char* line = StatusLineFor(state)) std::fprintf(stderr, "%s\n", line);
  const std::string& detail = builder.detailLine();
  std::fprintf(stderr, "%s\n", detail.empty() ? path.c_str() : detail.c_str());
}

}  // namespace

int RunCheckCommand(const CliCheckOptions& options, const LaunchPaths& paths) {
  const bool json = options.format == "json";
  const bool withSourceLine = !json && isatty(STDERR_FILENO);
  TranslationInput input;
  input.emulatorPath = EmulatorPathFor(options.emulator, paths.emulatorDirectories);
  input.keysText = options.keys;
  input.pcAtLink = options.link == "pcat";

  ImageBuilder builder;
  builder.SetErrorLimit(kCheckErrorsPerSource);
  int status = exit_status::kSuccess;
  for (const std::string& source : options.sources) {
    input.sourcePath = source;
    const DownloadState state = builder.Translate(input);
    if (state == DownloadState::EmulatorUnavailable) {
      PrintUnusable(state, input.emulatorPath, builder);
      return exit_status::kEmulatorUnavailable;
    }
    if (state == DownloadState::SourceUnavailable) {
      PrintUnusable(state, source, builder);
      status = exit_status::kSourceUnavailable;
      continue;
    }
    if (state != DownloadState::TranslationError) continue;
    if (status == exit_status::kSuccess) status = exit_status::kTranslationError;
    if (json) {
      for (const TranslationDiagnostic& diagnostic : builder.diagnostics()) {
        std::printf("%s\n", JsonLine(source, diagnostic).c_str());
      }
      std::fflush(stdout);
    } else {
      PrintCompilerDiagnostics(stderr, source, builder, withSourceLine);
    }
    if (builder.errorLimitReached()) {
      std::fprintf(stderr, "%s: too many errors; checking stopped after %zu\n", source.c_str(),
                   kCheckErrorsPerSource);
    }
  }
  return status;
}

}  // namespace lumivane
