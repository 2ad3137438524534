#include "station/StationLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/SystemErrorText.h"
#include "translator/RegularFile.h"

namespace lumivane {

namespace {

constexpr std::size_t kMaxLogBytes = std::size_t{1} << 30;

LogFailure SystemFailure(const std::string& path, int error) { return {path, error, SystemErrorText(error)}; }

LogFailure NotRegularFailure(const std::string& path, const struct stat& info) {
  ReadableFile lying;
  lying.outcome = OpenOutcome::NotRegular;
  lying.info = info;
  return {path, 0, UnopenedReason(lying)};
}

// True when the file is empty or its last byte ends a line; false when that
// byte cannot be read (a log opened for writing only is then taken as it is).
bool EndsALine(int fd, off_t size) {
  if (size == 0) return true;
  char last = '\n';
  return ::pread(fd, &last, 1, size - 1) != 1 || last == '\n';
}

}  // namespace

std::unique_ptr<StationLog> StationLog::Open(const std::string& path, LogFailure* failure) {
  // O_NONBLOCK: opening a FIFO or a device never waits for its other end;
  // whatever it is, it is looked at before anything is written.
  constexpr int kFlags = O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | kFlags, 0644);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | kFlags, 0644);
  if (fd < 0) {
    // A FIFO without a reader refuses with ENXIO: say what it is instead.
    const int error = errno;
    struct stat info {};
    *failure = ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) ? NotRegularFailure(path, info)
                                                                           : SystemFailure(path, error);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *failure = S_ISREG(info.st_mode) ? SystemFailure(path, errno) : NotRegularFailure(path, info);
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::unique_ptr<StationLog> log(new StationLog(path, fd));
  if (!EndsALine(fd, info.st_size) && !log->WriteSynced("\n", failure)) return nullptr;
  // The sync proves the file takes writes before any keypad depends on it.
  if (::fsync(fd) != 0) {
    *failure = SystemFailure(path, errno);
    return nullptr;
  }
  return log;
}

StationLog::~StationLog() { ::close(fd_); }

bool StationLog::Append(const StationRecord& record, LogFailure* failure) {
  return WriteSynced(RecordLine(record) + "\n", failure);
}

bool StationLog::WriteSynced(const std::string& bytes, LogFailure* failure) {
  // One write: with O_APPEND it lands whole after whatever another writer
  // appended. A short write (a full disk) leaves a line without its end,
  // which readers skip.
  ssize_t written = -1;
  do {
    written = ::write(fd_, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    *failure = SystemFailure(path_, errno);
    return false;
  }
  if (static_cast<std::size_t>(written) != bytes.size()) {
    *failure = {path_, 0, "only part of the record was written"};
    return false;
  }
  if (::fsync(fd_) != 0) {
    *failure = SystemFailure(path_, errno);
    return false;
  }
  return true;
}

bool ReadStationLog(const std::string& path, StationLogContents* contents, LogFailure* failure) {
  ReadableFile file = OpenRegularFile(path);
  if (file.outcome != OpenOutcome::Opened) {
    *failure = {path, file.error, UnopenedReason(file)};
    return false;
  }
  const FileContent read = ReadWhole(file.fd(), kMaxLogBytes);
  if (read.error != 0) {
    *failure = SystemFailure(path, read.error);
    return false;
  }
  const std::string& text = read.bytes;
  *contents = {};
  std::size_t start = 0;
  for (std::size_t number = 1; start < text.size(); ++number) {
    const std::size_t end = text.find('\n', start);
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (end == std::string::npos) {
      contents->warnings.push_back(where + "the last line is incomplete (the station stopped while writing it); skipped");
      break;
    }
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.empty()) continue;  // a line ended after a crash, or an editor's blank line
    std::string why;
    if (std::optional<StationRecord> record = ParseRecordLine(line, &why)) {
      contents->records.push_back(std::move(*record));
    } else {
      contents->warnings.push_back(where + why + "; skipped");
    }
  }
  return true;
}

}  // namespace lumivane
