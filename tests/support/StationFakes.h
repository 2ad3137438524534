#pragma once
// Fakes of what the station engine works with, each safe to use from the
// engine's threads while the test waits on it (never by sleeping).
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "station/SlotRunner.h"
#include "station/StationStatus.h"

namespace lumivane::test {

// Waits on a condition that other threads change: every change notifies.
class Monitor {
 public:
  template <typename Function>
  auto Locked(Function&& function) {
    std::lock_guard<std::mutex> lock(mutex_);
    return function();
  }
  template <typename Function>
  void Change(Function&& function) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      function();
    }
    changed_.notify_all();
  }
  // True once `predicate` holds; false after a bound that only keeps a broken test from hanging.
  template <typename Predicate>
  bool WaitFor(Predicate predicate) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), predicate);
  }
  template <typename Predicate>
  void WaitHere(std::unique_lock<std::mutex>& lock, std::stop_token stop, Predicate predicate) {
    changed_.wait(lock, stop, predicate);
  }
  std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
};

// How a scripted download behaves.
enum class Script {
  Pass,              // writes, passes
  Fail,              // writes part, then times out: the keypad holds an incomplete image
  PassWhenReleased,  // writes, and passes once the test releases it
  WaitForKeypad,     // waits for shift+load until a stop, or until released (its keypad left)
  Hang,              // begins writing and hangs until the stop that cuts transfers
};

// Runs downloads by script, per device; Pass for a device without one.
class ScriptedRunner : public SlotRunner {
 public:
  void SetScript(const std::string& device, Script script) {
    monitor.Change([&] { scripts_[device] = script; });
  }
  void Release(const std::string& device) {
    monitor.Change([&] { released_.push_back(device); });
  }
  std::vector<std::string> Started() {
    return monitor.Locked([this] { return started_; });
  }
  bool WaitForStarts(std::size_t count) {
    return monitor.WaitFor([&] { return started_.size() >= count; });
  }
  // Runs under way now.
  std::size_t Running() {
    return monitor.Locked([this] { return running_; });
  }

  SlotOutcome Run(const SlotTarget& target, SlotEvents& events, const SlotStop& stop) override;

  Monitor monitor;

 private:
  SlotOutcome Waited(const std::string& device, SlotEvents& events, const SlotStop& stop, Script script);

  std::map<std::string, Script> scripts_;
  std::vector<std::string> released_;
  std::vector<std::string> started_;  // the devices, in the order their runs began
  std::size_t running_ = 0;
};

// Records every event with the snapshot it came with.
class RecordingObserver : public StationObserver {
 public:
  struct Entry {
    StationEvent event;
    StationSnapshot snapshot;
  };
  void OnEvent(const StationEvent& event, const StationSnapshot& snapshot) override {
    monitor.Change([&] { entries.push_back({event, snapshot}); });
  }
  // The outcome verdicts so far, per slot name, in order.
  std::vector<std::pair<std::string, OutcomeResult>> Outcomes();
  std::vector<std::string> Notices();
  bool WaitForOutcomes(std::size_t count) {
    return monitor.WaitFor([&] { return CountOutcomes() >= count; });
  }
  bool WaitForEvent(StationEvent::Kind kind, const std::string& slotName);
  bool WaitForNotices(std::size_t count);

  Monitor monitor;
  std::vector<Entry> entries;

 private:
  std::size_t CountOutcomes() const;
};

// Keeps outcomes in memory; fails from a given outcome on.
class MemoryRecorder : public OutcomeRecorder {
 public:
  struct Kept {
    std::string slot;
    OutcomeResult result;
    std::chrono::milliseconds duration;
    SlotOutcome outcome;
  };
  bool Record(const StationOutcome& outcome, std::string* failure) override {
    if (kept.size() >= failFrom) {
      *failure = "station.log: No space left on device";
      return false;
    }
    kept.push_back({outcome.slot.name, outcome.result, outcome.duration, outcome.outcome});
    return true;
  }
  std::size_t failFrom = static_cast<std::size_t>(-1);
  std::vector<Kept> kept;  // read once the engine's Run has returned
};

// Answers the presence probes of each port from a script; once a script
// is used up, the last answer repeats.
class ScriptedProbe : public PresenceProbe {
 public:
  void SetAnswers(const std::string& port, std::vector<PresenceAnswer> answers) {
    monitor.Change([&] { answers_[port] = std::move(answers); asked_[port] = 0; });
  }
  std::size_t Asked(const std::string& port) {
    return monitor.Locked([&] { return asked_[port]; });
  }
  bool WaitForAsked(const std::string& port, std::size_t count) {
    return monitor.WaitFor([&] { return asked_[port] >= count; });
  }
  PresenceAnswer Probe(const std::string& port, std::stop_token) override {
    PresenceAnswer answer;
    monitor.Change([&] {
      std::vector<PresenceAnswer>& script = answers_[port];
      const std::size_t asked = asked_[port]++;
      answer = script.empty() ? PresenceAnswer{} : script[std::min(asked, script.size() - 1)];
    });
    return answer;
  }

  Monitor monitor;

 private:
  std::map<std::string, std::vector<PresenceAnswer>> answers_;
  std::map<std::string, std::size_t> asked_;
};

}  // namespace lumivane::test
