#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "station/DeviceMonitor.h"

namespace lumivane::test {

// Replays arrivals and removals that the test hands it, in order, on the
// thread that runs it: first the keypads present from the start, then each
// event as the test adds it, until the stop or Fail.
class FakeDeviceMonitor : public DeviceMonitor {
 public:
  explicit FakeDeviceMonitor(std::vector<KeypadDevice> present = {}) {
    for (KeypadDevice& device : present) events_.push_back({DeviceEvent::Kind::Arrived, std::move(device)});
  }

  void Arrive(const KeypadDevice& device) { Add({DeviceEvent::Kind::Arrived, device}); }
  void Leave(const KeypadDevice& device) { Add({DeviceEvent::Kind::Left, device}); }
  // Run ends after the events already added, with this failure.
  void Fail(std::string why) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::move(why);
    changed_.notify_all();
  }

  Failure Run(const EventSink& sink, std::stop_token stop) override {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, stop, [this] { return !events_.empty() || !failure_.empty(); });
      if (stop.stop_requested()) return {};
      if (events_.empty()) return failure_;
      const DeviceEvent event = events_.front();
      events_.pop_front();
      lock.unlock();
      sink(event);
      lock.lock();
    }
  }

 private:
  void Add(DeviceEvent event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<DeviceEvent> events_;
  std::string failure_;
};

}  // namespace lumivane::test
