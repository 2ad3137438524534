#include "sim/MemoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/SystemErrorText.h"

namespace lumivane::sim {

namespace {

constexpr std::size_t kMemorySize = 65536;

std::string Failure(const std::string& path, int error) { return path + ": " + SystemErrorText(error); }

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

LoadedMemory LoadMemoryFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {{}, errno == ENOENT ? std::string() : Failure(path, errno)};
  // One byte more than a memory holds tells a file that is too long.
  std::vector<std::uint8_t> bytes(kMemorySize + 1);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string failure = Failure(path, errno);
      ::close(fd);
      return {{}, failure};
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got != kMemorySize) {
    return {{}, path + ": not a keypad memory (" + std::to_string(kMemorySize) + " bytes)"};
  }
  bytes.resize(kMemorySize);
  return {std::move(bytes), {}};
}

std::optional<std::string> SaveMemoryFile(const std::string& path, const std::uint8_t* memory,
                                          std::size_t length) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return Failure(temporary, errno);
  bool written = WriteAll(fd, memory, length) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    saved = errno;
  }
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return std::nullopt;
  if (written) saved = errno;
  ::unlink(temporary.c_str());
  return Failure(path, saved);
}

}  // namespace lumivane::sim
