#include "cli/TranslateCommand.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "app/EmulatorFiles.h"
#include "cli/DiagnosticPrinter.h"
#include "common/ExitStatus.h"
#include "cli/ImageFile.h"
#include "download/FailureDetails.h"
#include "translator/ImageBuilder.h"
#include "translator/ImageListing.h"

namespace lumivane {

namespace {

int RefuseOverwrite(const std::string& output, const InputFile& input) {
  std::fprintf(stderr, "Unable to write the image to %s: it is %s %s\n", output.c_str(), input.role,
               input.path.c_str());
  return exit_status::kOutputIsInput;
}

}  // namespace

int RunTranslateCommand(const CliTranslateOptions& options, const LaunchPaths& paths) {
  TranslationInput input;
  input.sourcePath = options.source;
  input.emulatorPath = EmulatorPathFor(options.emulator, paths.emulatorDirectories);
  input.keysText = options.keys;
  input.pcAtLink = options.link == "pcat";

  const std::vector<InputFile> inputs =
      LookUpInputs({{"the source", input.sourcePath}, {"the emulator file", input.emulatorPath}});
  if (!options.output.empty()) {
    if (const InputFile* named = InputNamedBy(options.output, inputs)) {
      return RefuseOverwrite(options.output, *named);
    }
  }

  ImageBuilder builder;
  const DownloadState state = builder.Translate(input);
  std::printf("Lines Translated: %05d\n", static_cast<int>(builder.lineNumber()));
  if (state != DownloadState::ImageReady) {
    const char* line = StatusLineFor(state);
    if (line) std::printf("%s\n", line);
    if (state == DownloadState::TranslationError) {
      // Standard output keeps its lines; where and why go to standard error.
      std::fflush(stdout);
      PrintCompilerDiagnostics(stderr, options.source, builder, isatty(STDERR_FILENO));
      return static_cast<int>(state);
    }
    // A layout name that matched no file: which folders were searched.
    std::string detail = state == DownloadState::EmulatorUnavailable
                             ? MissingLayoutDetailFor(options.emulator, input.emulatorPath,
                                                      LayoutFoldersFor(options.emulator, paths.emulatorDirectories))
                             : std::string();
    if (detail.empty()) detail = builder.detailLine();
    if (!detail.empty()) std::printf("%s\n", detail.c_str());
    return static_cast<int>(state);
  }
  if (!options.output.empty()) {
    std::fflush(stdout);
    const ReplaceResult written =
        WriteImageFile(options.output, builder.image(), builder.imageLength(), inputs);
    if (written.failure == ReplaceFailure::Protected) {
      // Made a name of an input after the first look.
      if (const InputFile* named = InputNamedBy(options.output, inputs)) {
        return RefuseOverwrite(options.output, *named);
      }
    }
    if (!written) {
      std::fprintf(stderr, "Unable to write the image to %s: %s\n", options.output.c_str(),
                   ReplaceFailureReason(written).c_str());
      return exit_status::kOutputUnwritable;
    }
  }
  if (options.listing) {
    std::fputs(FormatImageListing(builder.image(), builder.imageLength(), builder.tableSize()).c_str(),
               stdout);
  }
  return 0;
}

}  // namespace lumivane
