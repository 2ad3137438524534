#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include "station/DeviceMonitor.h"
#include "station/SlotRunner.h"

namespace lumivane {

// What the slots' threads, the device monitor and the stop requests tell
// the station's thread.
struct StationMessage {
  enum class Kind {
    DeviceArrived,  // device
    DeviceLeft,     // device
    MonitorEnded,   // text: why, when it ended before the stop
    Phase,          // slot, phase
    Progress,       // slot, progress
    RunEnded,       // slot, outcome
    KeypadGone,     // slot: an RS232 keypad stopped answering
    LineUnusable,   // slot, text: why
    Stop,           // the first asks for the running transfers to finish, a second for StopNow
    StopNow,        // stop every transfer now
  };
  static StationMessage Of(Kind kind, std::size_t slot = 0) {
    StationMessage message;
    message.kind = kind;
    message.slot = slot;
    return message;
  }

  Kind kind = Kind::Stop;
  std::size_t slot = 0;
  KeypadDevice device;
  DownloadPhase phase = DownloadPhase::Preparing;
  PassProgress progress;
  SlotOutcome outcome;
  std::string text;
};

// A queue from many threads to one. Progress is the only message that
// comes at the rate of bytes: a progress report replaces the same slot's
// report still waiting at the queue's end, so the queue stays short
// however slow its reader, and no other message changes its order.
class StationMailbox {
 public:
  void Post(StationMessage message);
  // The next message; waits for one.
  StationMessage Wait();

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<StationMessage> queue_;
};

}  // namespace lumivane
