#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "station/StationLog.h"
#include "station/StationStatus.h"

namespace lumivane {

// What every record of one station run says of its image.
struct StationImageFacts {
  std::string source;  // the source's path as given
  std::string sha256;
  std::size_t length = 0;
  int layer = 1;
};

// The log record of an outcome, at `time`.
StationRecord RecordOf(const StationImageFacts& facts, const StationOutcome& outcome, std::string time);

// Keeps each outcome as a line of the station log; without a log, keeps nothing and never fails.
class LogRecorder : public OutcomeRecorder {
 public:
  using WallClock = std::function<std::chrono::system_clock::time_point()>;

  LogRecorder(StationLog* log, StationImageFacts facts, WallClock wallClock = std::chrono::system_clock::now)
      : log_(log), facts_(std::move(facts)), wallClock_(std::move(wallClock)) {}

  bool Record(const StationOutcome& outcome, std::string* failure) override;

 private:
  StationLog* log_;
  StationImageFacts facts_;
  WallClock wallClock_;
};

}  // namespace lumivane
