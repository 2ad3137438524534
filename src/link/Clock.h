#pragma once
#include <chrono>

namespace lumivane {

// Time source and sleeping for the link's waits, so that tests can run the
// protocol's pauses and time limits without real time passing.
class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  // Monotonic time.
  virtual TimePoint Now() = 0;
  // Returns when at least `duration` has passed; never spins.
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

// The real monotonic clock.
class SteadyClock : public Clock {
 public:
  TimePoint Now() override;
  void SleepFor(std::chrono::milliseconds duration) override;
};

}  // namespace lumivane
