#pragma once
#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace lumivane {

// How an attempt to open a file for reading ended.
enum class OpenOutcome {
  Opened,      // a regular file, open for reading
  Missing,     // nothing there (or a symbolic link that leads nowhere)
  NotRegular,  // a directory, FIFO, device or socket: never read
  Failed,      // it exists but cannot be opened; `error` holds errno
};

// A file opened for reading; owns its descriptor.
class ReadableFile {
 public:
  ReadableFile() = default;
  ~ReadableFile();
  ReadableFile(ReadableFile&& other) noexcept;
  ReadableFile& operator=(ReadableFile&& other) noexcept;
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  OpenOutcome outcome = OpenOutcome::Missing;
  int error = 0;            // errno of the failure, 0 when opened
  struct stat info {};      // the opened file's status; NotRegular: what lies there
  int fd() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  int Release();

 private:
  friend ReadableFile OpenRegularFile(const std::string& path);
  int fd_ = -1;
};

// Opens `path` (following symbolic links) for reading only when it is a
// regular file. Anything else is never opened, or, when it was swapped in
// between the check and the open, closed at once; the open itself never
// blocks (a FIFO has no writer, a device might wait for a carrier). The
// descriptor is non-blocking, so that no read of it waits for data.
ReadableFile OpenRegularFile(const std::string& path);

// Why a file was not opened, as a status line puts it after the path:
// the system's text for the errno ("No such file or directory",
// "Permission denied"), or "not a regular file (a directory)".
std::string UnopenedReason(const ReadableFile& file);

// A file's content read whole, or why it was not.
struct FileContent {
  std::string bytes;
  int error = 0;  // errno of the failure; 0 when read in full
};

// Reads the whole file from the current position. Fails with EFBIG when it
// holds more than maxBytes; keeps errno otherwise.
FileContent ReadWhole(int fd, std::size_t maxBytes);

}  // namespace lumivane
