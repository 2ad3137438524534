#include "cli/TranslateCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/EmulatorFiles.h"
#include "app/FileReplacement.h"
#include "cli/ExitStatus.h"
#include "translator/ImageBuilder.h"
#include "translator/ImageListing.h"

namespace lumivane {

namespace {

// A file the translation reads, which the image must never overwrite.
struct InputFile {
  const char* role;  // "the source", "the emulator file"
  std::string path;
  struct stat info {};
  bool exists = false;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The input that the output names, through any path, link or hard link.
const InputFile* InputNamedBy(const std::string& output, const std::vector<InputFile>& inputs) {
  struct stat info {};
  if (::stat(output.c_str(), &info) != 0) return nullptr;
  for (const InputFile& input : inputs) {
    if (input.exists && SameFile(info, input.info)) return &input;
  }
  return nullptr;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t length) {
  std::size_t written = 0;
  while (written < length) {
    const ssize_t n = ::write(fd, bytes + written, length - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// A FIFO or a character device (a pipe, /dev/null, a terminal) takes the
// image as a stream: it cannot be replaced, and must not be.
int WriteToStream(const std::string& path, const std::uint8_t* bytes, std::size_t length) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = WriteAll(fd, bytes, length) ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// Writes the image to a regular file through a temporary file and a rename,
// so that a failure leaves the old file as it was and no partial one.
ReplaceResult WriteImage(const std::string& path, const std::uint8_t* bytes, std::size_t length,
                         const std::vector<InputFile>& inputs) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
    const int error = WriteToStream(path, bytes, length);
    return {error == 0 ? ReplaceFailure::None : ReplaceFailure::System, error};
  }
  ReplaceOptions options;
  options.readCurrent = false;
  for (const InputFile& input : inputs) {
    if (input.exists) options.protectedFiles.emplace_back(input.info.st_dev, input.info.st_ino);
  }
  return ReplaceFile(path, options, [&](const CurrentFile&, std::string* content) {
    content->assign(reinterpret_cast<const char*>(bytes), length);
    return true;
  });
}

std::string Reason(const ReplaceResult& result) {
  switch (result.failure) {
    case ReplaceFailure::NotRegular: return "not a regular file";
    case ReplaceFailure::NotWritable: return "not writable";
    default: return std::strerror(result.error);
  }
}

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

  std::vector<InputFile> inputs = {{"the source", input.sourcePath}, {"the emulator file", input.emulatorPath}};
  for (InputFile& file : inputs) file.exists = ::stat(file.path.c_str(), &file.info) == 0;
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
    if (!builder.detailLine().empty()) std::printf("%s\n", builder.detailLine().c_str());
    return static_cast<int>(state);
  }
  if (!options.output.empty()) {
    std::fflush(stdout);
    const ReplaceResult written = WriteImage(options.output, builder.image(), builder.imageLength(), inputs);
    if (written.failure == ReplaceFailure::Protected) {
      // Made a name of an input after the first look.
      if (const InputFile* named = InputNamedBy(options.output, inputs)) {
        return RefuseOverwrite(options.output, *named);
      }
    }
    if (!written) {
      std::fprintf(stderr, "Unable to write the image to %s: %s\n", options.output.c_str(),
                   Reason(written).c_str());
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
