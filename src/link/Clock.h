#pragma once
#include <poll.h>

#include <chrono>
#include <cstddef>
#include <optional>

namespace lumivane {

// The time source of every wait and time limit: the links' pauses and
// answer limits, the serial port's timed transfers, the hosts' key waits
// and ready timers, the simulated keypad. Tests hand a manual clock to
// run them without real time passing.
class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;

  // Monotonic time.
  virtual TimePoint Now() = 0;
  // Returns once `deadline` has come; never spins.
  virtual void SleepUntil(TimePoint deadline) = 0;
  // Waits until one of the descriptors is ready, as poll(2) does (events
  // in, revents out), or until `deadline` has come (no deadline: until a
  // descriptor is ready). Returns the number of ready descriptors, 0 when
  // the deadline came first, or -errno when poll failed. A signal does not
  // end the wait early.
  virtual int Poll(pollfd* fds, std::size_t count, std::optional<TimePoint> deadline) = 0;

  void SleepFor(std::chrono::milliseconds duration) { SleepUntil(Now() + duration); }
};

// The real monotonic clock.
class SteadyClock : public Clock {
 public:
  TimePoint Now() override;
  void SleepUntil(TimePoint deadline) override;
  int Poll(pollfd* fds, std::size_t count, std::optional<TimePoint> deadline) override;
};

}  // namespace lumivane
