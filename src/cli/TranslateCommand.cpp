#include "cli/TranslateCommand.h"

#include <cstdio>

#include "cli/ProgramDirectory.h"
#include "translator/ImageBuilder.h"
#include "translator/ImageListing.h"

namespace lumivane {

namespace {

bool WriteImage(const std::string& path, const std::uint8_t* bytes, std::size_t length) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes, 1, length, file) == length;
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace

int RunTranslateCommand(const CliTranslateOptions& options, const std::string& programDirectory) {
  TranslationInput input;
  input.sourcePath = options.source;
  input.emulatorPath = EmulatorPathFor(options.emulator, programDirectory);
  input.keysText = options.keys;
  input.pcAtLink = options.link == "pcat";

  ImageBuilder builder;
  const DownloadState state = builder.Translate(input);
  std::printf("Lines Translated: %05d\n", static_cast<int>(builder.lineNumber()));
  if (state != DownloadState::ImageReady) {
    const char* line = StatusLineFor(state);
    if (line) std::printf("%s\n", line);
    if (!builder.detailLine().empty()) std::printf("%s\n", builder.detailLine().c_str());
    return static_cast<int>(state);
  }
  if (!options.output.empty() &&
      !WriteImage(options.output, builder.image(), builder.imageLength())) {
    std::fprintf(stderr, "Unable to write the image to %s\n", options.output.c_str());
    return kExitOutputUnwritable;
  }
  if (options.listing) {
    std::fputs(FormatImageListing(builder.image(), builder.imageLength(), builder.tableSize()).c_str(),
               stdout);
  }
  return 0;
}

}  // namespace lumivane
