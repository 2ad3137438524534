#pragma once
#include <cerrno>
#include <chrono>
#include <optional>

#include "link/Clock.h"

namespace lumivane::test {

// A clock whose time moves only when someone sleeps on it, waits on it or
// advances it. Used from one thread.
//
// A wait for descriptors looks at them once, without waiting: what is
// ready now ends the wait; otherwise the time jumps to the deadline. That
// suits descriptors whose far end the test drives itself: bytes the test
// sent must have arrived before a wait is asked to see them. Without a
// deadline the wait is real, as nothing else could end it.
class ManualClock : public Clock {
 public:
  TimePoint Now() override { return now_; }
  void SleepUntil(TimePoint deadline) override {
    if (deadline <= now_) return;
    slept_ += std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now_);
    now_ = deadline;
  }
  int Poll(pollfd* fds, std::size_t count, std::optional<TimePoint> deadline) override {
    const int ready = ::poll(fds, static_cast<nfds_t>(count), deadline ? 0 : -1);
    if (ready != 0) return ready < 0 ? -errno : ready;
    if (*deadline > now_) now_ = *deadline;
    return 0;
  }

  void Advance(std::chrono::milliseconds duration) { now_ += duration; }
  // Time passed in sleeps (not in waits for descriptors, nor by Advance).
  std::chrono::milliseconds slept() const { return slept_; }

 private:
  TimePoint now_{std::chrono::hours(1)};
  std::chrono::milliseconds slept_{0};
};

}  // namespace lumivane::test
