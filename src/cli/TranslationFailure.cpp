#include "cli/TranslationFailure.h"

#include <unistd.h>

#include <cstdio>

#include "app/EmulatorFiles.h"
#include "cli/DiagnosticPrinter.h"
#include "download/FailureDetails.h"
#include "translator/ImageBuilder.h"

namespace lumivane {

int PrintTranslationFailure(DownloadState state, const ImageBuilder& builder, const std::string& source,
                            const std::string& emulatorOption, const std::string& emulatorPath,
                            const LaunchPaths& paths) {
  const char* line = StatusLineFor(state);
  if (line) std::printf("%s\n", line);
  if (state == DownloadState::TranslationError) {
    // Standard output keeps its lines; where and why go to standard error.
    std::fflush(stdout);
    PrintCompilerDiagnostics(stderr, source, builder, isatty(STDERR_FILENO));
    return static_cast<int>(state);
  }
  // A layout name that matched no file: which folders were searched.
  std::string detail = state == DownloadState::EmulatorUnavailable
                           ? MissingLayoutDetailFor(emulatorOption, emulatorPath,
                                                    LayoutFoldersFor(emulatorOption, paths.emulatorDirectories))
                           : std::string();
  if (detail.empty()) detail = builder.detailLine();
  if (!detail.empty()) std::printf("%s\n", detail.c_str());
  return static_cast<int>(state);
}

}  // namespace lumivane
