#include "cli/ImageFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/ExitStatus.h"
#include "common/SystemErrorText.h"

namespace lumivane {

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

// A FIFO or a character device takes the image as a stream: it cannot be
// replaced, and must not be.
int WriteToStream(const std::string& path, const std::uint8_t* bytes, std::size_t length) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = WriteAll(fd, bytes, length) ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// An image never depends on the file it replaces; the inputs are never replaced.
ReplaceOptions ImageReplaceOptions(const std::vector<InputFile>& inputs) {
  ReplaceOptions options;
  options.readCurrent = false;
  for (const InputFile& input : inputs) {
    if (input.exists) options.protectedFiles.emplace_back(input.info.st_dev, input.info.st_ino);
  }
  return options;
}

}  // namespace

std::vector<InputFile> LookUpInputs(std::vector<InputFile> inputs) {
  for (InputFile& file : inputs) file.exists = ::stat(file.path.c_str(), &file.info) == 0;
  return inputs;
}

const InputFile* InputNamedBy(const std::string& output, const std::vector<InputFile>& inputs) {
  struct stat info {};
  if (::stat(output.c_str(), &info) != 0) return nullptr;
  for (const InputFile& input : inputs) {
    if (input.exists && SameFile(info, input.info)) return &input;
  }
  return nullptr;
}

ReplaceResult WriteImageFile(const std::string& path, const std::uint8_t* bytes, std::size_t length,
                             const std::vector<InputFile>& inputs, ImageTarget target) {
  struct stat info {};
  if (target == ImageTarget::FileOrStream && ::stat(path.c_str(), &info) == 0 &&
      (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
    const int error = WriteToStream(path, bytes, length);
    return {error == 0 ? ReplaceFailure::None : ReplaceFailure::System, error};
  }
  return ReplaceFile(path, ImageReplaceOptions(inputs), [&](const CurrentFile&) -> std::optional<std::string> {
    return std::string(reinterpret_cast<const char*>(bytes), length);
  });
}

int RefuseSessionOutput(const char* what, const std::string& path, const std::vector<InputFile>& inputs) {
  if (const InputFile* named = InputNamedBy(path, inputs)) {
    std::fprintf(stderr, "Unable to write %s to %s: it is %s %s\n", what, path.c_str(), named->role,
                 named->path.c_str());
    return exit_status::kOutputIsInput;
  }
  // The replacement's own checks, up to the point where it would write:
  // an edit that changes nothing leaves the file as it is.
  const ReplaceResult checked =
      ReplaceFile(path, ImageReplaceOptions(inputs), [](const CurrentFile&) { return std::optional<std::string>(); });
  if (checked) return exit_status::kSuccess;
  std::fprintf(stderr, "Unable to write %s to %s: %s\n", what, path.c_str(),
               ReplaceFailureReason(checked).c_str());
  return exit_status::kOutputUnwritable;
}

std::string ReplaceFailureReason(const ReplaceResult& result) {
  switch (result.failure) {
    case ReplaceFailure::NotRegular: return "not a regular file";
    case ReplaceFailure::NotWritable: return "not writable";
    case ReplaceFailure::Protected: return "it is an input of this command";
    default: return SystemErrorText(result.error);
  }
}

}  // namespace lumivane
