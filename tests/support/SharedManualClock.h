#pragma once
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>

#include "link/Clock.h"

namespace lumivane::test {

// The manual clock for code that reads the time on several threads: the
// time moves only when the test advances it or a thread sleeps or waits
// on it (which jumps to the deadline, as ManualClock does).
class SharedManualClock : public Clock {
 public:
  TimePoint Now() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void SleepUntil(TimePoint deadline) override { JumpTo(deadline); }
  int Poll(pollfd* fds, std::size_t count, std::optional<TimePoint> deadline) override {
    const int ready = ::poll(fds, static_cast<nfds_t>(count), deadline ? 0 : -1);
    if (ready != 0) return ready < 0 ? -errno : ready;
    JumpTo(*deadline);
    return 0;
  }
  void Advance(std::chrono::milliseconds duration) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += duration;
  }

 private:
  void JumpTo(TimePoint deadline) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (deadline > now_) now_ = deadline;
  }

  std::mutex mutex_;
  TimePoint now_{std::chrono::hours(1)};
};

}  // namespace lumivane::test
