#include "StationFakes.h"

#include <algorithm>

namespace lumivane::test {

namespace {

SlotOutcome Passed() {
  SlotOutcome outcome;
  outcome.state = DownloadState::Success;
  outcome.succeeded = true;
  outcome.statusLine = "DOWNLOAD SUCCESSFUL";
  outcome.keypad = KeypadHolds::Complete;
  outcome.verify = VerifyResult::Passed;
  outcome.placementBase = 0x0001;
  return outcome;
}

SlotOutcome TimedOut(KeypadHolds keypad) {
  SlotOutcome outcome;
  outcome.state = DownloadState::Timeout;
  outcome.statusLine = "Quintrel communication timeout";
  outcome.exitStatus = 6;
  outcome.keypad = keypad;
  return outcome;
}

// The keypad left during the wait: the link says it is gone.
SlotOutcome NotDetected() {
  SlotOutcome outcome;
  outcome.statusLine = "Usb Quintrel not detected";
  outcome.exitStatus = 12;
  outcome.keypadLeft = true;
  return outcome;
}

SlotOutcome Cancelled() {
  SlotOutcome outcome;
  outcome.statusLine = "Operation cancelled by user";
  outcome.exitStatus = 130;
  return outcome;
}

}  // namespace

SlotOutcome ScriptedRunner::Run(const SlotTarget& target, SlotEvents& events, const SlotStop& stop) {
  Script script = Script::Pass;
  monitor.Change([&] {
    started_.push_back(target.device);
    ++running_;
    if (const auto found = scripts_.find(target.device); found != scripts_.end()) script = found->second;
  });
  events.OnPhase(DownloadPhase::Preparing);
  SlotOutcome outcome = Waited(target.device, events, stop, script);
  monitor.Change([&] { --running_; });
  return outcome;
}

SlotOutcome ScriptedRunner::Waited(const std::string& device, SlotEvents& events, const SlotStop& stop, Script script) {
  events.OnPhase(DownloadPhase::Waiting);
  if (script == Script::WaitForKeypad) {
    std::unique_lock<std::mutex> lock = monitor.Lock();
    monitor.WaitHere(lock, stop.beforeWriting, [&] {
      return std::find(released_.begin(), released_.end(), device) != released_.end();
    });
    return stop.beforeWriting.stop_requested() ? Cancelled() : NotDetected();
  }
  if (stop.beforeWriting.stop_requested()) return Cancelled();
  events.OnPhase(DownloadPhase::Transferring);
  events.OnProgress({0, 100});
  if (script == Script::Hang) {
    std::unique_lock<std::mutex> lock = monitor.Lock();
    monitor.WaitHere(lock, stop.now, [] { return false; });
    return TimedOut(KeypadHolds::Incomplete);
  }
  events.OnProgress({40, 100});
  if (script == Script::Fail) return TimedOut(KeypadHolds::Incomplete);
  if (script == Script::PassWhenReleased) {
    std::unique_lock<std::mutex> lock = monitor.Lock();
    monitor.WaitHere(lock, stop.now, [&] {
      return std::find(released_.begin(), released_.end(), device) != released_.end();
    });
    if (stop.now.stop_requested()) return TimedOut(KeypadHolds::Incomplete);
  }
  events.OnProgress({100, 100});
  events.OnPhase(DownloadPhase::Ending);
  return Passed();
}

std::vector<std::pair<std::string, OutcomeResult>> RecordingObserver::Outcomes() {
  return monitor.Locked([this] {
    std::vector<std::pair<std::string, OutcomeResult>> outcomes;
    for (const Entry& entry : entries) {
      if (entry.event.kind != StationEvent::Kind::Outcome) continue;
      const SlotStatus& slot = entry.snapshot.slotList[entry.event.slot];
      outcomes.emplace_back(slot.name, *slot.result);
    }
    return outcomes;
  });
}

std::vector<std::string> RecordingObserver::Notices() {
  return monitor.Locked([this] {
    std::vector<std::string> notices;
    for (const Entry& entry : entries) {
      if (entry.event.kind == StationEvent::Kind::Notice) notices.push_back(entry.event.text);
    }
    return notices;
  });
}

std::size_t RecordingObserver::CountOutcomes() const {
  return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), [](const Entry& entry) {
    return entry.event.kind == StationEvent::Kind::Outcome;
  }));
}

bool RecordingObserver::WaitForNotices(std::size_t count) {
  return monitor.WaitFor([&] {
    return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), [](const Entry& entry) {
             return entry.event.kind == StationEvent::Kind::Notice;
           })) >= count;
  });
}

bool RecordingObserver::WaitForEvent(StationEvent::Kind kind, const std::string& slotName) {
  return monitor.WaitFor([&] {
    return std::any_of(entries.begin(), entries.end(), [&](const Entry& entry) {
      return entry.event.kind == kind && entry.snapshot.slotList[entry.event.slot].name == slotName;
    });
  });
}

}  // namespace lumivane::test
