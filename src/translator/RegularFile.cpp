#include "translator/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/SystemErrorText.h"

namespace lumivane {

ReadableFile::~ReadableFile() {
  if (fd_ >= 0) ::close(fd_);
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : outcome(other.outcome), error(other.error), info(other.info), fd_(std::exchange(other.fd_, -1)) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    outcome = other.outcome;
    error = other.error;
    info = other.info;
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int ReadableFile::Release() { return std::exchange(fd_, -1); }

namespace {

OpenOutcome OutcomeOfError(int error) {
  return error == ENOENT || error == ENOTDIR ? OpenOutcome::Missing : OpenOutcome::Failed;
}

}  // namespace

ReadableFile OpenRegularFile(const std::string& path) {
  ReadableFile file;
  // Looked at first, so that a device is never opened at all: opening a
  // serial port raises its modem lines, opening a tape may rewind it.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) {
    file.error = errno;
    file.outcome = OutcomeOfError(file.error);
    return file;
  }
  if (!S_ISREG(before.st_mode)) {
    file.outcome = OpenOutcome::NotRegular;
    file.info = before;
    return file;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    file.error = errno;
    file.outcome = OutcomeOfError(file.error);
    return file;
  }
  file.fd_ = fd;
  if (::fstat(fd, &file.info) != 0) {
    file.error = errno;
    file.outcome = OpenOutcome::Failed;
    ::close(std::exchange(file.fd_, -1));
    return file;
  }
  if (!S_ISREG(file.info.st_mode)) {
    file.outcome = OpenOutcome::NotRegular;
    ::close(std::exchange(file.fd_, -1));
    return file;
  }
  // O_NONBLOCK stays: files on disk ignore it, and the few regular files
  // whose reads wait for data (/proc/kmsg) fail with EAGAIN instead of
  // waiting without end.
  file.outcome = OpenOutcome::Opened;
  return file;
}

std::string UnopenedReason(const ReadableFile& file) {
  if (file.outcome == OpenOutcome::NotRegular) {
    const mode_t type = file.info.st_mode & S_IFMT;
    const char* what = type == S_IFDIR    ? "a directory"
                       : type == S_IFIFO  ? "a FIFO"
                       : type == S_IFCHR  ? "a character device"
                       : type == S_IFBLK  ? "a block device"
                       : type == S_IFSOCK ? "a socket"
                                          : "not a file";
    return std::string("not a regular file (") + what + ")";
  }
  return file.error == 0 ? std::string("cannot be opened") : SystemErrorText(file.error);
}

FileContent ReadWhole(int fd, std::size_t maxBytes) {
  FileContent content;
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return {{}, errno};
    if (got == 0) return content;
    if (content.bytes.size() + static_cast<std::size_t>(got) > maxBytes) return {{}, EFBIG};
    content.bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace lumivane
