#include "cli/TranslateCommand.h"

#include <cstdio>
#include <vector>

#include "app/EmulatorFiles.h"
#include "common/ExitStatus.h"
#include "cli/ImageFile.h"
#include "cli/TranslationFailure.h"
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
    return PrintTranslationFailure(state, builder, options.source, options.emulator, input.emulatorPath, paths);
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
