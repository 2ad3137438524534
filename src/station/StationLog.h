#pragma once
#include <memory>
#include <string>
#include <vector>

#include "station/StationRecord.h"

namespace lumivane {

// Why the log could not be opened, written or read: the path, the system's
// errno when there is one, and the reason as a line puts it after the path.
struct LogFailure {
  std::string path;
  int systemError = 0;
  std::string reason;  // "Permission denied", "not a regular file (a FIFO)"
  std::string Text() const { return path + ": " + reason; }
};

// The station log, open for appending: one record per line, each written
// whole with one write, then synced, so that a record reported as kept
// survives a crash of the program or of the system. Several stations may
// append to one log.
class StationLog {
 public:
  // Opens (or creates, mode 0644 less the umask) a regular file for
  // appending. Anything else (a FIFO, a device, a directory) is refused
  // without being waited on. A last line that a crash left without its
  // end is ended first, so that the next record starts a line of its own.
  static std::unique_ptr<StationLog> Open(const std::string& path, LogFailure* failure);
  ~StationLog();
  StationLog(const StationLog&) = delete;
  StationLog& operator=(const StationLog&) = delete;

  // Appends the record's line and syncs it; false with why when any of it failed.
  bool Append(const StationRecord& record, LogFailure* failure);

  const std::string& path() const { return path_; }

 private:
  StationLog(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  bool WriteSynced(const std::string& bytes, LogFailure* failure);

  std::string path_;
  int fd_;
};

// What a log holds: its records in order, and a warning for each line that
// is no record (a truncated last line among them), which is skipped.
struct StationLogContents {
  std::vector<StationRecord> records;
  std::vector<std::string> warnings;  // "FILE:LINE: why; skipped"
};

// Reads a whole log (a regular file only). The last line counts only with
// its line end: a line the writer did not finish is never taken for an
// outcome, even when what it holds parses.
bool ReadStationLog(const std::string& path, StationLogContents* contents, LogFailure* failure);

}  // namespace lumivane
