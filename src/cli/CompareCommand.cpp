#include "cli/CompareCommand.h"

#include <cstdio>

#include "cli/ExitStatus.h"
#include "cli/KeypadSession.h"
#include "download/DownloadChain.h"
#include "link/StoredImage.h"
#include "translator/ImageComparison.h"

namespace lumivane {

int RunCompareCommand(const CliCompareOptions& options, const LaunchPaths& paths) {
  KeypadSession session;
  ChooseFromOptions(options, paths, &session);
  session.choices.job = KeypadJob::ReadLayer;

  session.onSuccess = [&](const DownloadChain& chain) {
    const LayerRead& read = chain.layerRead();
    const ImageBuilder& built = chain.builder();
    // The keypad's image is taken as the source's: a key table of the
    // source's size, relocated to where the layer starts.
    const int tableEnd = built.tableSize();
    const std::vector<std::uint8_t> held =
        RestoreImageOffsets(read.stored.data(), read.stored.size(), tableEnd, read.start);
    std::vector<std::string> differences =
        DescribeImageDifferences(built.image(), built.imageLength(), held.data(), held.size(), tableEnd);
    if (differences.empty()) {
      std::printf("The Quintrel's layer %d holds the image of %s (%zu bytes)\n", read.layer,
                  options.source.c_str(), held.size());
      return exit_status::kSuccess;
    }
    std::printf("The Quintrel's layer %d holds another image than %s\n", read.layer, options.source.c_str());
    if (read.tableEnd != tableEnd) {
      std::printf("Key table: %d keys in the source, %d on the Quintrel\n",
                  tableEnd == kKeyTableEnd360 ? 360 : 120, read.tableEnd == kKeyTableEnd360 ? 360 : 120);
    }
    for (const std::string& line : differences) std::printf("%s\n", line.c_str());
    return exit_status::kKeypadDiffers;
  };
  return RunKeypadSession(session, paths);
}

}  // namespace lumivane
