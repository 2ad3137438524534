#pragma once
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "link/Clock.h"

namespace lumivane::test {

// Real time for every wait on descriptors (an answer from a simulated
// keypad on another thread takes real time to come), while a sleep
// returns at once and moves only the sleeping thread's time on: the
// pauses between bytes that a real 9600-baud line needs cost a
// pseudo-terminal test nothing, and no thread's time limits shrink
// because another thread slept.
class SleeplessClock : public Clock {
 public:
  TimePoint Now() override { return real_.Now() + Offset(); }
  void SleepUntil(TimePoint deadline) override {
    const TimePoint now = Now();
    if (deadline <= now) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    offsets_[std::this_thread::get_id()] += deadline - now;
  }
  int Poll(pollfd* fds, std::size_t count, std::optional<TimePoint> deadline) override {
    if (!deadline) return real_.Poll(fds, count, std::nullopt);
    return real_.Poll(fds, count, *deadline - Offset());
  }

 private:
  TimePoint::duration Offset() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = offsets_.find(std::this_thread::get_id());
    return found == offsets_.end() ? TimePoint::duration::zero() : found->second;
  }

  SteadyClock real_;
  std::mutex mutex_;
  std::map<std::thread::id, TimePoint::duration> offsets_;
};

}  // namespace lumivane::test
