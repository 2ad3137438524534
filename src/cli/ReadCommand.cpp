#include "cli/ReadCommand.h"

#include <cstdio>

#include "common/ExitStatus.h"
#include "cli/ImageFile.h"
#include "cli/KeypadSession.h"
#include "download/DownloadChain.h"
#include "link/StoredImage.h"
#include "translator/ImageListing.h"

namespace lumivane {

int ForcedTableEnd(const std::string& keys) {
  if (keys.empty()) return 0;
  return keys == "360" ? kKeyTableEnd360 : kKeyTableEnd120;
}

namespace {

// --keys chooses between the key-table sizes an image could have. One that
// the image cannot have (a 120-key image read with --keys 360) is refused:
// 0 when the table stands, else the exit status.
int ApplyForcedTable(const std::string& keys, LayerRead* read) {
  const int forced = ForcedTableEnd(keys);
  if (forced == 0 || forced == read->tableEnd) return exit_status::kSuccess;
  if (RecogniseKeyTable(read->stored.data(), read->stored.size(), read->start, forced).recognised) {
    read->tableEnd = forced;
    return exit_status::kSuccess;
  }
  std::printf("Layer %d holds an image with the %d-key table, not one for %d keys (--keys %s)\n", read->layer,
              read->tableEnd == kKeyTableEnd360 ? 360 : 120, forced == kKeyTableEnd360 ? 360 : 120,
              keys.c_str());
  return exit_status::kLayerEmpty;
}

int WriteLayer(const CliReadOptions& options, LayerRead read, const std::vector<InputFile>& inputs) {
  if (const int refused = ApplyForcedTable(options.keys, &read); refused != 0) return refused;
  const std::vector<std::uint8_t> image = options.raw ? read.stored : read.Image();
  std::fflush(stdout);
  const ReplaceResult written =
      WriteImageFile(options.output, image.data(), image.size(), inputs, ImageTarget::FileOnly);
  if (!written) {
    std::fprintf(stderr, "Unable to write the image to %s: %s\n", options.output.c_str(),
                 ReplaceFailureReason(written).c_str());
    return exit_status::kOutputUnwritable;
  }
  std::printf("Layer %d: %zu bytes from 0x%04X to 0x%04X, %d keys, written to %s\n", read.layer, image.size(),
              read.start, read.last, read.tableEnd == kKeyTableEnd360 ? 360 : 120, options.output.c_str());
  if (options.listing) {
    const std::uint16_t entryBase = options.raw ? read.start : 0;
    std::fputs(FormatImageListing(image.data(), image.size(), read.tableEnd, entryBase).c_str(), stdout);
  }
  return exit_status::kSuccess;
}

}  // namespace

int RunReadCommand(const CliReadOptions& options, const LaunchPaths& paths) {
  KeypadSession session = SessionFor(options, paths);
  DownloadChoices& choices = session.choices;
  choices.job = KeypadJob::ReadLayer;

  const std::vector<InputFile> inputs = LookUpInputs({{"the emulator file", choices.emulatorFile}});
  if (const int refused = RefuseSessionOutput("the image", options.output, inputs); refused != 0)
    return refused;
  // The layer is read with the table recognised, so that --keys can be
  // checked against what the keypad holds.
  session.onSuccess = [&](const DownloadChain& chain) {
    return WriteLayer(options, chain.layerRead(), inputs);
  };
  return RunKeypadSession(session, paths);
}

}  // namespace lumivane
