#include "cli/ReadCommand.h"

#include <cstdio>

#include "app/EmulatorFiles.h"
#include "cli/ExitStatus.h"
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

int RunReadCommand(const CliReadOptions& options, const LaunchPaths& paths) {
  KeypadSession session;
  DownloadChoices& choices = session.choices;
  choices.job = KeypadJob::ReadLayer;
  choices.emulatorName = options.emulator;
  choices.emulatorFile = EmulatorPathFor(options.emulator, paths.emulatorDirectories);
  choices.emulatorDirectories = LayoutFoldersFor(options.emulator, paths.emulatorDirectories);
  choices.portName = options.port;
  choices.link = CliLinkKind(options.link);
  choices.layer = options.layer == "2" ? 2 : 1;
  choices.waitLimit = std::chrono::milliseconds(static_cast<long long>(options.waitSeconds * 1000.0));
  choices.readTableEnd = ForcedTableEnd(options.keys);
  session.port = options.port;

  const std::vector<InputFile> inputs = LookUpInputs({{"the emulator file", choices.emulatorFile}});
  if (const int refused = RefuseSessionOutput("the image", options.output, inputs); refused != 0) return refused;

  session.onSuccess = [&](const DownloadChain& chain) {
    const LayerRead& read = chain.layerRead();
    const std::vector<std::uint8_t> image = options.raw ? read.stored : read.Image();
    std::fflush(stdout);
    const ReplaceResult written = WriteImageFile(options.output, image.data(), image.size(), inputs, ImageTarget::FileOnly);
    if (!written) {
      std::fprintf(stderr, "Unable to write the image to %s: %s\n", options.output.c_str(),
                   ReplaceFailureReason(written).c_str());
      return exit_status::kOutputUnwritable;
    }
    std::printf("Layer %d: %zu bytes from 0x%04X to 0x%04X, %d keys, written to %s\n", read.layer,
                image.size(), read.start, read.last, read.tableEnd == kKeyTableEnd360 ? 360 : 120,
                options.output.c_str());
    if (options.listing) {
      const std::uint16_t entryBase = options.raw ? read.start : 0;
      std::fputs(FormatImageListing(image.data(), image.size(), read.tableEnd, entryBase).c_str(), stdout);
    }
    return exit_status::kSuccess;
  };
  return RunKeypadSession(session, paths);
}

}  // namespace lumivane
