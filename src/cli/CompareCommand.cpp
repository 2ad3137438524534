#include "cli/CompareCommand.h"

#include <cstdio>

#include "common/ExitStatus.h"
#include "cli/KeypadSession.h"
#include "download/DownloadChain.h"
#include "link/StoredImage.h"
#include "translator/ImageComparison.h"

namespace lumivane {

namespace {

int KeyCount(int tableEnd) { return tableEnd == kKeyTableEnd360 ? 360 : 120; }

int CompareWithSource(const CliCompareOptions& options, const DownloadChain& chain) {
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
  // Read with a table of the other size, the keys would be phantoms: the
  // entries of a 360-key table beyond key 230 are data of a 120-key image.
  const bool sameTable = read.tableEnd == tableEnd;
  if (!sameTable) {
    std::printf("Key table: %d keys in the source, %d on the Quintrel\n", KeyCount(tableEnd),
                KeyCount(read.tableEnd));
    differences = DescribeHeaderDifferences(built.image(), built.imageLength(), held.data(), held.size());
  }
  for (const std::string& line : differences) std::printf("%s\n", line.c_str());
  if (!sameTable) {
    std::printf("The keys are not compared: the Quintrel's image has the %d-key table, the source was "
                "translated for %d keys\n",
                KeyCount(read.tableEnd), KeyCount(tableEnd));
  }
  return exit_status::kKeypadDiffers;
}

}  // namespace

int RunCompareCommand(const CliCompareOptions& options, const LaunchPaths& paths) {
  KeypadSession session = SessionFor(options, paths);
  session.choices.job = KeypadJob::ReadLayer;
  session.onSuccess = [&](const DownloadChain& chain) { return CompareWithSource(options, chain); };
  return RunKeypadSession(session, paths);
}

}  // namespace lumivane
