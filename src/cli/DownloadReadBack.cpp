#include "cli/DownloadReadBack.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "cli/DownloadCommand.h"
#include "common/ExitStatus.h"
#include "cli/ImageFile.h"
#include "cli/KeypadSession.h"
#include "translator/ImageBuilder.h"

namespace lumivane {

namespace {

// A PC/AT read: a pause of 100 ms, twelve typematic settings, and the
// keypad typing two keys.
constexpr std::uint32_t kPcAtReadSeconds = 1;

// One answer line from the terminal; true for y or yes.
bool ReadYes(int fd) {
  std::string answer;
  char c = 0;
  while (::read(fd, &c, 1) == 1 && c != '\n')
    answer += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "y" || answer == "yes";
}

// The estimate counts the image and the pointer written (the layer-1
// start adds two bytes more when the transfer rewrites it).
int ConfirmPcAtVerify(const DownloadChoices& choices) {
  ImageBuilder builder;
  TranslationInput input{choices.sourcePath, choices.emulatorFile, choices.keysText, true};
  // A source that does not translate is reported by the download itself.
  if (builder.Translate(input) != DownloadState::ImageReady) return 0;
  const std::string estimate = PcAtReadTimeText(builder.imageLength() + 2u);
  if (!isatty(STDIN_FILENO)) {
    std::fprintf(stderr,
                 "--verify on the PC/AT link reads every byte back, %s: confirm on a terminal, or "
                 "give --yes\n",
                 estimate.c_str());
    return exit_status::kNotConfirmed;
  }
  std::fprintf(stderr, "--verify on the PC/AT link reads every byte back, %s. Go on? [y/N] ",
               estimate.c_str());
  std::fflush(stderr);
  if (ReadYes(STDIN_FILENO)) return 0;
  std::fprintf(stderr, "Not confirmed: nothing was sent\n");
  return exit_status::kNotConfirmed;
}

}  // namespace

std::string PcAtReadTimeText(std::uint32_t bytes) {
  const std::uint32_t seconds = bytes * kPcAtReadSeconds;
  char text[80];
  if (seconds < 120) {
    std::snprintf(text, sizeof text, "about %u s for %u bytes", seconds, bytes);
  } else {
    std::snprintf(text, sizeof text, "about %u minutes for %u bytes", (seconds + 59) / 60, bytes);
  }
  return text;
}

int PrepareReadBack(const CliDownloadOptions& options, KeypadSession* session) {
  DownloadChoices& choices = session->choices;
  choices.verify = options.verify;
  if (options.verify && choices.link == LinkKind::PcAt && !options.yes) {
    if (const int refused = ConfirmPcAtVerify(choices); refused != 0) return refused;
  }
  if (options.backup.empty()) return 0;

  choices.backupPath = options.backup;
  const std::vector<InputFile> inputs =
      LookUpInputs({{"the source", choices.sourcePath}, {"the emulator file", choices.emulatorFile}});
  if (const int refused = RefuseSessionOutput("the backup", options.backup, inputs); refused != 0)
    return refused;
  session->saveBackup = [inputs](const std::string& path, const std::vector<std::uint8_t>& image) {
    const ReplaceResult written =
        WriteImageFile(path, image.data(), image.size(), inputs, ImageTarget::FileOnly);
    if (written) return BackupResult{true, {}};
    // A problem with a file the command writes: on standard error, as every
    // refusal of an output; the status log gets no line for it.
    std::fflush(stdout);
    std::fprintf(stderr, "Unable to write the backup to %s: %s\n", path.c_str(),
                 ReplaceFailureReason(written).c_str());
    return BackupResult{false, {}};
  };
  return 0;
}

}  // namespace lumivane
